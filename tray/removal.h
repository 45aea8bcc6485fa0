// Safe removal, device restart and the Windows 9x removal notices.
#pragma once

#include <string>

#include "platform/system.h"

namespace tray {

// Windows 9x build: the unsafe-removal warning, shown without waiting.
void WarnUnsafeRemoval(plat::System& sys, const std::string& name);

}  // namespace tray
