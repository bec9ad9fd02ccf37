#include "plugin/exports.h"

#include <memory>
#include <string>

#include "platform/platform.h"
#include "plugin/copy_out.h"
#include "plugin/find_data.h"
#include "plugin/find_handle.h"
#include "plugin/host_glue.h"
#include "plugin/listing.h"
#include "plugin/plugin_state.h"
#include "plugin/verbs.h"

using kestran::plugin::FindHandle;
using kestran::plugin::pluginState;
namespace host = kestran::plugin::host;

namespace {

constexpr const char* kRootName = "K.E.S.T.R.A.N. db explorer";

FindHandle* findHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<FindHandle*>(handle);
}

}  // namespace

int WINAPI FsInit(int PluginNr, tProgressProc pProgressProc, tLogProc, tRequestProc) {
    pluginState().init(PluginNr, pProgressProc);
    return 0;
}

HANDLE WINAPI FsFindFirst(char* Path, WIN32_FIND_DATAA* FindData) {
    // Loading calls into the system, which may change the last-error value; the host
    // sees it changed only where the listing says so.
    const DWORD lastError = kestran::plugin::hostLastError();
    try {
        if (Path == nullptr || FindData == nullptr) return INVALID_HANDLE_VALUE;
        auto& state = pluginState();
        kestran::plugin::Listing listing =
            kestran::plugin::listPath(host::pathFromHost(Path), state.installations(), state.sets(), state.names(),
                                      kestran::plugin::toHostTime(kestran::platform::currentTime()));
        kestran::plugin::setHostLastError(listing.lastError.value_or(lastError));
        if (!listing.handle || !listing.handle->start(*FindData)) return INVALID_HANDLE_VALUE;
        host::adaptFindData(*FindData);
        return listing.handle.release();
    } catch (...) {
        kestran::plugin::setHostLastError(lastError);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL WINAPI FsFindNext(HANDLE Hdl, WIN32_FIND_DATAA* FindData) {
    FindHandle* handle = findHandle(Hdl);
    if (handle == nullptr || FindData == nullptr) return FALSE;
    if (!handle->next(*FindData)) return FALSE;
    host::adaptFindData(*FindData);
    return TRUE;
}

int WINAPI FsFindClose(HANDLE Hdl) {
    delete findHandle(Hdl);
    return 0;
}

int WINAPI FsGetFile(char* RemoteName, char* LocalName, int CopyFlags, RemoteInfoStruct*) {
    try {
        if (RemoteName == nullptr || LocalName == nullptr) return FS_FILE_NOTFOUND;
        auto& state = pluginState();
        const tProgressProc progress = state.progress();
        const int pluginNumber = state.pluginNumber();
        // The host gets its own two texts back, unchanged.
        auto report = [&](int percent) {
            return progress != nullptr && progress(pluginNumber, RemoteName, LocalName, percent) != 0;
        };
        return kestran::plugin::copyOut(host::pathFromHost(RemoteName), LocalName, CopyFlags, state.sets(),
                                        state.names(), report);
    } catch (...) {
        return FS_FILE_READERROR;
    }
}

int WINAPI FsExecuteFile(HWND MainWin, char* RemoteName, char* Verb) {
    try {
        if (RemoteName == nullptr || Verb == nullptr) return FS_EXEC_ERROR;
        auto present = [MainWin](const kestran::plugin::PropertiesView& view) {
            return host::presentProperties(MainWin, view);
        };
        auto& state = pluginState();
        return kestran::plugin::executeVerb(host::pathFromHost(RemoteName), Verb, state.sets(), state.names(), present);
    } catch (...) {
        return FS_EXEC_ERROR;
    }
}

void WINAPI FsGetDefRootName(char* DefRootName, int maxlen) {
    if (DefRootName == nullptr || maxlen < 1) return;
    kestran::plugin::copyBounded(DefRootName, kRootName, static_cast<std::size_t>(maxlen));
}

void WINAPI FsStatusInfo(char*, int, int) {}
