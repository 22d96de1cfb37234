// Opening the connection to the first camera and closing it.
#pragma once

#include "sdk.h"

// Creates the context and connects it to camera 0. On failure the reason has been
// printed and the caller ends its run without another SDK call.
bool abrir_camara(camera_context *contexto);

// Destroys the context; on failure the reason has been printed.
bool cerrar_camara(camera_context contexto);
