// The simulated device tree as any program sees it through its facet:
// plugging, the tree, volumes and letters, hardware keys, and the requests
// that stop and restart devices.
#include "sim/device_store.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/guid.h"
#include "sim/machine.h"

namespace {

using plat::CR_SUCCESS;
using sim::AdapterSpec;
using sim::CmRequest;

class DeviceStoreTest : public ::testing::Test {
protected:
    sim::Machine machine;
    sim::DeviceStore& store = machine.Devices();
    std::unique_ptr<plat::DeviceTree> tree = sim::MakeDeviceTreeFacet(store, 0);

    std::vector<std::string> Paths(const plat::Guid& cls, bool presentOnly) {
        std::vector<std::string> out;
        plat::Hdevinfo set = tree->GetInterfaceSet(cls, presentOnly);
        plat::InterfaceDetail d;
        for (std::uint32_t i = 0; tree->EnumInterface(set, cls, i, d) != plat::EnumResult::NoMore; ++i)
            out.push_back(d.path);
        tree->DestroySet(set);
        return out;
    }
    std::string LetterOf(const std::string& volumeInterface) {
        std::string name, other;
        if (!tree->VolumeNameForMountPoint(volumeInterface + "\\", name)) return {};
        for (char c = 'A'; c <= 'Z'; ++c)
            if (tree->VolumeNameForMountPoint(std::string(1, c) + ":\\", other) && other == name)
                return std::string(1, c);
        return "-";
    }
    // Letters of a storage node, found through its removal relations.
    std::string RelationLetters(plat::DevNode storage) {
        std::string id, out;
        tree->GetDeviceId(storage, 200, id);
        std::uint32_t size = 0;
        if (tree->GetDeviceIdListSize(id, plat::CM_GETIDLIST_FILTER_REMOVALRELATIONS, size) != CR_SUCCESS) return "?";
        std::vector<std::string> ids;
        if (size) tree->GetDeviceIdList(id, plat::CM_GETIDLIST_FILTER_REMOVALRELATIONS, size, ids);
        for (auto& rel : ids) {
            std::uint32_t n = 0;
            tree->GetInterfaceListSize(trv::VolumeInterfaceGuid, rel, n);
            std::vector<std::string> vols;
            tree->GetInterfaceList(trv::VolumeInterfaceGuid, rel, n, vols);
            for (auto& v : vols) out += LetterOf(v);
        }
        return out;
    }
};

TEST_F(DeviceStoreTest, PluggedDiskHasTreeNamesLettersAndKeys) {
    AdapterSpec spec = AdapterSpec::Disk("Drive X", {'E', 'F'});
    spec.usbFlags = 1;
    spec.values.push_back({"AutoLoader", plat::REG_SZ, {'a', 0}});
    sim::PluggedDevice dev = store.Plug(spec);
    ASSERT_TRUE(dev.ok());

    EXPECT_EQ(Paths(trv::AdapterInterfaceGuid, true), std::vector<std::string>{dev.path});
    plat::DevNode child = 0, sibling = 0;
    ASSERT_EQ(tree->GetChild(dev.node, child), CR_SUCCESS);
    EXPECT_EQ(child, dev.children[0]);
    EXPECT_NE(tree->GetSibling(child, sibling), CR_SUCCESS);
    std::string name;
    EXPECT_EQ(tree->GetProperty(child, plat::DevProperty::FriendlyName, 260, name), CR_SUCCESS);
    EXPECT_EQ(name, "Drive X");
    EXPECT_EQ(tree->GetProperty(child, plat::DevProperty::FriendlyName, 7, name), plat::CR_BUFFER_SMALL);
    EXPECT_EQ(tree->GetProperty(dev.node, plat::DevProperty::FriendlyName, 260, name), plat::CR_NO_SUCH_VALUE);
    EXPECT_EQ(RelationLetters(child), "EF");

    plat::Hkey key{};
    ASSERT_EQ(tree->OpenHardwareKey(dev.node, key), CR_SUCCESS);
    auto usb = machine.Registry().GetValue(dev.keyPath, "USBFlags");
    ASSERT_TRUE(usb.has_value());
    EXPECT_EQ(usb->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_TRUE(machine.Registry().GetValue(dev.keyPath, "AutoLoader").has_value());
    auto cdla = machine.Registry().GetValue(sim::DeviceStore::HardwareKeyPath([&] {
                                                std::string id;
                                                tree->GetDeviceId(child, 200, id);
                                                return id;
                                            }()),
                                            "CurrentDriveLetterAssignment");
    ASSERT_TRUE(cdla.has_value());
    EXPECT_EQ(cdla->data, (std::vector<std::uint8_t>{'E', 'F', 0}));
    EXPECT_NE(machine.FindAdapter(dev.path), nullptr);
}

TEST_F(DeviceStoreTest, StopUnmountsVolumesRemovesTheDriverAndMarksTheStorageNode) {
    sim::PluggedDevice dev = store.Plug(AdapterSpec::Disk("Drive X", {'E'}));
    store.SetVeto(dev.node, CmRequest::QueryAndRemove, true);
    EXPECT_EQ(tree->QueryAndRemoveSubTree(dev.node), plat::CR_REMOVE_VETOED);
    EXPECT_TRUE(store.IsRunning(dev.path));

    ASSERT_EQ(tree->RequestDeviceEject(dev.node), CR_SUCCESS);
    EXPECT_FALSE(store.IsRunning(dev.path));
    EXPECT_EQ(machine.FindAdapter(dev.path), nullptr);
    EXPECT_TRUE(Paths(trv::AdapterInterfaceGuid, true).empty());
    EXPECT_EQ(Paths(trv::AdapterInterfaceGuid, false), std::vector<std::string>{dev.path});
    std::uint32_t status = 0, problem = 0;
    ASSERT_EQ(tree->GetStatus(dev.children[0], status, problem), CR_SUCCESS);
    EXPECT_TRUE(status & plat::DN_HAS_PROBLEM);
    EXPECT_EQ(problem, sim::CM_PROB_HELD_FOR_EJECT);
    std::string volume;
    EXPECT_FALSE(tree->VolumeNameForMountPoint("E:\\", volume));
    auto log = store.Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].request, CmRequest::Eject);
}

