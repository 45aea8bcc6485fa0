// What a program asks the user: message boxes and modal dialogs from the
// program's own dialog templates, shown without an owner window.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace plat {

// Message-box styles.
inline constexpr std::uint32_t MB_OK = 0x00000000;
inline constexpr std::uint32_t MB_OKCANCEL = 0x00000001;
inline constexpr std::uint32_t MB_YESNO = 0x00000004;
inline constexpr std::uint32_t MB_ICONERROR = 0x00000010;
inline constexpr std::uint32_t MB_ICONQUESTION = 0x00000020;
inline constexpr std::uint32_t MB_ICONWARNING = 0x00000030;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x00000040;
inline constexpr std::uint32_t MB_SYSTEMMODAL = 0x00001000;
inline constexpr std::uint32_t MB_SETFOREGROUND = 0x00010000;
inline constexpr std::uint32_t MB_TOPMOST = 0x00040000;
inline constexpr std::uint32_t MB_TYPEMASK = 0x0000000F;

// Buttons, as a message box or dialog reports the one that ended it.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // MessageBox without an owner window: the button chosen, 0 on failure.
    virtual int ShowMessageBox(const std::string& text, const std::string& caption, std::uint32_t style) = 0;
    // DialogBox of template `templateId` from the program's resources,
    // without an owner window. The dialog has no behaviour of its own: OK
    // or closing it ends it. Returns the id of the button that ended it, -1
    // when the dialog cannot be shown.
    virtual std::intptr_t ShowModalDialog(std::uint32_t templateId) = 0;
};

}  // namespace plat
