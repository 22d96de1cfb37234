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

// Beyond this many significant digits only whether one of the rest is non-zero can change
// the nearest float.
constexpr int cifras_significativas = 120;
// The scale counts digits exactly up to this bound (2^56 digits: more than can ever be
// typed), and a number that reaches it is refused rather than read as another. An exponent
// is read exactly up to the next bound; one beyond it puts any number of fewer digits past
// every float, so only its sign matters then.
constexpr long long limite_escala = 1LL << 56;
constexpr long long limite_exponente = 1LL << 59;

// The digits of a number being typed, kept in a few bytes however many are typed.
struct Cifras {
    bool hay_cifras;                           // a digit was read
    char guardadas[cifras_significativas + 2]; // significant digits, then a sticky '1'
    int cuantas;                               // how many of guardadas are in use
    long long escala; // the number is 0.<guardadas> times the base to this power
};

// Reads the digits and the point of a number starting with c, up to the first character
// that is neither (returned). Leading zeros only scale the number; digits past the kept
// ones only matter as a non-zero remainder.
int leer_cifras(FILE *entrada, int c, bool hexadecimal, Cifras *cifras)
{
    bool en_fraccion = false, resto_no_nulo = false;
    for (;; c = getc(entrada)) {
        if (c == '.' && !en_fraccion) {
            en_fraccion = true;
            continue;
        }
        if (c == EOF || !es_digito(static_cast<char>(c), hexadecimal))
            break;
        cifras->hay_cifras = true;
        if (cifras->cuantas == 0 && c == '0') {
            if (en_fraccion && cifras->escala > -limite_escala)
                cifras->escala--;
            continue;
        }
        if (cifras->cuantas < cifras_significativas)
            cifras->guardadas[cifras->cuantas++] = static_cast<char>(c);
        else if (c != '0')
            resto_no_nulo = true;
        if (!en_fraccion && cifras->escala < limite_escala)
            cifras->escala++;
    }
    if (resto_no_nulo)
        cifras->guardadas[cifras->cuantas++] = '1';
    return c;
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

    const bool negativo = c == '-';
    if (c == '+' || c == '-')
        c = getc(entrada);
    if (!isdigit(c) && c != '.') {
        // A word (inf, infinity, nan) or no number at all: short, read as a piece is.
        char pieza[TAMANO_PIEZA] = {negativo ? '-' : '+'};
        if (c != EOF)
            ungetc(c, entrada);
        if (fgets(pieza + 1, sizeof pieza - 1, entrada) == nullptr)
            return false;
        return escanear_valor(pieza, valor);
    }

    bool hexadecimal = false;
    if (c == '0') {
        const int marca = getc(entrada);
        if (marca == 'x' || marca == 'X') {
            const int tras = getc(entrada);
            // A hexadecimal prefix without digits is no number, as "%f" reads it.
            if (!isxdigit(tras) && tras != '.')
                return false;
            hexadecimal = true;
            c = tras;
        } else if (marca != EOF) {
            ungetc(marca, entrada);
        }
    }

    Cifras cifras = {};
    c = leer_cifras(entrada, c, hexadecimal, &cifras);
    // "%f" reads "0x." with no digit after it as 0.
    if (!cifras.hay_cifras && !hexadecimal)
        return false;

    long long exponente = 0;
    const bool marca = hexadecimal ? (c == 'p' || c == 'P') : (c == 'e' || c == 'E');
    if (marca) {
        c = getc(entrada);
        const bool exponente_negativo = c == '-';
        if (c == '+' || c == '-')
            c = getc(entrada);
        if (!isdigit(c))
            return false; // a dangling exponent: the answer does not scan
        for (; isdigit(c); c = getc(entrada))
            exponente = exponente < limite_exponente ? exponente * 10 + (c - '0') : exponente;
        if (exponente_negativo)
            exponente = -exponente;
    }
    if (c != EOF)
        ungetc(c, entrada);
    if (cifras.escala == limite_escala || cifras.escala == -limite_escala)
        return false; // too many digits to know the number's scale

    // The same number in a few bytes: 0.<significant digits> scaled by its exponent.
    char canonico[sizeof cifras.guardadas + 48];
    const long long escala = hexadecimal ? 4 * cifras.escala : cifras.escala;
    snprintf(canonico, sizeof canonico, "%s%s0.%.*s%c%lld", negativo ? "-" : "",
             hexadecimal ? "0x" : "", cifras.cuantas, cifras.guardadas, hexadecimal ? 'p' : 'e',
             escala + exponente);
    return escanear_valor(canonico, valor);
}
