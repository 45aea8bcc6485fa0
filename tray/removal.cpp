#include "tray/removal.h"

#include <memory>

#include "common/adapter_driver.h"
#include "tray/discovery.h"
#include "tray/message_catalogue.h"
#include "tray/trace.h"
#include "tray/tray_icon.h"

namespace tray {

namespace {

// Shows the busy picture while it lives and puts the previous one back.
class BusyIcon {
public:
    explicit BusyIcon(CTrayIcon& tray) : tray_(tray), previous_(tray.GetTrayIcon()) {
        tray_.SetTrayIconById(IDI_TRAY_BUSY);
    }
    ~BusyIcon() { tray_.SetTrayIcon(previous_); }
    BusyIcon(const BusyIcon&) = delete;
    BusyIcon& operator=(const BusyIcon&) = delete;

private:
    CTrayIcon& tray_;
    plat::Hicon previous_;
};

struct Notice {
    plat::Hwnd owner;
    std::string text;
    std::string caption;
    std::uint32_t style;
};

}  // namespace

void ShowNoticeAsync(plat::System& sys, plat::Hwnd owner, const std::string& text, const std::string& caption,
                     std::uint32_t style) {
    auto notice = std::make_shared<Notice>(Notice{owner, text, caption, style});
    plat::System* system = &sys;
    plat::Hobject thread = sys.kernel().StartThread([system, notice]() mutable -> std::uint32_t {
        system->messageBoxes().Show(notice->owner, notice->text, notice->caption, notice->style);
        notice.reset();
        return 0;
    });
    if (thread != plat::Hobject::None) sys.kernel().Close(thread);
}

void WarnUnsafeRemoval(plat::System& sys, const std::string& name) {
    ShowNoticeAsync(sys, plat::Hwnd::None,
                    FormatText(MessageCatalogue::LoadMessage(sys, MSG_UNSAFE_REMOVAL_TEXT).c_str(), name.c_str()),
                    FormatText(MessageCatalogue::LoadMessage(sys, MSG_UNSAFE_REMOVAL_CAPTION).c_str(), name.c_str()),
                    kWarningNoticeStyle);
}

bool RestartThroughClassInstaller(plat::System& sys, const plat::Guid& interfaceClass, const std::string& path) {
    plat::DeviceTree& tree = sys.deviceTree();
    plat::Hdevinfo set = tree.GetInterfaceSet(interfaceClass, false);
    if (set == plat::Hdevinfo::None) return false;
    bool result = false;
    for (std::uint32_t index = 0; index < kMaxInterfaceMembers; ++index) {
        plat::InterfaceDetail detail;
        plat::EnumResult r = tree.EnumInterface(set, interfaceClass, index, detail);
        if (r == plat::EnumResult::NoMore) break;
        if (r != plat::EnumResult::Ok || !SamePath(detail.path, path)) continue;
        result = tree.SetPropertyChangeParams(set, detail.element, plat::DICS_STOP) &&
                 tree.CallPropertyChangeInstaller(set, detail.element) &&
                 tree.SetPropertyChangeParams(set, detail.element, plat::DICS_START) &&
                 tree.CallPropertyChangeInstaller(set, detail.element);
        break;
    }
    tree.DestroySet(set);
    return result;
}

void CTrayIcon::RemoveBySlot(unsigned slot) {
    for (CDeviceList::Position pos = m_devices.GetHeadPosition(); pos != nullptr; m_devices.GetNext(pos)) {
        if (m_devices.GetSlotAt(pos) != slot) continue;
        if (std::unique_ptr<CStorageDevice> copy = m_devices.CopyAt(pos)) RemoveDevice(*copy);
        return;
    }
}

void CTrayIcon::EjectByPath(const std::string& path, bool confirm) {
    CDeviceList::Position pos = m_devices.GetHeadPosition();
    for (; pos != nullptr; m_devices.GetNext(pos)) {
        CStorageDevice* rec = m_devices.GetAt(pos);
        if (rec && SamePath(rec->m_strDevicePath, path)) break;
    }
    if (pos == nullptr) return;
    std::unique_ptr<CStorageDevice> copy = m_devices.CopyAt(pos);
    if (!copy) return;
    if (confirm) {
        const std::string text = FormatText(MessageCatalogue::LoadMessage(m_sys, MSG_CONFIRM_REMOVAL_TEXT).c_str(),
                                            copy->m_strDisplayName.c_str());
        const std::string caption = MessageCatalogue::LoadMessage(m_sys, MSG_CONFIRM_REMOVAL_CAPTION);
        // Only a Yes stops the device: a box that could not be shown, or was
        // closed without an answer, is no consent.
        if (m_sys.messageBoxes().Show(plat::Hwnd::None, text, caption, kConfirmRemovalStyle) != plat::IDYES) return;
    }
    RemoveDevice(*copy);
}

bool CTrayIcon::RemoveDevice(const CStorageDevice& record) {
    plat::DeviceTree& tree = m_sys.deviceTree();
    if (m_family == Family::Nt) {
        plat::DevNode node = FindDevNode(m_sys, record.m_guidInterface, record.m_strDevicePath);
        BusyIcon busy(*this);
        if (tree.QueryAndRemoveSubTree(node) == plat::CR_SUCCESS) return true;
        return tree.RequestDeviceEject(node) == plat::CR_SUCCESS;
    }
    const std::string name = record.m_strDisplayName;
    bool removed = false;
    {
        plat::DevNode node = FindDevNode(m_sys, record.m_guidInterface, record.m_strDevicePath);
        BusyIcon busy(*this);
        removed = tree.QueryRemoveSubTree(node) == plat::CR_SUCCESS && tree.RemoveSubTree(node) == plat::CR_SUCCESS;
    }
    if (!(record.m_dwAdapterOptions & trv::ADAPTER_OPTION_NO_MENU)) {
        if (removed)
            ShowNoticeAsync(m_sys, plat::Hwnd::None,
                            FormatText(MessageCatalogue::LoadMessage(m_sys, MSG_SAFE_TO_REMOVE_TEXT).c_str(), name.c_str()),
                            MessageCatalogue::LoadMessage(m_sys, MSG_SAFE_TO_REMOVE_CAPTION), kRemovedNoticeStyle);
        else
            ShowNoticeAsync(
                m_sys, plat::Hwnd::None,
                FormatText(MessageCatalogue::LoadMessage(m_sys, MSG_PROBLEM_STOPPING_TEXT).c_str(), name.c_str()),
                FormatText(MessageCatalogue::LoadMessage(m_sys, MSG_PROBLEM_STOPPING_CAPTION).c_str(), name.c_str()),
                kWarningNoticeStyle);
    }
    return removed;
}

void CTrayIcon::RestartByPath(const std::string& path) {
    for (CDeviceList::Position pos = m_devices.GetHeadPosition(); pos != nullptr; m_devices.GetNext(pos)) {
        CStorageDevice* rec = m_devices.GetAt(pos);
        if (!rec || !SamePath(rec->m_strDevicePath, path)) continue;
        if (std::unique_ptr<CStorageDevice> copy = m_devices.CopyAt(pos)) RestartDevice(*copy);
        return;
    }
}

bool CTrayIcon::RestartDevice(const CStorageDevice& record) {
    BusyIcon busy(*this);
    if (m_family == Family::Nt) return RestartThroughClassInstaller(m_sys, record.m_guidInterface, record.m_strDevicePath);
    plat::DeviceTree& tree = m_sys.deviceTree();
    plat::DevNode node = FindDevNode(m_sys, record.m_guidInterface, record.m_strDevicePath);
    TRAY_TRACE(m_sys, "Disable dev node 0x%x\n", node);
    if (tree.DisableDevNode(node) != plat::CR_SUCCESS) return false;
    TRAY_TRACE(m_sys, "Enable dev node 0x%x\n", node);
    const std::uint32_t cr = tree.EnableDevNode(node);
    if (cr != plat::CR_SUCCESS) {
        TRAY_TRACE(m_sys, "Unable to enable dev node 0x%x - 0x%x\n", node, cr);
        return false;
    }
    return true;
}

}  // namespace tray
