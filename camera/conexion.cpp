// Opening and closing the camera connection, with the message of each failed step.
#include "conexion.h"

#include <cstdio>

bool abrir_camara(camera_context *contexto)
{
    camera_error error = fc2CreateContext(contexto);
    if (error != 0) {
        printf("Error in fc2CreateContext: %d\n", error);
        return false;
    }

    unsigned int camaras = 0;
    error = fc2GetNumOfCameras(*contexto, &camaras);
    if (error != 0) {
        printf("Error in fc2GetNumOfCameras: %d\n", error);
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
        printf("Error in fc2GetCameraFromIndex: %d\n", error);
        return false;
    }

    error = fc2Connect(*contexto, &identificador);
    if (error != 0) {
        printf("Error in fc2Connect: %d\n", error);
        return false;
    }
    return true;
}

bool cerrar_camara(camera_context contexto)
{
    camera_error error = fc2DestroyContext(contexto);
    if (error != 0) {
        printf("Error in fc2DestroyContext: %d\n", error);
        return false;
    }
    return true;
}
