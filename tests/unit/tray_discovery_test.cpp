// Device discovery as the notifier does it on both builds: display names
// from the device tree, drive letters (volume mount points and removal
// relations on the NT family, "CurrentDriveLetterAssignment" on Windows 9x),
// the state pictures, and interface sets of every size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tray/discovery.h"
#include "tray_harness.h"

namespace {

using sim::AdapterSpec;
using sim::ChildSpec;
using traytest::TrayHarness;
using tray::Family;

ChildSpec Disk(std::optional<std::string> name, std::vector<char> letters = {}) {
    ChildSpec c;
    c.friendlyName = std::move(name);
    c.letters = std::move(letters);
    return c;
}

struct NameCase {
    const char* what;
    std::function<AdapterSpec()> spec;
    std::string preset;  // the record's name before the refresh
    std::string nt, ntRefreshed;
    std::string nineX, nineXRefreshed;
};

TEST(DiscoveryTest, DisplayNamesFollowTheDeviceTree) {
    const std::string long259(259, 'n');
    const std::vector<NameCase> cases = {
        {"storage node with a name", [] { return AdapterSpec::Disk("Drive X", {}); }, "",
         "Drive X", "Drive X", "Drive X", "Drive X"},
        {"two storage nodes: the sibling joins with AND, the refresh keeps the first",
         [] {
             AdapterSpec s;
             s.children = {Disk("Disk A"), Disk("Disk B")};
             return s;
         },
         "", "Disk A AND Disk B", "Disk A", "Disk A", "Disk A"},
        {"sibling without a name adds nothing",
         [] {
             AdapterSpec s;
             ChildSpec unnamed = Disk(std::nullopt);
             unnamed.deviceDesc.reset();
             s.children = {Disk("Disk A"), unnamed};
             return s;
         },
         "", "Disk A", "Disk A", "Disk A", "Disk A"},
        {"unnamed storage node: the interface node's name",
         [] {
             AdapterSpec s;
             s.children[0].deviceDesc.reset();
             return s;
         },
         "", "USB Mass Storage Device", "USB Mass Storage Device", "USB Storage Adapter", "USB Storage Adapter"},
        {"no storage node: a backslash and the node's friendly name",
         [] {
             AdapterSpec s;
             s.children.clear();
             s.friendlyName = "Bridge";
             return s;
         },
         "", "\\Bridge", "Bridge", "\\Bridge", "Bridge"},
        {"no storage node and no name anywhere",
         [] {
             AdapterSpec s;
             s.children.clear();
             s.deviceDesc.reset();
             return s;
         },
         "", "Unknown Device", "", "Unknown Device", ""},
        {"no storage node: a listed name is kept",
         [] {
             AdapterSpec s;
             s.children.clear();
             s.friendlyName = "Bridge";
             return s;
         },
         "Kept", "\\Bridge", "Kept", "\\Bridge", "Kept"},
        {"a 259-character name fills the buffer",
         [long259] { return AdapterSpec::Disk(long259, {}); }, "", long259, long259, long259, long259},
        {"a 260-character name does not fit: the description instead",
         [] { return AdapterSpec::Disk(std::string(260, 'n'), {}); }, "", "Disk drive", "Disk drive", "Disk drive",
         "Disk drive"},
    };
    for (Family family : {Family::Nt, Family::Win9x}) {
        for (const NameCase& c : cases) {
            SCOPED_TRACE(std::string(traytest::FamilyName(family)) + ": " + c.what);
            TrayHarness h(family);
            sim::PluggedDevice dev = h.Plug(c.spec());
            std::string friendly, refreshed;
            h.RunProbe([&](plat::System& sys) {
                friendly = tray::GetFriendlyName(sys, family, trv::AdapterInterfaceGuid, dev.path);
                tray::CStorageDevice rec = traytest::RecordFor(dev.path);
                rec.m_strDisplayName = c.preset;
                tray::RefreshNameAndImages(sys, family, &rec);
                refreshed = rec.m_strDisplayName;
                sys.resources().DeleteBitmap(rec.m_hBitmap);
            });
            EXPECT_EQ(friendly, family == Family::Nt ? c.nt : c.nineX);
            EXPECT_EQ(refreshed, family == Family::Nt ? c.ntRefreshed : c.nineXRefreshed);
        }
    }
}

TEST(DiscoveryTest, NtLettersComeFromVolumesOfTheRemovalRelationsOrTheNodeItself) {
    struct Case {
        const char* what;
        std::vector<ChildSpec> children;
        std::string letters;
        unsigned count;
    };
    ChildSpec cd = Disk("CD", {'D'});
    cd.ownVolume = true;
    ChildSpec cd2 = Disk("CD 2", {'H'});
    cd2.ownVolume = true;
    const std::vector<Case> cases = {
        {"two volumes", {Disk("X", {'E', 'F'})}, "E:, F:", 2},
        {"a volume without a letter adds nothing, not even a separator", {Disk("X", {'E', 0, 'G'})}, "E:, G:", 2},
        {"only a volume without a letter", {Disk("X", {0})}, "", 0},
        {"no volume", {Disk("X", {})}, "", 0},
        {"a drive that is its own volume", {cd}, "D:", 1},
        {"its own volume, then the sibling's letters; only its own counts", {cd, cd2}, "D:, H:", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrayHarness h(Family::Nt);
        AdapterSpec spec;
        spec.children = c.children;
        sim::PluggedDevice dev = h.Plug(spec);
        std::string letters, fromInterfaceNode;
        unsigned count = 99, countFromInterfaceNode = 99;
        h.RunProbe([&](plat::System& sys) {
            letters = tray::GetDriveLetters(sys, Family::Nt, dev.children[0]);
            count = tray::CountDriveLetters(sys, Family::Nt, dev.children[0]);
            // The interface node has neither volumes nor relations: its first child answers.
            fromInterfaceNode = tray::GetDriveLetters(sys, Family::Nt, dev.node);
            countFromInterfaceNode = tray::CountDriveLetters(sys, Family::Nt, dev.node);
        });
        EXPECT_EQ(letters, c.letters);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(fromInterfaceNode, c.letters);
        EXPECT_EQ(countFromInterfaceNode, c.count);
    }
}

TEST(DiscoveryTest, NineXLettersComeFromCurrentDriveLetterAssignment) {
    struct Case {
        const char* what;
        std::optional<std::vector<std::uint8_t>> value;  // unset: no value at all
        std::string letters;
        unsigned count;
    };
    std::vector<std::uint8_t> fifty;
    for (int i = 0; i < 49; ++i) fifty.push_back(static_cast<std::uint8_t>('A' + i % 26));
    fifty.push_back(0);
    std::string fiftyText;
    for (int i = 0; i < 49; ++i) fiftyText += std::string(i ? ", " : "") + static_cast<char>('A' + i % 26) + ":";
    std::vector<std::uint8_t> fiftyOne = fifty;
    fiftyOne.insert(fiftyOne.begin(), 'Z');
    const std::vector<Case> cases = {
        {"two letters and the terminator", std::vector<std::uint8_t>{'E', 'F', 0}, "E:, F:", 2},
        {"the terminator alone", std::vector<std::uint8_t>{0}, "", 0},
        {"empty value", std::vector<std::uint8_t>{}, "", 0},
        {"no value", std::nullopt, "", 0},
        {"without a terminator the last byte is not a letter", std::vector<std::uint8_t>{'E', 'F'}, "E:", 1},
        {"50 bytes: 49 letters", fifty, fiftyText, 49},
        {"51 bytes do not fit the buffer", fiftyOne, "", 0},
        {"a zero byte ends the letters", std::vector<std::uint8_t>{'E', 0, 'F', 0}, "E:", 1},
        {"bytes that are not letters are left out", std::vector<std::uint8_t>{'E', 0x07, 'F', 0}, "E:, F:", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrayHarness h(Family::Win9x);
        AdapterSpec spec = AdapterSpec::Disk("X", {});
        spec.children[0].driveLetterAssignment = c.value;
        sim::PluggedDevice dev = h.Plug(spec);
        ASSERT_NE(dev.bridge, 0u);
        std::string letters;
        unsigned count = 99;
        h.RunProbe([&](plat::System& sys) {
            // The notifier asks with the interface node's first child: the
            // value sits on the storage node below it.
            letters = tray::GetDriveLetters(sys, Family::Win9x, dev.bridge);
            count = tray::CountDriveLetters(sys, Family::Win9x, dev.bridge);
        });
        EXPECT_EQ(letters, c.letters);
        EXPECT_EQ(count, c.count);
    }
}

// Every row of the picture table, as the menu shows the bitmaps, and the
// icons that go with them.
TEST(DiscoveryTest, PicturesFollowSecurityStateAndUsbFlags) {
    struct Row {
        const char* what;
        std::uint32_t flags;
        std::optional<std::uint32_t> usbFlags;
        std::optional<std::vector<std::uint8_t>> usbFlagsRaw;
        std::uint16_t word128;  // 0: what the drive says (no password)
        bool lockedDrive;
        bool failLead;
        std::uint32_t icon, bitmap;
    };
    const std::uint32_t base = trv::ADAPTER_FLAG_ATA | trv::ADAPTER_FLAG_COMMAND_BLOCKS;
    const std::uint32_t usb = base | trv::ADAPTER_FLAG_USBFLAGS;
    const std::vector<Row> rows = {
        {"locked, whatever the flags", usb, 1u, std::nullopt, 0, true, false, 168, 163},
        {"USBFlags bit 0, protected", usb, 1u, std::nullopt, 0x0003, false, false, 172, 174},
        {"USBFlags bit 0, not protected", usb, 1u, std::nullopt, 0, false, false, 170, 172},
        {"USBFlags without bit 0, protected", usb, 0u, std::nullopt, 0x0003, false, false, 171, 173},
        {"USBFlags without bit 0, not protected", usb, 0u, std::nullopt, 0, false, false, 169, 171},
        {"no USBFlags, protected", base, 1u, std::nullopt, 0x0003, false, false, 173, 175},
        {"no USBFlags, not protected (the value is not even read)", base, 1u, std::nullopt, 0, false, false, 145, 164},
        {"a USBFlags value of two bytes is ignored", usb, std::nullopt, std::vector<std::uint8_t>{1, 0}, 0, false,
         false, 169, 171},
        {"a USBFlags value of eight bytes is ignored", usb, std::nullopt,
         std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}, 0, false, false, 169, 171},
        {"locked drive whose status query fails: plain pictures", usb, 0u, std::nullopt, 0, true, true, 169, 171},
    };
    TrayHarness h(Family::Nt);
    std::vector<sim::PluggedDevice> devs;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        AdapterSpec s = AdapterSpec::Disk("Row " + std::to_string(i), {});
        s.words.flags = r.flags;
        s.usbFlags = r.usbFlags;
        s.usbFlagsRaw = r.usbFlagsRaw;
        if (r.word128) s.identifyOverrides[128] = r.word128;
        if (r.lockedDrive) s.drive.userPassword = "secret";
        devs.push_back(h.devices.Plug(s));
        if (r.failLead) h.machine.WithAdapter(devs.back().path, [](sim::SimAdapter& a) { a.failCommandLead = true; });
    }
    h.Start();
    h.LeftClick();
    auto menu = h.LastMenu();
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->items.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        EXPECT_EQ(menu->items[i].text, "Safely Remove Row " + std::to_string(i));
        EXPECT_EQ(menu->items[i].bitmapResource, rows[i].bitmap);
    }
    // The icons of the same rows, from the same decision.
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        tray::CStorageDevice rec;
        rec.m_dwAdapterFlags = r.flags;
        rec.m_dwUsbFlags = (r.flags & trv::ADAPTER_FLAG_USBFLAGS) && r.usbFlags ? *r.usbFlags : 0;
        rec.m_dwSecurityStatus = r.failLead ? 0 : r.lockedDrive ? 0x07 : r.word128 ? r.word128 : 0x01;
        EXPECT_EQ(tray::ChoosePictures(rec).icon, r.icon);
        EXPECT_EQ(tray::ChoosePictures(rec).bitmap, r.bitmap);
    }
}

