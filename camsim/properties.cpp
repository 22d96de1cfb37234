// Property ranges, factory settings and the state file.
#include "properties.h"

#include "files.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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

uint32_t raw_from_absolute(const PropertyRange &range, float value)
{
    double fraction = (value - range.min) / (static_cast<double>(range.max) - range.min);
    return static_cast<uint32_t>(std::lround(fraction * raw_steps));
}

float absolute_from_raw(const PropertyRange &range, uint32_t raw)
{
    if (raw > raw_steps)
        raw = raw_steps;
    return static_cast<float>(range.min +
                              (static_cast<double>(range.max) - range.min) * raw / raw_steps);
}

using Table = std::map<std::pair<unsigned, fc2PropertyType>, fc2Property>;

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
        fc2Property record{};
        std::string value;
        fields >> camera >> record.type >> record.present >> record.absControl >> record.onePush >>
            record.onOff >> record.autoManualMode >> record.valueA >> record.valueB >> value;
        for (uint32_t &word : record.reserved)
            fields >> word;
        if (!fields || find_range(record.type) == nullptr || camera >= 16)
            return false;
        char *end = nullptr;
        record.absValue = std::strtof(value.c_str(), &end);
        if (*end != '\0' || !std::isfinite(record.absValue))
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
        int n = std::snprintf(line, sizeof line, "%u %d %d %d %d %d %d %u %u %.9g", key.first,
                              r.type, r.present, r.absControl, r.onePush, r.onOff, r.autoManualMode,
                              r.valueA, r.valueB, r.absValue);
        text.append(line, static_cast<size_t>(n));
        for (uint32_t word : r.reserved)
            text += " " + std::to_string(word);
        text += "\n";
    }
    return text;
}

Table read_table(const std::string &path)
{
    Table table;
    std::string text;
    if (FILE *file = std::fopen(path.c_str(), "re")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() < (1u << 20))
            text.append(buffer, n);
        std::fclose(file);
        if (!parse_table(text, table))
            table.clear();
    }
    return table;
}

} // namespace

const PropertyRange *find_range(fc2PropertyType type)
{
    for (const PropertyRange &range : property_ranges)
        if (range.type == type)
            return &range;
    return nullptr;
}

fc2Property *Settings::find(fc2PropertyType type)
{
    for (fc2Property &record : records)
        if (record.type == type)
            return &record;
    return nullptr;
}

const fc2Property *Settings::find(fc2PropertyType type) const
{
    return const_cast<Settings *>(this)->find(type);
}

Settings factory_settings()
{
    // Out of the box everything runs automatically: auto exposure on, shutter and gain in
    // auto mode, at 10 ms and 0 dB.
    const float values[] = {0.0f, 10.0f, 0.0f};
    Settings settings;
    for (size_t i = 0; i < property_ranges.size(); ++i) {
        fc2Property &record = settings.records[i];
        record.type = property_ranges[i].type;
        record.present = 1;
        record.absControl = 1;
        record.onOff = 1;
        record.autoManualMode = 1;
        record.absValue = values[i];
        record.valueA = raw_from_absolute(property_ranges[i], values[i]);
    }
    return settings;
}

bool apply(fc2Property &held, const fc2Property &written)
{
    const PropertyRange *range = find_range(held.type);
    if (range == nullptr || (written.absControl && !std::isfinite(written.absValue)))
        return false;
    held.absControl = written.absControl ? 1 : 0;
    held.onOff = written.onOff ? 1 : 0;
    held.autoManualMode = written.autoManualMode ? 1 : 0;
    held.onePush = 0; // a one-push adjustment is over by the time anyone reads it back
    held.valueB = written.valueB;
    if (written.absControl) {
        held.absValue = std::fmin(std::fmax(written.absValue, range->min), range->max);
        held.valueA = raw_from_absolute(*range, held.absValue);
    } else {
        held.valueA = written.valueA > raw_steps ? raw_steps : written.valueA;
        held.absValue = absolute_from_raw(*range, held.valueA);
    }
    return true;
}

Settings load_settings(const std::string &path, unsigned camera)
{
    Settings settings = factory_settings();
    Table table = read_table(path);
    for (fc2Property &record : settings.records) {
        auto found = table.find({camera, record.type});
        if (found != table.end())
            record = found->second;
    }
    return settings;
}

bool store_property(const std::string &path, unsigned camera, const fc2Property &written,
                    fc2Property &held)
{
    int lock = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0)
        return false;
    while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
    // Read again under the lock: another process may have changed another property.
    Table table = read_table(path);
    for (const fc2Property &record : factory_settings().records)
        table.emplace(std::make_pair(camera, record.type), record);
    fc2Property updated = table[{camera, written.type}];
    bool stored = apply(updated, written);
    if (stored) {
        table[{camera, written.type}] = updated;
        const std::string text = format_table(table);
        // Readers see the old file or the new, never a mix.
        stored = replace_file(path, 0600,
                              [&text](int fd) { return write_all(fd, text.data(), text.size()); });
    }
    if (stored)
        held = updated;
    ::close(lock);
    return stored;
}

} // namespace camsim
