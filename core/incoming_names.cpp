// The hidden names new files have on their way to their place, and removing those that
// killed processes left behind.
#include "incoming_names.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace core
{
namespace
{

// Marks the hidden name of a new file on its way to its place:
// .<name>.camsim-new.<process>.<save>, <save> counting the saves of the process.
constexpr const char *incoming_mark = ".camsim-new.";

// The hidden names this process has given and not yet removed, and the directories it has
// listed for names left by killed processes.
struct Incoming {
    std::mutex mutex;
    uint64_t saves = 0;
    std::set<std::string> under_way;
    std::set<std::tuple<uint32_t, uint32_t, uint64_t, int64_t, uint32_t>> listed;
};

Incoming &incoming()
{
    static Incoming instance;
    return instance;
}

// The process in a hidden incoming name, 0 when name is none.
long incoming_process(const std::string &name)
{
    const size_t mark = name.rfind(incoming_mark);
    if (name[0] != '.' || mark == std::string::npos || mark == 0)
        return 0;
    char *end = nullptr;
    const long process = std::strtol(name.c_str() + mark + std::strlen(incoming_mark), &end, 10);
    if (*end == '.') { // the save, absent from names an earlier version gave
        const char *save = end + 1;
        if (std::strtoull(save, &end, 10) == 0 && end == save)
            return 0;
    }
    return *end == '\0' ? process : 0;
}

// Removes what processes killed while replacing a file in dir left there: the hidden
// incoming names of processes that are gone, or of a process before this one with its
// number. Listed once a process per directory (told apart by its inode and birth time, as
// inode numbers are used again), since listing it on every save would cost in proportion
// to its size; where the filesystem keeps no birth time, listed every time.
void remove_stale_incoming(int dir)
{
    struct statx info;
    if (::statx(dir, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &info) != 0)
        return;
    // Held while listing, so that the names of saves under way on other threads are known.
    Incoming &all = incoming();
    std::lock_guard<std::mutex> lock(all.mutex);
    if ((info.stx_mask & STATX_BTIME) &&
        !all.listed
             .insert({info.stx_dev_major, info.stx_dev_minor, info.stx_ino, info.stx_btime.tv_sec,
                      info.stx_btime.tv_nsec})
             .second)
        return;
    const int listing = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (entries == nullptr) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    while (const dirent *entry = ::readdir(entries)) {
        const std::string name = entry->d_name;
        const long process = incoming_process(name);
        if (process <= 0)
            continue;
        if (process == ::getpid() ? all.under_way.count(name) == 0
                                  : ::kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH)
            ::unlinkat(dir, name.c_str(), 0);
    }
    ::closedir(entries);
}

} // namespace

std::string incoming_name(const std::string &base, pid_t process, uint64_t save)
{
    const std::string owner = incoming_mark + std::to_string(process) + "." + std::to_string(save);
    // A long name keeps only its start: the process and the save tell the names apart.
    const size_t kept = std::min(base.size(), static_cast<size_t>(NAME_MAX) - 1 - owner.size());
    return "." + base.substr(0, kept) + owner;
}

IncomingName::IncomingName(int dir, const std::string &base)
{
    {
        Incoming &all = incoming();
        std::lock_guard<std::mutex> lock(all.mutex);
        name_ = incoming_name(base, ::getpid(), all.saves++);
        all.under_way.insert(name_);
    }
    ::unlinkat(dir, name_.c_str(), 0); // left by a killed process with this number
    remove_stale_incoming(dir);
}

IncomingName::~IncomingName()
{
    Incoming &all = incoming();
    std::lock_guard<std::mutex> lock(all.mutex);
    all.under_way.erase(name_);
}

} // namespace core
