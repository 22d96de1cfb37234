// consulta_exposicion: prints the camera's exposure time.
#include "inicio.h"
#include "propiedad.h"

#include <cstdio>

static void leer_tiempoexpo(camera_context contexto)
{
    float tiempo;
    if (leer_propiedad(contexto, PROPERTY_SHUTTER, &tiempo))
        printf("Lectura de Shutter Speed = %.1fms\n", tiempo);
}

int main(int argc, char **argv)
{
    const Ayuda ayuda = {
        "consulta_exposicion",
        "Muestra el tiempo de exposición que tiene la cámara, en ms. No cambia nada.", "nada.",
        "en pantalla, Lectura de Shutter Speed = <ms>ms."};
    camera_context contexto = nullptr;
    if (!iniciar_programa(argc, argv, ayuda, &contexto))
        return 0;
    leer_tiempoexpo(contexto);
    return 0;
}
