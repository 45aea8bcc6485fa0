// Sending the "TRV\Event" device event broadcast. Safe on any thread: these
// touch only their own buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/system.h"
#include "tray/storage_device.h"

namespace tray {

// Wraps `payload` into a DeviceEventBroadcast and posts it to every
// top-level window, this program's own included.
void BroadcastDeviceEvent(plat::System& sys, const std::uint8_t* payload, std::size_t length);
// Announces a ZelDeviceRefresh for `device` (its class and path).
void SendRefreshEvent(plat::System& sys, const CStorageDevice& device);

}  // namespace tray
