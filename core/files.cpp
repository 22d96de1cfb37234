// Replacing a file atomically through an unnamed temporary file, and freeing the file it
// replaces off the caller's path.
#include "files.h"
#include "incoming_names.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace core
{
namespace
{

// Catchable signals held back while a new file has a temporary name, so that only SIGKILL
// can end the process with that name still there (and the next save of the file removes it).
class SignalsHeld
{
  public:
    SignalsHeld()
    {
        sigset_t all;
        sigfillset(&all);
        held_ = pthread_sigmask(SIG_BLOCK, &all, &previous_) == 0;
    }
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;
    ~SignalsHeld()
    {
        if (held_)
            pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

  private:
    sigset_t previous_;
    bool held_ = false;
};

// Closes descriptors of replaced files on a thread of its own: the last reference to a
// replaced file goes with them, and with it the cost of freeing its blocks, which thus
// overlaps the making of the next frame. The end of the process waits for it.
class Freeing
{
  public:
    Freeing() = default;
    Freeing(const Freeing &) = delete;
    Freeing &operator=(const Freeing &) = delete;
    ~Freeing()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (worker_.joinable())
            worker_.join();
    }

    void wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return pending_.empty() && !busy_; });
    }

    // How many files have been freed so far.
    uint64_t freed()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return freed_;
    }

    void release(int fd)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!worker_.joinable()) {
            try {
                // Started with every signal blocked, which it keeps: a signal meant for the
                // process goes to a thread that holds it while a new file has a temporary name.
                SignalsHeld held;
                worker_ = std::thread(&Freeing::run, this);
                // Named so that it can be told apart in ps and /proc.
                ::pthread_setname_np(worker_.native_handle(), "camsim-freeing");
            } catch (const std::system_error &) {
                ::close(fd);
                return;
            }
        }
        pending_.push_back(fd);
        wake_.notify_one();
    }

  private:
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            if (pending_.empty())
                return;
            std::vector<int> fds;
            fds.swap(pending_);
            busy_ = true;
            lock.unlock();
            for (int fd : fds)
                ::close(fd);
            lock.lock();
            freed_ += fds.size();
            busy_ = false;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<int> pending_;
    bool busy_ = false;
    bool stopping_ = false;
    uint64_t freed_ = 0;
    std::thread worker_;
};

Freeing &freeing()
{
    static Freeing instance;
    return instance;
}

// Lets go of the reference kept to the file at the name being replaced: once replaced, it is
// freed on the freeing thread; otherwise the reference is only closed.
void let_go(int old, bool replaced)
{
    if (old < 0)
        return;
    if (replaced)
        freeing().release(old);
    else
        ::close(old);
}

// Gives the unnamed file open at fd the name `name` in directory `dir`.
bool link_unnamed(int fd, int dir, const char *name)
{
    if (::linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0)
        return true;
    if (errno != ENOENT && errno != EPERM)
        return false;
    // Without the privilege to link by descriptor, through its /proc entry.
    char proc_path[64];
    std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, proc_path, dir, name, AT_SYMLINK_FOLLOW) == 0;
}

// Reserves the file's blocks before it is written, which costs less than finding them a
// write at a time; filesystems that cannot are left to do it as the writes come.
bool reserve(int fd, size_t size)
{
    if (size == 0 || ::fallocate(fd, 0, 0, static_cast<off_t>(size)) == 0)
        return true;
    return errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL;
}

// Fills the new file: reservation, bytes; true when it holds exactly `size` bytes. Out of
// space while replaced files were still waiting to be freed, it waits for them and, if any
// was freed since it began, tries once more: on a nearly full disk, a series replacing its
// frames needs the room of the frame it replaced last.
bool fill_file(int fd, size_t size, const std::function<bool(int fd)> &fill)
{
    const uint64_t freed_before = freeing().freed();
    for (bool again = true;; again = false) {
        errno = 0;
        if (reserve(fd, size) && fill(fd) && ::lseek(fd, 0, SEEK_CUR) == static_cast<off_t>(size))
            return true;
        if (errno != ENOSPC || !again)
            return false;
        freeing().wait();
        if (freeing().freed() == freed_before || ::ftruncate(fd, 0) != 0 ||
            ::lseek(fd, 0, SEEK_SET) != 0)
            return false;
    }
}

// Puts the complete unnamed file at fd under `base` in dir, replacing what is there.
bool publish(int fd, int dir, const std::string &base)
{
    if (link_unnamed(fd, dir, base.c_str()))
        return true; // nothing was there
    if (errno != EEXIST)
        return false;
    // Keep a reference to the file being replaced, so that taking its name away only
    // unnames it and its blocks are freed when the reference is dropped, on the freeing
    // thread.
    const int old = ::openat(dir, base.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat info;
    // A file or a link there is exchanged with the new file, then unnamed: a rename over
    // an existing file would make the filesystem write the new file out there and then.
    const bool exchange =
        old >= 0 && ::fstat(old, &info) == 0 && (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode));
    bool published = false;
    {
        SignalsHeld held;
        // Named for this save, so that saves of the same name at once, in this process or
        // others, never take each other's file away.
        const IncomingName incoming(dir, base);
        if (link_unnamed(fd, dir, incoming.c_str())) {
            published = exchange ? ::renameat2(dir, incoming.c_str(), dir, base.c_str(),
                                               RENAME_EXCHANGE) == 0
                                 : ::renameat(dir, incoming.c_str(), dir, base.c_str()) == 0;
            const int error = errno;
            ::unlinkat(dir, incoming.c_str(), 0); // the replaced file, or the new one
            errno = error;
        }
    }
    let_go(old, published);
    return published;
}

// The fallback where unnamed files are not available: a named temporary beside the file,
// with the guarantees of the unnamed one: signals held while it has its name, which is the
// save's own and removed by the next save in the directory if the process is killed.
bool replace_through_named(int dir, const std::string &base, mode_t mode, size_t size,
                           const std::function<bool(int fd)> &fill)
{
    const int old = ::openat(dir, base.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    bool replaced = false;
    {
        SignalsHeld held;
        const IncomingName incoming(dir, base);
        const int fd = ::openat(dir, incoming.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            bool written = fill_file(fd, size, fill);
            written = ::close(fd) == 0 && written;
            replaced = written && ::renameat(dir, incoming.c_str(), dir, base.c_str()) == 0;
            if (!replaced)
                ::unlinkat(dir, incoming.c_str(), 0);
        }
    }
    let_go(old, replaced);
    return replaced;
}

} // namespace

bool write_all(int fd, const void *bytes, size_t size)
{
    const char *next = static_cast<const char *>(bytes);
    while (size > 0) {
        ssize_t n = ::write(fd, next, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        next += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool replace_file(const std::string &path, mode_t mode, size_t size,
                  const std::function<bool(int fd)> &fill, Temporary temporary)
{
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty())
        return false;
    const int dir = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    const int fd = temporary == Temporary::named
                       ? -1
                       : ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0) {
        const bool fallback = temporary == Temporary::named || errno == EOPNOTSUPP ||
                              errno == EISDIR || errno == EINVAL;
        const bool replaced = fallback && replace_through_named(dir, base, mode, size, fill);
        ::close(dir);
        return replaced;
    }
    const bool replaced = fill_file(fd, size, fill) && publish(fd, dir, base);
    ::close(fd);
    ::close(dir);
    return replaced;
}

void finish_freeing()
{
    freeing().wait();
}

} // namespace core
