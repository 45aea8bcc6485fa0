// Device information sets of the device installation services, by device
// setup class or by enumerator: their members, each member's driver key, and
// the removal of a device instance.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"
#include "platform/types.h"

namespace plat {

enum class Hdevset : std::uintptr_t { None = 0 };

// SetupDiGetClassDevs flags.
inline constexpr std::uint32_t DIGCF_NONE = 0x0;
inline constexpr std::uint32_t DIGCF_PRESENT = 0x2;
inline constexpr std::uint32_t DIGCF_ALLCLASSES = 0x4;

// The system's USB device setup class (GUID_DEVCLASS_USB).
inline constexpr Guid GUID_DEVCLASS_USB = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

class SetupDevices {
public:
    virtual ~SetupDevices() = default;

    // SetupDiGetClassDevs: the devices of `setupClass` (none: every class,
    // which needs DIGCF_ALLCLASSES), of `enumerator` when one is given, with
    // `flags`. Without DIGCF_PRESENT devices that are not present count too.
    // None on failure.
    virtual Hdevset GetClassDevices(const std::optional<Guid>& setupClass, const std::optional<std::string>& enumerator,
                                    std::uint32_t flags) = 0;
    // SetupDiEnumDeviceInfo: whether member `index` exists (false with
    // ERROR_NO_MORE_ITEMS past the last one).
    virtual bool EnumDevice(Hdevset set, std::uint32_t index) = 0;
    // SetupDiOpenDevRegKey of member `index`'s driver key: global scope,
    // current hardware profile, full access. The key is closed with
    // Registry::CloseKey. None when the device has no driver key.
    virtual Hkey OpenDriverKey(Hdevset set, std::uint32_t index) = 0;
    // SetupDiDeleteDevRegKey of the driver key: global scope, current profile.
    virtual bool DeleteDriverKey(Hdevset set, std::uint32_t index) = 0;
    // SetupDiRemoveDevice: removes the device instance from the system. The
    // member stays in the set, so the indices of the others do not move.
    virtual bool RemoveDevice(Hdevset set, std::uint32_t index) = 0;
    virtual bool DestroySet(Hdevset set) = 0;
};

}  // namespace plat
