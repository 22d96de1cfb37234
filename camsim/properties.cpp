// Property ranges, factory settings and the state file.
#include "properties.h"

#include "files.h"
#include "state_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace camsim
{
namespace
{

constexpr const char *header = "camsim-state 1";
constexpr uint32_t raw_steps = 4095;

float absolute_from_raw(const PropertyRange &range, uint32_t raw)
{
    if (raw > raw_steps)
        raw = raw_steps;
    return static_cast<float>(range.min +
                              (static_cast<double>(range.max) - range.min) * raw / raw_steps);
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
bool read_table(const std::string &path, Table &table)
{
    table.clear();
    std::string refusal = check_state_directory(path, false);
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

// Takes into the held record what the camera accepts of a written one: the control flags
// and the value, clamped to the range (the shutter also to whole lines); the raw value
// follows the absolute one (or the other way round when absolute control is off). Returns
// false for a value that is not a number.
bool take_written_record(camera_property &held, const camera_property &written)
{
    const PropertyRange *range = find_range(held.type);
    if (range == nullptr || (written.absolute_control && !std::isfinite(written.absolute_value)))
        return false;
    held.absolute_control = written.absolute_control ? 1 : 0;
    held.on_off = written.on_off ? 1 : 0;
    held.auto_manual_mode = written.auto_manual_mode ? 1 : 0;
    held.one_push = 0; // a one-push adjustment is over by the time anyone reads it back
    held.integer_value_b = written.integer_value_b;
    if (written.absolute_control) {
        held.absolute_value = std::fmin(std::fmax(written.absolute_value, range->min), range->max);
        if (held.type == PROPERTY_SHUTTER)
            held.absolute_value = shutter_in_lines(held.absolute_value);
        held.integer_value_a = raw_from_absolute(*range, held.absolute_value);
    } else {
        held.integer_value_a =
            written.integer_value_a > raw_steps ? raw_steps : written.integer_value_a;
        held.absolute_value = absolute_from_raw(*range, held.integer_value_a);
        if (held.type == PROPERTY_SHUTTER)
            held.absolute_value = shutter_in_lines(held.absolute_value);
    }
    return true;
}

} // namespace

uint32_t raw_from_absolute(const PropertyRange &range, float value)
{
    double fraction = (value - range.min) / (static_cast<double>(range.max) - range.min);
    return static_cast<uint32_t>(std::lround(fraction * raw_steps));
}

float shutter_in_lines(double ms)
{
    const PropertyRange &range = *find_range(PROPERTY_SHUTTER);
    const double lines = std::lround(std::fmin(std::fmax(ms, range.min), range.max) * lines_per_ms);
    // Whole lines over a power of ten, so round values stay as exact as a float holds them.
    return static_cast<float>(std::fmax(lines, 1.0) / lines_per_ms);
}

const PropertyRange *find_range(property_type type)
{
    for (const PropertyRange &range : property_ranges)
        if (range.type == type)
            return &range;
    return nullptr;
}

camera_property *Settings::find(property_type type)
{
    for (camera_property &record : records)
        if (record.type == type)
            return &record;
    return nullptr;
}

const camera_property *Settings::find(property_type type) const
{
    return const_cast<Settings *>(this)->find(type);
}

Settings factory_settings()
{
    Settings settings;
    for (size_t i = 0; i < property_ranges.size(); ++i) {
        camera_property &record = settings.records[i];
        record.type = property_ranges[i].type;
        record.present = 1;
        record.absolute_control = 1;
        record.on_off = 1;
        record.auto_manual_mode = 1;
        record.absolute_value = property_ranges[i].factory;
        record.integer_value_a = raw_from_absolute(property_ranges[i], record.absolute_value);
    }
    return settings;
}

Settings load_settings(const std::string &path, unsigned camera)
{
    Settings settings = factory_settings();
    Table table;
    read_table(path, table);
    for (camera_property &record : settings.records) {
        auto found = table.find({camera, record.type});
        if (found != table.end())
            record = found->second;
    }
    return settings;
}

namespace
{

// Changes the camera's records in the state file under its lock: `change` gets them as they
// are now (factory settings for any not stored yet) and says whether to write them back.
bool update_state(const std::string &path, unsigned camera,
                  const std::function<bool(Settings &)> &change)
{
    std::string refusal = check_state_directory(path, true);
    if (!refusal.empty()) {
        report_refused_state(path, refusal);
        return false;
    }
    Table table;
    if (!read_table(path, table))
        return false; // refused, whatever the lock
    const int lock = open_state(path + ".lock", O_RDWR | O_CREAT, refusal);
    if (lock < 0) {
        report_refused_state(path, "lock file '" + path + ".lock': " + refusal);
        return false;
    }
    while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
    // Read again under the lock: another process may have changed another property.
    bool stored = read_table(path, table);
    Settings settings = factory_settings();
    for (camera_property &record : settings.records) {
        auto found = table.find({camera, record.type});
        if (found != table.end())
            record = found->second;
    }
    stored = stored && change(settings);
    if (stored) {
        for (const camera_property &record : settings.records)
            table[{camera, record.type}] = record;
        const std::string text = format_table(table);
        // Readers see the old file or the new, never a mix.
        stored = replace_file(path, 0600, text.size(),
                              [&text](int fd) { return write_all(fd, text.data(), text.size()); });
    }
    ::close(lock);
    return stored;
}

} // namespace

bool store_property(const std::string &path, unsigned camera, const camera_property &written,
                    camera_property &held)
{
    camera_property updated{};
    const bool stored = update_state(path, camera, [&](Settings &settings) {
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

bool keep_auto_values(const std::string &path, unsigned camera, double shutter_ms, double gain_db)
{
    return update_state(path, camera, [&](Settings &settings) {
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
