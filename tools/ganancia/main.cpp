// ganancia: asks for a gain in dB and writes it to the camera in manual, absolute mode.
#include "conexion.h"
#include "propiedad.h"
#include "valor.h"

#include <cmath>
#include <cstdio>

static void cambiar_ganancia(camera_context contexto)
{
    printf("ingrese la ganancia[0-12.4dB]: ");
    fflush(stdout); // the answer is typed after the prompt, on the same line

    // The range in the prompt is advice: any finite value is written as typed.
    float ganancia;
    if (!leer_valor_tecleado(stdin, &ganancia) || !std::isfinite(ganancia)) {
        printf("Valor de ganancia no válido\n");
        return;
    }

    if (cambiar_propiedad(contexto, PROPERTY_GAIN, ganancia))
        printf("Nuevo valor de ganancia es  = %fdB\n", ganancia);
}

int main()
{
    camera_context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;
    cambiar_ganancia(contexto);
    return 0;
}
