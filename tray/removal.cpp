#include "tray/removal.h"

#include "tray/tray_icon.h"

// Stopping and restarting devices come with the configuration-manager
// requests; until then these requests do nothing.
namespace tray {

void WarnUnsafeRemoval(plat::System&, const std::string&) {}

void CTrayIcon::EjectByPath(const std::string&, bool) {}

void CTrayIcon::RestartByPath(const std::string&) {}

}  // namespace tray
