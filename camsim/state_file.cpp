// The state file: its place, type, owner and mode checked, its format read and written,
// and its replacement under a lock.
#include "state_file.h"

#include "files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace camsim
{
namespace
{

using Clock = std::chrono::steady_clock;

const char *const state_name = "camsim.state";
constexpr const char *header = "camsim-state 1";

// Makes the directory at path and each missing one above it, mode 0700, leaving those that
// exist as they are; false (errno set) when one cannot be made.
bool make_directories(const std::string &path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        if (::mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

// base + rest ("/..."), without doubling the slash a base may end in.
std::string below(std::string base, const char *rest)
{
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + rest;
}

// Why a file or directory with these attributes is not this user's alone, or empty. A lock
// file may not even be readable by others: whoever can open it can hold the lock.
std::string foreign(const struct stat &info, bool lock = false)
{
    if (info.st_uid != ::geteuid())
        return "not owned by this user";
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "writable by other users";
    if (lock && (info.st_mode & (S_IRGRP | S_IROTH)) != 0)
        return "readable by other users";
    return "";
}

using Table = std::map<std::pair<unsigned, property_type>, camera_property>;

// Parses the whole file; false when it is damaged in any way.
bool parse_table(const std::string &text, Table &table)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != header)
        return false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        unsigned camera = 0;
        camera_property record{};
        std::string value;
        fields >> camera >> record.type >> record.present >> record.absolute_control >>
            record.one_push >> record.on_off >> record.auto_manual_mode >> record.integer_value_a >>
            record.integer_value_b >> value;
        for (uint32_t &word : record.reserved)
            fields >> word;
        if (!fields || find_range(record.type) == nullptr || camera >= 16)
            return false;
        char *end = nullptr;
        record.absolute_value = std::strtof(value.c_str(), &end);
        // A value the camera could not hold is damage too.
        const PropertyRange &range = *find_range(record.type);
        if (*end != '\0' || !(record.absolute_value >= range.min) ||
            !(record.absolute_value <= range.max))
            return false;
        std::string rest;
        if (fields >> rest)
            return false;
        table[{camera, record.type}] = record;
    }
    return true;
}

// A camera's settings in the table: factory settings for any not stored.
Settings settings_in(const Table &table, unsigned camera)
{
    Settings settings = factory_settings();
    for (camera_property &record : settings.records) {
        auto found = table.find({camera, record.type});
        if (found != table.end())
            record = found->second;
    }
    return settings;
}

std::string format_table(const Table &table)
{
    std::string text = std::string(header) + "\n";
    char line[512];
    for (const auto &[key, r] : table) {
        int n =
            std::snprintf(line, sizeof line, "%u %d %d %d %d %d %d %u %u %.9g", key.first, r.type,
                          r.present, r.absolute_control, r.one_push, r.on_off, r.auto_manual_mode,
                          r.integer_value_a, r.integer_value_b, r.absolute_value);
        text.append(line, static_cast<size_t>(n));
        for (uint32_t word : r.reserved)
            text += " " + std::to_string(word);
        text += "\n";
    }
    return text;
}

// Reads the state file into table; false when the file is refused (its refusal is
// reported). A missing or damaged file leaves the table empty.
bool read_table(const StatePlace &state, Table &table)
{
    const std::string &path = state.path;
    table.clear();
    std::string refusal = check_state_directory(state, false);
    const int fd = refusal.empty() ? open_state(path, O_RDONLY, refusal) : -1;
    if (!refusal.empty()) {
        report_refused_state(path, refusal);
        return false;
    }
    if (fd < 0)
        return true;
    std::string text;
    char buffer[4096];
    ssize_t n;
    while (text.size() < (1u << 20) &&
           ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)))
        if (n > 0)
            text.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    if (!parse_table(text, table))
        table.clear();
    return true;
}

} // namespace

StatePlace standard_state_place(const Lookup &lookup)
{
    const auto absolute = [](const char *path) { return path != nullptr && path[0] == '/'; };
    const char *runtime = lookup("XDG_RUNTIME_DIR"), *home = lookup("HOME"),
               *state_home = lookup("XDG_STATE_HOME");
    // A home is one when it is a directory of this user's (through links: a home may be one).
    struct stat info;
    const bool has_home = absolute(home) && ::stat(home, &info) == 0 && S_ISDIR(info.st_mode) &&
                          info.st_uid == ::geteuid();
    StatePlace place;
    place.make_directory = !absolute(runtime);
    if (absolute(runtime))
        place.directory = runtime;
    else if (has_home)
        place.directory =
            below(absolute(state_home) ? state_home : below(home, "/.local/state"), "/camsim");
    else
        place.directory = "/tmp/camsim-" + std::to_string(::getuid());
    place.path = place.directory + "/" + state_name;
    return place;
}

