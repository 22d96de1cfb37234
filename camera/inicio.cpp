// How every program begins: its output line by line, its options, then the camera.
#include "inicio.h"

#include "conexion.h"

#include <cstdio>

bool iniciar_programa(int argc, char **argv, const Ayuda &ayuda, camera_context *contexto)
{
    // Each line reaches a file or pipe when printed, so a run cut short keeps its reports.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (atender_opciones(argc, argv, ayuda))
        return false;
    return abrir_camara(contexto);
}
