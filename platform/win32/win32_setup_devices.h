// The Windows device-setup facet: device information sets by setup class or
// enumerator, driver keys (HKEY values as the registry facet uses them) and
// device removal.
#pragma once

#include <memory>

#include "platform/setup_devices.h"

namespace plat::win32 {

std::unique_ptr<SetupDevices> MakeSetupDevices();

}  // namespace plat::win32
