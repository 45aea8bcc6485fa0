// The watcher as the driver installation, the uninstaller and a log-on see
// it: "-setup", "-remove", one watcher per session, its hidden window.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "simulator/suite.h"

namespace {

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::optional<std::string> RunValue(sim::Machine& m) {
    auto v = m.Registry().GetValue(kRunKey, "TRVWATCH");
    if (!v) return std::nullopt;
    return std::string(v->data.begin(), v->data.end());
}

std::vector<sim::Machine::WindowInfo> WatcherWindows(sim::Machine& m) {
    auto all = m.TopLevelWindows();
    std::erase_if(all, [](const auto& w) { return w.title != "TRVWATCH"; });
    return all;
}

class WatchApp : public ::testing::Test {
protected:
    WatchApp() { trvsim::InstallSuite(machine); }
    std::uint32_t Start(const std::string& cmd) {
        std::uint32_t pid = machine.StartProcess(cmd);
        machine.WaitIdle();
        return pid;
    }
    sim::Machine machine;
};

TEST_F(WatchApp, RunsHiddenWithOneWindowAndOneRegistration) {
    auto pid = Start("C:\\WINDOWS\\TRVWATCH.EXE");
    ASSERT_TRUE(machine.IsRunning(pid));
    auto windows = WatcherWindows(machine);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].pid, pid);
    EXPECT_EQ(windows[0].style, 0xCF0000u);
    EXPECT_FALSE(windows[0].visible);
    EXPECT_EQ(machine.NotificationRegistrations(pid), 1u);
    EXPECT_EQ(machine.SessionRegistrations(pid), 1u);
    // Nothing to start without devices, and nothing written anywhere.
    EXPECT_TRUE(machine.Launches().empty());
    EXPECT_FALSE(RunValue(machine));
}

// Each case: a watcher already runs and the Run value holds "old"; then the
// command line is run.
TEST_F(WatchApp, CommandLineTokens) {
    enum Outcome { Setup, Remove, Neither };
    struct Case {
        std::string args;
        Outcome outcome;
    } cases[] = {
        {"-setup", Setup},
        {"-remove", Remove},
        {"-setup -remove", Setup},   // the first matching token decides
        {"-remove -setup", Remove},
        {"foo -remove", Remove},
        {"a   -setup", Setup},       // a run of spaces is one separator
        {"-SETUP", Neither},
        {"-Remove", Neither},
        {"/setup", Neither},
        {"/remove", Neither},
        {"-setupx", Neither},
        {"x-remove", Neither},
        {"-setup\tmore", Neither},   // a tab does not separate
        {"-remove\t", Neither},
        {"", Neither},
    };
    for (const Case& c : cases) {
        sim::Machine m;
        trvsim::InstallSuite(m);
        m.Registry().SetString(kRunKey, "TRVWATCH", "old");
        auto running = m.StartProcess("TRVWATCH.EXE");
        m.WaitIdle();
        auto other = m.StartProcess(c.args.empty() ? "TRVWATCH.EXE" : "TRVWATCH.EXE " + c.args);
        m.WaitIdle();
        SCOPED_TRACE("args \"" + c.args + "\"");
        EXPECT_FALSE(m.IsRunning(other));
        EXPECT_EQ(m.ExitCodeOf(other), 0);
        auto launches = m.Launches();
        switch (c.outcome) {
            case Setup:
                EXPECT_EQ(RunValue(m), std::string("C:\\WINDOWS\\TRVWATCH.EXE") + '\0');
                ASSERT_EQ(launches.size(), 1u);
                EXPECT_EQ(launches[0].parentPid, other);
                EXPECT_EQ(launches[0].commandLine, "C:\\WINDOWS\\TRVWATCH.EXE");
                EXPECT_EQ(launches[0].desktop, "WinSta0\\Default");
                // The copy found the first watcher's mutex and ended at once.
                EXPECT_EQ(m.ExitCodeOf(launches[0].pid), 0);
                EXPECT_TRUE(m.IsRunning(running));
                break;
            case Remove:
                EXPECT_FALSE(RunValue(m));
                EXPECT_TRUE(launches.empty());
                EXPECT_FALSE(m.IsRunning(running));
                EXPECT_EQ(m.ExitCodeOf(running), 0);
                break;
            case Neither:
                EXPECT_EQ(RunValue(m), std::string("old") + '\0');
                EXPECT_TRUE(launches.empty());
                EXPECT_TRUE(m.IsRunning(running));
                EXPECT_EQ(m.NotificationRegistrations(other), 0u);
                break;
        }
        EXPECT_EQ(WatcherWindows(m).size(), c.outcome == Remove ? 0u : 1u);
    }
}

TEST_F(WatchApp, ALongCommandLineIsExaminedOnlyInItsWorkingCopy) {
    const std::string pad(120, 'x');  // with one space, "-setup" ends exactly at character 127
    struct Case {
        std::string args;
        bool registers;
    } cases[] = {
        {pad + " -setup", true},
        {pad + " -setup " + std::string(300, 'y'), true},
        {pad + " -setupXYZ", false},  // cut to "-setup" by the copy, but it is not that token
        {std::string(130, 'x') + " -setup", false},
        {"-setup " + std::string(400, 'y'), true},
    };
    for (const Case& c : cases) {
        sim::Machine m;
        trvsim::InstallSuite(m);
        auto pid = m.StartProcess("TRVWATCH.EXE " + c.args);
        m.WaitIdle();
        SCOPED_TRACE(c.args.substr(115, 20));
        EXPECT_EQ(RunValue(m).has_value(), c.registers);
        // Not an option: it runs as the watcher.
        EXPECT_EQ(m.IsRunning(pid), !c.registers);
    }
}

