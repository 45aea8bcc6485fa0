#include "tray/tray_icon.h"

// The tray menus come with the popup-menu facet. Until then a click only
// answers whether it was meant for our icon.
namespace tray {

std::intptr_t CTrayIcon::OnTrayMessage(std::uintptr_t wParam, std::intptr_t) { return wParam == kTrayIconId ? 1 : 0; }

}  // namespace tray
