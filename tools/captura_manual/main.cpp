// captura_manual: switches the camera's auto exposure off, then takes the ten-frame series.
#include "captura.h"
#include "inicio.h"
#include "propiedad.h"

// Sets only the auto-exposure on/off flag to 0. Silent whatever the camera answers; a
// record the camera did not fill is never written back.
static void apagar_autoexposicion(camera_context contexto)
{
    camera_property registro;
    if (leer_registro(contexto, PROPERTY_AUTO_EXPOSURE, &registro) != 0)
        return;
    registro.on_off = 0;
    fc2SetProperty(contexto, &registro);
}

int main(int argc, char **argv)
{
    const Ayuda ayuda = {"captura_manual",
                         "Desactiva la exposición automática de la cámara (queda desactivada)\n"
                         "y toma una serie de diez imágenes en escala de grises en el directorio\n"
                         "de trabajo.",
                         "nada.",
                         "0000.bmp a 0009.bmp, que sustituyen a los archivos del mismo nombre.\n"
                         "En pantalla no muestra nada si todo va bien."};
    camera_context contexto = nullptr;
    if (!iniciar_programa(argc, argv, ayuda, &contexto))
        return 0;
    apagar_autoexposicion(contexto);
    ejecutar_captura(contexto);
    return 0;
}
