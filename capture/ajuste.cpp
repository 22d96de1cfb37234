// The settings files: pieces of text, a number at the start of each.
#include "ajuste.h"

#include "valor.h"

#include <cmath>
#include <cstdio>

bool leer_ajuste(const char *archivo, bool regla_exposicion, float *valor)
{
    FILE *entrada = fopen(archivo, "r");
    if (entrada == nullptr) {
        printf("No se pudo abrir el archivo %s\n", archivo);
        return false;
    }

    bool hay_valor = false;
    float vigente = 0;
    char pieza[80];
    while (fgets(pieza, sizeof pieza, entrada) != nullptr) {
        float leido;
        if (escanear_valor(pieza, &leido)) {
            // Compared in double precision: the float nearest 33.1 lies just below it.
            if (regla_exposicion && static_cast<double>(leido) > 33.1)
                leido = 33.0f;
            if (std::isfinite(leido)) {
                vigente = leido;
                hay_valor = true;
            }
        }
        if (regla_exposicion && hay_valor)
            printf("%.1f\n", vigente);
    }

    // A directory opens but cannot be read; neither can a file on a failing disk.
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
