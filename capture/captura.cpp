// Streaming a numbered series of frames to BMP files.
#include "captura.h"

#include "conexion.h"
#include "informe.h"

#include <cstdio>
#include <unistd.h>

namespace
{

void nombre_cuadro(int indice, char (&archivo)[32])
{
    snprintf(archivo, sizeof archivo, "%04d.bmp", indice);
}

// Retrieves, converts and saves frame `indice`; a failure is printed. Returns whether the
// frame was saved.
bool grabar_cuadro(camera_context contexto, image_record *crudo, image_record *convertido,
                   int indice)
{
    camera_error error = fc2RetrieveBuffer(contexto, crudo);
    if (error != 0) {
        informar_error("retrieveBuffer", error);
        return false;
    }

    // A frame that failed to convert is not saved: the converted record still holds
    // the previous frame, which must not land under this frame's number.
    error = fc2ConvertImageTo(PIXEL_FORMAT_MONO8, crudo, convertido);
    if (error != 0) {
        informar_error("fc2ConvertImageTo", error);
        return false;
    }

    char archivo[32];
    nombre_cuadro(indice, archivo);
    error = fc2SaveImage(convertido, archivo, FILE_FORMAT_BMP);
    if (error != 0) {
        informar_error("fc2SaveImage", error);
        printf("Please check write permissions.\n");
        return false;
    }
    return true;
}

} // namespace

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

    bool fallido[CUADROS_POR_SERIE] = {};
    bool guardado_alguno = false;
    for (int indice = 0; indice < cantidad; indice++) {
        if (grabar_cuadro(contexto, &crudo, &convertido, indice))
            guardado_alguno = true;
        else if (indice < CUADROS_POR_SERIE)
            fallido[indice] = true;
    }

    // A failed frame's number must not show a frame of an earlier series beside this one.
    // unlink removes a file or a link without following it and refuses a directory. A series
    // that saved nothing removes nothing: the last good series stays whole.
    if (!guardado_alguno)
        return;
    for (int indice = 0; indice < CUADROS_POR_SERIE; indice++) {
        if (!fallido[indice])
            continue;
        char archivo[32];
        nombre_cuadro(indice, archivo);
        unlink(archivo);
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
