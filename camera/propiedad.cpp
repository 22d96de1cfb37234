// Read-modify-write of a property in manual, absolute mode, and reading it back.
#include "propiedad.h"

#include "informe.h"

camera_error leer_registro(camera_context contexto, property_type tipo, camera_property *registro)
{
    *registro = camera_property{};
    registro->type = tipo;
    return fc2GetProperty(contexto, registro);
}

bool cambiar_propiedad(camera_context contexto, property_type tipo, float valor)
{
    camera_property registro;
    camera_error error = leer_registro(contexto, tipo, &registro);
    if (error != 0) {
        // Without the camera's record there is nothing sound to write back.
        informar_error("fc2GetProperty", error);
        return false;
    }

    registro.auto_manual_mode = 0;
    registro.absolute_control = 1;
    registro.absolute_value = valor;
    registro.one_push = 0;
    registro.on_off = 1;
    error = fc2SetProperty(contexto, &registro);
    if (error != 0) {
        informar_error("fc2SetProperty", error);
        return false;
    }
    return true;
}

bool leer_propiedad(camera_context contexto, property_type tipo, float *valor)
{
    camera_property registro;
    camera_error error = leer_registro(contexto, tipo, &registro);
    if (error != 0) {
        informar_error("fc2GetProperty", error);
        return false;
    }
    *valor = registro.absolute_value;
    return true;
}

bool cambiar_y_releer(camera_context contexto, property_type tipo, float valor, float *vigente)
{
    return cambiar_propiedad(contexto, tipo, valor) && leer_propiedad(contexto, tipo, vigente);
}