TEST_F(WatchApp, SetupWritesThePathAndStartsTheWatcher) {
    auto pid = Start("TRVWATCH.EXE -setup");
    EXPECT_EQ(machine.ExitCodeOf(pid), 0);
    EXPECT_EQ(RunValue(machine), std::string("C:\\WINDOWS\\TRVWATCH.EXE") + '\0');
    auto v = machine.Registry().GetValue(kRunKey, "TRVWATCH");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, 1u);  // REG_SZ
    auto watchers = machine.RunningProcesses("TRVWATCH.EXE");
    ASSERT_EQ(watchers.size(), 1u);
    EXPECT_EQ(WatcherWindows(machine).size(), 1u);
    EXPECT_EQ(WatcherWindows(machine)[0].pid, watchers[0]);
}

TEST_F(WatchApp, APathWithABlankIsQuoted) {
    machine.SetModulePath("TRVWATCH.EXE", "C:\\Program Files\\TRV\\TRVWATCH.EXE");
    Start("TRVWATCH.EXE -setup");
    const std::string quoted = "\"C:\\Program Files\\TRV\\TRVWATCH.EXE\"";
    EXPECT_EQ(RunValue(machine), quoted + '\0');
    auto launches = machine.Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].commandLine, quoted);
    // Quoted, the whole path names the program: the watcher runs (unquoted,
    // the system would have taken "C:\Program" for it).
    EXPECT_EQ(machine.RunningProcesses("TRVWATCH.EXE").size(), 1u);
}

TEST_F(WatchApp, SetupWithoutAModulePathDoesNothing) {
    machine.SetModulePath("TRVWATCH.EXE", "");
    auto pid = Start("TRVWATCH.EXE -setup");
    EXPECT_EQ(machine.ExitCodeOf(pid), 0);
    EXPECT_FALSE(RunValue(machine));
    EXPECT_TRUE(machine.Launches().empty());
    EXPECT_TRUE(machine.RunningProcesses("").empty());
}

TEST_F(WatchApp, ARunKeyThatCannotBeOpenedStillStartsAndStops) {
    machine.Registry().SetString(kRunKey, "TRVWATCH", "old");
    machine.Registry().SetDenyFullAccess(kRunKey, true);

    Start("TRVWATCH.EXE -setup");
    EXPECT_EQ(RunValue(machine), std::string("old") + '\0');
    ASSERT_EQ(machine.RunningProcesses("TRVWATCH.EXE").size(), 1u);  // the copy started all the same

    auto remover = Start("TRVWATCH.EXE -remove");
    EXPECT_EQ(machine.ExitCodeOf(remover), 0);
    EXPECT_EQ(RunValue(machine), std::string("old") + '\0');
    EXPECT_TRUE(machine.RunningProcesses("TRVWATCH.EXE").empty());  // stopped all the same
}

TEST_F(WatchApp, SetupWhoseCopyCannotStartStillRegisters) {
    machine.FailProcessStarts(1);
    auto pid = Start("TRVWATCH.EXE -setup");
    EXPECT_EQ(machine.ExitCodeOf(pid), 0);
    EXPECT_TRUE(RunValue(machine));
    ASSERT_EQ(machine.Launches().size(), 1u);
    EXPECT_EQ(machine.Launches()[0].pid, 0u);
    EXPECT_TRUE(machine.RunningProcesses("").empty());
}

TEST_F(WatchApp, RemoveWithoutAWatcherOnlyDeletesTheValue) {
    machine.Registry().SetString(kRunKey, "TRVWATCH", "C:\\WINDOWS\\TRVWATCH.EXE");
    machine.Registry().SetString(kRunKey, "Other", "other.exe");
    auto pid = Start("TRVWATCH.EXE -remove");
    EXPECT_EQ(machine.ExitCodeOf(pid), 0);
    EXPECT_FALSE(RunValue(machine));
    EXPECT_TRUE(machine.Registry().GetValue(kRunKey, "Other"));
    EXPECT_TRUE(machine.RunningProcesses("").empty());
    EXPECT_TRUE(machine.Launches().empty());
}

TEST_F(WatchApp, RemoveStopsTheWatcherWithoutItsTearDown) {
    auto watcher = Start("TRVWATCH.EXE");
    ASSERT_FALSE(RunValue(machine));
    Start("TRVWATCH.EXE -remove");
    EXPECT_FALSE(machine.IsRunning(watcher));
    EXPECT_EQ(machine.ExitCodeOf(watcher), 0);
    // The loop ended on WM_QUIT; the window was not destroyed first, so the
    // session registration was left for the system to drop with the process.
    EXPECT_EQ(machine.Libraries().CountsOf(watcher).unregisterCalls, 0);
    EXPECT_EQ(machine.SessionRegistrations(watcher), 0u);
    EXPECT_TRUE(machine.TopLevelWindows().empty());
    // The mutex went with the process: a new watcher runs.
    auto next = Start("TRVWATCH.EXE");
    EXPECT_TRUE(machine.IsRunning(next));
}

TEST_F(WatchApp, ASecondWatcherEndsBeforeMakingAWindow) {
    auto first = Start("TRVWATCH.EXE");
    auto second = Start("TRVWATCH.EXE");
    EXPECT_TRUE(machine.IsRunning(first));
    EXPECT_FALSE(machine.IsRunning(second));
    EXPECT_EQ(machine.ExitCodeOf(second), 0);
    EXPECT_EQ(WatcherWindows(machine).size(), 1u);
    EXPECT_EQ(machine.NotificationRegistrations(second), 0u);
    EXPECT_EQ(machine.Libraries().CountsOf(second).loads, 0);
    // The first keeps its mutex: a third is refused too.
    auto third = Start("TRVWATCH.EXE");
    EXPECT_FALSE(machine.IsRunning(third));
}

}  // namespace
