#include "tray/tray_icon.h"

// The property sheet comes with the property-page provider; until then the
// command shows nothing.
namespace tray {

bool CTrayIcon::ShowPropertyPages(unsigned) { return false; }

}  // namespace tray
