#pragma once
// What differs between the hosts' systems at the boundary, one implementation per
// system (host_glue_linux.cpp; the Windows one comes with the DLL's own files). The
// exports call only these, so they stay free of system conditionals.
#include <string>

#include "common/name_codec.h"
#include "plugin/host_types.h"
#include "plugin/properties.h"

namespace kestran::plugin::host {

// A path text from the host in the product's scheme ("\" separators). Null gives "".
std::string pathFromHost(const char* hostPath);

// How the archives' names reach this host: converted by the configured codec where the
// host works in UTF-8 (Linux), as their bytes where it takes ANSI texts (Windows).
NameCodec hostNameCodec(const NameCodec& configured);

// Dresses a record just before the host gets it (Linux: read-only Unix mode bits).
void adaptFindData(WIN32_FIND_DATAA& record);

// Shows an entry's properties modally; FS_EXEC_OK once shown, FS_EXEC_ERROR when this
// host offers no way to show it.
int presentProperties(HWND mainWindow, const PropertiesView& view);

// The module handle the settings are found by (Windows: the DLL's; Linux: unused).
void* moduleHandle();

}  // namespace kestran::plugin::host
