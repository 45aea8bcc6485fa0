// The protect and unprotect flows: launchers on the main thread, each
// starting a worker thread with its own copy of the device's record and its
// own dialog; the workers report the outcome, re-enumerate the device and
// announce the change with the device event broadcast.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/system.h"
#include "tray/family.h"
#include "tray/storage_device.h"

namespace tray {

class CTrayIcon;

// Both launch a worker for the listed device with this interface path
// (letter case ignored), unless its adapter lacks ADAPTER_FEATURE_SECURITY
// or a worker already runs for it. They return at once.
void StartProtect(CTrayIcon& tray, const std::string& devicePath);
void StartUnprotect(CTrayIcon& tray, const std::string& devicePath);

// The thread procedures; each owns `copy` and releases it when it ends, then
// clears the copy's worker flag as its very last step. Exit code 0.
std::uint32_t ProtectWorker(plat::System& sys, Family family, std::shared_ptr<CStorageDevice> copy);
std::uint32_t UnprotectWorker(plat::System& sys, Family family, std::shared_ptr<CStorageDevice> copy);

// Places a window in the middle of the desktop, keeping its size, without
// repainting; pulled back inside the desktop's right and bottom edges.
void CentreOnDesktop(plat::System& sys, plat::Hwnd window);

}  // namespace tray
