// Safe removal, restart and the removal notices and warnings of both builds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tray_harness.h"

namespace {

using sim::AdapterSpec;
using sim::CmRequest;
using MenuAnswer = sim::Machine::MenuAnswer;
using traytest::TrayHarness;
using tray::Family;

std::vector<CmRequest> Kinds(const std::vector<sim::RequestRecord>& records) {
    std::vector<CmRequest> out;
    for (auto& r : records) out.push_back(r.request);
    return out;
}

// Index of the first line at or after `from` that contains `part`; npos if none.
std::size_t Find(const std::vector<std::string>& lines, const std::string& part, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].find(part) != std::string::npos) return i;
    return std::string::npos;
}

const char kUnplugWarning[] =
    "You have unplugged the storage device A without stopping it which can cause your computer to crash and lose "
    "valuable data.\n\nPlease use the icon in the status bar to safely remove devices before unplugging them.";

TEST(RemovalTest, NtStopShowsTheBusyIconForTheRequestAndPutsThePreviousOneBack) {
    TrayHarness h(Family::Nt);
    sim::PluggedDevice a = h.Plug(AdapterSpec::Disk("A", {'E'}));
    AdapterSpec prot = AdapterSpec::Disk("B", {'F'});
    prot.identifyOverrides[128] = 0x0003;
    h.Plug(prot);
    h.Start();
    ASSERT_EQ(h.Icon()->iconResource, 173u);
    const std::size_t mark = h.Mark();
    h.LeftClick(MenuAnswer::Item({"Safely Remove A - Drive(E:)"}));
    auto lines = h.Since(mark);
    const std::size_t busy = Find(lines, "tray icon picture: icon 150");
    const std::size_t request = Find(lines, "query-and-remove " + a.instanceId + " -> accepted");
    const std::size_t back = Find(lines, "tray icon picture: icon 173", busy);
    ASSERT_NE(busy, std::string::npos);
    ASSERT_NE(request, std::string::npos);
    ASSERT_NE(back, std::string::npos);
    EXPECT_LT(busy, request);
    EXPECT_LT(request, back);
    EXPECT_EQ(Find(lines, "tray tooltip", busy), Find(lines, "tray tooltip", back)) << "put back before any update";
    EXPECT_FALSE(h.devices.IsRunning(a.path));
    EXPECT_EQ(h.Icon()->iconResource, 173u);
    EXPECT_EQ(h.Tooltip(), "Safely Remove Storage Device - Drive (F:)");
    EXPECT_TRUE(h.machine.MessageBoxesShown().empty()) << "the NT build reports nothing itself";
}

TEST(RemovalTest, NtTriesTheEjectWhenTheRemovalIsVetoed) {
    for (bool ejectVetoed : {false, true}) {
        SCOPED_TRACE(ejectVetoed ? "both vetoed" : "removal vetoed");
        TrayHarness h(Family::Nt);
        sim::PluggedDevice a = h.Plug(AdapterSpec::Disk("A", {'E'}));
        h.devices.SetVeto(a.node, CmRequest::QueryAndRemove, true);
        h.devices.SetVeto(a.node, CmRequest::Eject, ejectVetoed);
        h.Start();
        h.LeftClick(MenuAnswer::Item({"Safely Remove A - Drive(E:)"}));
        EXPECT_EQ(Kinds(h.devices.Requests()), (std::vector<CmRequest>{CmRequest::QueryAndRemove, CmRequest::Eject}));
        EXPECT_EQ(h.devices.IsRunning(a.path), ejectVetoed);
        EXPECT_TRUE(h.machine.MessageBoxesShown().empty());
        if (ejectVetoed) {
            EXPECT_EQ(h.Icon()->iconResource, 145u);
        }
    }
}

