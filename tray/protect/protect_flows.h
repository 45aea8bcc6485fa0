// The protect and unprotect flows: launchers on the main thread, each
// starting a worker thread with its own dialog.
#pragma once

#include <string>

namespace tray {

class CTrayIcon;

void StartProtect(CTrayIcon& tray, const std::string& devicePath);
void StartUnprotect(CTrayIcon& tray, const std::string& devicePath);

}  // namespace tray
