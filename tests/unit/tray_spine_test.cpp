// The notifier as other programs and the user see it on a simulated machine:
// one copy per desktop, "-end", the hidden window, the event broadcast.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/device_event.h"
#include "common/guid.h"
#include "sim/machine.h"
#include "simulator/suite.h"
#include "tray/device_event_broadcast.h"

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l == text; });
}

class TraySpine : public ::testing::Test {
protected:
    TraySpine() { trvsim::InstallSuite(machine); }

    std::uint32_t Start(const std::string& cmd) {
        std::uint32_t pid = machine.StartProcess(cmd);
        machine.WaitIdle();
        return pid;
    }
    std::vector<sim::Machine::WindowInfo> Windows(const std::string& title) {
        auto all = machine.TopLevelWindows();
        std::erase_if(all, [&](const auto& w) { return w.title != title; });
        return all;
    }
    std::vector<std::uint8_t> EventBlock(std::uint32_t type, const std::string& path) {
        trv::DeviceEventRecord r;
        r.eventType = type;
        r.interfaceClass = trv::AdapterInterfaceGuid;
        r.devicePath = path;
        return trv::EncodeEventBroadcast(trv::EncodeEventRecord(r));
    }

    sim::Machine machine;
};

TEST_F(TraySpine, RunsWithOneHiddenWindowAndOneRegistration) {
    for (const char* exe : {"TRVTRAY.EXE", "TRVTRAY9X.EXE"}) {
        sim::Machine m;
        trvsim::InstallSuite(m);
        auto pid = m.StartProcess(exe);
        m.WaitIdle();
        ASSERT_TRUE(m.IsRunning(pid)) << exe;
        auto windows = m.TopLevelWindows();
        ASSERT_EQ(windows.size(), 1u) << exe;
        EXPECT_EQ(windows[0].title, "TRVNOTIF");
        EXPECT_EQ(windows[0].style, 0xCF0000u);
        EXPECT_FALSE(windows[0].visible);
        EXPECT_EQ(m.NotificationRegistrations(pid), 1u);
        auto trace = m.TraceLines(pid);
        EXPECT_TRUE(Contains(trace, "TRVNOTIF - Starting System Tray Application"));
        EXPECT_TRUE(Contains(trace, "TRVNOTIF - Register Device Notification"));
    }
}

TEST_F(TraySpine, SecondCopyEndsAtOnceAndLeavesTheFirst) {
    auto first = Start("TRVTRAY.EXE");
    auto second = Start("C:\\WINDOWS\\TRVTRAY.EXE");
    EXPECT_TRUE(machine.IsRunning(first));
    EXPECT_FALSE(machine.IsRunning(second));
    EXPECT_EQ(machine.ExitCodeOf(second), 0);
    EXPECT_EQ(Windows("TRVNOTIF").size(), 1u);
    // The second one never got as far as a window or a registration.
    EXPECT_EQ(machine.NotificationRegistrations(second), 0u);
}

TEST_F(TraySpine, StopTokenRules) {
    struct Case {
        const char* args;
        bool stops;
    } cases[] = {
        {"-end", true},       {"foo -end bar", true}, {"  -end", true},  {"a b c -end", true},
        {"-END", false},      {"/end", false},        {"-end2", false},  {"x-end", false},
        {"-end\tmore", false},  // only spaces separate tokens
    };
    for (const Case& c : cases) {
        sim::Machine m;
        trvsim::InstallSuite(m);
        auto running = m.StartProcess("TRVTRAY.EXE");
        m.WaitIdle();
        auto other = m.StartProcess(std::string("TRVTRAY.EXE ") + c.args);
        m.WaitIdle();
        EXPECT_FALSE(m.IsRunning(other)) << c.args;
        EXPECT_EQ(m.ExitCodeOf(other), 0) << c.args;
        EXPECT_EQ(m.IsRunning(running), !c.stops) << c.args;
        if (c.stops) {
            EXPECT_EQ(m.ExitCodeOf(running), 0) << c.args;
            EXPECT_TRUE(m.TopLevelWindows().empty()) << c.args;
        }
    }
}

