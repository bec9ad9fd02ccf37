#pragma once
// A host's view of the built plug-in: a temporary folder holding a copy of the shared
// object and a kestran.ini, the library loaded from there with dlopen and its exports
// looked up by name. Every PluginHost is a fresh instance of the plug-in, with its own
// settings and no installation loaded.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/dc_extension.h"
#include "plugin/exports.h"
#include "plugin/host_types.h"
#include "support/archive_builder.h"

namespace kestran::hosttest {

namespace fs = std::filesystem;

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "kestran-host-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Unix seconds as the FILETIME ticks the host sees.
inline std::uint64_t ticksOf(std::int64_t unixSeconds) {
    return static_cast<std::uint64_t>(unixSeconds) * 10000000ULL + 116444736000000000ULL;
}

inline std::uint64_t ticksOf(FILETIME time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

inline void setModificationTime(const fs::path& file, std::int64_t unixSeconds) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(unixSeconds);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (utimensat(AT_FDCWD, file.c_str(), times, 0) != 0) throw std::runtime_error("utimensat failed");
}

// Writes an archive and gives it a last-write time.
inline void writeArchive(const fs::path& file, const kestran::testing::ArchiveBuilder& builder,
                         std::int64_t unixSeconds) {
    fs::create_directories(file.parent_path());
    builder.write(file.string());
    setModificationTime(file, unixSeconds);
}

inline std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Archive paths are shown lower-cased ('A' to 'Z' only).
inline std::string lowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

inline kestran::testing::Bytes bytesOf(const std::string& text) {
    return kestran::testing::Bytes(text.begin(), text.end());
}

// The fields of a find-data record the plug-in fills, copied out of the byte-packed
// record so that tests never bind a reference to a misaligned field.
struct Entry {
    std::string name;
    DWORD attributes = 0;
    DWORD mode = 0;  // dwReserved0
    DWORD sizeLow = 0;
    std::uint64_t ticks = 0;
};

inline Entry entryOf(const WIN32_FIND_DATAA& record) {
    return Entry{record.cFileName, record.dwFileAttributes, record.dwReserved0, record.nFileSizeLow,
                 ticksOf(record.ftLastWriteTime)};
}

class PluginHost {
public:
    // Copies the plug-in into folder beside a kestran.ini with these contents and loads it.
    PluginHost(const fs::path& folder, const std::string& settings) {
        fs::create_directories(folder);
        const fs::path plugin = folder / fs::path(KESTRAN_PLUGIN_FILE).filename();
        fs::copy_file(KESTRAN_PLUGIN_FILE, plugin, fs::copy_options::overwrite_existing);
        std::ofstream(folder / "kestran.ini") << settings;
        library_ = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
        resolve(FsInit, "FsInit");
        resolve(FsFindFirst, "FsFindFirst");
        resolve(FsFindNext, "FsFindNext");
        resolve(FsFindClose, "FsFindClose");
        resolve(FsGetFile, "FsGetFile");
        resolve(FsExecuteFile, "FsExecuteFile");
        resolve(FsGetDefRootName, "FsGetDefRootName");
        resolve(FsStatusInfo, "FsStatusInfo");
        resolve(ExtensionInitialize, "ExtensionInitialize");
    }
    ~PluginHost() { dlclose(library_); }
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Every record of a listing (FsFindFirst, FsFindNext until FALSE, FsFindClose);
    // empty when FsFindFirst gives INVALID_HANDLE_VALUE.
    std::vector<Entry> list(const std::string& path) {
        std::vector<Entry> entries;
        WIN32_FIND_DATAA record{};
        std::string text = path;
        HANDLE handle = FsFindFirst(text.data(), &record);
        if (handle == INVALID_HANDLE_VALUE) return entries;
        do entries.push_back(entryOf(record));
        while (FsFindNext(handle, &record) == TRUE);
        FsFindClose(handle);
        return entries;
    }

    static std::vector<std::string> names(const std::vector<Entry>& entries) {
        std::vector<std::string> out;
        for (const auto& e : entries) out.push_back(e.name);
        return out;
    }

    int getFile(const std::string& remote, const fs::path& local, int flags) {
        std::string remoteText = remote;
        std::string localText = local.string();
        return FsGetFile(remoteText.data(), localText.data(), flags, nullptr);
    }

    int execute(const std::string& remote, const std::string& verb) {
        std::string remoteText = remote;
        std::string verbText = verb;
        return FsExecuteFile(nullptr, remoteText.data(), verbText.data());
    }

    decltype(&::FsInit) FsInit = nullptr;
    decltype(&::FsFindFirst) FsFindFirst = nullptr;
    decltype(&::FsFindNext) FsFindNext = nullptr;
    decltype(&::FsFindClose) FsFindClose = nullptr;
    decltype(&::FsGetFile) FsGetFile = nullptr;
    decltype(&::FsExecuteFile) FsExecuteFile = nullptr;
    decltype(&::FsGetDefRootName) FsGetDefRootName = nullptr;
    decltype(&::FsStatusInfo) FsStatusInfo = nullptr;
    decltype(&::ExtensionInitialize) ExtensionInitialize = nullptr;

private:
    template <typename Function>
    void resolve(Function& function, const char* name) {
        function = reinterpret_cast<Function>(dlsym(library_, name));
        if (function == nullptr) throw std::runtime_error(std::string("missing export ") + name);
    }

    void* library_ = nullptr;
};

// A settings file naming installations (name, build string, root folder).
struct InstallationLine {
    std::string name;
    std::string build;
    fs::path root;
};

inline std::string settingsFor(const std::vector<InstallationLine>& lines) {
    std::string text = "[main]\nuse_registry = false\n[installations]\n";
    for (const auto& line : lines) text += line.name + " = " + line.build + "|" + line.root.string() + "\n";
    return text;
}

}  // namespace kestran::hosttest
