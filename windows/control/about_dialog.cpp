#include "windows/control/about_dialog.h"

#include "render/errors.h"
#include "windows/control/com_shell.h"
#include "windows/control/resource_ids.h"

namespace quillet::com {
namespace {

// Centred on the screen when it loads: the offsets are computed in floating point, then the
// window takes the whole part.
void centreOnScreen(HWND dialog) {
    RECT frame{};
    GetWindowRect(dialog, &frame);
    const double width = frame.right - frame.left;
    const double height = frame.bottom - frame.top;
    const double left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const double top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(dialog, nullptr, static_cast<int>(left), static_cast<int>(top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            centreOnScreen(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_CMD_OK:
                case IDCANCEL:
                    EndDialog(dialog, IDOK);
                    return TRUE;
                case IDC_CMD_DOC:
                    return TRUE;  // the documentation button does nothing
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

}  // namespace

void showAboutDialog() {
    const INT_PTR shown = DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(QUILLET_ABOUT_DIALOG),
                                          GetActiveWindow(), aboutProcedure, 0);
    if (shown == -1 || shown == 0) {
        const DWORD reason = GetLastError();
        raise(reason != 0 ? static_cast<std::int32_t>(reason & 0xFFFF) : error::invalidArgument);
    }
}

}  // namespace quillet::com
