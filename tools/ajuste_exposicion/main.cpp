// ajuste_exposicion: asks for an exposure time between 0.1 and 33.1 ms, writes it to the
// camera in manual, absolute mode and confirms the value the camera holds.
#include "inicio.h"
#include "propiedad.h"
#include "valor.h"

#include <cmath>
#include <cstdio>

// The range the prompt and the refusal name.
constexpr double TIEMPO_MINIMO_MS = 0.1;
constexpr double TIEMPO_MAXIMO_MS = 33.1;

static void cambiar_tiempoexpo(camera_context contexto)
{
    printf("ingrese el tiempo [0.1-33.1ms]: ");
    fflush(stdout); // the answer is typed after the prompt, on the same line

    // Compared in double precision, so typing either bound passes. Anything that is not a
    // number in the range, nan included, is refused and nothing is written.
    float tiempo;
    if (!leer_valor_tecleado(stdin, &tiempo) || std::isnan(tiempo) ||
        static_cast<double>(tiempo) < TIEMPO_MINIMO_MS ||
        static_cast<double>(tiempo) > TIEMPO_MAXIMO_MS) {
        printf("Ingrese valores detro del rango [0.1-33.1ms]\n");
        return;
    }

    float vigente;
    if (cambiar_y_releer(contexto, PROPERTY_SHUTTER, tiempo, &vigente))
        printf("Tiempo de Exposición = %.1fms\n", vigente);
}

int main(int argc, char **argv)
{
    const Ayuda ayuda = {"ajuste_exposicion",
                         "Pide un tiempo de exposición entre 0.1 y 33.1 ms, lo escribe en la\n"
                         "cámara en modo manual y confirma el valor que queda en la cámara.",
                         "un número en la entrada estándar (punto decimal: 12,5 se lee como 12).",
                         "la exposición en la cámara; en pantalla, el valor que queda en ella."};
    camera_context contexto = nullptr;
    if (!iniciar_programa(argc, argv, ayuda, &contexto))
        return 0;
    cambiar_tiempoexpo(contexto);
    return 0;
}
