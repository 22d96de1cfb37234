// The only arguments the programs answer: -h, --help and --version.
#include "opciones.h"

#include <cstdio>
#include <cstring>

namespace
{

void mostrar_ayuda(const Ayuda &ayuda)
{
    printf("Uso: %s [-h | --help | --version]\n"
           "%s\n"
           "Lee: %s\n"
           "Escribe: %s\n"
           "No acepta otras opciones: cualquier otro argumento se ignora.\n"
           "Cámara: la primera que encuentre el SDK. Los mensajes van a la salida\n"
           "estándar y el código de salida es siempre 0.\n"
           "Más información: man %s\n",
           ayuda.programa, ayuda.descripcion, ayuda.lee, ayuda.escribe, ayuda.programa);
}

} // namespace

bool atender_opciones(int argc, char **argv, const Ayuda &ayuda)
{
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0) {
            mostrar_ayuda(ayuda);
            return true;
        }
        if (strcmp(argv[i], "--version") == 0) {
            printf("%s (camkit) %s\n", ayuda.programa, CAMKIT_VERSION);
            return true;
        }
    }
    return false;
}
