// The tray menus: built fresh from the device list on every click, shown at
// the cursor, destroyed, and the chosen command carried out.
#include "common/adapter_driver.h"
#include "tray/discovery.h"
#include "tray/message_catalogue.h"
#include "tray/protect/protect_flows.h"
#include "tray/tray_icon.h"

namespace tray {

std::intptr_t CTrayIcon::OnTrayMessage(std::uintptr_t wParam, std::intptr_t lParam) {
    if (wParam != kTrayIconId) return 0;
    // Repair: an icon the notification area never confirmed may be there after all.
    if (!m_bIconAdded) m_bIconAdded = m_sys.shellTray().Notify(plat::NotifyOp::Modify, m_iconData);
    const auto mouse = static_cast<std::uint32_t>(static_cast<std::uintptr_t>(lParam) & 0xFFFF);
    if (mouse == plat::WM_LBUTTONUP)
        ShowTrayMenu(true);
    else if (mouse == plat::WM_RBUTTONUP)
        ShowTrayMenu(false);
    return 1;
}

void CTrayIcon::ShowTrayMenu(bool removalMenu) {
    UpdateTray();
    std::vector<MenuEntry> list;
    if (removalMenu)
        BuildRemovalList(list);
    else
        BuildDeviceList(list);
    plat::Hmenu menu = plat::Hmenu::None;
    std::uint32_t command = 0;
    const plat::Hwnd owner = m_iconData.owner;
    if (FillMenu(menu, list)) {
        plat::Point at = m_sys.ui().CursorPos();
        m_sys.ui().SetForeground(owner);
        command = m_sys.menus().TrackPopup(menu, plat::TPM_RETURNCMD | plat::TPM_NONOTIFY, at, owner);
        m_sys.ui().Post(owner, plat::WM_USER, 0, 0);
    }
    ReleaseMenuList(list);
    if (menu != plat::Hmenu::None) m_sys.menus().Destroy(menu);
    if (command == 0) return;
    if (removalMenu)
        DispatchRemovalCommand(command);
    else
        DispatchDeviceCommand(command);
}

void CTrayIcon::DispatchRemovalCommand(std::uint32_t command) { RemoveBySlot(RemovalMenuSlot(command)); }

void CTrayIcon::DispatchDeviceCommand(std::uint32_t command) {
    const DeviceMenuCommand c = DecodeDeviceMenuCommand(command);
    switch (c.kind) {
        case kMenuSafelyRemove: RemoveBySlot(c.slot); break;
        case kMenuProperties: ShowPropertyPages(c.slot); break;
        case kMenuProtect:
            if (auto copy = m_devices.FindCopyBySlot(c.slot)) StartProtect(*this, copy->m_strDevicePath);
            break;
        case kMenuUnprotect:
            if (auto copy = m_devices.FindCopyBySlot(c.slot)) StartUnprotect(*this, copy->m_strDevicePath);
            break;
        default: break;
    }
}

plat::DevNode CTrayIcon::LetterNode(plat::DevNode interfaceNode) {
    plat::DevNode child = 0;
    if (interfaceNode != 0 && m_sys.deviceTree().GetChild(interfaceNode, child) == plat::CR_SUCCESS && child != 0)
        return child;
    return interfaceNode;
}

void CTrayIcon::BuildRemovalList(std::vector<MenuEntry>& list) {
    for (CDeviceList::Position pos = m_devices.GetHeadPosition(); pos != nullptr; m_devices.GetNext(pos)) {
        std::unique_ptr<CStorageDevice> copy = m_devices.CopyAt(pos);
        if (!copy) continue;
        if (!(copy->m_dwAdapterOptions & trv::ADAPTER_OPTION_NO_MENU)) {
            plat::DevNode node = LetterNode(FindDevNode(m_sys, copy->m_guidInterface, copy->m_strDevicePath));
            const std::string letters = GetDriveLetters(m_sys, m_family, node);
            const unsigned n = CountDriveLetters(m_sys, m_family, node);
            const bool stopped = GetDevNodeProblem(m_sys, node) != 0;
            copy->m_strDisplayName = GetFriendlyName(m_sys, m_family, copy->m_guidInterface, copy->m_strDevicePath);
            const char* name = copy->m_strDisplayName.c_str();

            MenuEntry entry;
            entry.text = FormatText(MessageCatalogue::LoadMessage(m_sys, MSG_REMOVE_ITEM).c_str(), name);
            if (n >= 1) {
                entry.text = FormatText(
                    MessageCatalogue::LoadMessage(m_sys, n == 1 ? MSG_REMOVE_ITEM_ONE_LETTER : MSG_REMOVE_ITEM_LETTERS)
                        .c_str(),
                    name);
                entry.text += letters + ")";
            }
            entry.state = kItemNormal;
            if (stopped) {
                entry.text = FormatText(MessageCatalogue::LoadMessage(m_sys, MSG_STOPPED_ITEM).c_str(), name);
                entry.state = kItemGreyed;
            }
            entry.slot = copy->m_nSlot;
            entry.bitmap = copy->m_hBitmap;
            list.push_back(std::move(entry));
        }
        m_devices.UpdateFrom(copy.get());
    }
}

void CTrayIcon::BuildDeviceList(std::vector<MenuEntry>& list) {
    for (CDeviceList::Position pos = m_devices.GetHeadPosition(); pos != nullptr; m_devices.GetNext(pos)) {
        std::unique_ptr<CStorageDevice> copy = m_devices.CopyAt(pos);
        if (!copy) continue;
        if (!(copy->m_dwAdapterOptions & trv::ADAPTER_OPTION_NO_MENU)) {
            plat::DevNode node = LetterNode(FindDevNode(m_sys, copy->m_guidInterface, copy->m_strDevicePath));
            const std::string letters = GetDriveLetters(m_sys, m_family, node);
            const unsigned n = CountDriveLetters(m_sys, m_family, node);
            copy->m_strDisplayName = GetFriendlyName(m_sys, m_family, copy->m_guidInterface, copy->m_strDevicePath);

            MenuEntry entry;
            entry.text = n != 0 ? FormatText("%s (%s)", copy->m_strDisplayName.c_str(), letters.c_str())
                                : copy->m_strDisplayName;
            entry.slot = copy->m_nSlot;
            entry.state = kItemNormal;
            entry.bitmap = copy->m_hBitmap;
            entry.subMenu = m_sys.menus().CreatePopup();
            if (entry.subMenu != plat::Hmenu::None) {
                const unsigned slot = entry.slot;
                InsertTextItem(entry.subMenu, SubMenuPosition(slot, kMenuSafelyRemove), kItemNormal,
                               MessageCatalogue::LoadMessage(m_sys, MSG_SAFELY_REMOVE), plat::Hbitmap::None);
                if ((copy->m_dwSecurityStatus & SECURITY_SUPPORTED) &&
                    (copy->m_dwAdapterFeatures & trv::ADAPTER_FEATURE_SECURITY)) {
                    const std::uint32_t state = copy->WorkerRunning() ? kItemGreyed : kItemNormal;
                    if (copy->m_dwSecurityStatus & SECURITY_ENABLED)
                        InsertTextItem(entry.subMenu, SubMenuPosition(slot, kMenuUnprotect), state,
                                       MessageCatalogue::LoadMessage(m_sys, MSG_UNPROTECT), plat::Hbitmap::None);
                    else
                        InsertTextItem(entry.subMenu, SubMenuPosition(slot, kMenuProtect), state,
                                       MessageCatalogue::LoadMessage(m_sys, MSG_PROTECT), plat::Hbitmap::None);
                }
                InsertSeparator(entry.subMenu, SubMenuPosition(slot, kMenuSeparator));
                InsertTextItem(entry.subMenu, SubMenuPosition(slot, kMenuProperties), kItemNormal,
                               MessageCatalogue::LoadMessage(m_sys, MSG_PROPERTIES), plat::Hbitmap::None);
            }
            list.push_back(std::move(entry));
        }
        m_devices.UpdateFrom(copy.get());
    }
}

bool CTrayIcon::FillMenu(plat::Hmenu& menu, const std::vector<MenuEntry>& list) {
    menu = m_sys.menus().CreatePopup();
    if (menu == plat::Hmenu::None) return false;
    for (const MenuEntry& e : list) {
        if (e.subMenu != plat::Hmenu::None)
            InsertSubMenuItem(menu, e.slot, e.state, e.text, e.subMenu, e.bitmap);
        else
            InsertTextItem(menu, e.slot, e.state, e.text, e.bitmap);
    }
    return true;
}

void CTrayIcon::ReleaseMenuList(std::vector<MenuEntry>& list) {
    for (MenuEntry& e : list) {
        if (e.subMenu != plat::Hmenu::None) m_sys.menus().Destroy(e.subMenu);
        e.subMenu = plat::Hmenu::None;
    }
    list.clear();
}

bool CTrayIcon::InsertSeparator(plat::Hmenu menu, std::uint32_t position) {
    plat::MenuItem item;
    item.separator = true;
    item.id = CommandForPosition(position);
    m_sys.menus().InsertItem(menu, position, item);
    return true;
}

bool CTrayIcon::InsertTextItem(plat::Hmenu menu, std::uint32_t position, std::uint32_t state, const std::string& text,
                               plat::Hbitmap bitmap) {
    plat::MenuItem item;
    item.state = state;
    item.id = CommandForPosition(position);
    item.text = text;
    item.bitmap = bitmap;
    m_sys.menus().InsertItem(menu, position, item);
    return true;
}

bool CTrayIcon::InsertSubMenuItem(plat::Hmenu menu, std::uint32_t position, std::uint32_t state,
                                  const std::string& text, plat::Hmenu subMenu, plat::Hbitmap bitmap) {
    plat::MenuItem item;
    item.state = state;
    item.id = CommandForPosition(position);
    item.text = text;
    item.bitmap = bitmap;
    item.subMenu = subMenu;
    m_sys.menus().InsertItem(menu, position, item);
    return true;
}

}  // namespace tray
