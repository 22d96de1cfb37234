// The settings files: pieces of text, a number at the start of each.
#include "ajuste.h"

#include "valor.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// An exposure above the threshold becomes the ceiling (33.0, not 33.1).
constexpr double UMBRAL_EXPOSICION_MS = 33.1;
constexpr float TECHO_EXPOSICION_MS = 33.0f;

// Opens the file for reading only if it is a regular file. Opening never blocks, so a FIFO
// or a device under the file's name is refused at once instead of waited on or read forever.
FILE *abrir_archivo_regular(const char *archivo)
{
    int descriptor = open(archivo, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    struct stat datos;
    if (fstat(descriptor, &datos) != 0 || !S_ISREG(datos.st_mode)) {
        close(descriptor);
        return nullptr;
    }
    FILE *entrada = fdopen(descriptor, "r");
    if (entrada == nullptr)
        close(descriptor);
    return entrada;
}

} // namespace

bool leer_ajuste(const char *archivo, bool regla_exposicion, float *valor)
{
    FILE *entrada = abrir_archivo_regular(archivo);
    if (entrada == nullptr) {
        printf("No se pudo abrir el archivo %s\n", archivo);
        return false;
    }

    // A byte-order mark (Windows editors write one) is skipped: the file reads as without it.
    char marca[3];
    if (fread(marca, 1, sizeof marca, entrada) != sizeof marca ||
        memcmp(marca, "\xef\xbb\xbf", sizeof marca) != 0)
        fseek(entrada, 0, SEEK_SET);

    bool hay_valor = false;
    float vigente = 0;
    char pieza[TAMANO_PIEZA];
    while (fgets(pieza, sizeof pieza, entrada) != nullptr) {
        float leido;
        if (escanear_valor(pieza, &leido)) {
            // Compared in double precision: the float nearest 33.1 lies just below it.
            if (regla_exposicion && static_cast<double>(leido) > UMBRAL_EXPOSICION_MS)
                leido = TECHO_EXPOSICION_MS;
            if (std::isfinite(leido)) {
                vigente = leido;
                hay_valor = true;
            }
        }
        if (regla_exposicion && hay_valor)
            printf("%.1f\n", vigente);
    }

    // A file on a failing disk opens but cannot be read.
    bool leido_entero = !ferror(entrada);
    fclose(entrada);
    if (!leido_entero) {
        printf("No se pudo abrir el archivo %s\n", archivo);
        return false;
    }
    if (!hay_valor) {
        printf("El archivo %s no contiene ningún valor\n", archivo);
        return false;
    }
    *valor = vigente;
    return true;
}
