// The Windows side of the host boundary (Total Commander, Double Commander for
// Windows): "\" paths as they come, find-data records as they are, the properties
// dialog from the DLL's own resources.
#include <atomic>
#include <string>

#include "platform/platform.h"
#include "plugin/host_glue.h"
#include "plugin/host_glue_win32.h"
#include "plugin/plugin_state.h"

namespace kestran::plugin::host {

namespace {

// Written once at process attach, before any export can run.
std::atomic<HMODULE> dllModule{nullptr};

}  // namespace

std::string pathFromHost(const char* hostPath) { return hostPath != nullptr ? hostPath : ""; }

NameCodec hostNameCodec(const NameCodec&) { return NameCodec(); }

void adaptFindData(WIN32_FIND_DATAA&) {}

int presentProperties(HWND mainWindow, const PropertiesView& view) {
    // Whether the dialog could be shown is not the host's concern: the verb is done.
    showPropertiesDialog(dllModule.load(), mainWindow, view);
    return FS_EXEC_OK;
}

void* moduleHandle() { return dllModule.load(); }

bool startUp(HMODULE module) {
    dllModule.store(module);
    if (platform::modulePath(module).empty()) return false;
    try {
        // Reads the settings and the registry now, once; every later use finds them.
        pluginState().installations();
    } catch (...) {
        // A configuration that can't be read in full leaves what was read; the
        // plug-in still loads.
    }
    return true;
}

}  // namespace kestran::plugin::host
