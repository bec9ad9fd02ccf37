#pragma once
// What the platform layer's tests on both systems share: a fresh directory per test,
// files written into and read from it, a test pattern and a failure's text.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "common/failure.h"

namespace kestran::platform {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory per test under the system's temporary folder, removed afterwards.
// Relative paths are joined with the system's own separator.
class PlatformDir : public testing::Test {
protected:
#ifdef _WIN32
    static constexpr const char* kSeparator = "\\";
#else
    static constexpr const char* kSeparator = "/";
#endif

    void SetUp() override {
        namespace fs = boost::filesystem;
        const fs::path dir = fs::temp_directory_path() / fs::unique_path("kestran-platform-%%%%-%%%%-%%%%");
        ASSERT_TRUE(fs::create_directory(dir));
        root_ = dir.string();
    }
    void TearDown() override {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(root_, ignored);
    }

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

    std::string root_;
};

inline Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
    return bytes;
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