// The interface sets hold more than 256 members when old devices left
// their interfaces behind; every walk goes past them and ends.
TEST(DiscoveryTest, InterfaceWalksPassMoreThan256MembersAndEnd) {
    for (Family family : {Family::Nt, Family::Win9x}) {
        SCOPED_TRACE(traytest::FamilyName(family));
        TrayHarness h(family);
        h.devices.AddStaleInterfaces(trv::AdapterInterfaceGuid, 300);
        h.Start();
        sim::PluggedDevice dev = h.Plug(AdapterSpec::Disk("Drive X", {'E'}));
        h.LeftClick();
        ASSERT_TRUE(h.LastMenu());
        ASSERT_EQ(h.LastMenu()->items.size(), 1u);
        EXPECT_EQ(h.LastMenu()->items[0].text, "Safely Remove Drive X - Drive(E:)");

        // A restart finds member 300 by its path ...
        h.devices.ClearRequests();
        h.SendEvent(trv::ZelDeviceRestart, dev.path);
        auto requests = h.devices.Requests();
        ASSERT_EQ(requests.size(), 2u);
        if (family == Family::Nt) {
            EXPECT_EQ(requests[0].request, sim::CmRequest::PropertyStop);
            EXPECT_EQ(requests[1].request, sim::CmRequest::PropertyStart);
        } else {
            EXPECT_EQ(requests[0].request, sim::CmRequest::Disable);
            EXPECT_EQ(requests[1].request, sim::CmRequest::Enable);
        }
        // ... and a walk that finds no member with the path ends after them all.
        h.devices.SetDetailFails(dev.path, true);
        h.devices.ClearRequests();
        h.SendEvent(trv::ZelDeviceRestart, dev.path);
        if (family == Family::Nt) {
            EXPECT_TRUE(h.devices.Requests().empty());
        }
        EXPECT_EQ(h.devices.OpenSets(h.pid), 0u) << "every set is released";
        h.devices.SetDetailFails(dev.path, false);
        h.Stop();
        auto bitmaps = h.machine.Bitmaps(h.pid);
        EXPECT_EQ(bitmaps.loaded, bitmaps.deleted);
    }
}

