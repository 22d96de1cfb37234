// captura_config: writes the exposure time from "neo_te.txt" and the gain from
// "ganancia.txt" to the camera, reports them, then takes the ten-frame series.
#include "ajuste.h"
#include "captura.h"
#include "conexion.h"
#include "propiedad.h"

#include <cstdio>

static bool cambiar_tiempoexpo(camera_context contexto, float tiempo)
{
    return cambiar_propiedad(contexto, PROPERTY_SHUTTER, tiempo);
}

static bool cambiar_ganancia(camera_context contexto, float ganancia)
{
    return cambiar_propiedad(contexto, PROPERTY_GAIN, ganancia);
}

int main()
{
    camera_context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;

    // Each setting is written before the next file is read. A setting that cannot be read
    // or written ends the run: a series taken at other settings than those asked for
    // must not replace the frames in the directory.
    float tiempo;
    if (!leer_ajuste("neo_te.txt", true, &tiempo) || !cambiar_tiempoexpo(contexto, tiempo))
        return 0;
    printf("nuevo tiempo es %f ms\n", tiempo);

    float ganancia;
    if (!leer_ajuste("ganancia.txt", false, &ganancia) || !cambiar_ganancia(contexto, ganancia))
        return 0;
    printf("nueva ganancia es %f dB\n", ganancia);

    ejecutar_captura(contexto);
    return 0;
}
