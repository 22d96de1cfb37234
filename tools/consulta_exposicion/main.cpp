// consulta_exposicion: prints the camera's exposure time.
#include "conexion.h"
#include "opciones.h"
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
    // Each line reaches a file or pipe when printed, so a run cut short keeps its reports.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const Ayuda ayuda = {
        "consulta_exposicion",
        "Muestra el tiempo de exposición que tiene la cámara, en ms. No cambia nada.", "nada.",
        "en pantalla, Lectura de Shutter Speed = <ms>ms."};
    if (atender_opciones(argc, argv, ayuda))
        return 0;

    camera_context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;
    leer_tiempoexpo(contexto);
    return 0;
}
