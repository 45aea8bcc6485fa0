#include "tray/discovery.h"

// Device discovery comes with the device tree; until then no device node is
// ever found and records keep the names and pictures they were given.
namespace tray {

plat::DevNode FindDevNode(plat::System&, const plat::Guid&, const std::string&) { return 0; }
bool ReadDevNodeName(plat::System&, Family, plat::DevNode, std::string& name) {
    name.clear();
    return true;
}
std::uint32_t GetDevNodeProblem(plat::System&, plat::DevNode) { return 0xFFFF; }
bool GetDevNodeStatus(plat::System&, plat::DevNode, std::uint32_t*, std::uint32_t*) { return false; }
std::string GetVolumeLetter(plat::System&, plat::DevNode) { return {}; }
std::string GetDriveLetters(plat::System&, Family, plat::DevNode) { return {}; }
unsigned CountDriveLetters(plat::System&, Family, plat::DevNode) { return 0; }
std::string GetFriendlyName(plat::System&, Family, const plat::Guid&, const std::string&) { return "Unknown Device"; }
void RefreshNameAndImages(plat::System&, Family, CStorageDevice*) {}
bool RefreshDevNode(plat::System&, Family, const CStorageDevice&) { return false; }

}  // namespace tray
