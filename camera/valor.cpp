// Scanning a float with "%f", refusing a dangling exponent.
#include "valor.h"

#include <cctype>
#include <cstdio>

namespace
{

bool es_digito(char c, bool hexadecimal)
{
    unsigned char u = static_cast<unsigned char>(c);
    return hexadecimal ? isxdigit(u) != 0 : isdigit(u) != 0;
}

// Whether the number at the start of texto ends in an exponent marker with no digits.
bool exponente_colgante(const char *texto)
{
    const char *p = texto;
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '+' || *p == '-')
        ++p;
    bool hexadecimal = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    if (hexadecimal)
        p += 2;
    while (es_digito(*p, hexadecimal))
        ++p;
    if (*p == '.')
        ++p;
    while (es_digito(*p, hexadecimal))
        ++p;
    bool marca = hexadecimal ? (*p == 'p' || *p == 'P') : (*p == 'e' || *p == 'E');
    if (!marca)
        return false;
    ++p;
    if (*p == '+' || *p == '-')
        ++p;
    return !isdigit(static_cast<unsigned char>(*p));
}

} // namespace

bool escanear_valor(const char *texto, float *valor)
{
    float leido;
    if (sscanf(texto, "%f", &leido) != 1 || exponente_colgante(texto))
        return false;
    *valor = leido;
    return true;
}

bool leer_valor_tecleado(FILE *entrada, float *valor)
{
    int c;
    do
        c = getc(entrada);
    while (c != EOF && isspace(c));
    if (c == EOF)
        return false;
    ungetc(c, entrada);
    char linea[80];
    if (fgets(linea, sizeof linea, entrada) == nullptr)
        return false;
    return escanear_valor(linea, valor);
}
