// captura_simple: takes the ten-frame series with the camera as it stands.
#include "captura.h"
#include "conexion.h"
#include "opciones.h"

#include <cstdio>

int main(int argc, char **argv)
{
    // Each line reaches a file or pipe when printed, so a run cut short keeps its reports.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const Ayuda ayuda = {"captura_simple",
                         "Toma una serie de diez imágenes con la cámara tal como está y las\n"
                         "guarda en escala de grises, en el directorio de trabajo.",
                         "nada.",
                         "0000.bmp a 0009.bmp, que reemplazan a los que haya.\n"
                         "En pantalla no muestra nada si todo va bien."};
    if (atender_opciones(argc, argv, ayuda))
        return 0;

    camera_context contexto = nullptr;
    if (!abrir_camara(&contexto))
        return 0;
    ejecutar_captura(contexto);
    return 0;
}
