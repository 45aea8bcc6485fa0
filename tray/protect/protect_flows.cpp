#include "tray/protect/protect_flows.h"

// The dialogs come with the dialog facet; until then no worker is started.
namespace tray {

void StartProtect(CTrayIcon&, const std::string&) {}
void StartUnprotect(CTrayIcon&, const std::string&) {}

}  // namespace tray
