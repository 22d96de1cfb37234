// consulta_amplificacion: prints the camera's gain.
#include "inicio.h"
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
    const Ayuda ayuda = {"consulta_amplificacion",
                         "Muestra la ganancia que tiene la cámara, en dB. No cambia nada.", "nada.",
                         "en pantalla, Lectura de Ganancia = <dB>dB."};
    camera_context contexto = nullptr;
    if (!iniciar_programa(argc, argv, ayuda, &contexto))
        return 0;
    leer_ganancia(contexto);
    return 0;
}
