// Reading a setting (exposure time or gain) from its text file in the working directory.
#pragma once

// Reads the file piece by piece (what one fgets returns into an 80-byte buffer), after a
// UTF-8 byte-order mark if it starts with one, and scans a number at the start of each
// piece; the last value in force wins. With the
// exposure rule, a value above 33.1 becomes 33.0 and every piece echoes the value in
// force with "%.1f\n". A value that is not finite is not taken. Anything but a regular file
// (a FIFO, a device, a socket, a directory) is refused without waiting on it. Returns false,
// with a message naming the file, when the file cannot be read or yields no value.
bool leer_ajuste(const char *archivo, bool regla_exposicion, float *valor);
