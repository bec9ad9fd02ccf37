#pragma once
// A host's view of the built plug-in: a temporary folder holding a copy of the plug-in
// file and a kestran.ini, the library loaded from there (dlopen on Linux, LoadLibrary
// on Windows) and its exports looked up by name. Every PluginHost is a fresh instance
// of the plug-in, with its own settings and no installation loaded.
//
// The cases are written once for both hosts, with Linux paths ("/ARNA/docs"); on
// Windows the host's paths use "\" and the host helpers turn one into the other.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/exports.h"
#include "plugin/host_types.h"
#include "support/archive_builder.h"
#include "support/temp_folder.h"

#if defined(_WIN32)
#include "dialog_watcher_win32.h"
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "plugin/dc_extension.h"
#include "plugin/exports_linux.h"
#endif

namespace kestran::hosttest {

namespace fs = std::filesystem;

// What the plug-in puts into a find-data record's attributes (and, on Linux, the Unix
// mode in dwReserved0) for the host it is built for.
#if defined(_WIN32)
constexpr DWORD kDirectoryAttributes = FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD kFileAttributes = 0;
constexpr DWORD kDirectoryMode = 0;
constexpr DWORD kFileMode = 0;
#else
constexpr DWORD kDirectoryAttributes = 0x80000000 | FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD kFileAttributes = 0x80000000;
constexpr DWORD kDirectoryMode = 040555;
constexpr DWORD kFileMode = 0100444;
#endif

// A virtual path as this system's host writes it: "/" separators on Linux, "\" on
// Windows.
inline std::string hostPath(std::string path) {
#if defined(_WIN32)
    for (char& c : path)
        if (c == '/') c = '\\';
#endif
    return path;
}

using TempFolder = kestran::testing::TempFolder;

constexpr std::uint64_t kTicksPerSecond = 10000000ULL;
constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ULL;  // 1970-01-01 in FILETIME ticks

// Unix seconds as the FILETIME ticks the host sees.
inline std::uint64_t ticksOf(std::int64_t unixSeconds) {
    return static_cast<std::uint64_t>(unixSeconds) * kTicksPerSecond + kUnixEpochTicks;
}

inline std::uint64_t ticksOf(FILETIME time) { return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime; }

inline std::int64_t unixSecondsOf(FILETIME time) {
    return static_cast<std::int64_t>((ticksOf(time) - kUnixEpochTicks) / kTicksPerSecond);
}

// Sets a file's last-access and last-write times.
inline void setModificationTime(const fs::path& file, std::int64_t unixSeconds) {
#if defined(_WIN32)
    const HANDLE handle = CreateFileW(file.wstring().c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileW failed");
    const std::uint64_t ticks = ticksOf(unixSeconds);
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const BOOL set = SetFileTime(handle, nullptr, &time, &time);
    CloseHandle(handle);
    if (!set) throw std::runtime_error("SetFileTime failed");
#else
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(unixSeconds);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (utimensat(AT_FDCWD, file.c_str(), times, 0) != 0) throw std::runtime_error("utimensat failed");
#endif
}

// A file's last-write and last-access times in Unix seconds.
struct FileTimes {
    std::int64_t modification = 0;
    std::int64_t access = 0;
};

inline FileTimes fileTimes(const fs::path& file) {
#if defined(_WIN32)
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.wstring().c_str(), GetFileExInfoStandard, &data))
        throw std::runtime_error("GetFileAttributesExW failed");
    return FileTimes{unixSecondsOf(data.ftLastWriteTime), unixSecondsOf(data.ftLastAccessTime)};
#else
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) throw std::runtime_error("stat failed");
    return FileTimes{info.st_mtime, info.st_atime};
#endif
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

// The fields of a find-data record the plug-in fills, copied out of the record so
// that tests never bind a reference to a misaligned field of the packed Linux layout.
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

// A path from the build (a Unix path when the build ran on Linux) as this program
// opens it: under Wine a Unix path becomes the Windows path of the same file.
inline fs::path localPath(const std::string& path) {
#if defined(_WIN32)
    using ToDosPath = WCHAR*(CDECL*)(const char*);
    const auto toDos = reinterpret_cast<ToDosPath>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (path.empty() || path[0] != '/' || toDos == nullptr) return fs::path(path);
    WCHAR* dosPath = toDos(path.c_str());
    if (dosPath == nullptr) throw std::runtime_error("no Windows path for " + path);
    const fs::path result(dosPath);
    HeapFree(GetProcessHeap(), 0, dosPath);
    return result;
#else
    return fs::path(path);
#endif
}

