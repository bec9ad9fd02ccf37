#include "support/file_times.h"

#include <boost/filesystem/operations.hpp>
#include <ctime>
#include <stdexcept>

// Boost's overloads serve here (Boost is built with the same time_t as these tests);
// they also reach paths longer than MAX_PATH, which the ANSI file functions do not.
namespace kestran::testing {

void setLastWriteTime(const std::string& path, std::int64_t seconds) {
    boost::system::error_code error;
    boost::filesystem::last_write_time(path, static_cast<std::time_t>(seconds), error);
    if (error) throw std::runtime_error("cannot set the time of " + path + ": " + error.message());
}

std::int64_t lastWriteTime(const std::string& path) {
    boost::system::error_code error;
    const std::time_t time = boost::filesystem::last_write_time(path, error);
    if (error) throw std::runtime_error("cannot read the time of " + path + ": " + error.message());
    return time;
}

}  // namespace kestran::testing
