// Message boxes: a caption, a text, a set of buttons and an icon; the call
// returns the button the user pressed.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace plat {

// Buttons (MB_* low four bits).
inline constexpr std::uint32_t MB_OK = 0x0;
inline constexpr std::uint32_t MB_OKCANCEL = 0x1;
inline constexpr std::uint32_t MB_ABORTRETRYIGNORE = 0x2;
inline constexpr std::uint32_t MB_YESNOCANCEL = 0x3;
inline constexpr std::uint32_t MB_YESNO = 0x4;
inline constexpr std::uint32_t MB_RETRYCANCEL = 0x5;
inline constexpr std::uint32_t MB_TYPEMASK = 0xF;
// Icons.
inline constexpr std::uint32_t MB_ICONERROR = 0x10;
inline constexpr std::uint32_t MB_ICONQUESTION = 0x20;
inline constexpr std::uint32_t MB_ICONWARNING = 0x30;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr std::uint32_t MB_ICONMASK = 0xF0;
// Modality and placement.
inline constexpr std::uint32_t MB_SYSTEMMODAL = 0x1000;
inline constexpr std::uint32_t MB_TASKMODAL = 0x2000;
inline constexpr std::uint32_t MB_SETFOREGROUND = 0x10000;
inline constexpr std::uint32_t MB_TOPMOST = 0x40000;

// Answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // MessageBox: blocks the calling thread until the user answers; a thread
    // that runs a message loop keeps receiving its messages meanwhile. 0 when
    // the box could not be shown.
    virtual int Show(Hwnd owner, const std::string& text, const std::string& caption, std::uint32_t style) = 0;
};

}  // namespace plat