TEST_F(TraySpine, StopWithNothingRunningLeavesNothingRunning) {
    auto pid = Start("TRVTRAY.EXE -end");
    EXPECT_EQ(machine.ExitCodeOf(pid), 0);
    EXPECT_TRUE(machine.RunningProcesses("").empty());
    EXPECT_TRUE(machine.TopLevelWindows().empty());
    // No mutex was left behind: a later notifier starts normally.
    auto later = Start("TRVTRAY.EXE");
    EXPECT_TRUE(machine.IsRunning(later));
}

TEST_F(TraySpine, ALongCommandLineIsExaminedOnlyInItsWorkingCopy) {
    auto running = Start("TRVTRAY.EXE");
    // "-end" beyond the 127 characters of the working copy is not seen.
    auto late = Start("TRVTRAY.EXE " + std::string(130, 'x') + " -end");
    EXPECT_TRUE(machine.IsRunning(running));
    EXPECT_FALSE(machine.IsRunning(late));
    auto early = Start("TRVTRAY.EXE -end " + std::string(400, 'y'));
    EXPECT_FALSE(machine.IsRunning(running));
    EXPECT_EQ(machine.ExitCodeOf(early), 0);
}

TEST_F(TraySpine, EventBroadcastFromAnyProcessReachesTheNotifier) {
    auto pid = Start("TRVTRAY.EXE");
    machine.BroadcastFromOutside(plat::WM_DEVICECHANGE, plat::DBT_USERDEFINED, EventBlock(trv::ZelDeviceRefresh, "\\\\?\\nowhere"));
    machine.BroadcastFromOutside(plat::WM_DEVICECHANGE, plat::DBT_USERDEFINED, EventBlock(trv::ZelDeviceEject, "\\\\?\\gone"));
    machine.WaitIdle();
    auto trace = machine.TraceLines(pid);
    EXPECT_TRUE(Contains(trace, "TRVNOTIF - DEVICECHANGE\\DBT_USERDEFINED\\DBT_DEVTYP_OEM - TRV\\Event"));
    EXPECT_TRUE(Contains(trace, "TRVNOTIF - -- Event Type = ZelDeviceRefresh"));
    EXPECT_TRUE(Contains(trace, "TRVNOTIF - -    DevPath       - \\\\?\\gone"));
    EXPECT_TRUE(Contains(trace, "TRVNOTIF - -- Event Type = ZelDeviceEject"));
    EXPECT_TRUE(machine.IsRunning(pid));
}

TEST_F(TraySpine, ForeignOrMalformedBroadcastsAreIgnored) {
    auto pid = Start("TRVTRAY.EXE");
    std::vector<std::vector<std::uint8_t>> blocks;
    auto otherType = EventBlock(trv::ZelDeviceRefresh, "p");
    trv::PutU32(otherType, 4, 3);
    blocks.push_back(otherType);
    auto otherCase = EventBlock(trv::ZelDeviceRefresh, "p");
    otherCase[24] = 'e';  // "TRV\event"
    blocks.push_back(otherCase);
    auto unknownEvent = EventBlock(7, "p");
    blocks.push_back(unknownEvent);
    auto shortBlock = EventBlock(trv::ZelDeviceRefresh, "p");
    trv::PutU32(shortBlock, 0, 12);  // the header's size ends before the name
    shortBlock.resize(12);
    blocks.push_back(shortBlock);
    for (auto& b : blocks) machine.BroadcastFromOutside(plat::WM_DEVICECHANGE, plat::DBT_USERDEFINED, b);
    machine.WaitIdle();
    auto trace = machine.TraceLines(pid);
    EXPECT_FALSE(std::any_of(trace.begin(), trace.end(), [](const std::string& l) {
        return l.find("-- Event Type") != std::string::npos;
    }));
    // The unknown event type was read (it carries our name) but acted on by nothing.
    EXPECT_TRUE(Contains(trace, "TRVNOTIF - - Processing Event - 0x7"));
    EXPECT_TRUE(machine.IsRunning(pid));
}

TEST_F(TraySpine, OwnBroadcastReachesEveryNotifierWindowTheSendersToo) {
    auto pid = Start("TRVTRAY.EXE");
    machine.InstallProgram("SENDER.EXE", [](plat::System& sys) {
        tray::CStorageDevice dev;
        dev.m_guidInterface = trv::AdapterInterfaceGuid;
        dev.m_strDevicePath = std::string(300, 'q');
        tray::SendRefreshEvent(sys, dev);
        return 0;
    }, nullptr);
    Start("SENDER.EXE");
    auto trace = machine.TraceLines(pid);
    EXPECT_TRUE(Contains(trace, "TRVNOTIF - -- Event Type = ZelDeviceRefresh"));
    EXPECT_TRUE(Contains(trace, "TRVNOTIF - -    DevPath       - " + std::string(259, 'q')));
    EXPECT_TRUE(Contains(trace, "TRVNOTIF - -    Size          - 0x12c"));
}

