// The device installation services and the configuration manager: device
// interface sets, the device-node tree and its properties, drive letters by
// volume mount points, and the requests that stop, restart and re-enumerate
// devices.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/types.h"

namespace plat {

using DevNode = std::uint32_t;  // a device instance handle; 0 is none
enum class Hdevinfo : std::uintptr_t { None = 0 };

// Configuration-manager results.
inline constexpr std::uint32_t CR_SUCCESS = 0x00;
inline constexpr std::uint32_t CR_INVALID_DEVNODE = 0x05;
inline constexpr std::uint32_t CR_NO_SUCH_DEVNODE = 0x0D;
inline constexpr std::uint32_t CR_REMOVE_VETOED = 0x17;
inline constexpr std::uint32_t CR_BUFFER_SMALL = 0x1A;
inline constexpr std::uint32_t CR_NO_SUCH_VALUE = 0x25;
inline constexpr std::uint32_t CR_FAILURE = 0x13;

// Device-node status bits.
inline constexpr std::uint32_t DN_HAS_MARK = 0x200;
inline constexpr std::uint32_t DN_HAS_PROBLEM = 0x400;

inline constexpr std::uint32_t CM_GETIDLIST_FILTER_REMOVALRELATIONS = 0x8;

// Class-installer state changes of DIF_PROPERTYCHANGE.
inline constexpr std::uint32_t DICS_START = 4;
inline constexpr std::uint32_t DICS_STOP = 5;

enum class DevProperty { FriendlyName, DeviceDesc };

struct InterfaceDetail {
    std::string path;         // the interface path
    DevNode devNode = 0;      // the owning device
    std::uint32_t element = 0;  // the device information element within the set
};

enum class EnumResult { Ok, NoMore, DetailFailed };

class DeviceTree {
public:
    virtual ~DeviceTree() = default;

    // ---- device-interface sets (SetupDiGetClassDevs with DIGCF_DEVICEINTERFACE) ----
    virtual Hdevinfo GetInterfaceSet(const Guid& interfaceClass, bool presentOnly) = 0;
    // Member `index`: NoMore past the last one; DetailFailed when the member
    // exists but its detail data cannot be read.
    virtual EnumResult EnumInterface(Hdevinfo set, const Guid& interfaceClass, std::uint32_t index,
                                     InterfaceDetail& detail) = 0;
    virtual void DestroySet(Hdevinfo set) = 0;
    // The class installer's property change for one element: set the
    // parameters (DICS_STOP or DICS_START, config-specific scope, current
    // profile), then call the installer. Each returns false on failure.
    virtual bool SetPropertyChangeParams(Hdevinfo set, std::uint32_t element, std::uint32_t stateChange) = 0;
    virtual bool CallPropertyChangeInstaller(Hdevinfo set, std::uint32_t element) = 0;

    // ---- the device-node tree -------------------------------------------------
    virtual std::uint32_t GetChild(DevNode node, DevNode& child) = 0;
    virtual std::uint32_t GetSibling(DevNode node, DevNode& sibling) = 0;
    // A registry property read into a buffer of `capacity` bytes (text
    // without its terminator in `value`); CR_BUFFER_SMALL when it does not fit.
    virtual std::uint32_t GetProperty(DevNode node, DevProperty property, std::size_t capacity, std::string& value) = 0;
    virtual std::uint32_t GetStatus(DevNode node, std::uint32_t& status, std::uint32_t& problem) = 0;
    // The device instance identifier, at most `capacity` - 1 characters.
    virtual std::uint32_t GetDeviceId(DevNode node, std::size_t capacity, std::string& id) = 0;
    virtual std::uint32_t LocateDevNode(const std::string& deviceId, DevNode& node) = 0;
    // CM_Get_Device_ID_List_Size / CM_Get_Device_ID_List with a filter: the
    // size in characters of the double-zero-terminated list, then the list.
    virtual std::uint32_t GetDeviceIdListSize(const std::string& deviceId, std::uint32_t filter,
                                              std::uint32_t& size) = 0;
    virtual std::uint32_t GetDeviceIdList(const std::string& deviceId, std::uint32_t filter, std::uint32_t size,
                                          std::vector<std::string>& ids) = 0;
    // The device's hardware key (full access, current profile, must exist).
    virtual std::uint32_t OpenHardwareKey(DevNode node, Hkey& key) = 0;

    // ---- volumes (NT family) -------------------------------------------------------
    // CM_Get_Device_Interface_List(_Size) of present interfaces of a class
    // that belong to a device instance: size in characters, then the paths.
    virtual std::uint32_t GetInterfaceListSize(const Guid& interfaceClass, const std::string& deviceId,
                                               std::uint32_t& size) = 0;
    virtual std::uint32_t GetInterfaceList(const Guid& interfaceClass, const std::string& deviceId,
                                           std::uint32_t size, std::vector<std::string>& paths) = 0;
    // GetVolumeNameForVolumeMountPoint: `mountPoint` ends with a backslash.
    virtual bool VolumeNameForMountPoint(const std::string& mountPoint, std::string& volumeName) = 0;

    // ---- requests ------------------------------------------------------------------
    virtual std::uint32_t QueryAndRemoveSubTree(DevNode node) = 0;  // NT: user interface allowed, no veto buffers
    virtual std::uint32_t RequestDeviceEject(DevNode node) = 0;     // NT
    virtual std::uint32_t QueryRemoveSubTree(DevNode node) = 0;     // 9x
    virtual std::uint32_t RemoveSubTree(DevNode node) = 0;          // 9x
    virtual std::uint32_t DisableDevNode(DevNode node) = 0;
    virtual std::uint32_t EnableDevNode(DevNode node) = 0;
    virtual std::uint32_t ReenumerateDevNode(DevNode node) = 0;
};

}  // namespace plat
