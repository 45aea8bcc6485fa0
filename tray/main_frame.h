// The notifier's hidden main window "TRVNOTIF".
#pragma once

#include <cstdint>

#include "classlib/afxwin.h"
#include "common/device_event.h"
#include "tray/tray_icon.h"

namespace tray {

inline constexpr char kMainWindowTitle[] = "TRVNOTIF";

class CMainFrame : public CFrameWnd {
    DECLARE_DYNCREATE(CMainFrame)
public:
    CMainFrame(plat::System& sys, Family family = Family::Nt);

    std::intptr_t WindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void OnDeviceEvent(const trv::DeviceEventRecord& record);

    CTrayIcon m_trayIcon;

protected:
    std::span<const MessageMapEntry> GetMessageMap() const override;

private:
    std::intptr_t OnCreateMessage(std::uintptr_t wParam, std::intptr_t lParam);
    std::intptr_t OnTrayNotification(std::uintptr_t wParam, std::intptr_t lParam);
    int OnCreate();
    void OnDeviceChange(std::uintptr_t wParam, std::intptr_t lParam);
};

}  // namespace tray