TEST_F(DeviceStoreTest, UnpluggedNodesCannotBeReadUnlessTheyLinger) {
    sim::PluggedDevice a = store.Plug(AdapterSpec::Disk("A", {'E'}));
    sim::PluggedDevice b = store.Plug(AdapterSpec::Disk("B", {'F'}));
    ASSERT_TRUE(store.Unplug(a.path));
    ASSERT_TRUE(store.Unplug(b.path, plat::DN_HAS_MARK));
    std::uint32_t status = 0, problem = 0;
    EXPECT_NE(tree->GetStatus(a.node, status, problem), CR_SUCCESS);
    ASSERT_EQ(tree->GetStatus(b.node, status, problem), CR_SUCCESS);
    EXPECT_EQ(status, plat::DN_HAS_MARK);
    EXPECT_FALSE(store.Unplug(a.path));

    // Plugged again, the same instance keeps its node.
    AdapterSpec again = AdapterSpec::Disk("A", {'E'});
    again.instanceId = a.instanceId;
    again.reuseDrive = a.drive;
    sim::PluggedDevice a2 = store.Plug(again);
    EXPECT_EQ(a2.node, a.node);
    EXPECT_EQ(a2.path, a.path);
    EXPECT_FALSE(store.Plug(again).ok()) << "the same device cannot be plugged twice";
}

TEST_F(DeviceStoreTest, ClassInstallerStopAndStartRestartTheDriver) {
    sim::PluggedDevice dev = store.Plug(AdapterSpec::Disk("Drive X", {'E'}));
    plat::Hdevinfo set = tree->GetInterfaceSet(trv::AdapterInterfaceGuid, false);
    plat::InterfaceDetail d;
    ASSERT_EQ(tree->EnumInterface(set, trv::AdapterInterfaceGuid, 0, d), plat::EnumResult::Ok);
    EXPECT_FALSE(tree->CallPropertyChangeInstaller(set, d.element)) << "no parameters set yet";
    ASSERT_TRUE(tree->SetPropertyChangeParams(set, d.element, plat::DICS_STOP));
    ASSERT_TRUE(tree->CallPropertyChangeInstaller(set, d.element));
    EXPECT_FALSE(store.IsRunning(dev.path));
    store.SetVeto(dev.node, CmRequest::PropertyStart, true);
    ASSERT_TRUE(tree->SetPropertyChangeParams(set, d.element, plat::DICS_START));
    EXPECT_FALSE(tree->CallPropertyChangeInstaller(set, d.element));
    EXPECT_FALSE(store.IsRunning(dev.path));
    store.SetVeto(dev.node, CmRequest::PropertyStart, false);
    EXPECT_TRUE(tree->CallPropertyChangeInstaller(set, d.element));
    EXPECT_TRUE(store.IsRunning(dev.path));
    std::string volume;
    EXPECT_TRUE(tree->VolumeNameForMountPoint("E:\\", volume));
    EXPECT_EQ(store.OpenSets(0), 1u);
    tree->DestroySet(set);
    EXPECT_EQ(store.OpenSets(0), 0u);
}

TEST_F(DeviceStoreTest, StaleInterfacesAreListedOnlyWithoutThePresentFilter) {
    store.AddStaleInterfaces(trv::AdapterInterfaceGuid, 300);
    sim::PluggedDevice dev = store.Plug(AdapterSpec::Disk("Drive X", {}));
    EXPECT_EQ(Paths(trv::AdapterInterfaceGuid, true).size(), 1u);
    auto all = Paths(trv::AdapterInterfaceGuid, false);
    ASSERT_EQ(all.size(), 301u);
    EXPECT_EQ(all.back(), dev.path);
}

}  // namespace
