#include "tray/protect/status_query.h"

#include "tray/discovery.h"

namespace tray {

// The status query through the adapter driver comes with the ATA commands;
// until then only the name and pictures are refreshed.
bool QueryDeviceStatus(plat::System& sys, Family family, CStorageDevice& record) {
    RefreshNameAndImages(sys, family, &record);
    return false;
}

}  // namespace tray
