#pragma once
// The host's types and constants, the one place that knows them. On Windows they come
// from <windows.h>; on Linux this header writes the layout Double Commander uses:
// plain C calling convention, DWORD = uint32, BOOL = int32, HANDLE = pointer, and a
// byte-packed WIN32_FIND_DATAA of 318 bytes.
#include <cstdint>

#include "common/file_time.h"

#if defined(_WIN32)

#include <windows.h>

namespace kestran::plugin {
inline DWORD hostLastError() { return GetLastError(); }
inline void setHostLastError(DWORD value) { SetLastError(value); }
}  // namespace kestran::plugin

#else

#include <cerrno>
#include <cstddef>

#define WINAPI

using DWORD = std::uint32_t;
using BOOL = std::int32_t;
using HANDLE = void*;
using HWND = void*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr std::size_t MAX_PATH = 260;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// offset  field
//      0  dwFileAttributes
//   4/12/20  ftCreationTime, ftLastAccessTime, ftLastWriteTime
//     28  nFileSizeHigh      32  nFileSizeLow
//     36  dwReserved0        40  dwReserved1
//     44  cFileName[260]    304  cAlternateFileName[14]   (318 bytes in all)
#pragma pack(push, 1)
struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};
#pragma pack(pop)

static_assert(offsetof(WIN32_FIND_DATAA, ftLastWriteTime) == 20, "host layout");
static_assert(offsetof(WIN32_FIND_DATAA, nFileSizeLow) == 32, "host layout");
static_assert(offsetof(WIN32_FIND_DATAA, dwReserved0) == 36, "host layout");
static_assert(offsetof(WIN32_FIND_DATAA, cFileName) == 44, "host layout");
static_assert(sizeof(WIN32_FIND_DATAA) == 318, "host layout");

namespace kestran::plugin {
// The thread's last-error value is errno here: that is what the host's runtime reads
// as the last OS error on Unix.
inline DWORD hostLastError() { return static_cast<DWORD>(errno); }
inline void setHostLastError(DWORD value) { errno = static_cast<int>(value); }
}  // namespace kestran::plugin

#endif

// The host's plug-in interface: the same on both systems.
constexpr int FS_FILE_OK = 0;
constexpr int FS_FILE_EXISTS = 1;
constexpr int FS_FILE_NOTFOUND = 2;
constexpr int FS_FILE_READERROR = 3;
constexpr int FS_FILE_WRITEERROR = 4;
constexpr int FS_FILE_USERABORT = 5;
constexpr int FS_FILE_NOTSUPPORTED = 6;

constexpr int FS_EXEC_OK = 0;
constexpr int FS_EXEC_ERROR = 1;
constexpr int FS_EXEC_YOURSELF = -1;

constexpr int FS_COPYFLAGS_OVERWRITE = 1;
constexpr int FS_COPYFLAGS_RESUME = 2;
constexpr int FS_COPYFLAGS_MOVE = 4;

// FsGetBackgroundFlags: copies out may run in a thread of the host's own.
constexpr int BG_DOWNLOAD = 1;

// The content fields (plug-in columns): the field types FsContentGetSupportedField
// gives, and the results FsContentGetValue gives besides a field's type.
constexpr int ft_nomorefields = 0;
constexpr int ft_numeric_32 = 1;
constexpr int ft_numeric_64 = 2;
constexpr int ft_multiplechoice = 7;
constexpr int ft_string = 8;
constexpr int ft_nosuchfield = -1;
constexpr int ft_fileerror = -2;
constexpr int ft_fieldempty = -3;

typedef int(WINAPI* tProgressProc)(int PluginNr, char* SourceName, char* TargetName, int PercentDone);
typedef void(WINAPI* tLogProc)(int PluginNr, int MsgType, char* LogString);
typedef BOOL(WINAPI* tRequestProc)(int PluginNr, int RequestType, char* CustomTitle, char* CustomText,
                                   char* ReturnedText, int maxlen);

// Passed to FsGetFile; not used.
struct RemoteInfoStruct {
    DWORD SizeLow;
    DWORD SizeHigh;
    FILETIME LastWriteTime;
    int Attr;
};

namespace kestran::plugin {

inline FILETIME toHostTime(kestran::FileTime time) {
    FILETIME result;
    result.dwLowDateTime = time.dwLowDateTime;
    result.dwHighDateTime = time.dwHighDateTime;
    return result;
}

inline kestran::FileTime fromHostTime(FILETIME time) {
    return kestran::FileTime{time.dwLowDateTime, time.dwHighDateTime};
}

}  // namespace kestran::plugin
