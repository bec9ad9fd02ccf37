// The File Properties dialog: dialog 102 of the DLL's resources, filled from a view
// when it opens, closed by its Close button, Esc or the caption's close box.
#include "plugin/host_glue_win32.h"
#include "resources/resource.h"

namespace kestran::plugin::host {

namespace {

void fillDialog(HWND dialog, const PropertiesView& view) {
    SetDlgItemTextA(dialog, IDC_FILE_NAME, view.path.c_str());
    // A path the set does not hold has no size to show.
    if (view.size)
        SetDlgItemInt(dialog, IDC_FILE_SIZE, *view.size, FALSE);
    else
        SetDlgItemTextA(dialog, IDC_FILE_SIZE, "");
    // The list box does not sort: lines stay in priority order, highest first.
    const HWND list = GetDlgItem(dialog, IDC_ARCHIVE_LIST);
    for (const std::string& archive : view.archives)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(archive.c_str()));
}

INT_PTR CALLBACK propertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            if (lParam != 0) fillDialog(dialog, *reinterpret_cast<const PropertiesView*>(lParam));
            return TRUE;  // the system sets the initial focus
        case WM_COMMAND:
            if (LOWORD(wParam) != IDCANCEL) return FALSE;
            EndDialog(dialog, static_cast<INT_PTR>(wParam));
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void showPropertiesDialog(HMODULE module, HWND owner, const PropertiesView& view) {
    DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_PROPERTIES), owner, propertiesDialogProc,
                    reinterpret_cast<LPARAM>(&view));
}

}  // namespace kestran::plugin::host
