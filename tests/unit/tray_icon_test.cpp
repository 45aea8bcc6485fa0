// The tray icon and its tooltip as the notification area shows them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tray/protect/status_query.h"
#include "tray/tray_icon.h"
#include "tray_harness.h"

namespace {

using sim::AdapterSpec;
using traytest::TrayHarness;
using tray::Family;

struct Device {
    std::string name;
    std::vector<char> letters;
    bool problem = false;    // the interface node's first child reports a problem
    bool protectedDrive = false;
    bool noMenu = false;
};

AdapterSpec SpecOf(const Device& d) {
    AdapterSpec s = AdapterSpec::Disk(d.name, d.letters);
    if (d.protectedDrive) s.identifyOverrides[128] = 0x0003;
    if (d.noMenu) s.words.options = trv::ADAPTER_OPTION_NO_MENU;
    return s;
}

void PlugAll(TrayHarness& h, const std::vector<Device>& devices) {
    for (const Device& d : devices) {
        sim::PluggedDevice p = h.Plug(SpecOf(d));
        if (d.problem) h.devices.SetProblem(p.bridge ? p.bridge : p.children[0], 10);
    }
}

plat::Hwnd MainWindow(TrayHarness& h) {
    for (auto& w : h.machine.TopLevelWindows())
        if (w.pid == h.pid && w.title == "TRVNOTIF") return w.hwnd;
    return plat::Hwnd::None;
}

TEST(TrayIconTest, TooltipListsLettersAndFollowsTheNumberOfDevices) {
    struct Case {
        const char* what;
        std::vector<Device> devices;
        std::string tip;
        std::uint32_t icon;
    };
    const std::vector<Case> cases = {
        {"one device with two letters", {{"A", {'E', 'F'}}}, "Safely Remove Storage Device - Drive (E:, F:)", 145},
        {"one device without letters", {{"A", {}}}, "Safely Remove Storage Device - Drive ()", 145},
        {"first device without letters: no separator before the second's",
         {{"A", {}}, {"B", {'F'}}},
         "Safely Remove Storage Devices - Drives (F:)",
         145},
        {"second device without letters: no separator after the first's",
         {{"A", {'E'}}, {"B", {}}},
         "Safely Remove Storage Devices - Drives (E:)",
         145},
        {"a device whose storage node has a problem adds no letters but counts",
         {{"A", {'E'}, true}, {"B", {'G'}}},
         "Safely Remove Storage Devices - Drives (G:)",
         145},
        {"letters of three devices in listing order",
         {{"A", {'E'}}, {"B", {'F', 'G'}}, {"C", {'H'}}},
         "Safely Remove Storage Devices - Drives (E:, F:, G:, H:)",
         145},
        {"a protected drive changes the picture",
         {{"A", {'E'}}, {"B", {'F'}, false, true}},
         "Safely Remove Storage Devices - Drives (E:, F:)",
         173},
    };
    for (Family family : {Family::Nt, Family::Win9x}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(traytest::FamilyName(family)) + ": " + c.what);
            TrayHarness h(family);
            PlugAll(h, c.devices);
            h.Start();
            auto icon = h.Icon();
            ASSERT_TRUE(icon);
            EXPECT_EQ(icon->tip, c.tip);
            EXPECT_EQ(icon->iconResource, c.icon);
            EXPECT_EQ(icon->id, 130u);
            EXPECT_EQ(icon->callbackMessage, 0x040Au);
        }
    }
}

TEST(TrayIconTest, DevicesWithoutMenuCountButDoNotShowTheIcon) {
    TrayHarness h;
    PlugAll(h, {{"Hidden", {'E'}, false, false, true}});
    h.Start();
    EXPECT_FALSE(h.Icon()) << "only a device without menu: the icon is taken out";
    sim::PluggedDevice shown = h.Plug(SpecOf({"Shown", {'F'}}));
    ASSERT_TRUE(h.Icon());
    EXPECT_EQ(h.Tooltip(), "Safely Remove Storage Devices - Drives (E:, F:)");
    h.Unplug(shown.path);
    EXPECT_FALSE(h.Icon());
}

TEST(TrayIconTest, IconRefusedAtStartIsAddedByALaterMessage) {
    for (bool withDevice : {true, false}) {
        SCOPED_TRACE(withDevice ? "a device attached" : "no device");
        TrayHarness h;
        if (withDevice) PlugAll(h, {{"A", {'E'}}});
        h.machine.SetShellAvailable(false);
        h.Start();
        EXPECT_FALSE(h.Icon());
        h.machine.SetShellAvailable(true);
        // Device-change and power messages do not retry; any other message does.
        h.machine.PowerBroadcast(plat::PBT_APMRESUMEAUTOMATIC);
        h.machine.WaitIdle();
        EXPECT_FALSE(h.Icon());
        ASSERT_TRUE(h.machine.PostFromOutside(MainWindow(h), plat::WM_USER + 100, 0, 0));
        h.machine.WaitIdle();
        auto icon = h.Icon();
        ASSERT_TRUE(icon);
        if (withDevice) {
            EXPECT_EQ(icon->iconResource, 145u);
            EXPECT_EQ(icon->tip, "Safely Remove Storage Device - Drive (E:)");
        } else {
            // Shown with the picture and text of no device, and it stays ...
            EXPECT_EQ(icon->iconResource, 146u);
            EXPECT_EQ(icon->tip, "No Drives Detected");
            h.machine.DeviceChangeToAll(plat::DBT_DEVNODES_CHANGED);
            h.machine.WaitIdle();
            EXPECT_TRUE(h.Icon());
            // ... until a device has come and gone.
            sim::PluggedDevice d = h.Plug(SpecOf({"A", {'E'}}));
            EXPECT_EQ(h.Tooltip(), "Safely Remove Storage Device - Drive (E:)");
            h.Unplug(d.path);
            EXPECT_FALSE(h.Icon());
        }
    }
}

