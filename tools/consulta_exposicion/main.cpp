// consulta_exposicion: prints the camera's exposure time.
#include "conexion.h"
#include "propiedad.h"

#include <cstdio>

static void leer_tiempoexpo(fc2Context contexto)
{
    float tiempo;
    if (leer_propiedad(contexto, FC2_SHUTTER, &tiempo))
        printf("Lectura de Shutter Speed = %.1fms\n", tiempo);
}

int main()
{
    fc2Context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;
    leer_tiempoexpo(contexto);
    return 0;
}