int open_state(const std::string &path, int flags, std::string &refusal, bool lock)
{
    refusal.clear();
    const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        // A link is said as one whatever the error: in a sticky directory another user's link
        // gives EACCES rather than ELOOP.
        const int error = errno;
        struct stat link;
        if (error == ELOOP || (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)))
            refusal = "a symbolic link";
        else if (error != ENOENT || (flags & O_CREAT) != 0)
            refusal = std::strerror(error);
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0)
        refusal = std::strerror(errno);
    else if (!S_ISREG(info.st_mode))
        refusal = "not a regular file";
    else
        refusal = foreign(info, lock);
    if (!refusal.empty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string check_state_directory(const StatePlace &state, bool create)
{
    const std::string &directory = state.directory;
    if (directory.empty() || state.path.rfind('/') != directory.size() ||
        state.path.compare(0, directory.size(), directory) != 0)
        return ""; // not in the standard directory
    if (create && state.make_directory && !make_directories(directory))
        return "cannot make directory '" + directory + "': " + std::strerror(errno);
    struct stat info;
    if (::lstat(directory.c_str(), &info) != 0)
        return errno == ENOENT && state.make_directory // not made yet
                   ? ""
                   : "directory '" + directory + "': " + std::strerror(errno);
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

namespace
{

// Takes the lock on the open lock file, waiting at most `wait_ms` for another holder to
// let go (polled: a blocking wait could not be bounded without a signal). Returns why not,
// or empty.
std::string take_lock(int fd, unsigned wait_ms)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return "";
        if (errno != EWOULDBLOCK && errno != EINTR)
            return std::strerror(errno);
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            char text[96];
            std::snprintf(text, sizeof text, "held by another process for %g s", wait_ms / 1000.0);
            return text;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

// Changes the camera's records in the state file under its lock: `change` gets them as they
// are now (factory settings for any not stored yet) and says whether to write them back.
bool update_state(const StatePlace &state, unsigned camera,
                  const std::function<bool(Settings &)> &change)
{
    const std::string &path = state.path;
    std::string refusal = check_state_directory(state, true);
    if (!refusal.empty()) {
        report_refused_state(path, refusal);
        return false;
    }
    Table table;
    if (!read_table(state, table))
        return false; // refused, whatever the lock
    const int lock = open_state(path + ".lock", O_RDWR | O_CREAT, refusal, true);
    if (lock < 0) {
        report_refused_state(path, "lock file '" + path + ".lock': " + refusal);
        return false;
    }
    const std::string busy = take_lock(lock, state.lock_wait_ms);
    if (!busy.empty()) {
        std::fprintf(stderr, "camsim: state file '%s' not written: lock file '%s.lock' %s\n",
                     path.c_str(), path.c_str(), busy.c_str());
        ::close(lock);
        return false;
    }
    // Read again under the lock: another process may have changed another property.
    bool stored = read_table(state, table);
    Settings settings = settings_in(table, camera);
    stored = stored && change(settings);
    if (stored) {
        for (const camera_property &record : settings.records)
            table[{camera, record.type}] = record;
        const std::string text = format_table(table);
        // Readers see the old file or the new, never a mix.
        stored = core::replace_file(path, 0600, text.size(), [&text](int fd) {
            return core::write_all(fd, text.data(), text.size());
        });
    }
    ::close(lock);
    return stored;
}

} // namespace

Settings load_settings(const StatePlace &state, unsigned camera)
{
    Table table;
    read_table(state, table);
    return settings_in(table, camera);
}

bool store_property(const StatePlace &state, unsigned camera, const camera_property &written,
                    camera_property &held)
{
    camera_property updated{};
    const bool stored = update_state(state, camera, [&](Settings &settings) {
        updated = *settings.find(written.type);
        if (!take_written_record(updated, written))
            return false;
        *settings.find(written.type) = updated;
        return true;
    });
    if (stored)
        held = updated;
    return stored;
}

bool keep_auto_values(const StatePlace &state, unsigned camera, double shutter_ms, double gain_db)
{
    return update_state(state, camera, [&](Settings &settings) {
        if (!settings.find(PROPERTY_AUTO_EXPOSURE)->on_off)
            return false;
        bool changed = false;
        for (auto [type, value] : {std::make_pair(PROPERTY_SHUTTER, shutter_ms),
                                   std::make_pair(PROPERTY_GAIN, gain_db)}) {
            camera_property &record = *settings.find(type);
            if (!record.auto_manual_mode || record.absolute_value == static_cast<float>(value))
                continue;
            record.absolute_value = static_cast<float>(value);
            record.integer_value_a = raw_from_absolute(*find_range(type), record.absolute_value);
            changed = true;
        }
        return changed;
    });
}

} // namespace camsim
