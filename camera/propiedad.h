// Writing and reading the absolute value of a camera property (exposure time, gain).
#pragma once

#include "sdk.h"

// Reads the property's whole record as the camera holds it, into a record cleared
// beforehand, so a failed read leaves zeros, never stale data. Returns the SDK's code.
camera_error leer_registro(camera_context contexto, property_type tipo, camera_property *registro);

// Writes the value as the property's absolute value in manual mode (absolute control on,
// on/off on, one-push off); every other member stays as the camera reported it. A failed
// read or write prints its error line; returns whether the camera took the record.
bool cambiar_propiedad(camera_context contexto, property_type tipo, float valor);

// Reads the property's absolute value into *valor. A failed read prints its error line
// and returns false, leaving *valor untouched.
bool leer_propiedad(camera_context contexto, property_type tipo, float *valor);

// Writes the value, then reads back into *vigente the value the camera now holds, which
// it may have clamped or rounded. A failed step prints its error line and returns false.
bool cambiar_y_releer(camera_context contexto, property_type tipo, float valor, float *vigente);
