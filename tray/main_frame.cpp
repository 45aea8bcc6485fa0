#include "tray/main_frame.h"

#include <array>
#include <cstring>

#include "common/bytes.h"
#include "common/guid.h"
#include "tray/trace.h"

namespace tray {

IMPLEMENT_DYNCREATE(CMainFrame, CFrameWnd)

CMainFrame::CMainFrame(plat::System& sys, Family family) : CFrameWnd(sys), m_trayIcon(sys, family) {}

std::span<const CWnd::MessageMapEntry> CMainFrame::GetMessageMap() const {
    static const MessageMapEntry map[] = {
        {plat::WM_CREATE, static_cast<Handler>(&CMainFrame::OnCreateMessage)},
        {kTrayCallbackMessage, static_cast<Handler>(&CMainFrame::OnTrayNotification)},
        {kTrayCallbackMessage + 1, static_cast<Handler>(&CMainFrame::OnTrayNotification)},
    };
    return map;
}

std::intptr_t CMainFrame::OnCreateMessage(std::uintptr_t, std::intptr_t) { return OnCreate(); }

std::intptr_t CMainFrame::OnTrayNotification(std::uintptr_t wParam, std::intptr_t lParam) {
    return m_trayIcon.OnTrayMessage(wParam, lParam);
}

int CMainFrame::OnCreate() {
    if (CFrameWnd::OnCreate() == -1) return -1;

    TRAY_TRACE(m_sys, "Register Device Notification\n");
    // DEV_BROADCAST_DEVICEINTERFACE: size 32, type 5, reserved 0, class, empty name.
    std::array<std::uint8_t, 32> filter{};
    trv::PutU32(filter, 0, 32);
    trv::PutU32(filter, 4, plat::DBT_DEVTYP_DEVICEINTERFACE);
    auto cls = trv::GuidToBytes(trv::AdapterInterfaceGuid);
    std::memcpy(filter.data() + 12, cls.data(), cls.size());
    if (m_sys.deviceNotifications().Register(m_hWnd, filter.data()) == plat::Hnotify::None) {
        TRAY_TRACE(m_sys, " - RegisterDeviceNotification failed - %d\n", static_cast<int>(m_sys.kernel().LastError()));
        return -1;
    }
    plat::Hicon icon = m_sys.resources().Icon(IDI_TRAY_START);
    if (!m_trayIcon.Create(m_hWnd, kTrayCallbackMessage, "", icon, kTrayIconId)) return -1;
    m_trayIcon.UpdateTray();
    return 0;
}

void CMainFrame::OnDeviceChange(std::uintptr_t wParam, std::intptr_t lParam) {
    TRAY_TRACE(m_sys, "DEVICECHANGE - wP 0x%x, lP 0x%x\n", static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
    // The block starts with its size; nothing past that size is read.
    std::span<const std::uint8_t> block;
    if (lParam != 0) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(lParam);
        block = std::span<const std::uint8_t>(p, trv::GetU32(std::span<const std::uint8_t>(p, 4), 0));
    }
    const std::uint32_t deviceType = block.size() >= 8 ? trv::GetU32(block, 4) : 0xFFFFFFFF;
    switch (wParam) {
        case plat::DBT_DEVICEARRIVAL:
            if (deviceType == plat::DBT_DEVTYP_DEVICEINTERFACE) {
                TRAY_TRACE(m_sys, "DEVICECHANGE\\DBT_DEVICEARRIVAL\\DBT_DEVTYP_DEVICEINTERFACE\n");
                m_trayIcon.OnDeviceArrival(block);
            }
            break;
        case plat::DBT_DEVICEREMOVECOMPLETE:
            if (deviceType == plat::DBT_DEVTYP_DEVICEINTERFACE) {
                TRAY_TRACE(m_sys, "DEVICECHANGE\\DBT_DEVICEREMOVECOMPLETE\\DBT_DEVTYP_DEVICEINTERFACE\n");
                m_trayIcon.OnDeviceRemoveComplete(block);
            }
            break;
        case plat::DBT_USERDEFINED:
            if (deviceType == plat::DBT_DEVTYP_OEM) {
                auto received = trv::ReadEventBroadcast(block);
                if (received) {
                    TRAY_TRACE(m_sys, "DEVICECHANGE\\DBT_USERDEFINED\\DBT_DEVTYP_OEM - %s\n", received->name.c_str());
                    if (trv::IsDeviceEventBroadcast(*received)) OnDeviceEvent(trv::DecodeEventRecord(received->payload));
                }
            }
            break;
        default:
            m_trayIcon.RefreshAll(false);
            break;
    }
    m_trayIcon.ApplyVisibility(m_trayIcon.UpdateTray());
}

std::intptr_t CMainFrame::WindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == plat::WM_DEVICECHANGE) {
        OnDeviceChange(wParam, lParam);
    } else if (message == plat::WM_POWERBROADCAST) {
        TRAY_TRACE(m_sys, "WM_POWERBROADCAST- wP 0x%x, lP 0x%x\n", static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
        if (wParam == plat::PBT_APMRESUMECRITICAL || wParam == plat::PBT_APMRESUMESUSPEND ||
            wParam == plat::PBT_APMRESUMESTANDBY)
            m_trayIcon.RefreshAfterResume();
    } else if (!m_trayIcon.m_bIconAdded && message != plat::WM_CREATE && message != plat::WM_NCDESTROY &&
               message != plat::WM_DESTROY) {
        // The shell refused the first add: try again on the next ordinary message.
        m_trayIcon.RetryAdd(m_hWnd, kTrayCallbackMessage, "", m_sys.resources().Icon(IDI_TRAY_START), kTrayIconId);
    }
    return CFrameWnd::WindowProc(message, wParam, lParam);
}

void CMainFrame::OnDeviceEvent(const trv::DeviceEventRecord& record) {
    TRAY_TRACE(m_sys, "- Processing Event - 0x%x\n", static_cast<unsigned>(record.eventType));
    TRAY_TRACE(m_sys, "-    Version       - 0x%x\n", static_cast<unsigned>(record.version));
    TRAY_TRACE(m_sys, "-    Size          - 0x%x\n", static_cast<unsigned>(record.size));
    TRAY_TRACE(m_sys, "-    DevPath       - %s\n", record.devicePath.c_str());
    switch (record.eventType) {
        case trv::ZelDeviceRefresh:
            TRAY_TRACE(m_sys, "-- Event Type = ZelDeviceRefresh\n");
            m_trayIcon.RefreshAll(true);
            m_trayIcon.ApplyVisibility(m_trayIcon.UpdateTray());
            break;
        case trv::ZelDeviceRestart:
            TRAY_TRACE(m_sys, "-- Event Type = ZelDeviceRestart\n");
            m_trayIcon.RestartByPath(record.devicePath);
            break;
        case trv::ZelDeviceEject:
            TRAY_TRACE(m_sys, "-- Event Type = ZelDeviceEject\n");
            m_trayIcon.EjectByPath(record.devicePath, true);
            break;
        default:
            break;
    }
}

}  // namespace tray
