// The watcher window's set-up and tear-down: device and session
// notifications by system version, the session library bound at run time,
// and the console connect and disconnect that pause and resume polling.
#include <gtest/gtest.h>

#include <string>

#include "common/adapter_driver.h"
#include "common/guid.h"
#include "sim/machine.h"
#include "simulator/suite.h"

namespace {

constexpr char kPath[] = "\\\\?\\usb#vid_0c0b&pid_b001#1#{dbcb918c-660a-494d-bce2-90cd2daa00b7}";

class WatchSession : public ::testing::Test {
protected:
    WatchSession() { trvsim::InstallSuite(machine); }
    std::uint32_t StartWatcher() {
        std::uint32_t pid = machine.StartProcess("TRVWATCH.EXE");
        machine.WaitIdle();
        return pid;
    }
    // An adapter that keeps events, plugged in after the watcher started.
    void PlugEventAdapter() {
        sim::SimAdapter& a = machine.AddAdapter(kPath);
        a.info = trv::MakeAdapterInfo({0, trv::ADAPTER_FEATURE_EVENTS, 0});
        machine.DeviceInterfaceEvent(true, trv::AdapterInterfaceGuid, kPath);
        machine.WaitIdle();
    }
    int EventPolls() {
        int n = 0;
        machine.WithAdapter(kPath, [&](sim::SimAdapter& a) { n = a.requestCounts[trv::IOCTL_ADAPTER_GET_EVENT]; });
        return n;
    }
    bool Watching(std::uint32_t pid) {
        for (const auto& w : machine.TopLevelWindows())
            if (w.pid == pid && w.title == "TRVWATCH") return true;
        return false;
    }
    sim::Machine machine;
};

TEST_F(WatchSession, SessionNotificationsFollowTheSystemVersion) {
    struct Case {
        plat::OsVersion version;
        bool session;
    } cases[] = {
        {{5, 0, 2195, true}, false},  // Windows 2000
        {{5, 1, 2600, true}, true},   // XP
        {{5, 2, 3790, true}, true},
        {{6, 0, 6000, true}, true},
        {{4, 0, 1381, true}, false},
        {{4, 10, 2222, false}, false},  // Windows 98
        {{5, 1, 0, false}, false},      // not the NT family, whatever the number
    };
    for (const Case& c : cases) {
        sim::Machine m;
        trvsim::InstallSuite(m);
        m.SetVersion(c.version);
        auto pid = m.StartProcess("TRVWATCH.EXE");
        m.WaitIdle();
        SCOPED_TRACE(std::to_string(c.version.major) + "." + std::to_string(c.version.minor) +
                     (c.version.nt ? " NT" : " 9x"));
        ASSERT_TRUE(m.IsRunning(pid));
        // Device notifications are registered on every system.
        EXPECT_EQ(m.NotificationRegistrations(pid), 1u);
        EXPECT_EQ(m.SessionRegistrations(pid), c.session ? 1u : 0u);
        auto counts = m.Libraries().CountsOf(pid);
        EXPECT_EQ(counts.loads, c.session ? 1 : 0);
        EXPECT_EQ(counts.frees, counts.loads);  // the library is freed right after
        EXPECT_EQ(m.Libraries().ModulesHeld(pid), 0);
        EXPECT_EQ(counts.badCalls, 0);
    }
}

TEST_F(WatchSession, RegistrationIsTriedFortyTimesInAll) {
    struct Case {
        int failures;
        int calls;
        bool registered;
    } cases[] = {{0, 1, true}, {1, 2, true}, {39, 40, true}, {40, 40, false}, {100, 40, false}};
    for (const Case& c : cases) {
        sim::Machine m;
        trvsim::InstallSuite(m);
        m.Libraries().FailSessionRegistrations(c.failures);
        auto pid = m.StartProcess("TRVWATCH.EXE");
        m.WaitIdle();
        SCOPED_TRACE(c.failures);
        EXPECT_EQ(m.Libraries().CountsOf(pid).registerCalls, c.calls);
        EXPECT_EQ(m.SessionRegistrations(pid), c.registered ? 1u : 0u);
        // Without session notifications the watcher carries on all the same.
        EXPECT_TRUE(m.IsRunning(pid));
        EXPECT_EQ(m.Now(), 0u);  // the calls follow one another without a pause
    }
}

TEST_F(WatchSession, NoDeviceNotificationOrNoSessionLibraryEndsTheWatcher) {
    enum Fault { DeviceRegistration, Library, RegisterEntry };
    for (Fault f : {DeviceRegistration, Library, RegisterEntry}) {
        sim::Machine m;
        trvsim::InstallSuite(m);
        if (f == DeviceRegistration) m.FailNotificationRegistrations(1);
        if (f == Library) m.Libraries().SetLibraryPresent("wtsapi32.dll", false);
        if (f == RegisterEntry) m.Libraries().SetEntryPresent("wtsapi32.dll", "WTSRegisterSessionNotification", false);
        auto pid = m.StartProcess("TRVWATCH.EXE");
        m.WaitIdle();
        SCOPED_TRACE(static_cast<int>(f));
        EXPECT_FALSE(m.IsRunning(pid));
        EXPECT_EQ(m.ExitCodeOf(pid), 0);
        EXPECT_TRUE(m.TopLevelWindows().empty());
        EXPECT_EQ(m.NotificationRegistrations(pid), 0u);
        EXPECT_EQ(m.Libraries().ModulesHeld(pid), 0);
        // The mutex went with it: once the fault is gone a watcher runs.
        m.Libraries().SetLibraryPresent("wtsapi32.dll", true);
        m.Libraries().SetEntryPresent("wtsapi32.dll", "WTSRegisterSessionNotification", true);
        auto next = m.StartProcess("TRVWATCH.EXE");
        m.WaitIdle();
        EXPECT_TRUE(m.IsRunning(next));
    }
}

TEST_F(WatchSession, DestroyingTheWindowUnregistersAndEnds) {
    auto pid = StartWatcher();
    ASSERT_EQ(machine.SessionRegistrations(pid), 1u);
    PlugEventAdapter();
    auto windows = machine.TopLevelWindows();
    ASSERT_EQ(windows.size(), 1u);
    machine.PostFromOutside(windows[0].hwnd, plat::WM_CLOSE, 0, 0);
    machine.WaitIdle();
    EXPECT_FALSE(machine.IsRunning(pid));
    EXPECT_EQ(machine.ExitCodeOf(pid), 0);
    auto counts = machine.Libraries().CountsOf(pid);
    EXPECT_EQ(counts.unregisterCalls, 1);
    EXPECT_EQ(counts.badCalls, 0);
    EXPECT_EQ(machine.Libraries().SessionRegistrations().size(), 0u);
    EXPECT_EQ(counts.loads, 2);
    EXPECT_EQ(counts.frees, 2);
}

TEST_F(WatchSession, ATearDownWithoutTheUnregisterEntryStillEnds) {
    auto pid = StartWatcher();
    machine.Libraries().SetEntryPresent("wtsapi32.dll", "WTSUnRegisterSessionNotification", false);
    machine.PostFromOutside(machine.TopLevelWindows().at(0).hwnd, plat::WM_CLOSE, 0, 0);
    machine.WaitIdle();
    EXPECT_EQ(machine.ExitCodeOf(pid), 0);
    EXPECT_EQ(machine.Libraries().CountsOf(pid).unregisterCalls, 0);
    EXPECT_EQ(machine.Libraries().ModulesHeld(pid), 0);
}

TEST_F(WatchSession, NoPollingWhileTheConsoleIsDisconnected) {
    StartWatcher();
    PlugEventAdapter();
    machine.AdvanceTime(3000);
    ASSERT_EQ(EventPolls(), 1);  // one size request: nothing pending

    machine.ConsoleSessionChange(false);
    machine.WaitIdle();
    machine.AdvanceTime(30000);
    EXPECT_EQ(EventPolls(), 1);

    // Reconnected: polling resumes with the period counted from the connect.
    machine.ConsoleSessionChange(true);
    machine.WaitIdle();
    machine.AdvanceTime(2999);
    EXPECT_EQ(EventPolls(), 1);
    machine.AdvanceTime(1);
    EXPECT_EQ(EventPolls(), 2);
    machine.AdvanceTime(3000);
    EXPECT_EQ(EventPolls(), 3);
}

TEST_F(WatchSession, AConnectWhileRunningOnlyRestartsTheCountdown) {
    StartWatcher();
    PlugEventAdapter();
    machine.AdvanceTime(2000);
    machine.ConsoleSessionChange(true);
    machine.WaitIdle();
    machine.AdvanceTime(2999);
    EXPECT_EQ(EventPolls(), 0);
    machine.AdvanceTime(1);
    EXPECT_EQ(EventPolls(), 1);
}

TEST_F(WatchSession, OnWindows2000PollingNeverPauses) {
    machine.SetVersion({5, 0, 2195, true});
    auto pid = StartWatcher();
    PlugEventAdapter();
    machine.ConsoleSessionChange(false);
    machine.WaitIdle();
    machine.AdvanceTime(9000);
    EXPECT_EQ(EventPolls(), 3);
    EXPECT_TRUE(Watching(pid));
}

}  // namespace
