// captura_simple: takes the ten-frame series with the camera as it stands.
#include "captura.h"
#include "inicio.h"

int main(int argc, char **argv)
{
    const Ayuda ayuda = {"captura_simple",
                         "Toma una serie de diez imágenes con la cámara tal como está y las\n"
                         "guarda en escala de grises, en el directorio de trabajo.",
                         "nada.",
                         "0000.bmp a 0009.bmp, que sustituyen a los archivos del mismo nombre.\n"
                         "En pantalla no muestra nada si todo va bien."};
    camera_context contexto = nullptr;
    if (!iniciar_programa(argc, argv, ayuda, &contexto))
        return 0;
    ejecutar_captura(contexto);
    return 0;
}
