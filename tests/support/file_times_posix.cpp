#include "support/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kestran::testing {

void setLastWriteTime(const std::string& path, std::int64_t seconds) {
    const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        throw std::runtime_error("cannot set the time of " + path + ": " + std::strerror(errno));
}

std::int64_t lastWriteTime(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        throw std::runtime_error("cannot read the time of " + path + ": " + std::strerror(errno));
    return status.st_mtim.tv_sec;
}

}  // namespace kestran::testing
