// consulta_exposicion: prints the camera's exposure time.
#include "conexion.h"
#include "propiedad.h"

#include <cstdio>

static void leer_tiempoexpo(camera_context contexto)
{
    float tiempo;
    if (leer_propiedad(contexto, PROPERTY_SHUTTER, &tiempo))
        printf("Lectura de Shutter Speed = %.1fms\n", tiempo);
}

int main()
{
    camera_context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;
    leer_tiempoexpo(contexto);
    return 0;
}
