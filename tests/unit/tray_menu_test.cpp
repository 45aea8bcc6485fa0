// The tray menus as the user sees them, and what choosing an item does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tray/tray_icon.h"
#include "tray_harness.h"

namespace {

using sim::AdapterSpec;
using MenuAnswer = sim::Machine::MenuAnswer;
using traytest::Texts;
using traytest::TrayHarness;
using tray::Family;

struct Listed {
    sim::PluggedDevice dev;
    plat::DevNode letterNode;  // where the notifier looks for letters and state
};

Listed PlugNamed(TrayHarness& h, AdapterSpec spec) {
    sim::PluggedDevice d = h.Plug(spec);
    return {d, d.bridge ? d.bridge : d.children.empty() ? d.node : d.children[0]};
}

AdapterSpec Named(const std::string& name, std::vector<char> letters) { return AdapterSpec::Disk(name, letters); }

TEST(TrayMenuTest, LeftClickListsEveryDeviceForRemoval) {
    for (Family family : {Family::Nt, Family::Win9x}) {
        SCOPED_TRACE(traytest::FamilyName(family));
        TrayHarness h(family);
        PlugNamed(h, Named("A", {'E', 'F'}));
        PlugNamed(h, Named("B", {'G'}));
        PlugNamed(h, Named("C", {}));
        Listed d = PlugNamed(h, Named("D", {'H'}));
        AdapterSpec hidden = Named("E", {'I'});
        hidden.words.options = trv::ADAPTER_OPTION_NO_MENU;
        PlugNamed(h, hidden);
        h.devices.SetProblem(d.letterNode, sim::CM_PROB_HELD_FOR_EJECT);  // stopped, removal not yet reported
        h.Start();
        h.LeftClick();
        auto menu = h.LastMenu();
        ASSERT_TRUE(menu);
        EXPECT_EQ(Texts(menu->items), (std::vector<std::string>{"Safely Remove A - Drives(E:, F:)",
                                                                "Safely Remove B - Drive(G:)", "Safely Remove C",
                                                                "D Stopped"}));
        std::vector<std::uint32_t> ids;
        std::vector<bool> greyed;
        for (auto& i : menu->items) {
            ids.push_back(i.id);
            greyed.push_back(i.greyed);
            EXPECT_EQ(i.bitmapResource, 171u);
            EXPECT_FALSE(i.opensSubMenu);
        }
        EXPECT_EQ(ids, (std::vector<std::uint32_t>{2, 3, 4, 5})) << "slot + 1";
        EXPECT_EQ(greyed, (std::vector<bool>{false, false, false, true}));
        EXPECT_EQ(h.machine.LiveMenus(h.pid), 0u);
    }
}

TEST(TrayMenuTest, RightClickOffersRemovalProtectionAndProperties) {
    TrayHarness h(Family::Nt);
    PlugNamed(h, Named("A", {'E', 'F'}));
    AdapterSpec prot = Named("B", {'G'});
    prot.identifyOverrides[128] = 0x0003;
    PlugNamed(h, prot);
    AdapterSpec noFeature = Named("C", {});
    noFeature.words.features = 0;
    PlugNamed(h, noFeature);
    AdapterSpec noSecurity = Named("D", {});
    noSecurity.drive.securitySupported = false;
    PlugNamed(h, noSecurity);
    Listed stopped = PlugNamed(h, Named("E", {'H'}));
    h.devices.SetProblem(stopped.letterNode, sim::CM_PROB_HELD_FOR_EJECT);
    h.Start();
    h.RightClick();
    auto menu = h.LastMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(Texts(menu->items), (std::vector<std::string>{"A (E:, F:)", "B (G:)", "C", "D", "E (H:)"}));
    const std::vector<std::vector<std::string>> subs = {
        {"Safely Remove", "Protect", "----", "Properties"},
        {"Safely Remove", "UnProtect", "----", "Properties"},
        {"Safely Remove", "----", "Properties"},
        {"Safely Remove", "----", "Properties"},
        {"Safely Remove", "Protect", "----", "Properties"},
    };
    for (std::size_t i = 0; i < subs.size(); ++i) {
        SCOPED_TRACE(menu->items[i].text);
        EXPECT_TRUE(menu->items[i].opensSubMenu);
        EXPECT_FALSE(menu->items[i].greyed);
        EXPECT_EQ(menu->items[i].bitmapResource, i == 1 ? 173u : 171u);
        EXPECT_EQ(Texts(menu->items[i].sub), subs[i]);
    }
    // Command numbers: slot * 256 + kind + 1.
    std::vector<std::uint32_t> ids;
    for (auto& item : menu->items[1].sub) ids.push_back(item.id);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{2 * 256 + 2, 2 * 256 + 5, 2 * 256 + 1, 2 * 256 + 3}));
    EXPECT_EQ(menu->items[0].sub[1].id, 256u + 4);
    EXPECT_EQ(h.machine.LiveMenus(h.pid), 0u) << "the menu and every sub-menu are destroyed";
}

