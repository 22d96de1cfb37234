// consulta_amplificacion: prints the camera's gain.
#include "conexion.h"
#include "propiedad.h"

#include <cstdio>

static void leer_ganancia(fc2Context contexto)
{
    float ganancia;
    if (leer_propiedad(contexto, FC2_GAIN, &ganancia))
        printf("Lectura de Ganancia = %fdB\n", ganancia);
}

int main()
{
    fc2Context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;
    leer_ganancia(contexto);
    return 0;
}
