// What a simulated process gets from its process and library facets:
// environment expansion, its module path, starting other programs with
// handles to wait on, and libraries bound by name.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sim/machine.h"

namespace {

class SimProcess : public ::testing::Test {
protected:
    // Runs `body` as the program PROBE.EXE and waits until the machine is idle.
    std::uint32_t Run(std::function<void(plat::System&)> body, const std::string& cmd = "PROBE.EXE") {
        machine.InstallProgram("PROBE.EXE", [body](plat::System& sys) {
            body(sys);
            return 0;
        }, nullptr);
        auto pid = machine.StartProcess(cmd);
        machine.WaitIdle();
        return pid;
    }
    sim::Machine machine;
};

TEST_F(SimProcess, EnvironmentExpansion) {
    machine.Environment().Set("Tools", "D:\\Tools");
    struct Case {
        const char* text;
        std::size_t capacity;
        const char* expected;  // nullptr: does not fit
    } cases[] = {
        {"%WINDIR%\\TRVTRAY.EXE", 260, "C:\\WINDOWS\\TRVTRAY.EXE"},
        {"%windir% and %SYSTEMROOT%", 260, "C:\\WINDOWS and C:\\WINDOWS"},
        {"%tools%\\x.exe", 260, "D:\\Tools\\x.exe"},
        {"%Unknown%\\x", 260, "%Unknown%\\x"},
        {"50% of %ProgramFiles%", 260, "50% of C:\\Program Files"},
        {"100%", 260, "100%"},
        {"%%", 260, "%%"},
        {"%WINDIR%", 11, "C:\\WINDOWS"},  // ten characters and the terminator
        {"%WINDIR%", 10, nullptr},
    };
    for (const Case& c : cases) {
        std::string out;
        bool ok = false;
        Run([&](plat::System& sys) { ok = sys.process().ExpandEnvironment(c.text, c.capacity, out); });
        EXPECT_EQ(ok, c.expected != nullptr) << c.text;
        if (c.expected) {
            EXPECT_EQ(out, c.expected) << c.text;
        }
    }
}

TEST_F(SimProcess, ModulePath) {
    std::string path;
    bool ok = false;
    Run([&](plat::System& sys) { ok = sys.process().ModulePath(1024, path); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(path, "C:\\WINDOWS\\PROBE.EXE");

    machine.SetModulePath("probe.exe", "C:\\Program Files\\Probe\\PROBE.EXE");
    Run([&](plat::System& sys) { ok = sys.process().ModulePath(1024, path); });
    EXPECT_EQ(path, "C:\\Program Files\\Probe\\PROBE.EXE");
    Run([&](plat::System& sys) { ok = sys.process().ModulePath(33, path); });  // 32 characters and the terminator
    EXPECT_TRUE(ok);
    Run([&](plat::System& sys) { ok = sys.process().ModulePath(32, path); });
    EXPECT_FALSE(ok);

    machine.SetModulePath("PROBE.EXE", "");
    Run([&](plat::System& sys) { ok = sys.process().ModulePath(1024, path); });
    EXPECT_FALSE(ok);
}

TEST_F(SimProcess, StartedProgramsHandTheirHandlesToTheStarter) {
    machine.InstallProgram("CHILD.EXE", [](plat::System& sys) { return sys.process().CommandLine() == "x" ? 7 : 1; },
                           nullptr);
    struct Seen {
        bool started = false;
        std::uint32_t wait = 0;
        std::uint32_t code = 0;
        bool closed = false;
        bool closedTwice = true;
    };
    auto start = [&](const std::string& cmd, Seen& seen) {
        return Run([&, cmd](plat::System& sys) {
            plat::StartedProcess p;
            seen.started = sys.process().StartOnDesktop(cmd, "WinSta0\\Default", p);
            if (!seen.started) return;
            seen.wait = sys.kernel().Wait(p.process, plat::INFINITE_WAIT);
            sys.kernel().ExitCode(p.process, seen.code);
            seen.closed = sys.kernel().Close(p.process) && sys.kernel().Close(p.thread);
            seen.closedTwice = sys.kernel().Close(p.process);
        });
    };

    Seen ours;
    auto parent = start("C:\\WINDOWS\\CHILD.EXE x", ours);
    EXPECT_TRUE(ours.started);
    EXPECT_EQ(ours.wait, plat::WAIT_OBJECT_0);
    EXPECT_EQ(ours.code, 7u);
    EXPECT_TRUE(ours.closed);
    EXPECT_FALSE(ours.closedTwice);
    auto launches = machine.Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].parentPid, parent);
    EXPECT_EQ(launches[0].desktop, "WinSta0\\Default");
    EXPECT_EQ(machine.ExeOf(launches[0].pid), "CHILD.EXE");

    // A program outside the suite runs and ends at once.
    Seen other;
    start("notepad.exe C:\\readme.txt", other);
    EXPECT_TRUE(other.started);
    EXPECT_EQ(other.wait, plat::WAIT_OBJECT_0);
    EXPECT_EQ(other.code, 0u);
    EXPECT_EQ(machine.ExeOf(machine.Launches().back().pid), "NOTEPAD.EXE");

    // Refused starts hand back nothing.
    Seen empty, failed;
    start("   ", empty);
    machine.FailProcessStarts(1);
    start("C:\\WINDOWS\\CHILD.EXE x", failed);
    EXPECT_FALSE(empty.started);
    EXPECT_FALSE(failed.started);
    EXPECT_EQ(machine.Launches().back().pid, 0u);
    EXPECT_TRUE(machine.RunningProcesses("").empty());
}

TEST_F(SimProcess, LibrariesAreBoundByName) {
    bool registered = false, afterFree = true, missingEntry = true, wrongCase = true, missingLibrary = true;
    auto pid = Run([&](plat::System& sys) {
        plat::Libraries& libs = sys.libraries();
        plat::Hmodule lib = libs.Load("WTSAPI32.DLL");
        plat::Hproc reg = libs.FindEntry(lib, "WTSRegisterSessionNotification");
        registered = libs.CallRegisterSessionNotification(reg, static_cast<plat::Hwnd>(0x10), 0);
        missingEntry = libs.FindEntry(lib, "NoSuchEntry") != plat::Hproc::None;
        wrongCase = libs.FindEntry(lib, "wtsregistersessionnotification") != plat::Hproc::None;
        libs.Free(lib);
        afterFree = libs.CallRegisterSessionNotification(reg, static_cast<plat::Hwnd>(0x10), 0);
        missingLibrary = libs.Load("nosuch.dll") != plat::Hmodule::None;
    });
    EXPECT_TRUE(registered);
    EXPECT_FALSE(missingEntry);
    EXPECT_FALSE(wrongCase);
    EXPECT_FALSE(afterFree);
    EXPECT_FALSE(missingLibrary);
    auto counts = machine.Libraries().CountsOf(pid);
    EXPECT_EQ(counts.loads, 1);
    EXPECT_EQ(counts.frees, 1);
    EXPECT_EQ(counts.badCalls, 1);
}

}  // namespace