TEST(TrayIconTest, LongTooltipIsCutWithinItsField) {
    TrayHarness h(Family::Win9x);
    for (int i = 0; i < 30; ++i) {
        AdapterSpec s = AdapterSpec::Disk("D" + std::to_string(i), {static_cast<char>('C' + i % 24), 'Z'});
        s.notify = false;
        h.devices.Plug(s);
    }
    h.Start();
    const std::string tip = h.Tooltip();
    EXPECT_EQ(tip.size(), 127u);
    EXPECT_EQ(tip.rfind("Safely Remove Storage Devices - Drives (C:, Z:, D:, Z:", 0), 0u);
}

// The cut never ends inside a double-byte character of the code page.
TEST(TrayIconTest, CutToFieldKeepsDoubleByteCharactersWhole) {
    struct Case {
        std::uint32_t codePage;
        std::string text;
        std::size_t kept;
    };
    const std::string a125(125, 'a'), a126(126, 'a');
    const std::vector<Case> cases = {
        {932, a126 + "\x82\xA0", 126},                  // the pair would take bytes 126 and 127
        {932, a125 + "\x82\xA0" + "b", 127},            // the pair fits exactly
        {932, a125 + "\xE0\x40\x82\xA0", 127},          // a high lead byte
        {932, a126 + "\xA1\xA2", 127},                  // single-byte katakana are not leads
        {936, a126 + "\xB0\xA1", 126},
        {949, a126 + "\xB0\xA1", 126},
        {950, a126 + "\xA4\x40", 126},
        {65001, a125 + "\xE3\x81\x82", 125},            // the sim's own UTF-8 texts
        {932, std::string(200, 'x'), 127},
        {932, "short", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("code page " + std::to_string(c.codePage) + ", " + std::to_string(c.text.size()) + " bytes");
        TrayHarness h;
        h.machine.SetAnsiCodePage(c.codePage);
        std::string cut;
        h.RunProbe([&](plat::System& sys) { cut = tray::CutToField(sys.systemInfo(), c.text, 128); });
        EXPECT_EQ(cut, c.text.substr(0, c.kept));
    }
}

// An update re-queries a protected drive whose worker has ended, so the
// state the worker left shows at once; a running worker's drive is not
// queried.
TEST(TrayIconTest, UpdateRequeriesADriveWhoseWorkerHasEnded) {
    for (bool workerRunning : {false, true}) {
        SCOPED_TRACE(workerRunning ? "worker running" : "worker ended");
        TrayHarness h;
        sim::PluggedDevice dev = h.Plug(AdapterSpec::Disk("A", {'E'}));
        std::uint32_t status = 0;
        bool workerKept = false;
        std::uint32_t probe = h.RunProbe([&](plat::System& sys) {
            tray::CTrayIcon tray(sys, Family::Nt);
            tray.EnumeratePresentDevices();
            auto pos = tray.m_devices.GetHeadPosition();
            auto copy = tray.m_devices.CopyAt(pos);
            // What a protect worker leaves behind: the password set, its flag.
            ASSERT_TRUE(tray::SetDrivePassword(sys, *copy, "pw", 2));
            copy->m_hWorkerThread = std::make_shared<tray::WorkerThread>();
            copy->m_hWorkerThread->running = workerRunning;
            tray.m_devices.UpdateFrom(copy.get());
            tray.UpdateTray();
            auto after = tray.m_devices.CopyAt(pos);
            status = after->m_dwSecurityStatus;
            workerKept = after->m_hWorkerThread != nullptr;
        });
        if (workerRunning) {
            EXPECT_EQ(status, tray::SECURITY_SUPPORTED);
            EXPECT_TRUE(workerKept);
        } else {
            EXPECT_EQ(status, tray::SECURITY_SUPPORTED | tray::SECURITY_ENABLED);
            EXPECT_FALSE(workerKept);
        }
        auto bitmaps = h.machine.Bitmaps(probe);
        EXPECT_EQ(bitmaps.loaded, workerRunning ? 1u : 2u) << "a re-query loads the pictures anew";
        EXPECT_EQ(bitmaps.loaded, bitmaps.deleted);
        EXPECT_EQ(bitmaps.badDeletes, 0u);
    }
}

}  // namespace
