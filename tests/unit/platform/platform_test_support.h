#pragma once
// What the platform layer's tests on both systems share: a fresh directory per test,
// files written into and read from it, a test pattern and a failure's text.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/file_time.h"
#include "support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace kestran::platform {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory per test under the system's temporary folder, removed afterwards.
// Relative paths are joined with the system's own separator.
class PlatformDir : public ::testing::Test {
protected:
#ifdef _WIN32
    static constexpr const char* kSeparator = "\\";
#else
    static constexpr const char* kSeparator = "/";
#endif

    void SetUp() override {
        folder_ = std::make_unique<kestran::testing::TempFolder>("kestran-platform");
        root_ = folder_->path().string();
    }
    void TearDown() override { folder_.reset(); }

    std::string path(const std::string& relative) const { return root_ + kSeparator + relative; }

    void makeDirectory(const std::string& relative) const { boost::filesystem::create_directories(path(relative)); }

    void writeBytes(const std::string& relative, const Bytes& bytes) const {
        std::ofstream out(path(relative), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    Bytes readBytes(const std::string& relative) const {
        std::ifstream in(path(relative), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::unique_ptr<kestran::testing::TempFolder> folder_;
    std::string root_;
};

inline Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
    return bytes;
}

// A file's last-access and last-write times, as the system keeps them.
struct StampedTimes {
    FileTime access;
    FileTime write;
};

inline StampedTimes stampedTimes(const std::string& path) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
    return {FileTime{data.ftLastAccessTime.dwLowDateTime, data.ftLastAccessTime.dwHighDateTime},
            FileTime{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}};
#else
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return {fromUnixTime(status.st_atim.tv_sec, status.st_atim.tv_nsec),
            fromUnixTime(status.st_mtim.tv_sec, status.st_mtim.tv_nsec)};
#endif
}

inline std::string failureText(const std::function<void()>& action) {
    try {
        action();
    } catch (const Failure& failure) {
        return failure.what();
    }
    return "(no failure)";
}

}  // namespace kestran::platform