// The plug-in file this test program drives: the one built beside it, or the one
// KESTRAN_PLUGIN_UNDER_TEST names (a packaged copy, say).
inline fs::path pluginFile() {
    const char* other = std::getenv("KESTRAN_PLUGIN_UNDER_TEST");
    return localPath(other != nullptr && *other != '\0' ? other : KESTRAN_PLUGIN_FILE);
}

class PluginHost {
public:
    // Copies the plug-in into folder beside a kestran.ini with these contents and loads it.
    PluginHost(const fs::path& folder, const std::string& settings) {
        fs::create_directories(folder);
        const fs::path source = pluginFile();
        const fs::path plugin = folder / source.filename();
        fs::copy_file(source, plugin, fs::copy_options::overwrite_existing);
        std::ofstream(folder / "kestran.ini") << settings;
        load(plugin);
        resolve(FsInit, "FsInit");
        resolve(FsFindFirst, "FsFindFirst");
        resolve(FsFindNext, "FsFindNext");
        resolve(FsFindClose, "FsFindClose");
        resolve(FsGetFile, "FsGetFile");
        resolve(FsExecuteFile, "FsExecuteFile");
        resolve(FsGetDefRootName, "FsGetDefRootName");
        resolve(FsStatusInfo, "FsStatusInfo");
#if !defined(_WIN32)
        resolve(ExtensionInitialize, "ExtensionInitialize");
        resolve(FsGetBackgroundFlags, "FsGetBackgroundFlags");
        resolve(FsContentGetSupportedField, "FsContentGetSupportedField");
        resolve(FsContentGetValue, "FsContentGetValue");
        resolve(FsContentGetDefaultView, "FsContentGetDefaultView");
#endif
    }
    ~PluginHost() {
#if defined(_WIN32)
        FreeLibrary(library_);
#else
        dlclose(library_);
#endif
    }
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Every record of a listing (FsFindFirst, FsFindNext until FALSE, FsFindClose);
    // empty when FsFindFirst gives INVALID_HANDLE_VALUE.
    std::vector<Entry> list(const std::string& path) {
        std::vector<Entry> entries;
        WIN32_FIND_DATAA record{};
        std::string text = hostPath(path);
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
        std::string remoteText = hostPath(remote);
        std::string localText = local.string();
        return FsGetFile(remoteText.data(), localText.data(), flags, nullptr);
    }

    // FsExecuteFile with the host's main window. On Windows a dialog the call shows is
    // read and closed by the thread's DialogWatcher, or by one of its own.
    int execute(const std::string& remote, const std::string& verb) {
        std::string remoteText = hostPath(remote);
        std::string verbText = verb;
#if defined(_WIN32)
        if (DialogWatcher::active() == nullptr) {
            DialogWatcher closer;
            return FsExecuteFile(nullptr, remoteText.data(), verbText.data());
        }
#endif
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
#if !defined(_WIN32)
    decltype(&::ExtensionInitialize) ExtensionInitialize = nullptr;
    decltype(&::FsGetBackgroundFlags) FsGetBackgroundFlags = nullptr;
    decltype(&::FsContentGetSupportedField) FsContentGetSupportedField = nullptr;
    decltype(&::FsContentGetValue) FsContentGetValue = nullptr;
    decltype(&::FsContentGetDefaultView) FsContentGetDefaultView = nullptr;

    // A content field's value for a path as the host writes it: its type, and the text
    // or number written.
    struct Content {
        int type;
        std::string text;
        std::int64_t number;
    };
    Content content(const std::string& path, int field) {
        std::string name = path;
        alignas(8) char buffer[2048] = {};
        const int type = FsContentGetValue(name.data(), field, 0, buffer, sizeof buffer, 0);
        Content out{type, {}, 0};
        if (type == ft_string || type == ft_multiplechoice) out.text = buffer;
        if (type == ft_numeric_32) {
            std::int32_t value;
            std::memcpy(&value, buffer, sizeof value);
            out.number = value;
        }
        if (type == ft_numeric_64) std::memcpy(&out.number, buffer, sizeof out.number);
        return out;
    }
#endif

private:
#if defined(_WIN32)
    void load(const fs::path& plugin) {
        library_ = LoadLibraryW(plugin.wstring().c_str());
        if (library_ == nullptr)
            throw std::runtime_error("LoadLibrary failed with error " + std::to_string(GetLastError()));
    }

    template <typename Function>
    void resolve(Function& function, const char* name) {
        function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library_, name)));
        if (function == nullptr) throw std::runtime_error(std::string("missing export ") + name);
    }

    HMODULE library_ = nullptr;
#else
    void load(const fs::path& plugin) {
        library_ = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
    }

    template <typename Function>
    void resolve(Function& function, const char* name) {
        function = reinterpret_cast<Function>(dlsym(library_, name));
        if (function == nullptr) throw std::runtime_error(std::string("missing export ") + name);
    }

    void* library_ = nullptr;
#endif
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
