// Popup menus: created empty, filled item by item by position, shown at a
// point until the user chooses an item or closes the menu, then destroyed.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace plat {

// Item states (MFS_*).
inline constexpr std::uint32_t MFS_ENABLED = 0x0;
inline constexpr std::uint32_t MFS_GRAYED = 0x3;  // greyed and disabled

// TrackPopupMenu flags (TPM_*).
inline constexpr std::uint32_t TPM_LEFTALIGN = 0x0000;
inline constexpr std::uint32_t TPM_LEFTBUTTON = 0x0000;
inline constexpr std::uint32_t TPM_NONOTIFY = 0x0080;
inline constexpr std::uint32_t TPM_RETURNCMD = 0x0100;

// One item, as the system's 48-byte menu-item information block carries it.
struct MenuItem {
    bool separator = false;             // a separator: only `id` is used with it
    std::uint32_t state = MFS_ENABLED;  // MIIM_STATE
    std::uint32_t id = 0;               // MIIM_ID: the command number
    std::string text;                   // the item's text
    Hbitmap bitmap = Hbitmap::None;     // the item bitmap drawn beside the text; not owned by the menu
    Hmenu subMenu = Hmenu::None;        // the item opens this menu, which it then owns
};

class Menus {
public:
    virtual ~Menus() = default;
    // An empty popup menu; None on failure.
    virtual Hmenu CreatePopup() = 0;
    // Inserts by position: a position at or past the end appends the item,
    // one inside the menu puts it before the item there.
    virtual bool InsertItem(Hmenu menu, std::uint32_t position, const MenuItem& item) = 0;
    // Shows the menu at `at` for `owner` until it closes. With TPM_RETURNCMD
    // the result is the chosen command number, 0 when nothing was chosen.
    virtual std::uint32_t TrackPopup(Hmenu menu, std::uint32_t flags, Point at, Hwnd owner) = 0;
    // Destroys the menu and the sub-menus its items open.
    virtual bool Destroy(Hmenu menu) = 0;
};

}  // namespace plat
