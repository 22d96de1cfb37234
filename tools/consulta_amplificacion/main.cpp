// consulta_amplificacion: prints the camera's gain.
#include "conexion.h"
#include "propiedad.h"

#include <cstdio>

static void leer_ganancia(camera_context contexto)
{
    float ganancia;
    if (leer_propiedad(contexto, PROPERTY_GAIN, &ganancia))
        printf("Lectura de Ganancia = %fdB\n", ganancia);
}

int main()
{
    camera_context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;
    leer_ganancia(contexto);
    return 0;
}
