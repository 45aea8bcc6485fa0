// The tray menus' entries and command numbers. Every item is inserted at a
// position p and carries the command number p + 1; 0 means nothing chosen.
//
//   left-click device item        position slot
//   right-click device item       position slot (opens the device's sub-menu)
//   sub-menu separator            position slot * 256
//   "Safely Remove"               position slot * 256 + 1
//   "Properties"                  position slot * 256 + 2
//   "Protect"                     position slot * 256 + 3
//   "UnProtect"                   position slot * 256 + 4
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace tray {

inline constexpr std::uint32_t kItemNormal = 0;
inline constexpr std::uint32_t kItemGreyed = 3;

// One prepared top-level item, built before the menu and discarded after it.
struct MenuEntry {
    std::string text;
    unsigned slot = 0;
    std::uint32_t state = kItemNormal;
    plat::Hbitmap bitmap = plat::Hbitmap::None;  // the device record's; not owned by the entry
    plat::Hmenu subMenu = plat::Hmenu::None;     // right-click menu only; owned by the entry
};

enum DeviceMenuKind : unsigned {
    kMenuSeparator = 0,
    kMenuSafelyRemove = 1,
    kMenuProperties = 2,
    kMenuProtect = 3,
    kMenuUnprotect = 4,
};

constexpr std::uint32_t SubMenuPosition(unsigned slot, unsigned kind) { return slot * 256u + kind; }
constexpr std::uint32_t CommandForPosition(std::uint32_t position) { return position + 1; }

// The slot a left-click menu command stands for.
constexpr unsigned RemovalMenuSlot(std::uint32_t command) { return (command - 1) % 256u; }

struct DeviceMenuCommand {
    unsigned slot;
    unsigned kind;  // DeviceMenuKind; other values do nothing
};
// The slot and kind a right-click menu command stands for.
constexpr DeviceMenuCommand DecodeDeviceMenuCommand(std::uint32_t command) {
    const std::uint32_t v = command - 1;
    return {(v / 256u) % 256u, v % 256u};
}

}  // namespace tray
