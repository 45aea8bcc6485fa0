// Device interfaces of a class and the device behind an interface path,
// shared by the notifier and the watcher: walking a class's interface set,
// finding the device node of a path, and reading values of the device's
// hardware key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace trv {

// Interface paths name the same interface whatever their letter case.
bool SameInterfacePath(const std::string& a, const std::string& b);

// Calls `visit` for each interface of `interfaceClass` whose detail can be
// read, in the order of the set: only those of present devices, or all.
// `visit` returns false to end the walk. False when the set cannot be had.
bool ForEachInterface(plat::DeviceTree& tree, const plat::Guid& interfaceClass, bool presentOnly,
                      const std::function<bool(const plat::InterfaceDetail&)>& visit);

// The device node that owns the interface `path` of `interfaceClass`, looked
// for among all its interfaces (absent devices' included), letter case
// ignored; the first match wins. 0 when none matches or there is no set.
plat::DevNode FindInterfaceDevNode(plat::DeviceTree& tree, const plat::Guid& interfaceClass,
                                   const std::string& path);

// A device's hardware key (full access, current profile, must exist), open
// for the life of the object.
class HardwareKey {
public:
    HardwareKey(plat::System& sys, plat::DevNode node);
    ~HardwareKey();
    HardwareKey(const HardwareKey&) = delete;
    HardwareKey& operator=(const HardwareKey&) = delete;

    bool IsOpen() const { return key_ != plat::Hkey::None; }
    // The value's bytes when they fit `capacity`; its type is not looked at.
    bool ReadBytes(const std::string& name, std::size_t capacity, std::vector<std::uint8_t>& data);
    // The value read into `capacity` bytes as text: up to its first zero
    // byte, never more than `capacity` - 1 characters.
    bool ReadText(const std::string& name, std::size_t capacity, std::string& text);
    // The value read into a 4-byte number (little-endian; shorter data leaves
    // the high bytes zero).
    bool ReadNumber(const std::string& name, std::uint32_t& value);

private:
    plat::System& sys_;
    plat::Hkey key_ = plat::Hkey::None;
};

}  // namespace trv
