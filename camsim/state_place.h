// Where the state file lives: the place an environment gives it, which the configuration
// holds and the state file's reading and writing take.
#pragma once

#include <functional>
#include <string>

namespace camsim
{

// A variable's value in an environment, or null when it is not set.
using Lookup = std::function<const char *(const char *name)>;

// Where the state file is; the standard directory of this environment (see
// standard_state_place), which a state file in it is checked in, and whether camsim makes
// that directory when it is missing; and how long a write waits for the file's lock.
struct StatePlace {
    std::string path;
    std::string directory;
    bool make_directory = false;
    unsigned lock_wait_ms = 5000;
};

// The state file's place in an environment when CAMSIM_STATE does not name one, camsim.state
// in the first of:
// - $XDG_RUNTIME_DIR when it is an absolute path: the session's own, never made by camsim;
// - the user's state home when HOME is an absolute path to a directory of this user's:
//   $XDG_STATE_HOME/camsim when XDG_STATE_HOME is an absolute path, else
//   $HOME/.local/state/camsim, made mode 0700 (and any missing directory above it) on first
//   write;
// - else /tmp/camsim-<uid>, made mode 0700 on first write: a name in a shared directory,
//   which another user could take first, so only when there is no home to use.
StatePlace standard_state_place(const Lookup &lookup);

} // namespace camsim
