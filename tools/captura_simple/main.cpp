// captura_simple: takes the ten-frame series with the camera as it stands.
#include "captura.h"
#include "conexion.h"

int main()
{
    camera_context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;
    ejecutar_captura(contexto);
    return 0;
}