TEST(RemovalTest, EjectEventStopsTheDeviceOnlyAfterAYes) {
    TrayHarness h(Family::Nt);
    AdapterSpec two;
    two.children = {sim::ChildSpec{}, sim::ChildSpec{}};
    two.children[0].friendlyName = "Disk A";
    two.children[0].letters = {'E'};
    two.children[1].friendlyName = "Disk B";
    sim::PluggedDevice a = h.Plug(two);
    h.Start();
    // Another program's event, with the path in other letter case.
    std::string shouted = a.path;
    for (auto& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    h.machine.QueueBoxAnswer("Confirm Device Removal", plat::IDNO);
    h.SendEvent(trv::ZelDeviceEject, shouted);
    auto boxes = h.machine.MessageBoxesShown();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Confirm Device Removal");
    EXPECT_EQ(boxes[0].text, "Are you sure you want to remove the 'Disk A' storage device");
    EXPECT_EQ(boxes[0].style, 0x11024u);
    EXPECT_EQ(boxes[0].owner, plat::Hwnd::None);
    EXPECT_TRUE(h.devices.Requests().empty()) << "No leaves the device running";
    EXPECT_EQ(h.Icon()->iconResource, 145u);

    h.SendEvent(trv::ZelDeviceEject, "\\\\?\\usb#not-listed");
    EXPECT_EQ(h.machine.MessageBoxesShown().size(), 1u) << "no box for a device that is not listed";

    h.machine.QueueBoxAnswer("Confirm Device Removal", plat::IDYES);
    h.SendEvent(trv::ZelDeviceEject, a.path);
    EXPECT_EQ(Kinds(h.devices.Requests()), std::vector<CmRequest>{CmRequest::QueryAndRemove});
    EXPECT_FALSE(h.devices.IsRunning(a.path));
}

// The confirmation is modal: while it is open the notifier goes on
// handling its messages, and an ending notifier closes it unanswered.
TEST(RemovalTest, ConfirmationKeepsTheNotifierWorkingWhileOpen) {
    TrayHarness h(Family::Nt);
    sim::PluggedDevice a = h.Plug(AdapterSpec::Disk("A", {'E'}));
    h.Start();
    h.SendEvent(trv::ZelDeviceEject, a.path);
    auto open = h.machine.OpenMessageBoxes();
    ASSERT_EQ(open.size(), 1u);
    h.Plug(AdapterSpec::Disk("B", {'F'}));
    EXPECT_EQ(h.Tooltip(), "Safely Remove Storage Devices - Drives (E:, F:)") << "the arrival was handled";
    h.LeftClick();
    EXPECT_EQ(h.LastMenu()->items.size(), 2u) << "a menu opens over the box";
    ASSERT_TRUE(h.machine.AnswerMessageBox(open[0].id, plat::IDYES));
    h.machine.WaitIdle();
    EXPECT_FALSE(h.devices.IsRunning(a.path));

    sim::PluggedDevice c = h.Plug(AdapterSpec::Disk("C", {'G'}));
    h.SendEvent(trv::ZelDeviceEject, c.path);
    ASSERT_EQ(h.machine.OpenMessageBoxes().size(), 1u);
    h.Stop();
    EXPECT_FALSE(h.machine.IsRunning(h.pid));
    EXPECT_TRUE(h.machine.OpenMessageBoxes().empty());
    EXPECT_TRUE(h.devices.IsRunning(c.path)) << "a box closed unanswered is no Yes";
}

TEST(RemovalTest, NineXStopReportsTheOutcomeOnItsOwnThread) {
    TrayHarness h(Family::Win9x);
    sim::PluggedDevice a = h.Plug(AdapterSpec::Disk("A", {'E'}));
    sim::PluggedDevice b = h.Plug(AdapterSpec::Disk("B", {'F'}));
    h.Start();
    h.LeftClick(MenuAnswer::Item({"Safely Remove A - Drive(E:)"}));
    EXPECT_EQ(Kinds(h.devices.Requests()), (std::vector<CmRequest>{CmRequest::QueryRemove, CmRequest::Remove}));
    auto open = h.machine.OpenMessageBoxes();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].caption, "Safe to remove storage device");
    EXPECT_EQ(open[0].text, "The A storage device can now be safely removed from the system");
    EXPECT_EQ(open[0].style, 0x11040u);
    EXPECT_EQ(open[0].owner, plat::Hwnd::None);
    // The notice does not hold the tray: another removal, another notice.
    h.LeftClick(MenuAnswer::Item({"Safely Remove B - Drive(F:)"}));
    EXPECT_EQ(h.machine.OpenMessageBoxes().size(), 2u);
    EXPECT_FALSE(h.Icon()) << "both removals were reported and nothing is left";
    for (auto& box : h.machine.OpenMessageBoxes()) EXPECT_TRUE(h.machine.AnswerMessageBox(box.id, plat::IDOK));
    h.machine.WaitIdle();
    EXPECT_TRUE(h.machine.OpenMessageBoxes().empty());
    // Removed on request, the nodes carry their mark: no unsafe-removal warning.
    EXPECT_EQ(h.machine.MessageBoxesShown().size(), 2u);
    EXPECT_FALSE(h.devices.IsRunning(b.path));
}

