// ganancia: asks for a gain in dB, writes it to the camera in manual, absolute mode and
// confirms the value the camera holds.
#include "inicio.h"
#include "propiedad.h"
#include "valor.h"

#include <cmath>
#include <cstdio>

static void cambiar_ganancia(camera_context contexto)
{
    printf("ingrese la ganancia[0-12.4dB]: ");
    fflush(stdout); // the answer is typed after the prompt, on the same line

    // The range in the prompt is advice: any finite value is written as typed, and the
    // camera's own limits show in the value confirmed.
    float ganancia;
    if (!leer_valor_tecleado(stdin, &ganancia) || !std::isfinite(ganancia)) {
        printf("Valor de ganancia no válido\n");
        return;
    }

    float vigente;
    if (cambiar_y_releer(contexto, PROPERTY_GAIN, ganancia, &vigente))
        printf("Nuevo valor de ganancia es  = %fdB\n", vigente);
}

int main(int argc, char **argv)
{
    const Ayuda ayuda = {"ganancia",
                         "Pide una ganancia en dB, la escribe en la cámara en modo manual y\n"
                         "confirma el valor que queda en la cámara, que la limita a su rango.",
                         "un número en la entrada estándar (punto decimal: 12,5 se lee como 12).",
                         "la ganancia en la cámara; en pantalla, el valor que queda en ella."};
    camera_context contexto = nullptr;
    if (!iniciar_programa(argc, argv, ayuda, &contexto))
        return 0;
    cambiar_ganancia(contexto);
    return 0;
}