// A slot set free is given again; a device whose slot is smaller than the
// number of items already in the menu is inserted before the item there.
TEST(TrayMenuTest, FreedSlotIsReusedAndDecidesThePlaceInTheMenu) {
    TrayHarness h;
    Listed a = PlugNamed(h, Named("A", {}));
    PlugNamed(h, Named("B", {}));
    PlugNamed(h, Named("C", {}));
    h.Start();
    h.Unplug(a.dev.path);
    Listed d = PlugNamed(h, Named("D", {}));
    h.LeftClick();
    auto menu = h.LastMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(Texts(menu->items), (std::vector<std::string>{"Safely Remove B", "Safely Remove D", "Safely Remove C"}));
    std::vector<std::uint32_t> ids;
    for (auto& i : menu->items) ids.push_back(i.id);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{3, 2, 4})) << "D took slot 1; B and C kept 2 and 3";

    // Choosing D stops D, by its slot.
    h.devices.ClearRequests();
    h.LeftClick(MenuAnswer::Item({"Safely Remove D"}));
    auto requests = h.devices.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].request, sim::CmRequest::QueryAndRemove);
    EXPECT_EQ(requests[0].instanceId, d.dev.instanceId);
    h.RightClick();
    EXPECT_EQ(Texts(h.LastMenu()->items), (std::vector<std::string>{"B", "C"})) << "D is gone";
}

TEST(TrayMenuTest, OnlyButtonReleasesOnOurIconOpenAMenuAndNothingChosenDoesNothing) {
    TrayHarness h;
    Listed a = PlugNamed(h, Named("A", {'E'}));
    h.Start();
    h.devices.ClearRequests();
    for (std::uint32_t mouse : {plat::WM_LBUTTONDOWN, plat::WM_RBUTTONDOWN, plat::WM_LBUTTONDBLCLK,
                                plat::WM_RBUTTONDBLCLK, plat::WM_MOUSEMOVE}) {
        ASSERT_TRUE(h.machine.ClickTrayIcon(h.pid, mouse));
        h.machine.WaitIdle();
    }
    EXPECT_TRUE(h.machine.MenusShown().empty());
    auto windows = h.machine.TopLevelWindows();
    ASSERT_EQ(windows.size(), 1u);
    h.machine.PostFromOutside(windows[0].hwnd, 0x040A, 131, plat::WM_LBUTTONUP);
    h.machine.WaitIdle();
    EXPECT_TRUE(h.machine.MenusShown().empty()) << "another icon id";

    h.LeftClick(MenuAnswer::Nothing());
    h.RightClick(MenuAnswer::Item({"A (E:)"}));  // opens the sub-menu and leaves
    h.RightClick(MenuAnswer::Item({"A (E:)", "Properties"}));
    h.LeftClick(MenuAnswer::Item({"Safely Remove Somebody"}));
    EXPECT_EQ(h.machine.MenusShown().size(), 4u);
    EXPECT_TRUE(h.devices.Requests().empty());
    EXPECT_TRUE(h.devices.IsRunning(a.dev.path));
    EXPECT_EQ(h.machine.LiveMenus(h.pid), 0u);

    // With no device listed a click offers nothing.
    h.Unplug(a.dev.path);
    h.machine.PostFromOutside(windows[0].hwnd, 0x040A, 130, plat::WM_LBUTTONUP);
    h.machine.WaitIdle();
    EXPECT_EQ(h.machine.MenusShown().size(), 4u);
    h.Stop();
    auto bitmaps = h.machine.Bitmaps(h.pid);
    EXPECT_EQ(bitmaps.loaded, bitmaps.deleted);
    EXPECT_EQ(bitmaps.badDeletes, 0u);
}

