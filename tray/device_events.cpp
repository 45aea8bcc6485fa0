// Listing devices: those present at start, arrivals, removals and refreshes.
#include <algorithm>

#include "common/adapter_driver.h"
#include "common/guid.h"
#include "tray/discovery.h"
#include "tray/protect/protect_flows.h"
#include "tray/protect/status_query.h"
#include "tray/removal.h"
#include "tray/trace.h"
#include "tray/tray_icon.h"

namespace tray {

namespace {

// The class and name of a DEV_BROADCAST_DEVICEINTERFACE, read within the block.
struct InterfaceBlock {
    plat::Guid interfaceClass{};
    std::string name;
};

InterfaceBlock ReadInterfaceBlock(std::span<const std::uint8_t> block) {
    InterfaceBlock b;
    if (block.size() >= 28) b.interfaceClass = trv::GuidFromBytes(block.subspan(12).first<16>());
    if (block.size() > 28) {
        auto name = block.subspan(28);
        auto end = std::find(name.begin(), name.end(), std::uint8_t{0});
        b.name.assign(name.begin(), end);
    }
    return b;
}

bool LockedAndProtected(const CStorageDevice& r) {
    return (r.m_dwSecurityStatus & SECURITY_ENABLED) && (r.m_dwSecurityStatus & SECURITY_LOCKED);
}

}  // namespace

bool CTrayIcon::EnumeratePresentDevices() {
    plat::DeviceTree& tree = m_sys.deviceTree();
    plat::Hdevinfo set = tree.GetInterfaceSet(trv::AdapterInterfaceGuid, true);
    if (set == plat::Hdevinfo::None) return false;
    bool added = false;
    for (std::uint32_t index = 0; index < kMaxInterfaceMembers; ++index) {
        plat::InterfaceDetail detail;
        plat::EnumResult r = tree.EnumInterface(set, trv::AdapterInterfaceGuid, index, detail);
        if (r == plat::EnumResult::NoMore) break;
        if (r != plat::EnumResult::Ok || m_devices.ContainsPath(detail.path)) continue;
        auto record = std::make_unique<CStorageDevice>();
        record->m_nSlot = static_cast<std::uint8_t>(m_devices.NextFreeSlot());
        record->m_guidInterface = trv::AdapterInterfaceGuid;
        record->m_strDevicePath = detail.path;
        record->m_strDisplayName = GetFriendlyName(m_sys, m_family, trv::AdapterInterfaceGuid, detail.path);
        QueryDeviceStatus(m_sys, m_family, *record);
        const bool locked = LockedAndProtected(*record);
        std::string path = record->m_strDevicePath;
        if (!m_devices.AddDevice(std::move(record))) continue;
        if (locked) StartUnprotect(*this, path);
        added = true;
    }
    tree.DestroySet(set);
    return added;
}

void CTrayIcon::OnDeviceArrival(std::span<const std::uint8_t> block) {
    InterfaceBlock b = ReadInterfaceBlock(block);
    if (m_devices.ContainsPath(b.name)) return;
    auto record = std::make_unique<CStorageDevice>();
    record->m_nSlot = static_cast<std::uint8_t>(m_devices.NextFreeSlot());
    record->m_guidInterface = b.interfaceClass;
    record->m_strDevicePath = b.name;
    record->m_strDisplayName = GetFriendlyName(m_sys, m_family, b.interfaceClass, b.name);
    QueryDeviceStatus(m_sys, m_family, *record);
    TRAY_TRACE(m_sys, " Device Arrival - '%s'\n", b.name.c_str());
    const bool locked = LockedAndProtected(*record);
    if (!m_devices.AddDevice(std::move(record))) return;
    if (locked) StartUnprotect(*this, b.name);
}

void CTrayIcon::OnDeviceRemoveComplete(std::span<const std::uint8_t> block) {
    InterfaceBlock b = ReadInterfaceBlock(block);
    CDeviceList::Position pos = m_devices.GetHeadPosition();
    CStorageDevice* rec = nullptr;
    while (pos != nullptr) {
        rec = m_devices.GetAt(pos);
        if (rec && SamePath(rec->m_strDevicePath, b.name)) break;
        m_devices.GetNext(pos);
        rec = nullptr;
    }
    if (rec == nullptr) return;
    if (rec->m_strDisplayName.empty())
        rec->m_strDisplayName = GetFriendlyName(m_sys, m_family, b.interfaceClass, b.name);
    if (m_family == Family::Win9x) {
        plat::DevNode node = FindDevNode(m_sys, rec->m_guidInterface, rec->m_strDevicePath);
        std::uint32_t status = 0;
        bool read = GetDevNodeStatus(m_sys, node, &status, nullptr);
        if ((!read || !(status & plat::DN_HAS_MARK)) && !(rec->m_dwAdapterOptions & trv::ADAPTER_OPTION_NO_MENU))
            WarnUnsafeRemoval(m_sys, rec->m_strDisplayName);
    }
    TRAY_TRACE(m_sys, " Device Removal - '%s'\n", b.name.c_str());
    m_devices.RemoveDeviceAt(pos);
}

void CTrayIcon::RefreshAll(bool queryStatus) {
    for (CDeviceList::Position pos = m_devices.GetHeadPosition(); pos != nullptr; m_devices.GetNext(pos)) {
        std::unique_ptr<CStorageDevice> copy = m_devices.CopyAt(pos);
        if (!copy) continue;
        if (queryStatus)
            QueryDeviceStatus(m_sys, m_family, *copy);
        else
            RefreshNameAndImages(m_sys, m_family, copy.get());
        m_devices.UpdateFrom(copy.get());
    }
}

void CTrayIcon::RefreshAfterResume() {
    for (CDeviceList::Position pos = m_devices.GetHeadPosition(); pos != nullptr; m_devices.GetNext(pos)) {
        std::unique_ptr<CStorageDevice> copy = m_devices.CopyAt(pos);
        if (!copy) continue;
        QueryDeviceStatus(m_sys, m_family, *copy);
        m_devices.UpdateFrom(copy.get());
        if (LockedAndProtected(*copy)) StartUnprotect(*this, copy->m_strDevicePath);
    }
}

}  // namespace tray
