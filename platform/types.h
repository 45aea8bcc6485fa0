// Value types shared by every platform facet. Nothing here comes from an OS
// header: handles are opaque numbers, constants carry the values the Windows
// API gives them, so the portable core can speak of WM_DEVICECHANGE without
// seeing <windows.h>.
//
// Windows-side sources must include our headers before <windows.h>; the
// constants below then keep their values when the system's macros appear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// Opaque handles. 0 is "none" for every kind.
enum class Hwnd : std::uintptr_t { None = 0 };
enum class Hicon : std::uintptr_t { None = 0 };
enum class Hbitmap : std::uintptr_t { None = 0 };
enum class Hmenu : std::uintptr_t { None = 0 };
enum class Hnotify : std::uintptr_t { None = 0 };     // device-notification registration
enum class Hobject : std::uintptr_t { None = 0 };     // mutex, thread, process: closable kernel objects
enum class Hdevice : std::uintptr_t { None = 0 };     // an opened device-interface path
enum class Hpropsheetpage : std::uintptr_t { None = 0 };  // a property-sheet page made by a provider

template <class H> constexpr std::uintptr_t Raw(H h) { return static_cast<std::uintptr_t>(h); }
template <class H> constexpr bool IsSet(H h) { return static_cast<std::uintptr_t>(h) != 0; }

// A GUID with the usual in-memory layout (Data1..3 little-endian, Data4 as bytes).
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
    friend bool operator==(const Guid&, const Guid&) = default;
};

struct Msg {
    Hwnd hwnd = Hwnd::None;
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

struct Point { int x = 0; int y = 0; };
struct Rect { int left = 0; int top = 0; int right = 0; int bottom = 0; };

// ---- window messages -------------------------------------------------------
inline constexpr std::uint32_t WM_CREATE = 0x0001;
inline constexpr std::uint32_t WM_DESTROY = 0x0002;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_QUIT = 0x0012;
inline constexpr std::uint32_t WM_NCDESTROY = 0x0082;
inline constexpr std::uint32_t WM_INITDIALOG = 0x0110;
inline constexpr std::uint32_t WM_COMMAND = 0x0111;
inline constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr std::uint32_t WM_TIMER = 0x0113;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr std::uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr std::uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr std::uint32_t WM_RBUTTONDBLCLK = 0x0206;
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr std::uint32_t WM_POWERBROADCAST = 0x0218;
inline constexpr std::uint32_t WM_DEVICECHANGE = 0x0219;
inline constexpr std::uint32_t WM_WTSSESSION_CHANGE = 0x02B1;
inline constexpr std::uint32_t WM_USER = 0x0400;

// ---- device-change codes ---------------------------------------------------
inline constexpr std::uint32_t DBT_DEVNODES_CHANGED = 0x0007;
inline constexpr std::uint32_t DBT_QUERYCHANGECONFIG = 0x0017;
inline constexpr std::uint32_t DBT_DEVICEARRIVAL = 0x8000;
inline constexpr std::uint32_t DBT_DEVICEQUERYREMOVE = 0x8001;
inline constexpr std::uint32_t DBT_DEVICEREMOVEPENDING = 0x8003;
inline constexpr std::uint32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr std::uint32_t DBT_USERDEFINED = 0xFFFF;
inline constexpr std::uint32_t DBT_DEVTYP_OEM = 0;
inline constexpr std::uint32_t DBT_DEVTYP_VOLUME = 2;
inline constexpr std::uint32_t DBT_DEVTYP_PORT = 3;
inline constexpr std::uint32_t DBT_DEVTYP_DEVICEINTERFACE = 5;
inline constexpr std::uint32_t DBT_DEVTYP_HANDLE = 6;

// ---- power broadcasts ------------------------------------------------------
inline constexpr std::uint32_t PBT_APMQUERYSUSPEND = 0x0000;
inline constexpr std::uint32_t PBT_APMSUSPEND = 0x0004;
inline constexpr std::uint32_t PBT_APMRESUMECRITICAL = 0x0006;
inline constexpr std::uint32_t PBT_APMRESUMESUSPEND = 0x0007;
inline constexpr std::uint32_t PBT_APMRESUMESTANDBY = 0x0008;
inline constexpr std::uint32_t PBT_APMRESUMEAUTOMATIC = 0x0012;

// ---- session changes -------------------------------------------------------
inline constexpr std::uint32_t WTS_CONSOLE_CONNECT = 0x1;
inline constexpr std::uint32_t WTS_CONSOLE_DISCONNECT = 0x2;
inline constexpr std::uint32_t NOTIFY_FOR_THIS_SESSION = 0;

// ---- window styles ---------------------------------------------------------
inline constexpr std::uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000;

// ---- system error codes ----------------------------------------------------
inline constexpr std::uint32_t ERROR_SUCCESS = 0;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr std::uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr std::uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr std::uint32_t ERROR_CALL_NOT_IMPLEMENTED = 120;

inline constexpr std::uint32_t STILL_ACTIVE = 259;
inline constexpr std::uint32_t INFINITE_WAIT = 0xFFFFFFFF;

}  // namespace plat
