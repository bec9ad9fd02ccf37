#pragma once
// The Windows side of the host boundary, beyond what host_glue.h offers every system:
// the DLL's start-up step and the File Properties dialog.
#include <windows.h>

#include "plugin/properties.h"

namespace kestran::plugin::host {

// The DLL's start-up step at process attach: keeps the module handle and reads the
// configuration (kestran.ini beside the DLL, the registry). False only when the DLL's
// own path can't be read; a configuration that can't be used leaves the table with
// what it got, and the DLL loads.
bool startUp(HMODULE module);

// Shows dialog 102 of this module for a view, owned by the host's window, and returns
// once the user has closed it.
void showPropertiesDialog(HMODULE module, HWND owner, const PropertiesView& view);

}  // namespace kestran::plugin::host
