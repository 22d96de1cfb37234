// The kit's one line for a failed SDK call.
#pragma once

#include "sdk.h"

// Prints "Error in <llamada>: <codigo>" on standard output.
void informar_error(const char *llamada, camera_error codigo);
