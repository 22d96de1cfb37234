// ajuste_exposicion: asks for an exposure time between 0.1 and 33.1 ms and writes it to
// the camera in manual, absolute mode.
#include "conexion.h"
#include "propiedad.h"
#include "valor.h"

#include <cmath>
#include <cstdio>

static void cambiar_tiempoexpo(camera_context contexto)
{
    printf("ingrese el tiempo [0.1-33.1ms]: ");
    fflush(stdout); // the answer is typed after the prompt, on the same line

    // Compared in double precision, so typing either bound passes. Anything that is not a
    // number in the range, nan included, is refused and nothing is written.
    float tiempo;
    if (!leer_valor_tecleado(stdin, &tiempo) || std::isnan(tiempo) ||
        static_cast<double>(tiempo) < 0.1 || static_cast<double>(tiempo) > 33.1) {
        printf("Ingrese valores detro del rango [0.1-33.1ms]\n");
        return;
    }

    if (cambiar_propiedad(contexto, PROPERTY_SHUTTER, tiempo))
        printf("Tiempo de Exposición = %.1fms\n", tiempo);
}

int main()
{
    camera_context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;
    cambiar_tiempoexpo(contexto);
    return 0;
}
