// Read-modify-write of a property in manual, absolute mode, and reading it back.
#include "propiedad.h"

#include <cstdio>

camera_error obtener_propiedad(camera_context contexto, property_type tipo,
                               camera_property *registro)
{
    *registro = camera_property{};
    registro->type = tipo;
    return fc2GetProperty(contexto, registro);
}

bool cambiar_propiedad(camera_context contexto, property_type tipo, float valor)
{
    camera_property registro;
    camera_error error = obtener_propiedad(contexto, tipo, &registro);
    if (error != 0) {
        // Without the camera's record there is nothing sound to write back.
        printf("Error in fc2GetProperty: %d\n", error);
        return false;
    }

    registro.auto_manual_mode = 0;
    registro.absolute_control = 1;
    registro.absolute_value = valor;
    registro.one_push = 0;
    registro.on_off = 1;
    error = fc2SetProperty(contexto, &registro);
    if (error != 0) {
        printf("Error in fc2SetProperty: %d\n", error);
        return false;
    }
    return true;
}

bool leer_propiedad(camera_context contexto, property_type tipo, float *valor)
{
    camera_property registro;
    camera_error error = obtener_propiedad(contexto, tipo, &registro);
    if (error != 0) {
        printf("Error in fc2GetProperty: %d\n", error);
        return false;
    }
    *valor = registro.absolute_value;
    return true;
}
