// captura_config: writes the exposure time from "neo_te.txt" and the gain from
// "ganancia.txt" to the camera, reports the values it holds, then takes the ten-frame series.
#include "ajuste.h"
#include "captura.h"
#include "inicio.h"
#include "propiedad.h"

#include <cstdio>

// Each writes the setting and reads back into *vigente the value the camera now holds.
static bool cambiar_tiempoexpo(camera_context contexto, float tiempo, float *vigente)
{
    return cambiar_y_releer(contexto, PROPERTY_SHUTTER, tiempo, vigente);
}

static bool cambiar_ganancia(camera_context contexto, float ganancia, float *vigente)
{
    return cambiar_y_releer(contexto, PROPERTY_GAIN, ganancia, vigente);
}

int main(int argc, char **argv)
{
    const Ayuda ayuda = {"captura_config",
                         "Escribe en la cámara el tiempo de exposición (ms) de neo_te.txt y la\n"
                         "ganancia (dB) de ganancia.txt, muestra los valores que quedan en la\n"
                         "cámara y toma una serie de diez imágenes en el directorio de trabajo.",
                         "neo_te.txt y ganancia.txt, en el directorio de trabajo.",
                         "0000.bmp a 0009.bmp, que sustituyen a los archivos del mismo nombre.\n"
                         "En pantalla muestra cada exposición leída y los valores de la cámara."};
    camera_context contexto = nullptr;
    if (!iniciar_programa(argc, argv, ayuda, &contexto))
        return 0;

    // Each setting is written before the next file is read. A setting that cannot be read,
    // written or read back ends the run: a series taken at other settings than those asked
    // for must not replace the frames in the directory.
    float tiempo, tiempo_vigente;
    if (!leer_ajuste("neo_te.txt", true, &tiempo) ||
        !cambiar_tiempoexpo(contexto, tiempo, &tiempo_vigente))
        return 0;
    printf("nuevo tiempo es %f ms\n", tiempo_vigente);

    float ganancia, ganancia_vigente;
    if (!leer_ajuste("ganancia.txt", false, &ganancia) ||
        !cambiar_ganancia(contexto, ganancia, &ganancia_vigente))
        return 0;
    printf("nueva ganancia es %f dB\n", ganancia_vigente);

    ejecutar_captura(contexto);
    return 0;
}
