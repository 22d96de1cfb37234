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

// Replaces the file at path with the `size` bytes that `fill` writes, with `mode`. Whenever
// the process is killed, path holds the old file or the new one and no other file is left:
// the new file is written unnamed (O_TMPFILE) and linked in place at the end; where the
// filesystem has no unnamed files, a named temporary beside it is the fallback. A link at
// path is replaced, never followed. The replaced file is freed on a background thread. On
// any failure path is left as it was.
bool replace_file(const std::string &path, mode_t mode, size_t size,
                  const std::function<bool(int fd)> &fill);

// Waits until the files replaced so far are freed (done at exit in any case).
void finish_freeing();

// The hidden name a new file briefly has beside path while `process` puts it in path's
// place. One that a killed process left is removed by the first file the next process
// replaces in that directory.
std::string incoming_name(const std::string &base, pid_t process);

} // namespace camsim
