// The simulated device tree: device nodes, their interfaces and properties,
// volumes and drive letters, and the configuration-manager requests.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/device_tree.h"

namespace sim {

class Machine;
class RegistryStore;

class DeviceStore {
public:
    DeviceStore(Machine& machine, RegistryStore& registry) : machine_(machine), registry_(registry) {}

private:
    friend class DeviceTreeFacet;
    Machine& machine_;
    RegistryStore& registry_;
    std::mutex mu_;
};

std::unique_ptr<plat::DeviceTree> MakeDeviceTreeFacet(DeviceStore& store, std::uint32_t pid);

}  // namespace sim
