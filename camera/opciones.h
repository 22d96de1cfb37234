// The only arguments the programs answer: -h, --help and --version.
#pragma once

// What a program's usage says about it, in the operators' language.
struct Ayuda {
    const char *programa;    // the program's name
    const char *descripcion; // what it does, one or more lines
    const char *lee;         // what it reads
    const char *escribe;     // what it writes or prints
};

// When any argument is exactly -h, --help or --version, prints the usage or the version
// and returns true: the program then ends without touching the camera, its input or its
// files. Every other argument is ignored.
bool atender_opciones(int argc, char **argv, const Ayuda &ayuda);
