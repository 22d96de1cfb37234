// Opening and closing the camera connection, with the message of each failed step.
#include "conexion.h"

#include "informe.h"

#include <cstdio>

bool abrir_camara(camera_context *contexto)
{
    camera_error error = fc2CreateContext(contexto);
    if (error != 0) {
        informar_error("fc2CreateContext", error);
        return false;
    }

    unsigned int camaras = 0;
    error = fc2GetNumOfCameras(*contexto, &camaras);
    if (error != 0) {
        informar_error("fc2GetNumOfCameras", error);
        return false;
    }
    if (camaras == 0) {
        printf("No cameras detected.\n");
        return false;
    }

    // Only the first camera is ever used, however many there are.
    camera_id identificador = {};
    error = fc2GetCameraFromIndex(*contexto, 0, &identificador);
    if (error != 0) {
        informar_error("fc2GetCameraFromIndex", error);
        return false;
    }

    error = fc2Connect(*contexto, &identificador);
    if (error != 0) {
        informar_error("fc2Connect", error);
        return false;
    }
    return true;
}

bool cerrar_camara(camera_context contexto)
{
    camera_error error = fc2DestroyContext(contexto);
    if (error != 0) {
        informar_error("fc2DestroyContext", error);
        return false;
    }
    return true;
}
