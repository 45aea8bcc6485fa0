// Popup menus and message boxes over user32.
#include "platform/win32/win32_api.h"

#include <vector>

namespace plat::win32 {

namespace {

HMENU ToMenu(Hmenu m) { return reinterpret_cast<HMENU>(Raw(m)); }

class Win32Menus final : public Menus {
public:
    Hmenu CreatePopup() override {
        return static_cast<Hmenu>(reinterpret_cast<std::uintptr_t>(CreatePopupMenu()));
    }

    bool InsertItem(Hmenu menu, std::uint32_t position, const MenuItem& item) override {
        const int count = GetMenuItemCount(ToMenu(menu));
        if (count < 0) return false;
        // At or past the end: appended.
        const UINT at = position < static_cast<std::uint32_t>(count) ? position : static_cast<UINT>(count);
        MENUITEMINFOA mii{};
        mii.cbSize = sizeof mii;
        std::vector<char> text(item.text.begin(), item.text.end());
        text.push_back('\0');
        if (item.separator) {
            mii.fMask = MIIM_FTYPE | MIIM_ID;
            mii.fType = MFT_SEPARATOR;
            mii.wID = item.id;
        } else {
            mii.fMask = MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_BITMAP;
            mii.fState = item.state;
            mii.wID = item.id;
            mii.dwTypeData = text.data();
            mii.cch = static_cast<UINT>(item.text.size());
            mii.hbmpItem = reinterpret_cast<HBITMAP>(Raw(item.bitmap));
            if (item.subMenu != Hmenu::None) {
                mii.fMask |= MIIM_SUBMENU;
                mii.hSubMenu = ToMenu(item.subMenu);
            }
        }
        return InsertMenuItemA(ToMenu(menu), at, TRUE, &mii) != FALSE;
    }

    std::uint32_t TrackPopup(Hmenu menu, std::uint32_t flags, Point at, Hwnd owner) override {
        const BOOL r = TrackPopupMenu(ToMenu(menu), flags, at.x, at.y, 0, ToHwnd(owner), nullptr);
        return static_cast<std::uint32_t>(r);
    }

    bool Destroy(Hmenu menu) override { return DestroyMenu(ToMenu(menu)) != FALSE; }
};

class Win32MessageBoxes final : public MessageBoxes {
public:
    int Show(Hwnd owner, const std::string& text, const std::string& caption, std::uint32_t style) override {
        return MessageBoxA(ToHwnd(owner), text.c_str(), caption.c_str(), style);
    }
};

}  // namespace

std::unique_ptr<Menus> MakeMenus() { return std::make_unique<Win32Menus>(); }
std::unique_ptr<MessageBoxes> MakeMessageBoxes() { return std::make_unique<Win32MessageBoxes>(); }

}  // namespace plat::win32