TEST(RemovalTest, NineXRefusedStopIsReportedUnlessTheDeviceHasNoMenu) {
    struct Case {
        const char* what;
        CmRequest veto;
        std::vector<CmRequest> sent;
    };
    for (const Case& c : {Case{"query refused: no remove", CmRequest::QueryRemove, {CmRequest::QueryRemove}},
                          Case{"remove refused", CmRequest::Remove, {CmRequest::QueryRemove, CmRequest::Remove}}}) {
        SCOPED_TRACE(c.what);
        TrayHarness h(Family::Win9x);
        sim::PluggedDevice a = h.Plug(AdapterSpec::Disk("A", {'E'}));
        h.devices.SetVeto(a.node, c.veto, true);
        h.Start();
        h.machine.QueueBoxAnswer("", plat::IDOK);
        h.LeftClick(MenuAnswer::Item({"Safely Remove A - Drive(E:)"}));
        EXPECT_EQ(Kinds(h.devices.Requests()), c.sent);
        auto boxes = h.machine.MessageBoxesShown();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Problem stopping A");
        EXPECT_EQ(boxes[0].text, "The storage device A cannot be stopped right now. Try stopping the device again later");
        EXPECT_EQ(boxes[0].style, 0x11030u);
        EXPECT_TRUE(h.devices.IsRunning(a.path));
        EXPECT_EQ(h.Icon()->iconResource, 145u);
    }
    // A device without menu entries is stopped through an eject event, silently.
    for (bool vetoed : {false, true}) {
        TrayHarness h(Family::Win9x);
        AdapterSpec quiet = AdapterSpec::Disk("Q", {'E'});
        quiet.words.options = trv::ADAPTER_OPTION_NO_MENU;
        sim::PluggedDevice q = h.Plug(quiet);
        if (vetoed) h.devices.SetVeto(q.node, CmRequest::Remove, true);
        h.Start();
        h.machine.QueueBoxAnswer("Confirm Device Removal", plat::IDYES);
        h.SendEvent(trv::ZelDeviceEject, q.path);
        EXPECT_EQ(h.devices.IsRunning(q.path), vetoed);
        EXPECT_EQ(h.machine.MessageBoxesShown().size(), 1u) << "only the confirmation";
    }
}

