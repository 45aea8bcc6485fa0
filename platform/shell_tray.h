// Shell notification-area icon requests.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace plat {

enum class NotifyOp : std::uint32_t { Add = 0, Modify = 1, Delete = 2 };

inline constexpr std::uint32_t NIF_MESSAGE = 0x1;
inline constexpr std::uint32_t NIF_ICON = 0x2;
inline constexpr std::uint32_t NIF_TIP = 0x4;
inline constexpr std::uint32_t kNotifyIconDataSize = 488;  // shell version 5 layout
inline constexpr std::size_t kTooltipBytes = 128;          // terminator included

// The parts of the shell's notification-icon data that the programs set; the
// state and balloon fields stay zero and are not modelled.
struct NotifyIconData {
    std::uint32_t size = 0;
    Hwnd owner = Hwnd::None;
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    std::uint32_t callbackMessage = 0;
    Hicon icon = Hicon::None;
    char tip[kTooltipBytes] = {};
};

class ShellTray {
public:
    virtual ~ShellTray() = default;
    // Shell_NotifyIcon. The data's flags say which parts a request carries.
    virtual bool Notify(NotifyOp op, const NotifyIconData& data) = 0;
};

}  // namespace plat
