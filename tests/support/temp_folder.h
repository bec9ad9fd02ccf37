#pragma once
// A fresh folder of its own under the system's temporary folder, removed with
// everything in it when the object goes: the one temporary folder of every test.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kestran::testing {

class TempFolder {
public:
    explicit TempFolder(const std::string& stem = "kestran") {
        namespace fs = std::filesystem;
#if defined(_WIN32)
        static std::atomic<unsigned> counter{0};
        for (;;) {
            const fs::path candidate =
                fs::temp_directory_path() / (stem + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                                             std::to_string(GetTickCount64()) + "-" + std::to_string(counter++));
            if (fs::create_directory(candidate)) {
                path_ = candidate;
                break;
            }
        }
#else
        std::string pattern = (fs::temp_directory_path() / (stem + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
#endif
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace kestran::testing
