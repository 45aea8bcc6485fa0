// Modal dialogs from the program's own templates, without an owner window.
#include "platform/win32/win32_dialogs.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace plat::win32 {

namespace {

// A dialog without behaviour of its own: OK or closing it ends it.
INT_PTR CALLBACK PlainDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

class Win32Dialogs final : public Dialogs {
public:
    std::intptr_t ShowModalDialog(std::uint32_t templateId) override {
        return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), nullptr, PlainDialogProcedure, 0);
    }
};

}  // namespace

std::unique_ptr<Dialogs> MakeDialogs() { return std::make_unique<Win32Dialogs>(); }

}  // namespace plat::win32
