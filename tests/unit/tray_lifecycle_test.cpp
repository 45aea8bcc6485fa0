// The notifier over a longer life: refreshes, suspend and resume, a full
// device list, and what it leaves behind when it ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tray/protect/status_query.h"
#include "tray_harness.h"

namespace {

using sim::AdapterSpec;
using MenuAnswer = sim::Machine::MenuAnswer;
using traytest::TrayHarness;
using tray::Family;

std::uint32_t BitmapOfFirstItem(TrayHarness& h) {
    h.LeftClick();
    auto menu = h.LastMenu();
    return menu && !menu->items.empty() ? menu->items[0].bitmapResource : 0;
}

TEST(TrayLifecycleTest, ResumeQueriesEveryDriveAgain) {
    TrayHarness h;
    AdapterSpec spec = AdapterSpec::Disk("A", {'E'});
    spec.drive.userPassword = "pw";
    sim::PluggedDevice a = h.Plug(spec);
    h.Start();
    EXPECT_EQ(BitmapOfFirstItem(h), 163u) << "locked";

    // Unlocked by someone, and announced.
    h.RunProbe([&](plat::System& sys) {
        tray::CStorageDevice r = traytest::RecordFor(a.path);
        tray::RefreshSecurityStatus(sys, r);
        EXPECT_TRUE(tray::UnlockDrive(sys, r, "pw", 2));
    });
    h.SendEvent(trv::ZelDeviceRefresh, "\\\\?\\some-other-device");
    EXPECT_EQ(BitmapOfFirstItem(h), 173u) << "protected, unlocked: every device was queried again";
    EXPECT_EQ(h.Icon()->iconResource, 173u);

    // A suspend alone asks nothing of the drives.
    h.devices.ClearPassThroughs(a.path);
    h.devices.Suspend();
    h.machine.WaitIdle();
    EXPECT_TRUE(h.devices.PassThroughs(a.path).empty());
    // The drive lost power: after the resume it is locked again, and the
    // notifier knows.
    h.devices.Resume();
    h.machine.WaitIdle();
    EXPECT_TRUE(a.drive->Locked());
    EXPECT_FALSE(h.devices.PassThroughs(a.path).empty());
    EXPECT_EQ(BitmapOfFirstItem(h), 163u);
}

TEST(TrayLifecycleTest, A256thDeviceIsNotListed) {
    TrayHarness h;
    for (int i = 0; i < 255; ++i) {
        AdapterSpec s = AdapterSpec::Disk("D" + std::to_string(i), {});
        s.notify = false;
        h.devices.Plug(s);
    }
    h.Start();
    h.Plug(AdapterSpec::Disk("One too many", {}));
    h.LeftClick();
    auto menu = h.LastMenu();
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->items.size(), 255u);
    EXPECT_EQ(menu->items.back().text, "Safely Remove D254");
    EXPECT_EQ(menu->items.back().id, 256u);

    h.Stop();
    auto bitmaps = h.machine.Bitmaps(h.pid);
    EXPECT_EQ(bitmaps.loaded, bitmaps.deleted) << "the refused record's picture too";
    EXPECT_EQ(bitmaps.badDeletes, 0u);
}

// However often the pictures were loaded anew, each is released once: by
// the refresh that replaces it, the removal of its device, or the end.
TEST(TrayLifecycleTest, EveryMenuPictureIsReleasedExactlyOnce) {
    for (Family family : {Family::Nt, Family::Win9x}) {
        SCOPED_TRACE(traytest::FamilyName(family));
        TrayHarness h(family);
        sim::PluggedDevice a = h.Plug(AdapterSpec::Disk("A", {'E'}));
        h.Start();
        sim::PluggedDevice b = h.Plug(AdapterSpec::Disk("B", {'F'}));
        h.Plug(AdapterSpec::Disk("C", {'G'}));
        h.SendEvent(trv::ZelDeviceRefresh, b.path);
        h.machine.DeviceChangeToAll(plat::DBT_DEVNODES_CHANGED);
        h.machine.WaitIdle();
        h.LeftClick();
        h.RightClick();
        h.machine.QueueBoxAnswer("", plat::IDOK);
        h.LeftClick(MenuAnswer::Item({"Safely Remove B - Drive(F:)"}));
        h.Unplug(a.path);
        h.machine.QueueBoxAnswer("", plat::IDOK);  // the 9x warning
        h.devices.Resume();
        h.machine.WaitIdle();
        const auto before = h.machine.Bitmaps(h.pid);
        EXPECT_GT(before.loaded, 8u);
        EXPECT_EQ(before.loaded - before.deleted, 1u) << "one picture for the one device left";
        h.Stop();
        ASSERT_FALSE(h.machine.IsRunning(h.pid));
        const auto after = h.machine.Bitmaps(h.pid);
        EXPECT_EQ(after.loaded, after.deleted);
        EXPECT_EQ(after.badDeletes, 0u);
        EXPECT_EQ(h.machine.LiveMenus(h.pid), 0u);
        EXPECT_EQ(h.devices.OpenSets(h.pid), 0u);
        EXPECT_EQ(h.machine.Registry().OpenHandles(h.pid), 0u);
    }
}

}  // namespace
