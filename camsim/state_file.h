// The state file that keeps the cameras' settings between processes: where it lives, its
// format, and reading and replacing it under a lock, never following a link, blocking on a
// FIFO or trusting a file that another user could have put there.
#pragma once

#include "properties.h"
#include "state_place.h"

#include <string>

namespace camsim
{

// One line per camera and property. Readers take the file as it is (it is only ever
// replaced whole); writers update it under a lock, so concurrent processes lose no change.
// A missing or damaged file reads as factory settings. A write whose lock another process
// holds longer than the state place's wait fails, with a line on standard error.
Settings load_settings(const StatePlace &state, unsigned camera);
bool store_property(const StatePlace &state, unsigned camera, const camera_property &written,
                    camera_property &held);

// Keeps in the state file the shutter time and gain auto exposure chose for the properties it
// runs (auto exposure on, the property in auto mode), as a camera keeps them when capture
// stops. Returns whether the file changed.
bool keep_auto_values(const StatePlace &state, unsigned camera, double shutter_ms, double gain_db);

// Opens the state file (or its `lock`) with `flags` (O_RDONLY, or O_RDWR | O_CREAT), never
// following a link at path and never blocking on a FIFO, and checks what it opened: a
// regular file owned by this user and writable by no one else (a lock file readable by no
// one else either). Returns the descriptor, or -1 with `refusal` saying why; a file that is
// missing gives -1 and no refusal.
int open_state(const std::string &path, int flags, std::string &refusal, bool lock = false);

// Checks the directory of a state file in the standard directory (and makes it when `create`
// is set, it is missing and camsim makes it): a directory, not a link, owned by this user and
// writable by no one else; a missing runtime directory is refused too. Returns why not, or
// empty; a state file elsewhere is the user's own choice and passes.
std::string check_state_directory(const StatePlace &state, bool create);

// Says on standard error, the first time only in the process, why the state file is not
// used: "camsim: refusing state file '<path>': <why>".
void report_refused_state(const std::string &path, const std::string &why);

} // namespace camsim
