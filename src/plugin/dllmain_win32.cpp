// The DLL's entry point. The start-up step runs once, at process attach: thread
// attach and detach come from the host's own threads while they may be reading the
// installations, and process detach only precedes the unload.
#include <windows.h>

#include "plugin/host_glue_win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    return kestran::plugin::host::startUp(instance) ? TRUE : FALSE;
}
