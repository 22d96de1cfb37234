// The streaming owner's lock: opened with the state lock's checks and held with flock.
#include "stream_owner.h"

#include "state_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace camsim
{

std::string stream_lock_path(const StatePlace &state, unsigned camera)
{
    return state.path + ".stream" + std::to_string(camera);
}

StreamOwner::~StreamOwner()
{
    release();
}

Error StreamOwner::take(const StatePlace &state, unsigned camera)
{
    release();
    const std::string path = stream_lock_path(state, camera);
    std::string refusal = check_state_directory(state, true);
    if (!refusal.empty()) { // the state file's directory: the state file is refused too
        report_refused_state(state.path, refusal);
        return ok;
    }
    const int fd = open_state(path, O_RDWR | O_CREAT, refusal, true);
    if (fd < 0) {
        static std::atomic<bool> reported{false};
        if (!reported.exchange(true))
            std::fprintf(stderr, "camsim: refusing stream lock file '%s': %s\n", path.c_str(),
                         refusal.c_str());
        return ok;
    }
    int locked;
    while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? camera_busy : ok; // a file system without locks: unowned
    }
    fd_ = fd;
    return ok;
}

void StreamOwner::release()
{
    if (fd_ >= 0)
        ::close(fd_); // the lock goes with the last descriptor of its open file description
    fd_ = -1;
}

} // namespace camsim
