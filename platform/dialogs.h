// Modal dialogs from the program's own dialog templates, their controls and
// timers, and modal property sheets. (Message boxes are in message_box.h.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/message_box.h"
#include "platform/types.h"

namespace plat {

// Property-sheet header flags.
inline constexpr std::uint32_t PSH_PROPTITLE = 0x1;  // the caption names the object whose properties are shown
inline constexpr std::uint32_t PSH_USEHICON = 0x2;   // `icon` is a handle

// The parts of PROPSHEETHEADER a sheet is made from; the platform builds the
// system's block from them. `pages` points to `pageCount` page handles owned
// by the caller.
struct PropertySheetHeader {
    std::uint32_t flags = 0;
    Hwnd parent = Hwnd::None;
    Hicon icon = Hicon::None;
    std::string caption;
    std::uint32_t pageCount = 0;
    std::uint32_t startPage = 0;
    const Hpropsheetpage* pages = nullptr;
};

// The behaviour of one dialog, in the system's terms. Messages:
//   WM_INITDIALOG  lParam: the parameter given to RunModal
//   WM_COMMAND     low word of wParam: the control (IDOK for Enter, IDCANCEL
//                  for Escape)
//   WM_CLOSE       the close box of the caption or the system menu's Close
//   WM_TIMER       wParam: the timer id
// Returns true when it handled the message. An unhandled WM_CLOSE is taken
// as Cancel (WM_COMMAND with IDCANCEL), as the system's dialogs take it.
class DialogProcedure {
public:
    virtual bool OnDialogMessage(Hwnd dialog, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;

protected:
    ~DialogProcedure() = default;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // DialogBox of template `templateId` from the program's resources,
    // without an owner window. The dialog has no behaviour of its own: OK
    // or closing it (IDCANCEL) ends it. Returns the id of the button that
    // ended it, -1 when the dialog cannot be shown.
    virtual std::intptr_t ShowModalDialog(std::uint32_t templateId) = 0;

    // DialogBoxParam of template `templateId` on the calling thread, owned by
    // `owner` (None: no owner; DesktopWindow(): the desktop). Returns what
    // the procedure gave EndDialog, -1 when the dialog cannot be shown.
    virtual std::intptr_t RunModal(std::uint32_t templateId, Hwnd owner, DialogProcedure& procedure,
                                   std::intptr_t parameter) = 0;
    // Ends the dialog once the procedure returns; RunModal then returns `result`.
    virtual bool EndDialog(Hwnd dialog, std::intptr_t result) = 0;
    virtual Hwnd DesktopWindow() = 0;

    // ---- controls, by id ----------------------------------------------------------
    virtual bool SetItemText(Hwnd dialog, int control, const std::string& text) = 0;
    // GetDlgItemText: at most `capacity` - 1 characters and the terminator
    // into `buffer`; returns the characters copied. No other copy is kept.
    virtual std::size_t GetItemText(Hwnd dialog, int control, char* buffer, std::size_t capacity) = 0;
    // EM_LIMITTEXT: the most characters the user can type into an edit field.
    virtual bool LimitText(Hwnd dialog, int control, std::size_t characters) = 0;
    virtual bool CheckButton(Hwnd dialog, int control, bool checked) = 0;
    virtual bool IsButtonChecked(Hwnd dialog, int control) = 0;
    virtual bool EnableItem(Hwnd dialog, int control, bool enabled) = 0;
    virtual bool ShowItem(Hwnd dialog, int control, bool visible) = 0;
    // WM_SETFONT with the stock DEFAULT_GUI_FONT, to the dialog (control 0)
    // or to one of its controls.
    virtual bool UseDefaultGuiFont(Hwnd dialog, int control) = 0;

    // ---- the dialog window ------------------------------------------------------------
    virtual bool SetCaption(Hwnd dialog, const std::string& caption) = 0;
    // WM_SETICON with ICON_BIG.
    virtual bool SetLargeIcon(Hwnd dialog, Hicon icon) = 0;
    // GetWindowRect, in screen coordinates; also for DesktopWindow().
    virtual bool WindowRect(Hwnd window, Rect& rect) = 0;
    virtual bool MoveWindow(Hwnd window, int x, int y, int width, int height, bool repaint) = 0;
    virtual bool Minimize(Hwnd dialog) = 0;
    virtual bool BringToForeground(Hwnd dialog) = 0;
    // SetTimer on the dialog: WM_TIMER with `id` every `milliseconds` while
    // the dialog takes its messages. Starting a running timer restarts it.
    virtual bool StartTimer(Hwnd dialog, std::uintptr_t id, std::uint32_t milliseconds) = 0;
    virtual bool StopTimer(Hwnd dialog, std::uintptr_t id) = 0;

    // ---- property sheets ----------------------------------------------------------------
    // PropertySheet, modal: returns when the user closes it; the calling
    // thread's windows keep receiving their messages meanwhile. 1 or more
    // when it was closed with OK, 0 with Cancel, -1 when it cannot be shown.
    virtual std::intptr_t ShowPropertySheet(const PropertySheetHeader& header) = 0;
};

}  // namespace plat
