// Read-modify-write of a property in manual, absolute mode, and reading it back.
#include "propiedad.h"

#include <cstdio>

fc2Error obtener_propiedad(fc2Context contexto, fc2PropertyType tipo, fc2Property *registro)
{
    *registro = fc2Property{};
    registro->type = tipo;
    return fc2GetProperty(contexto, registro);
}

bool cambiar_propiedad(fc2Context contexto, fc2PropertyType tipo, float valor)
{
    fc2Property registro;
    fc2Error error = obtener_propiedad(contexto, tipo, &registro);
    if (error != 0) {
        // Without the camera's record there is nothing sound to write back.
        printf("Error in fc2GetProperty: %d\n", error);
        return false;
    }

    registro.autoManualMode = 0;
    registro.absControl = 1;
    registro.absValue = valor;
    registro.onePush = 0;
    registro.onOff = 1;
    error = fc2SetProperty(contexto, &registro);
    if (error != 0) {
        printf("Error in fc2SetProperty: %d\n", error);
        return false;
    }
    return true;
}

bool leer_propiedad(fc2Context contexto, fc2PropertyType tipo, float *valor)
{
    fc2Property registro;
    fc2Error error = obtener_propiedad(contexto, tipo, &registro);
    if (error != 0) {
        printf("Error in fc2GetProperty: %d\n", error);
        return false;
    }
    *valor = registro.absValue;
    return true;
}
