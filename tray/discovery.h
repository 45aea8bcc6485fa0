// Device discovery helpers: the device node behind an interface path, names
// from the device tree, drive letters, pictures, and re-enumeration. Free
// functions use no object state, so workers may call them on their threads.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"
#include "tray/family.h"
#include "tray/storage_device.h"

namespace tray {

// Interface enumerations count their member index in 32 bits, so it never
// wraps, and stop at the platform's "no more"; a set that claims more
// members than this is cut here, so every walk ends.
inline constexpr std::uint32_t kMaxInterfaceMembers = 65536;

// The icon and menu bitmap that show a record's state.
struct PictureChoice {
    std::uint32_t icon;
    std::uint32_t bitmap;
};
PictureChoice ChoosePictures(const CStorageDevice& record);

// The device node that owns the interface `path` of `interfaceClass`
// (present or not); 0 when there is none.
plat::DevNode FindDevNode(plat::System& sys, const plat::Guid& interfaceClass, const std::string& path);
// Always true: `name` is empty when nothing could be read.
bool ReadDevNodeName(plat::System& sys, Family family, plat::DevNode node, std::string& name);
// 0 without a problem, the problem number, or 0xFFFF when the status cannot be read.
std::uint32_t GetDevNodeProblem(plat::System& sys, plat::DevNode node);
bool GetDevNodeStatus(plat::System& sys, plat::DevNode node, std::uint32_t* status, std::uint32_t* problem);
std::string GetVolumeLetter(plat::System& sys, plat::DevNode node);
std::string GetDriveLetters(plat::System& sys, Family family, plat::DevNode node);
unsigned CountDriveLetters(plat::System& sys, Family family, plat::DevNode node);
std::string GetFriendlyName(plat::System& sys, Family family, const plat::Guid& interfaceClass,
                            const std::string& path);
void RefreshNameAndImages(plat::System& sys, Family family, CStorageDevice* record);
bool RefreshDevNode(plat::System& sys, Family family, const CStorageDevice& record);

}  // namespace tray
