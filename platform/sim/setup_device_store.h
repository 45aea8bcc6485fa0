// The simulated device instances as the device installation services list
// them by setup class and enumerator, each with its driver key in the
// registry. (Kept apart from the device tree of the notifier's device
// discovery; the two could later share one store of devices.)
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/setup_devices.h"

namespace sim {

class RegistryStore;

class SetupDeviceStore {
public:
    explicit SetupDeviceStore(RegistryStore& registry) : registry_(registry) {}

    // ---- for tests and the simulator ---------------------------------------------
    // Adds a device instance like "USB\VID_1234&PID_0001\5&1A2B" (its
    // enumerator is the part before the first backslash). With an INF
    // section the device gets a driver key under the class's key holding the
    // "InfSection" value; the key's path under HKEY_LOCAL_MACHINE is returned.
    std::string AddDevice(const std::string& instanceId, const plat::Guid& setupClass,
                          const std::optional<std::string>& infSection, bool present = true);
    bool HasDevice(const std::string& instanceId);
    std::vector<std::string> DeviceIds();
    std::string DriverKeyOf(const std::string& instanceId);
    // The device's removal is refused (for example, by its driver).
    void RefuseRemoval(const std::string& instanceId, bool refuse);
    // The next `count` requests for a device information set fail.
    void FailSets(int count);

    // ---- what the facet uses ----------------------------------------------------
    struct Member {
        std::string instanceId;
        std::string driverKey;  // empty: none
    };
    bool MakeSet(const std::optional<plat::Guid>& setupClass, const std::optional<std::string>& enumerator,
                 std::uint32_t flags, std::vector<Member>& members, std::uint32_t& error);
    // Removes the instance; on the NT family its driver key goes with it.
    bool Remove(const std::string& instanceId, bool nt, std::uint32_t& error);
    RegistryStore& Registry() { return registry_; }

private:
    struct Device {
        std::string instanceId;
        plat::Guid setupClass;
        std::string driverKey;
        bool present = true;
        bool refuseRemoval = false;
    };
    RegistryStore& registry_;
    std::mutex mu_;
    std::vector<Device> devices_;  // in the order added
    std::map<std::string, int> nextInstance_;  // per class key
    int failSets_ = 0;
};

std::unique_ptr<plat::SetupDevices> MakeSetupDevicesFacet(SetupDeviceStore& store, std::uint32_t pid,
                                                          std::function<bool()> isNt,
                                                          std::function<void(std::uint32_t)> setLastError,
                                                          std::function<void(const std::string&)> note);

}  // namespace sim