TEST(DiscoveryTest, A259CharacterInterfacePathIsListedAndEjected) {
    TrayHarness h(Family::Nt);
    AdapterSpec spec = AdapterSpec::Disk("Drive X", {'E'});
    spec.path = "\\\\?\\usb#vid_0bf6&pid_a001#" + std::string(259 - 26 - 39, 'x') +
                "#{dbcb918c-660a-494d-bce2-90cd2daa00b7}";
    ASSERT_EQ(spec.path.size(), 259u);
    sim::PluggedDevice dev = h.Plug(spec);
    h.Start();
    EXPECT_EQ(h.Tooltip(), "Safely Remove Storage Device - Drive (E:)");
    // The watcher's eject event carries the whole path.
    h.machine.QueueBoxAnswer("Confirm Device Removal", plat::IDYES);
    h.SendEvent(trv::ZelDeviceEject, dev.path);
    EXPECT_FALSE(h.devices.IsRunning(dev.path));
    EXPECT_FALSE(h.Icon().has_value()) << "the removal followed and left nothing to show";

}

TEST(DiscoveryTest, WithoutAnInterfaceSetAtStartDevicesAreListedAsTheyArrive) {
    TrayHarness h(Family::Nt);
    h.Plug(AdapterSpec::Disk("Early", {'E'}));
    h.devices.FailInterfaceSets(1);
    h.Start();
    EXPECT_FALSE(h.Icon().has_value()) << "nothing listed, nothing to show";
    h.Plug(AdapterSpec::Disk("Late", {'F'}));
    EXPECT_EQ(h.Tooltip(), "Safely Remove Storage Device - Drive (F:)");
}

}  // namespace

