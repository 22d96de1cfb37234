// Writing files whole: the state file and the frame files appear complete or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

namespace core
{

// Writes all the bytes, resuming after short writes and interruptions.
bool write_all(int fd, const void *bytes, size_t size);

// Where a new file is written before it takes its place.
enum class Temporary {
    unnamed, // an unnamed file (O_TMPFILE), or a named one where the filesystem has none
    named,   // a named one, as where the filesystem has no unnamed files
};

// Replaces the file at path with the `size` bytes that `fill` writes, with `mode` less the
// process's umask (as open gives it). Whenever the process is killed, path holds the old
// file or the new one and no other file is left, except its hidden incoming name after a
// SIGKILL, which the next save in that directory removes: the new file is written unnamed
// (O_TMPFILE) and linked in place at the end; where the filesystem has no unnamed files, a
// named temporary beside it is the fallback. A link at path is replaced, never followed.
// The replaced file is freed on a background thread. On any failure path is left as it was.
bool replace_file(const std::string &path, mode_t mode, size_t size,
                  const std::function<bool(int fd)> &fill,
                  Temporary temporary = Temporary::unnamed);

// Waits until the files replaced so far are freed (done at exit in any case).
void finish_freeing();

} // namespace core
