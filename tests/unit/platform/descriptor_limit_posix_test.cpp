// A process out of file descriptors (POSIX, where the test can set the limit). Not
// under the sanitizers: they need descriptors of their own to check the failure thrown.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform_test_support.h"

namespace kestran::platform {
namespace {

using DescriptorLimit = PlatformDir;

// A process out of file descriptors says so: the archive is there, and "Can't open
// file!" would send the user looking for a missing file.
TEST_F(DescriptorLimit, AProcessOutOfDescriptorsSaysSoWhenItOpensAFile) {
    writeBytes("a.db0", {1, 2, 3});
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    std::vector<int> held;
    rlimit limited = saved;
    limited.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limited), 0);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) held.push_back(fd);
    const std::string text = failureText([&] { ReadOnlyFile file(path("a.db0")); });
    for (const int fd : held) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(text, kOutOfDescriptors);
}

}  // namespace
}  // namespace kestran::platform
