// Scanning a setting value (a 32-bit float) from the start of a piece of text.
#pragma once

#include <cstdio>

// A piece of a settings file: what one fgets reads into a buffer of this size.
constexpr int TAMANO_PIEZA = 80;

// Scans one number with "%f" from the start of texto: leading white space skipped, a
// decimal or hexadecimal number, inf, infinity or nan. A number whose exponent marker
// (e or E; p or P in a hexadecimal one) has no digits after it does not scan, although
// this C library's "%f" would take the number before the marker. Text after a complete
// number is ignored. Returns whether a number was scanned into *valor.
bool escanear_valor(const char *texto, float *valor);

// Reads the operator's answer from entrada: skips white space (blank lines included) and
// scans the number at the start of what follows, as escanear_valor does, however many
// characters it has. Returns false at the end of input or when the answer is not a number.
bool leer_valor_tecleado(FILE *entrada, float *valor);
