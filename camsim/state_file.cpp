// Checks that keep the state file the user's own: its place, its type, owner and mode.
#include "state_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace camsim
{
namespace
{

const char *const state_name = "camsim.state";

std::string private_directory()
{
    return "/tmp/camsim-" + std::to_string(::getuid());
}

std::string runtime_directory()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && runtime[0] == '/' ? runtime : "";
}

// Why a file or directory with these attributes is not this user's alone, or empty.
std::string foreign(const struct stat &info)
{
    if (info.st_uid != ::geteuid())
        return "not owned by this user";
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "writable by other users";
    return "";
}

} // namespace

std::string standard_state_path()
{
    const std::string runtime = runtime_directory();
    return (runtime.empty() ? private_directory() : runtime) + "/" + state_name;
}

int open_state(const std::string &path, int flags, std::string &refusal)
{
    refusal.clear();
    const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == ELOOP)
            refusal = "a symbolic link";
        else if (errno != ENOENT || (flags & O_CREAT) != 0)
            refusal = std::strerror(errno);
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0)
        refusal = std::strerror(errno);
    else if (!S_ISREG(info.st_mode))
        refusal = "not a regular file";
    else
        refusal = foreign(info);
    if (!refusal.empty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string check_state_directory(const std::string &path, bool create)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return "";
    const std::string directory = path.substr(0, slash);
    const bool in_private = directory == private_directory();
    if (!in_private && (directory.empty() || directory != runtime_directory()))
        return "";
    if (create && in_private && ::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return "cannot make directory '" + directory + "': " + std::strerror(errno);
    struct stat info;
    if (::lstat(directory.c_str(), &info) != 0)
        return errno == ENOENT ? "" : "directory '" + directory + "': " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode))
        return "directory '" + directory + "' is not a directory";
    const std::string why = foreign(info);
    return why.empty() ? "" : "directory '" + directory + "' is " + why;
}

void report_refused_state(const std::string &path, const std::string &why)
{
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true))
        std::fprintf(stderr, "camsim: refusing state file '%s': %s\n", path.c_str(), why.c_str());
}

} // namespace camsim