// A device's protection item is greyed while its worker runs.
TEST(TrayMenuTest, ProtectionItemIsGreyedWhileTheDevicesWorkerRuns) {
    for (bool protectedDrive : {false, true}) {
        for (bool running : {true, false}) {
            SCOPED_TRACE(std::string(protectedDrive ? "UnProtect" : "Protect") + (running ? ", running" : ", ended"));
            TrayHarness h;
            AdapterSpec spec = Named("A", {'E'});
            if (protectedDrive) spec.identifyOverrides[128] = 0x0003;
            h.Plug(spec);
            h.machine.QueueMenuAnswer(MenuAnswer::Nothing());
            h.RunProbe([&](plat::System& sys) {
                tray::CTrayIcon tray(sys, Family::Nt);
                tray.EnumeratePresentDevices();
                auto copy = tray.m_devices.CopyAt(tray.m_devices.GetHeadPosition());
                copy->m_hWorkerThread = std::make_shared<tray::WorkerThread>();
                copy->m_hWorkerThread->running = running;
                tray.m_devices.UpdateFrom(copy.get());
                std::vector<tray::MenuEntry> list;
                tray.BuildDeviceList(list);
                plat::Hmenu menu{};
                ASSERT_TRUE(tray.FillMenu(menu, list));
                sys.menus().TrackPopup(menu, plat::TPM_RETURNCMD | plat::TPM_NONOTIFY, {}, plat::Hwnd::None);
                tray.ReleaseMenuList(list);
                sys.menus().Destroy(menu);
            });
            auto menu = h.LastMenu();
            ASSERT_TRUE(menu);
            ASSERT_EQ(menu->items.size(), 1u);
            ASSERT_EQ(menu->items[0].sub.size(), 4u);
            EXPECT_EQ(menu->items[0].sub[1].text, protectedDrive ? "UnProtect" : "Protect");
            EXPECT_EQ(menu->items[0].sub[1].greyed, running);
            EXPECT_FALSE(menu->items[0].sub[0].greyed) << "removal stays possible";
        }
    }
}

TEST(TrayMenuTest, CommandNumbersDecodeIntoSlotAndKind) {
    EXPECT_EQ(tray::RemovalMenuSlot(2), 1u);
    EXPECT_EQ(tray::RemovalMenuSlot(256), 255u);
    EXPECT_EQ(tray::RemovalMenuSlot(257), 0u) << "(c - 1) modulo 256";
    struct Case {
        std::uint32_t command;
        unsigned slot, kind;
    };
    for (Case c : {Case{258, 1, 1}, Case{259, 1, 2}, Case{260, 1, 3}, Case{261, 1, 4}, Case{257, 1, 0},
                   Case{65285, 255, 4}, Case{65541, 0, 4}, Case{262, 1, 5}}) {
        auto d = tray::DecodeDeviceMenuCommand(c.command);
        EXPECT_EQ(d.slot, c.slot) << c.command;
        EXPECT_EQ(d.kind, c.kind) << c.command;
    }
}

}  // namespace