TEST_F(TraySpine, RefusedRegistrationEndsTheNotifier) {
    machine.FailNotificationRegistrations(1);
    auto pid = Start("TRVTRAY.EXE");
    EXPECT_FALSE(machine.IsRunning(pid));
    EXPECT_EQ(machine.ExitCodeOf(pid), 0);
    auto trace = machine.TraceLines(pid);
    EXPECT_TRUE(Contains(trace, "TRVNOTIF -  - RegisterDeviceNotification failed - 1066"));
    EXPECT_TRUE(Contains(trace, "TRVNOTIF - Failed to create AutoLoader window"));
    EXPECT_TRUE(machine.TopLevelWindows().empty());
    // The mutex went with the process: the next start runs.
    EXPECT_TRUE(machine.IsRunning(Start("TRVTRAY.EXE")));
}

TEST_F(TraySpine, OldSystemVersionRefusesTheTray) {
    machine.SetVersion({3, 51, 1057, true});
    auto pid = Start("TRVTRAY.EXE");
    EXPECT_FALSE(machine.IsRunning(pid));
    EXPECT_EQ(machine.ExitCodeOf(pid), 0);
    EXPECT_TRUE(machine.TrayIcons().empty());
}

TEST_F(TraySpine, NoDeviceMeansAHiddenIconAndNothingBreaksOnSystemMessages) {
    auto pid = Start("TRVTRAY9X.EXE");
    EXPECT_TRUE(machine.TrayIcons().empty());
    machine.DeviceChangeToAll(plat::DBT_DEVNODES_CHANGED);
    machine.PowerBroadcast(plat::PBT_APMSUSPEND);
    machine.PowerBroadcast(plat::PBT_APMRESUMESUSPEND);
    machine.WaitIdle();
    EXPECT_TRUE(machine.IsRunning(pid));
    EXPECT_TRUE(machine.TrayIcons().empty());
}

TEST_F(TraySpine, IconAddedLateAfterTheShellRefusedTheFirstAdd) {
    machine.SetShellAvailable(false);
    auto pid = Start("TRVTRAY.EXE");
    EXPECT_TRUE(machine.TrayIcons().empty());
    machine.SetShellAvailable(true);
    // Any ordinary message brings the icon; it shows "no drives" and stays.
    auto w = machine.TopLevelWindows().at(0).hwnd;
    machine.PostFromOutside(w, plat::WM_USER, 0, 0);
    machine.WaitIdle();
    auto icons = machine.TrayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].id, 130u);
    EXPECT_EQ(icons[0].callbackMessage, 0x40Au);
    EXPECT_EQ(icons[0].iconResource, 146u);
    EXPECT_EQ(icons[0].tip, "No Drives Detected");
    machine.PostFromOutside(w, plat::WM_USER, 0, 0);
    machine.WaitIdle();
    EXPECT_EQ(machine.TrayIcons().size(), 1u);
    EXPECT_TRUE(machine.IsRunning(pid));
}

TEST_F(TraySpine, StopRemovesTheIconAndDestroysTheWindow) {
    machine.SetShellAvailable(false);
    auto pid = Start("TRVTRAY.EXE");
    machine.SetShellAvailable(true);
    machine.PostFromOutside(machine.TopLevelWindows().at(0).hwnd, plat::WM_USER, 0, 0);
    machine.WaitIdle();
    ASSERT_EQ(machine.TrayIcons().size(), 1u);
    Start("TRVTRAY.EXE -end");
    EXPECT_FALSE(machine.IsRunning(pid));
    EXPECT_TRUE(machine.TrayIcons().empty());
    EXPECT_TRUE(Contains(machine.TraceLines(pid), "TRVNOTIF - Ending System Tray Application"));
    auto bitmaps = machine.Bitmaps(pid);
    EXPECT_EQ(bitmaps.loaded, bitmaps.deleted);
    EXPECT_EQ(bitmaps.badDeletes, 0u);
}

}  // namespace
