// consulta_amplificacion: prints the camera's gain.
#include "conexion.h"
#include "opciones.h"
#include "propiedad.h"

#include <cstdio>

static void leer_ganancia(camera_context contexto)
{
    float ganancia;
    if (leer_propiedad(contexto, PROPERTY_GAIN, &ganancia))
        printf("Lectura de Ganancia = %fdB\n", ganancia);
}

int main(int argc, char **argv)
{
    // Each line reaches a file or pipe when printed, so a run cut short keeps its reports.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const Ayuda ayuda = {"consulta_amplificacion",
                         "Muestra la ganancia que tiene la cámara, en dB. No cambia nada.", "nada.",
                         "en pantalla, Lectura de Ganancia = <dB>dB."};
    if (atender_opciones(argc, argv, ayuda))
        return 0;

    camera_context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;
    leer_ganancia(contexto);
    return 0;
}