TEST(RemovalTest, NineXWarnsWhenADeviceIsPulledWithoutStopping) {
    struct Case {
        const char* what;
        std::optional<std::uint32_t> lingering;
        bool noMenu;
        bool warned;
    };
    const std::vector<Case> cases = {
        {"node gone", std::nullopt, false, true},
        {"node still reads with its mark", plat::DN_HAS_MARK, false, false},
        {"node still reads, without the mark", sim::DN_DRIVER_LOADED | sim::DN_STARTED, false, true},
        {"device without menu entries", std::nullopt, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrayHarness h(Family::Win9x);
        AdapterSpec spec = AdapterSpec::Disk("A", {'E'});
        if (c.noMenu) spec.words.options = trv::ADAPTER_OPTION_NO_MENU;
        sim::PluggedDevice a = h.Plug(spec);
        h.Start();
        h.Unplug(a.path, c.lingering);
        auto boxes = h.machine.MessageBoxesShown();
        ASSERT_EQ(boxes.size(), c.warned ? 1u : 0u);
        EXPECT_FALSE(h.Icon()) << "the record is dropped either way";
        if (!c.warned) continue;
        EXPECT_EQ(boxes[0].caption, "Unsafe Removal of A");
        EXPECT_EQ(boxes[0].text, kUnplugWarning);
        EXPECT_EQ(boxes[0].style, 0x11030u);
        EXPECT_FALSE(boxes[0].answer) << "the warning waits for the user on its own thread";
    }
    {
        // No thread for the warning: no warning, and the notifier goes on.
        TrayHarness h(Family::Win9x);
        sim::PluggedDevice a = h.Plug(AdapterSpec::Disk("A", {'E'}));
        h.Plug(AdapterSpec::Disk("B", {'F'}));
        h.Start();
        h.machine.FailThreadStarts(1);
        h.Unplug(a.path);
        EXPECT_TRUE(h.machine.MessageBoxesShown().empty());
        EXPECT_EQ(h.Tooltip(), "Safely Remove Storage Device - Drive (F:)");
    }
    TrayHarness nt(Family::Nt);
    sim::PluggedDevice a = nt.Plug(AdapterSpec::Disk("A", {'E'}));
    nt.Start();
    nt.Unplug(a.path);
    EXPECT_TRUE(nt.machine.MessageBoxesShown().empty()) << "the NT build warns about nothing";
}

TEST(RemovalTest, RestartEventStopsAndStartsTheDevice) {
    struct Case {
        Family family;
        std::optional<CmRequest> veto;
        std::vector<CmRequest> sent;
        bool runningAfter;
    };
    const std::vector<Case> cases = {
        {Family::Nt, std::nullopt, {CmRequest::PropertyStop, CmRequest::PropertyStart}, true},
        {Family::Nt, CmRequest::PropertyStart, {CmRequest::PropertyStop, CmRequest::PropertyStart}, false},
        {Family::Nt, CmRequest::PropertyStop, {CmRequest::PropertyStop}, true},
        {Family::Win9x, std::nullopt, {CmRequest::Disable, CmRequest::Enable}, true},
        {Family::Win9x, CmRequest::Disable, {CmRequest::Disable}, true},
        {Family::Win9x, CmRequest::Enable, {CmRequest::Disable, CmRequest::Enable}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(traytest::FamilyName(c.family)) + (c.veto ? std::string(", vetoed ") + sim::CmRequestName(*c.veto) : ""));
        TrayHarness h(c.family);
        sim::PluggedDevice a = h.Plug(AdapterSpec::Disk("A", {'E'}));
        if (c.veto) h.devices.SetVeto(a.node, *c.veto, true);
        h.Start();
        const std::size_t mark = h.Mark();
        h.SendEvent(trv::ZelDeviceRestart, a.path);
        EXPECT_EQ(Kinds(h.devices.Requests()), c.sent);
        EXPECT_EQ(h.devices.IsRunning(a.path), c.runningAfter);
        auto lines = h.Since(mark);
        EXPECT_NE(Find(lines, "tray icon picture: icon 150"), std::string::npos);
        EXPECT_TRUE(h.machine.MessageBoxesShown().empty());
        if (c.runningAfter) {
            ASSERT_TRUE(h.Icon());
            EXPECT_EQ(h.Icon()->iconResource, 145u);
            EXPECT_EQ(h.Tooltip(), "Safely Remove Storage Device - Drive (E:)");
            h.LeftClick();
            EXPECT_EQ(h.LastMenu()->items[0].id, 2u) << "listed again in slot 1";
        } else {
            EXPECT_FALSE(h.Icon()) << "stopped and not started again";
        }
    }
    TrayHarness h(Family::Nt);
    h.Plug(AdapterSpec::Disk("A", {'E'}));
    h.Start();
    h.SendEvent(trv::ZelDeviceRestart, "\\\\?\\usb#not-listed");
    EXPECT_TRUE(h.devices.Requests().empty());
}

}  // namespace
