// The capture run shared by the three capture tools: start, grab a series, stop, close.
#pragma once

#include "sdk.h"

// Every capture tool takes a series of this many frames, 0000.bmp to 0009.bmp.
constexpr int CUADROS_POR_SERIE = 10;

// Starts streaming, grabs ten frames into 0000.bmp to 0009.bmp, stops streaming and
// destroys the context. A failed start or stop is printed and ends the run there.
void ejecutar_captura(camera_context contexto);

// Makes `cantidad` attempts to retrieve, convert and save a frame under "%04d.bmp"
// numbered by the attempt. Failures are printed and the series goes on. Once at least one
// frame is saved, the series ends by removing the file or link (never a directory) left
// under each failed number among the first CUADROS_POR_SERIE, so no frame of an earlier
// series stays among the new ones; a series that saved nothing leaves the directory alone.
void GrabImages(camera_context contexto, int cantidad);
