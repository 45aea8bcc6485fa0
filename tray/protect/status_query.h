// The device status query and the ATA security commands, sent through the
// adapter driver's pass-through request. Every operation opens its own
// handle to the interface path and closes it before returning.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/system.h"
#include "tray/family.h"
#include "tray/storage_device.h"

namespace tray {

bool QueryDeviceStatus(plat::System& sys, Family family, CStorageDevice& record);

}  // namespace tray
