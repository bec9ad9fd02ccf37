// The Linux side of the host boundary (Double Commander): "/" paths, read-only Unix
// modes, the properties dialog through the host's extension interface.
#include <algorithm>
#include <cstddef>
#include <mutex>
#include <string>

#include "plugin/dc_extension.h"
#include "plugin/host_glue.h"

namespace kestran::plugin {

namespace {

constexpr DWORD kUnixModeAttribute = 0x80000000;  // dwReserved0 holds a Unix mode
constexpr DWORD kReadOnlyDirectoryMode = 040555;
constexpr DWORD kReadOnlyFileMode = 0100444;

// The host's dialog functions, copied from its record: the record itself is the host's.
struct DialogFunctions {
    dc::MessageBoxProc messageBox = nullptr;
    dc::DialogBoxLFMProc dialogBoxLFM = nullptr;
};

std::mutex dialogFunctionsMutex;
DialogFunctions dialogFunctions;

DialogFunctions currentDialogFunctions() {
    std::lock_guard<std::mutex> lock(dialogFunctionsMutex);
    return dialogFunctions;
}

// The form closes itself (its button has a modal result); no message needs handling.
std::intptr_t ignoreDialogMessages(std::uintptr_t, char*, std::intptr_t, std::intptr_t, std::intptr_t) { return 0; }

}  // namespace

namespace host {

std::string pathFromHost(const char* hostPath) {
    std::string path = hostPath != nullptr ? hostPath : "";
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

void adaptFindData(WIN32_FIND_DATAA& record) {
    const bool isDirectory = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    record.dwFileAttributes |= kUnixModeAttribute;
    record.dwReserved0 = isDirectory ? kReadOnlyDirectoryMode : kReadOnlyFileMode;
}

int presentProperties(HWND, const PropertiesView& view) {
    const DialogFunctions functions = currentDialogFunctions();
    if (functions.dialogBoxLFM != nullptr) {
        const std::string form = propertiesFormText(view);
        functions.dialogBoxLFM(reinterpret_cast<std::intptr_t>(form.data()), static_cast<unsigned long>(form.size()),
                               ignoreDialogMessages);
        return FS_EXEC_OK;
    }
    if (functions.messageBox != nullptr) {
        std::string text = propertiesMessageText(view);
        std::string caption = kPropertiesCaption;
        functions.messageBox(text.data(), caption.data(), dc::kMessageBoxOk | dc::kMessageBoxIconInformation);
        return FS_EXEC_OK;
    }
    return FS_EXEC_ERROR;
}

void* moduleHandle() { return nullptr; }

}  // namespace host

}  // namespace kestran::plugin

void ExtensionInitialize(kestran::plugin::dc::ExtensionStartupInfo* StartupInfo) {
    using kestran::plugin::dc::ExtensionStartupInfo;
    kestran::plugin::DialogFunctions functions;
    if (StartupInfo != nullptr) {
        const std::size_t filled = StartupInfo->StructSize;
        if (filled >= offsetof(ExtensionStartupInfo, MessageBox) + sizeof(StartupInfo->MessageBox))
            functions.messageBox = StartupInfo->MessageBox;
        if (filled >= offsetof(ExtensionStartupInfo, DialogBoxLFM) + sizeof(StartupInfo->DialogBoxLFM))
            functions.dialogBoxLFM = StartupInfo->DialogBoxLFM;
    }
    try {
        std::lock_guard<std::mutex> lock(kestran::plugin::dialogFunctionsMutex);
        kestran::plugin::dialogFunctions = functions;
    } catch (...) {
        // Without the host's dialogs "properties" reports FS_EXEC_ERROR.
    }
}