namespace {

// What the protection workers run after changing a drive: a re-enumeration,
// and on Windows 9x a restart of the storage adapter below the interface
// node, which reads the drive anew without touching the adapter.
TEST(DiscoveryTest, RefreshDevNodeReenumeratesAndOn9xRestartsTheStorageAdapter) {
    struct Case {
        Family family;
        std::optional<sim::CmRequest> veto;
        bool result;
        std::vector<sim::CmRequest> sent;
    };
    using R = sim::CmRequest;
    const std::vector<Case> cases = {
        {Family::Nt, std::nullopt, true, {R::Reenumerate}},
        {Family::Nt, R::Reenumerate, false, {R::Reenumerate}},
        {Family::Win9x, std::nullopt, true, {R::Reenumerate, R::Disable, R::Enable}},
        {Family::Win9x, R::Reenumerate, false, {R::Reenumerate}},
        {Family::Win9x, R::Disable, false, {R::Reenumerate, R::Disable}},
        {Family::Win9x, R::Enable, false, {R::Reenumerate, R::Disable, R::Enable}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(traytest::FamilyName(c.family)) +
                     (c.veto ? std::string(", refused: ") + sim::CmRequestName(*c.veto) : ""));
        TrayHarness h(c.family);
        sim::PluggedDevice dev = h.Plug(AdapterSpec::Disk("X", {'E'}));
        if (c.veto) h.devices.SetVeto(c.veto == sim::CmRequest::Reenumerate ? dev.node : dev.bridge, *c.veto, true);
        h.Start();
        h.devices.ClearRequests();
        bool result = !c.result;
        h.RunProbe([&](plat::System& sys) { result = tray::RefreshDevNode(sys, c.family, traytest::RecordFor(dev.path)); });
        EXPECT_EQ(result, c.result);
        std::vector<sim::CmRequest> sent;
        for (auto& r : h.devices.Requests()) {
            sent.push_back(r.request);
            // The re-enumeration is for the interface node, the restart for the node below it.
            if (r.request == R::Reenumerate)
                EXPECT_EQ(r.instanceId, dev.instanceId);
            else
                EXPECT_EQ(r.instanceId.rfind("USBSTOR\\BRIDGE\\", 0), 0u) << r.instanceId;
        }
        EXPECT_EQ(sent, c.sent);
        EXPECT_TRUE(h.devices.IsRunning(dev.path)) << "the adapter itself keeps running";
        EXPECT_TRUE(h.machine.MessageBoxesShown().empty());
        if (c.result) {
            EXPECT_EQ(h.Tooltip(), "Safely Remove Storage Device - Drive (E:)");
        }
    }
}

}  // namespace
