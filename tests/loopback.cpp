// A loopback-only network namespace, and the fake camera run in it.
#include "loopback.h"

#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace process
{
namespace
{

bool write_text(const char *path, const std::string &text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    const bool written = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (fd >= 0)
        close(fd);
    return written;
}

} // namespace

std::string enter_loopback_namespace()
{
    static const std::string why = []() -> std::string {
        const std::string uid = std::to_string(getuid()), gid = std::to_string(getgid());
        if (unshare(CLONE_NEWNET | (getuid() == 0 ? 0 : CLONE_NEWUSER)) != 0)
            return std::string("no network namespace can be made here: ") + strerror(errno);
        if (uid != "0" && !(write_text("/proc/self/setgroups", "deny") &&
                            write_text("/proc/self/uid_map", "0 " + uid + " 1") &&
                            write_text("/proc/self/gid_map", "0 " + gid + " 1")))
            return std::string("no user namespace can be set up here: ") + strerror(errno);
        // A new network namespace holds the loopback interface alone, down.
        ifreq lo{};
        std::strcpy(lo.ifr_name, "lo");
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &lo) == 0 &&
                        (lo.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &lo) == 0);
        if (fd >= 0)
            close(fd);
        return up ? "" : std::string("the loopback interface stays down: ") + strerror(errno);
    }();
    return why;
}

FakeCamera::FakeCamera(const std::string &path, std::vector<std::string> options)
{
    int out[2];
    check(pipe2(out, O_CLOEXEC) == 0, "pipe");
    options.insert(options.begin(), path);
    pid_ = fork();
    check(pid_ >= 0, "fork");
    if (pid_ == 0) {
        dup2(out[1], 1);
        execv(path.c_str(), pointers(options).data());
        _exit(127);
    }
    close(out[1]);
    out_ = fdopen(out[0], "r");
    char line[256];
    ready = std::fgets(line, sizeof line, out_) != nullptr && std::strcmp(line, "ready\n") == 0;
}

FakeCamera::~FakeCamera()
{
    stop();
}

std::string FakeCamera::stop()
{
    std::string said;
    if (pid_ <= 0)
        return said;
    kill(pid_, SIGCONT);
    kill(pid_, SIGTERM);
    char line[256];
    while (std::fgets(line, sizeof line, out_) != nullptr)
        said += line;
    std::fclose(out_);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
    return said.substr(0, said.find(" frames="));
}

} // namespace process
