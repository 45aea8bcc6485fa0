// The notifier's icon in the notification area, and the device list it owns.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "classlib/afx.h"
#include "platform/system.h"
#include "tray/family.h"
#include "tray/storage_device.h"
#include "tray/tray_menu.h"

namespace tray {

inline constexpr std::uint32_t kTrayIconId = 130;
inline constexpr std::uint32_t kTrayCallbackMessage = plat::WM_USER + 10;
inline constexpr std::uint32_t IDI_TRAY_START = 128;
inline constexpr std::uint32_t IDI_TRAY_DEVICES = 145;
inline constexpr std::uint32_t IDI_TRAY_NO_DEVICE = 146;
inline constexpr std::uint32_t IDI_TRAY_BUSY = 150;
inline constexpr std::uint32_t IDI_TRAY_PROTECTED = 173;

// Cuts `text` to fit a field of `fieldBytes` bytes with its terminator,
// never inside a double-byte character of the system's code page.
std::string CutToField(plat::SystemInfo& info, const std::string& text, std::size_t fieldBytes);

class CTrayIcon : public CObject {
    DECLARE_DYNAMIC(CTrayIcon)
public:
    CTrayIcon(plat::System& sys, Family family);
    ~CTrayIcon() override;

    // ---- icon and tooltip ----------------------------------------------------
    bool Create(plat::Hwnd owner, std::uint32_t callbackMessage, const std::string& tooltip, plat::Hicon icon,
                std::uint32_t id);
    bool UpdateTray();
    void ApplyVisibility(bool show);
    void RetryAdd(plat::Hwnd owner, std::uint32_t callbackMessage, const std::string& tooltip, plat::Hicon icon,
                  std::uint32_t id);
    void HideFromTray();
    void ReturnToTray();
    void RemoveFromTray();
    bool SetTrayIcon(plat::Hicon icon);
    bool SetTrayIconById(std::uint32_t resource);
    plat::Hicon GetTrayIcon() const;
    bool SetTooltip(const std::string& text);

    // ---- device discovery ------------------------------------------------------
    bool EnumeratePresentDevices();
    // `block`: the DEV_BROADCAST_DEVICEINTERFACE as delivered.
    void OnDeviceArrival(std::span<const std::uint8_t> block);
    void OnDeviceRemoveComplete(std::span<const std::uint8_t> block);
    void RefreshAll(bool queryStatus);
    void RefreshAfterResume();

    // ---- tray menus and command dispatch ---------------------------------------
    // The tray callback: wParam the icon id, low word of lParam the mouse
    // message. 0 when the icon id is not ours, else 1.
    std::intptr_t OnTrayMessage(std::uintptr_t wParam, std::intptr_t lParam);
    void BuildRemovalList(std::vector<MenuEntry>& list);
    void BuildDeviceList(std::vector<MenuEntry>& list);
    // Creates `menu` as an empty popup menu and inserts one item per entry.
    // False when the menu cannot be created.
    bool FillMenu(plat::Hmenu& menu, const std::vector<MenuEntry>& list);
    void ReleaseMenuList(std::vector<MenuEntry>& list);
    bool InsertSeparator(plat::Hmenu menu, std::uint32_t position);
    bool InsertTextItem(plat::Hmenu menu, std::uint32_t position, std::uint32_t state, const std::string& text,
                        plat::Hbitmap bitmap);
    bool InsertSubMenuItem(plat::Hmenu menu, std::uint32_t position, std::uint32_t state, const std::string& text,
                           plat::Hmenu subMenu, plat::Hbitmap bitmap);

    // ---- safe removal and restart -------------------------------------------------
    void RemoveBySlot(unsigned slot);
    void EjectByPath(const std::string& path, bool confirm);
    // The platform's stop request for one record; true when it was accepted.
    bool RemoveDevice(const CStorageDevice& record);
    void RestartByPath(const std::string& path);
    bool RestartDevice(const CStorageDevice& record);

    // ---- property pages ----------------------------------------------------------
    bool ShowPropertyPages(unsigned slot);

    Family family() const { return m_family; }
    plat::System& sys() const { return m_sys; }

    bool m_bTrayAvailable = false;
    bool m_bIconAdded = false;
    bool m_bIconHidden = false;
    plat::NotifyIconData m_iconData{};
    CDeviceList m_devices;

private:
    void FillIconData(plat::Hwnd owner, std::uint32_t callbackMessage, const std::string& tooltip, plat::Hicon icon,
                      std::uint32_t id);
    void SetTipField(const std::string& text);
    void ShowTrayMenu(bool removalMenu);
    void DispatchRemovalCommand(std::uint32_t command);
    void DispatchDeviceCommand(std::uint32_t command);
    // The node whose letters and state a menu shows: the storage node below
    // the interface node, or the interface node itself without one.
    plat::DevNode LetterNode(plat::DevNode interfaceNode);

    plat::System& m_sys;
    Family m_family;
};

}  // namespace tray
