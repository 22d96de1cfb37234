// Writing files whole: the state file and the frame files appear complete or not at all.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>

namespace camsim
{

// Writes all the bytes, resuming after short writes and interruptions.
bool write_all(int fd, const void *bytes, size_t size);

// Replaces the file at path: `fill` writes a temporary file beside it, which then gets
// `mode` and is renamed over path. A link at path is replaced, never followed; on any
// failure the temporary file is removed and path is left as it was.
bool replace_file(const std::string &path, mode_t mode, const std::function<bool(int fd)> &fill);

} // namespace camsim
