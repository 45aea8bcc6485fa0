// Modal dialogs from the program's own templates (DialogBoxParam), their
// controls and timers, and modal property sheets (PropertySheet).
#include "platform/win32/win32_dialogs.h"

#include <vector>

#include "platform/win32/win32_api.h"

#include <commctrl.h>
#include <prsht.h>

namespace plat::win32 {

namespace {

// What DialogBoxParam carries to the first message: the procedure and the
// caller's parameter. The procedure then lives in the dialog's DWLP_USER.
struct Start {
    DialogProcedure* procedure;
    LPARAM parameter;
};

INT_PTR CALLBACK DialogTrampoline(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogProcedure* procedure = nullptr;
    if (message == WM_INITDIALOG) {
        const Start* start = reinterpret_cast<const Start*>(lParam);
        procedure = start->procedure;
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(procedure));
        lParam = start->parameter;
    } else {
        procedure = reinterpret_cast<DialogProcedure*>(GetWindowLongPtrA(dialog, DWLP_USER));
    }
    if (procedure == nullptr) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
        case WM_COMMAND:
        case WM_CLOSE:
        case WM_TIMER: return procedure->OnDialogMessage(FromHwnd(dialog), message, wParam, lParam) ? TRUE : FALSE;
        default: return FALSE;
    }
}

// A dialog without behaviour of its own: OK or closing it ends it.
class PlainProcedure final : public DialogProcedure {
public:
    bool OnDialogMessage(Hwnd dialog, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) override {
        if (message == WM_INITDIALOG) return true;
        if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            ::EndDialog(ToHwnd(dialog), LOWORD(wParam));
            return true;
        }
        return false;
    }
};

HWND Item(Hwnd dialog, int control) { return GetDlgItem(ToHwnd(dialog), control); }

class Win32Dialogs final : public Dialogs {
public:
    std::intptr_t ShowModalDialog(std::uint32_t templateId) override {
        PlainProcedure plain;
        return RunModal(templateId, Hwnd::None, plain, 0);
    }

    std::intptr_t RunModal(std::uint32_t templateId, Hwnd owner, DialogProcedure& procedure,
                           std::intptr_t parameter) override {
        Start start{&procedure, static_cast<LPARAM>(parameter)};
        return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), ToHwnd(owner),
                               DialogTrampoline, reinterpret_cast<LPARAM>(&start));
    }

    bool EndDialog(Hwnd dialog, std::intptr_t result) override {
        return ::EndDialog(ToHwnd(dialog), static_cast<INT_PTR>(result)) != FALSE;
    }

    Hwnd DesktopWindow() override { return FromHwnd(GetDesktopWindow()); }

    bool SetItemText(Hwnd dialog, int control, const std::string& text) override {
        return SetDlgItemTextA(ToHwnd(dialog), control, text.c_str()) != FALSE;
    }

    std::size_t GetItemText(Hwnd dialog, int control, char* buffer, std::size_t capacity) override {
        if (buffer == nullptr || capacity == 0) return 0;
        buffer[0] = '\0';
        return GetDlgItemTextA(ToHwnd(dialog), control, buffer, static_cast<int>(capacity));
    }

    bool LimitText(Hwnd dialog, int control, std::size_t characters) override {
        SendDlgItemMessageA(ToHwnd(dialog), control, EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
        return Item(dialog, control) != nullptr;
    }

    bool CheckButton(Hwnd dialog, int control, bool checked) override {
        return CheckDlgButton(ToHwnd(dialog), control, checked ? BST_CHECKED : BST_UNCHECKED) != FALSE;
    }

    bool IsButtonChecked(Hwnd dialog, int control) override {
        return IsDlgButtonChecked(ToHwnd(dialog), control) == BST_CHECKED;
    }

    bool EnableItem(Hwnd dialog, int control, bool enabled) override {
        HWND item = Item(dialog, control);
        if (item == nullptr) return false;
        EnableWindow(item, enabled ? TRUE : FALSE);
        return true;
    }

    bool ShowItem(Hwnd dialog, int control, bool visible) override {
        HWND item = Item(dialog, control);
        if (item == nullptr) return false;
        ShowWindow(item, visible ? SW_SHOW : SW_HIDE);
        return true;
    }

    bool UseDefaultGuiFont(Hwnd dialog, int control) override {
        HWND target = control == 0 ? ToHwnd(dialog) : Item(dialog, control);
        if (target == nullptr) return false;
        SendMessageA(target, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
        return true;
    }

    bool SetCaption(Hwnd dialog, const std::string& caption) override {
        return SetWindowTextA(ToHwnd(dialog), caption.c_str()) != FALSE;
    }

    bool SetLargeIcon(Hwnd dialog, Hicon icon) override {
        SendMessageA(ToHwnd(dialog), WM_SETICON, ICON_BIG, static_cast<LPARAM>(Raw(icon)));
        return true;
    }

    bool WindowRect(Hwnd window, Rect& rect) override {
        RECT r{};
        if (!GetWindowRect(ToHwnd(window), &r)) return false;
        rect = Rect{r.left, r.top, r.right, r.bottom};
        return true;
    }

    bool MoveWindow(Hwnd window, int x, int y, int width, int height, bool repaint) override {
        return ::MoveWindow(ToHwnd(window), x, y, width, height, repaint ? TRUE : FALSE) != FALSE;
    }

    bool Minimize(Hwnd dialog) override {
        ShowWindow(ToHwnd(dialog), SW_MINIMIZE);
        return true;
    }

    bool BringToForeground(Hwnd dialog) override { return SetForegroundWindow(ToHwnd(dialog)) != FALSE; }

    bool StartTimer(Hwnd dialog, std::uintptr_t id, std::uint32_t milliseconds) override {
        return SetTimer(ToHwnd(dialog), static_cast<UINT_PTR>(id), milliseconds, nullptr) != 0;
    }

    bool StopTimer(Hwnd dialog, std::uintptr_t id) override {
        return KillTimer(ToHwnd(dialog), static_cast<UINT_PTR>(id)) != FALSE;
    }

    std::intptr_t ShowPropertySheet(const PropertySheetHeader& header) override {
        std::vector<HPROPSHEETPAGE> pages;
        for (std::uint32_t i = 0; i < header.pageCount && header.pages != nullptr; ++i)
            pages.push_back(reinterpret_cast<HPROPSHEETPAGE>(Raw(header.pages[i])));
        PROPSHEETHEADERA sheet{};
        sheet.dwSize = PROPSHEETHEADERA_V1_SIZE;
        sheet.dwFlags = header.flags;
        sheet.hwndParent = ToHwnd(header.parent);
        sheet.hInstance = GetModuleHandleA(nullptr);
        sheet.hIcon = reinterpret_cast<HICON>(Raw(header.icon));
        sheet.pszCaption = header.caption.c_str();
        sheet.nPages = static_cast<UINT>(pages.size());
        sheet.nStartPage = header.startPage;
        sheet.phpage = pages.empty() ? nullptr : pages.data();
        return PropertySheetA(&sheet);
    }
};

}  // namespace

std::unique_ptr<Dialogs> MakeDialogs() { return std::make_unique<Win32Dialogs>(); }

}  // namespace plat::win32
