// The hidden names new files have on their way to their place: each save's own, so saves of
// one name at once never share one, and removed by the next save in the directory when a
// killed process left one behind.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace core
{

// The hidden name a new file briefly has beside path while `process` puts it in path's
// place, in the process's save number `save`; never longer than a file name can be. One that
// a killed process left is removed by the first file the next process replaces in that
// directory.
std::string incoming_name(const std::string &base, pid_t process, uint64_t save = 0);

// A hidden name of one save of this process in directory `dir`, known as under way until it
// is dropped (after the save has removed it): threads saving one file at once each have
// their own. Taking one clears the directory of what killed processes left there (below),
// its own name included.
class IncomingName
{
  public:
    IncomingName(int dir, const std::string &base);
    IncomingName(const IncomingName &) = delete;
    IncomingName &operator=(const IncomingName &) = delete;
    ~IncomingName();
    const char *c_str() const
    {
        return name_.c_str();
    }

  private:
    std::string name_;
};

} // namespace core
