// How every program begins: its output line by line, its options, then the camera.
#pragma once

#include "opciones.h"
#include "sdk.h"

// Makes standard output line-buffered, answers -h, --help and --version, then opens the
// camera (abrir_camara). Returns true when the program goes on with a connected context;
// false when it ends at once (an option answered, or the reason it could not connect
// printed).
bool iniciar_programa(int argc, char **argv, const Ayuda &ayuda, camera_context *contexto);
