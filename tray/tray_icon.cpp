#include "tray/tray_icon.h"

#include <cstring>

#include "common/adapter_driver.h"
#include "tray/discovery.h"
#include "tray/message_catalogue.h"
#include "tray/protect/status_query.h"

namespace tray {

IMPLEMENT_DYNAMIC(CTrayIcon, CObject)

std::string CutToField(plat::SystemInfo& info, const std::string& text, std::size_t fieldBytes) {
    if (fieldBytes == 0) return {};
    const std::size_t limit = fieldBytes - 1;
    const std::string_view view(text.c_str());  // up to the first zero byte
    std::size_t end = 0;
    while (end < view.size()) {
        std::size_t step = info.CharLength(view, end);
        if (step == 0 || end + step > limit) break;
        end += step;
    }
    return std::string(view.substr(0, end));
}

CTrayIcon::CTrayIcon(plat::System& sys, Family family) : m_devices(sys.resources()), m_sys(sys), m_family(family) {}

CTrayIcon::~CTrayIcon() {
    m_devices.RemoveAllDevices();
    RemoveFromTray();
}

void CTrayIcon::SetTipField(const std::string& text) {
    std::string cut = CutToField(m_sys.systemInfo(), text, sizeof m_iconData.tip);
    std::memset(m_iconData.tip, 0, sizeof m_iconData.tip);
    std::memcpy(m_iconData.tip, cut.data(), cut.size());
}

void CTrayIcon::FillIconData(plat::Hwnd owner, std::uint32_t callbackMessage, const std::string& tooltip,
                             plat::Hicon icon, std::uint32_t id) {
    m_iconData.size = plat::kNotifyIconDataSize;
    m_iconData.owner = owner;
    m_iconData.id = id;
    m_iconData.icon = icon;
    m_iconData.flags = plat::NIF_MESSAGE | plat::NIF_ICON | plat::NIF_TIP;
    m_iconData.callbackMessage = callbackMessage;
    SetTipField(tooltip);
}

bool CTrayIcon::Create(plat::Hwnd owner, std::uint32_t callbackMessage, const std::string& tooltip, plat::Hicon icon,
                       std::uint32_t id) {
    m_bTrayAvailable = m_sys.systemInfo().MajorVersionByte() >= 4;
    if (!m_bTrayAvailable) return false;
    m_bTrayAvailable = m_sys.ui().IsWindow(owner);
    if (!m_bTrayAvailable) return false;
    FillIconData(owner, callbackMessage, tooltip, icon, id);
    EnumeratePresentDevices();
    m_bIconAdded = m_sys.shellTray().Notify(plat::NotifyOp::Add, m_iconData);
    ApplyVisibility(UpdateTray());
    return true;
}

bool CTrayIcon::UpdateTray() {
    bool shown = false;
    unsigned count = 0;
    std::string letters;
    bool isProtected = false;
    for (CDeviceList::Position pos = m_devices.GetHeadPosition(); pos != nullptr; m_devices.GetNext(pos)) {
        std::unique_ptr<CStorageDevice> copy = m_devices.CopyAt(pos);
        if (!copy) continue;
        plat::DevNode node = FindDevNode(m_sys, copy->m_guidInterface, copy->m_strDevicePath);
        if (!(copy->m_dwAdapterOptions & trv::ADAPTER_OPTION_NO_MENU)) shown = true;
        ++count;
        plat::DevNode child = 0;
        if (node != 0 && m_sys.deviceTree().GetChild(node, child) == plat::CR_SUCCESS &&
            GetDevNodeProblem(m_sys, child) == 0) {
            std::string text = GetDriveLetters(m_sys, m_family, child);
            if (!text.empty()) {
                if (!letters.empty()) letters += ", ";
                letters += text;
            }
        }
        if (copy->m_dwSecurityStatus & SECURITY_SUPPORTED) {
            if (copy->m_hWorkerThread && !copy->WorkerRunning()) QueryDeviceStatus(m_sys, m_family, *copy);
            if (copy->m_dwSecurityStatus & SECURITY_ENABLED) isProtected = true;
        }
        m_devices.UpdateFrom(copy.get());
    }
    if (count == 0) {
        SetTrayIconById(IDI_TRAY_NO_DEVICE);
        SetTooltip(MessageCatalogue::LoadMessage(m_sys, MSG_NO_DRIVES));
    } else {
        SetTrayIconById(isProtected ? IDI_TRAY_PROTECTED : IDI_TRAY_DEVICES);
        std::string format = MessageCatalogue::LoadMessage(m_sys, count == 1 ? MSG_TOOLTIP_ONE : MSG_TOOLTIP_MANY);
        SetTooltip(FormatText(format.c_str(), letters.c_str()));
    }
    return shown;
}

void CTrayIcon::ApplyVisibility(bool show) {
    if (show && m_bIconHidden) ReturnToTray();
    if (!show && !m_bIconHidden) HideFromTray();
}

void CTrayIcon::RetryAdd(plat::Hwnd owner, std::uint32_t callbackMessage, const std::string& tooltip, plat::Hicon icon,
                         std::uint32_t id) {
    if (!m_bTrayAvailable || m_bIconAdded) return;
    FillIconData(owner, callbackMessage, tooltip, icon, id);
    m_bIconAdded = m_sys.shellTray().Notify(plat::NotifyOp::Add, m_iconData);
    UpdateTray();
}

void CTrayIcon::HideFromTray() {
    if (!m_bTrayAvailable || m_bIconHidden) return;
    m_iconData.flags = plat::NIF_ICON;
    m_sys.shellTray().Notify(plat::NotifyOp::Delete, m_iconData);
    m_bIconHidden = true;
}

void CTrayIcon::ReturnToTray() {
    if (!m_bTrayAvailable || !m_bIconHidden) return;
    m_iconData.flags = plat::NIF_MESSAGE | plat::NIF_ICON | plat::NIF_TIP;
    m_sys.shellTray().Notify(plat::NotifyOp::Add, m_iconData);
    m_bIconHidden = false;
}

void CTrayIcon::RemoveFromTray() {
    if (!m_bTrayAvailable) return;
    m_iconData.flags = 0;
    m_sys.shellTray().Notify(plat::NotifyOp::Delete, m_iconData);
    m_bTrayAvailable = false;
}

bool CTrayIcon::SetTrayIcon(plat::Hicon icon) {
    if (!m_bTrayAvailable) return false;
    m_iconData.flags = plat::NIF_ICON;
    m_iconData.icon = icon;
    return m_sys.shellTray().Notify(plat::NotifyOp::Modify, m_iconData);
}

bool CTrayIcon::SetTrayIconById(std::uint32_t resource) { return SetTrayIcon(m_sys.resources().Icon(resource)); }

plat::Hicon CTrayIcon::GetTrayIcon() const { return m_bTrayAvailable ? m_iconData.icon : plat::Hicon::None; }

bool CTrayIcon::SetTooltip(const std::string& text) {
    if (!m_bTrayAvailable) return false;
    m_iconData.flags = plat::NIF_TIP;
    SetTipField(text);
    return m_sys.shellTray().Notify(plat::NotifyOp::Modify, m_iconData);
}

}  // namespace tray
