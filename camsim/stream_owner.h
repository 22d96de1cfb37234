// The camera's one streaming owner across processes: a lock beside the state file that the
// kernel drops with the process holding it, however that process ends.
#pragma once

#include "config.h"
#include "errors.h"

#include <string>

namespace camsim
{

using namespace sdk;

// Where the lock of a camera's stream lives: <state file>.stream<camera>.
std::string stream_lock_path(const StatePlace &state, unsigned camera);

// A context's hold on its camera's stream: an exclusive flock on the camera's stream lock,
// checked as the state lock is (a regular file of this user's that others cannot even read:
// whoever can open it can hold it, and keep the camera busy). flock locks belong
// to an open file description, so two contexts of one process conflict as two processes
// do, and the kernel drops the lock when the process ends, even by SIGKILL.
class StreamOwner
{
  public:
    StreamOwner() = default;
    ~StreamOwner();
    StreamOwner(const StreamOwner &) = delete;
    StreamOwner &operator=(const StreamOwner &) = delete;

    // Takes the camera's stream: ok, or camera_busy while another context holds it. A lock
    // file refused is said once in the process on standard error ("camsim: refusing stream
    // lock file '<path>': <why>"), and the stream is then left unowned.
    Error take(const StatePlace &state, unsigned camera);
    // Lets the stream go (nothing when not held).
    void release();

  private:
    int fd_ = -1;
};

} // namespace camsim
