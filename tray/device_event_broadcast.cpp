#include "tray/device_event_broadcast.h"

#include <span>

#include "common/device_event.h"

namespace tray {

void BroadcastDeviceEvent(plat::System& sys, const std::uint8_t* payload, std::size_t length) {
    // One spare byte past the block, as the block has always had.
    std::vector<std::uint8_t> block = trv::EncodeEventBroadcast(std::span<const std::uint8_t>(payload, length), 1);
    sys.ui().BroadcastPost(plat::WM_DEVICECHANGE, plat::DBT_USERDEFINED, block.data());
}

void SendRefreshEvent(plat::System& sys, const CStorageDevice& device) {
    trv::DeviceEventRecord record;
    record.eventType = trv::ZelDeviceRefresh;
    record.interfaceClass = device.m_guidInterface;
    record.devicePath = device.m_strDevicePath;
    auto bytes = trv::EncodeEventRecord(record);
    BroadcastDeviceEvent(sys, bytes.data(), bytes.size());
}

}  // namespace tray
