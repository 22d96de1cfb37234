// The kit's one line for a failed SDK call.
#include "informe.h"

#include <cstdio>

void informar_error(const char *llamada, camera_error codigo)
{
    printf("Error in %s: %d\n", llamada, codigo);
}
