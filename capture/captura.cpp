// Streaming a numbered series of frames to BMP files.
#include "captura.h"

#include "conexion.h"
#include "informe.h"

#include <cstdio>

void GrabImages(camera_context contexto, int cantidad)
{
    // Created once and reused for every frame; the SDK releases them when the process ends.
    image_record crudo = {};
    image_record convertido = {};
    camera_error error = fc2CreateImage(&crudo);
    if (error != 0)
        informar_error("fc2CreateImage", error);
    error = fc2CreateImage(&convertido);
    if (error != 0)
        informar_error("fc2CreateImage", error);

    for (int indice = 0; indice < cantidad; indice++) {
        error = fc2RetrieveBuffer(contexto, &crudo);
        if (error != 0) {
            informar_error("retrieveBuffer", error);
            continue;
        }

        // A frame that failed to convert is not saved: the converted record still holds
        // the previous frame, which must not land under this frame's number.
        error = fc2ConvertImageTo(PIXEL_FORMAT_MONO8, &crudo, &convertido);
        if (error != 0) {
            informar_error("fc2ConvertImageTo", error);
            continue;
        }

        char archivo[32];
        snprintf(archivo, sizeof archivo, "%04d.bmp", indice);
        error = fc2SaveImage(&convertido, archivo, FILE_FORMAT_BMP);
        if (error != 0) {
            informar_error("fc2SaveImage", error);
            printf("Please check write permissions.\n");
        }
    }
}

void ejecutar_captura(camera_context contexto)
{
    camera_error error = fc2StartCapture(contexto);
    if (error != 0) {
        informar_error("fc2StartCapture", error);
        return;
    }

    GrabImages(contexto, CUADROS_POR_SERIE);

    error = fc2StopCapture(contexto);
    if (error != 0) {
        informar_error("fc2StopCapture", error);
        return;
    }

    cerrar_camara(contexto);
}
