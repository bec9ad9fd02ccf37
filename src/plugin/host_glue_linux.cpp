// The Linux side of the host boundary (Double Commander): "/" paths, read-only Unix
// modes, the properties dialog through the host's extension interface.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <string>

#include "plugin/dc_extension.h"
#include "plugin/host_glue.h"

namespace kestran::plugin {

namespace {

constexpr DWORD kUnixModeAttribute = 0x80000000;  // dwReserved0 holds a Unix mode
constexpr DWORD kReadOnlyDirectoryMode = 040555;
constexpr DWORD kReadOnlyFileMode = 0100444;

// The host's dialog functions, copied from its record (the record itself is the
// host's). Atomic, so that properties calls in several threads take no lock.
std::atomic<dc::MessageBoxProc> messageBoxFunction{nullptr};
std::atomic<dc::DialogBoxLFMProc> dialogBoxLFMFunction{nullptr};

// The form closes itself (its button has a modal result); no message needs handling.
std::intptr_t ignoreDialogMessages(std::uintptr_t, char*, std::intptr_t, std::intptr_t, std::intptr_t) { return 0; }

}  // namespace

namespace host {

std::string pathFromHost(const char* hostPath) {
    std::string path = hostPath != nullptr ? hostPath : "";
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

NameCodec hostNameCodec(const NameCodec& configured) { return configured; }

void adaptFindData(WIN32_FIND_DATAA& record) {
    const bool isDirectory = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    record.dwFileAttributes |= kUnixModeAttribute;
    record.dwReserved0 = isDirectory ? kReadOnlyDirectoryMode : kReadOnlyFileMode;
}

int presentProperties(HWND, const PropertiesView& view) {
    const dc::DialogBoxLFMProc dialogBoxLFM = dialogBoxLFMFunction.load(std::memory_order_acquire);
    const dc::MessageBoxProc messageBox = messageBoxFunction.load(std::memory_order_acquire);
    if (dialogBoxLFM != nullptr) {
        const std::string form = propertiesFormText(view);
        dialogBoxLFM(reinterpret_cast<std::intptr_t>(form.data()), static_cast<unsigned long>(form.size()),
                     ignoreDialogMessages);
        return FS_EXEC_OK;
    }
    if (messageBox != nullptr) {
        std::string text = propertiesMessageText(view);
        std::string caption = kPropertiesCaption;
        messageBox(text.data(), caption.data(), dc::kMessageBoxOk | dc::kMessageBoxIconInformation);
        return FS_EXEC_OK;
    }
    return FS_EXEC_ERROR;
}

void* moduleHandle() { return nullptr; }

}  // namespace host

}  // namespace kestran::plugin

void ExtensionInitialize(kestran::plugin::dc::ExtensionStartupInfo* StartupInfo) {
    using kestran::plugin::dc::ExtensionStartupInfo;
    kestran::plugin::dc::MessageBoxProc messageBox = nullptr;
    kestran::plugin::dc::DialogBoxLFMProc dialogBoxLFM = nullptr;
    // Only what the host says it filled is read.
    if (StartupInfo != nullptr) {
        const std::size_t filled = StartupInfo->StructSize;
        if (filled >= offsetof(ExtensionStartupInfo, MessageBox) + sizeof(StartupInfo->MessageBox))
            messageBox = StartupInfo->MessageBox;
        if (filled >= offsetof(ExtensionStartupInfo, DialogBoxLFM) + sizeof(StartupInfo->DialogBoxLFM))
            dialogBoxLFM = StartupInfo->DialogBoxLFM;
    }
    kestran::plugin::messageBoxFunction.store(messageBox, std::memory_order_release);
    kestran::plugin::dialogBoxLFMFunction.store(dialogBoxLFM, std::memory_order_release);
}
