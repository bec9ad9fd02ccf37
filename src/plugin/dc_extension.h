#pragma once
// Double Commander's extension interface on Linux: the host calls ExtensionInitialize
// with a byte-packed record of its dialog functions. Only the fields up to SendDlgMsg
// are read, and only when StructSize says the host filled them.
//
// offset  field
//      0  StructSize (uint32)
//      4  PluginDir[16384]      16388  PluginConfDir[16384]
//  32772  InputBox   32780  MessageBox   32788  DialogBoxLFM
//  32796  DialogBoxLRS   32804  DialogBoxLFMFile   32812  SendDlgMsg   then reserved
//  (offsets for 64-bit pointers; the pointers follow one another whatever their size)
#include <cstddef>
#include <cstdint>

namespace kestran::plugin::dc {

constexpr std::size_t kExtensionMaxPath = 16384;

// Message box flags and dialog messages of the interface.
constexpr long kMessageBoxOk = 0x0;
constexpr long kMessageBoxIconInformation = 0x40;
constexpr std::intptr_t kDialogInit = 0x1005;   // DN_INITDIALOG
constexpr std::intptr_t kDialogClick = 0x1001;  // DN_CLICK

using DlgProc = std::intptr_t (*)(std::uintptr_t dialog, char* itemName, std::intptr_t msg, std::intptr_t wParam,
                                  std::intptr_t lParam);
using InputBoxProc = int (*)(char* caption, char* prompt, int masked, char* value, int valueMaxLength);
using MessageBoxProc = int (*)(char* text, char* caption, long flags);
using DialogBoxLFMProc = int (*)(std::intptr_t formText, unsigned long size, DlgProc dlgProc);
using DialogBoxLRSProc = int (*)(std::intptr_t resourceText, unsigned long size, DlgProc dlgProc);
using DialogBoxLFMFileProc = int (*)(char* formFile, DlgProc dlgProc);

#pragma pack(push, 1)
struct ExtensionStartupInfo {
    std::uint32_t StructSize;
    char PluginDir[kExtensionMaxPath];
    char PluginConfDir[kExtensionMaxPath];
    InputBoxProc InputBox;
    MessageBoxProc MessageBox;
    DialogBoxLFMProc DialogBoxLFM;
    DialogBoxLRSProc DialogBoxLRS;
    DialogBoxLFMFileProc DialogBoxLFMFile;
    DlgProc SendDlgMsg;
};
#pragma pack(pop)

static_assert(offsetof(ExtensionStartupInfo, InputBox) == 32772, "host layout");
static_assert(offsetof(ExtensionStartupInfo, SendDlgMsg) == 32772 + 5 * sizeof(void*), "host layout");

}  // namespace kestran::plugin::dc

extern "C" {
// Keeps copies of the host's dialog functions for the properties dialog.
void ExtensionInitialize(kestran::plugin::dc::ExtensionStartupInfo* StartupInfo);
}
