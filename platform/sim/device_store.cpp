#include "sim/device_store.h"

#include "sim/machine.h"

namespace sim {

// A machine without devices: every set is empty and every node unknown.
class DeviceTreeFacet final : public plat::DeviceTree {
public:
    DeviceTreeFacet(DeviceStore& s, std::uint32_t pid) : s_(s), pid_(pid) {}
    plat::Hdevinfo GetInterfaceSet(const plat::Guid&, bool) override { return static_cast<plat::Hdevinfo>(1); }
    plat::EnumResult EnumInterface(plat::Hdevinfo, const plat::Guid&, std::uint32_t, plat::InterfaceDetail&) override {
        return plat::EnumResult::NoMore;
    }
    void DestroySet(plat::Hdevinfo) override {}
    bool SetPropertyChangeParams(plat::Hdevinfo, std::uint32_t, std::uint32_t) override { return false; }
    bool CallPropertyChangeInstaller(plat::Hdevinfo, std::uint32_t) override { return false; }
    std::uint32_t GetChild(plat::DevNode, plat::DevNode&) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t GetSibling(plat::DevNode, plat::DevNode&) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t GetProperty(plat::DevNode, plat::DevProperty, std::size_t, std::string&) override {
        return plat::CR_NO_SUCH_DEVNODE;
    }
    std::uint32_t GetStatus(plat::DevNode, std::uint32_t&, std::uint32_t&) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t GetDeviceId(plat::DevNode, std::size_t, std::string&) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t LocateDevNode(const std::string&, plat::DevNode&) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t GetDeviceIdListSize(const std::string&, std::uint32_t, std::uint32_t&) override {
        return plat::CR_NO_SUCH_DEVNODE;
    }
    std::uint32_t GetDeviceIdList(const std::string&, std::uint32_t, std::uint32_t, std::vector<std::string>&) override {
        return plat::CR_NO_SUCH_DEVNODE;
    }
    std::uint32_t OpenHardwareKey(plat::DevNode, plat::Hkey&) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t GetInterfaceListSize(const plat::Guid&, const std::string&, std::uint32_t&) override {
        return plat::CR_NO_SUCH_DEVNODE;
    }
    std::uint32_t GetInterfaceList(const plat::Guid&, const std::string&, std::uint32_t,
                                   std::vector<std::string>&) override {
        return plat::CR_NO_SUCH_DEVNODE;
    }
    bool VolumeNameForMountPoint(const std::string&, std::string&) override { return false; }
    std::uint32_t QueryAndRemoveSubTree(plat::DevNode) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t RequestDeviceEject(plat::DevNode) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t QueryRemoveSubTree(plat::DevNode) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t RemoveSubTree(plat::DevNode) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t DisableDevNode(plat::DevNode) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t EnableDevNode(plat::DevNode) override { return plat::CR_NO_SUCH_DEVNODE; }
    std::uint32_t ReenumerateDevNode(plat::DevNode) override { return plat::CR_NO_SUCH_DEVNODE; }

private:
    [[maybe_unused]] DeviceStore& s_;
    [[maybe_unused]] std::uint32_t pid_;
};

std::unique_ptr<plat::DeviceTree> MakeDeviceTreeFacet(DeviceStore& store, std::uint32_t pid) {
    return std::make_unique<DeviceTreeFacet>(store, pid);
}

}  // namespace sim
