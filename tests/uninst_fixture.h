// Machines for the uninstaller's and the launcher's tests: a chosen version
// of Windows with the suite and the driver packages installed, and a helper
// program that runs a piece of test code inside the machine.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "simulator/suite.h"

extern const trvres::Table kUninstResources;

namespace trvtest {

inline constexpr plat::OsVersion kWindowsXp{5, 1, 2600, true};
inline constexpr plat::OsVersion kWindows2000{5, 0, 2195, true};
inline constexpr plat::OsVersion kWindows98{4, 10, 2222, false};
inline constexpr plat::OsVersion kWindows95{4, 0, 950, false};
inline constexpr plat::OsVersion kWindowsMe{4, 90, 3000, false};
inline constexpr plat::OsVersion kWindowsNt4{4, 0, 1381, true};
inline constexpr plat::OsVersion kWindowsVista{6, 0, 6000, true};

inline constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

// Runs `body` as the program "HELPER.EXE" (with the uninstaller's string
// table) and lets the machine settle. Returns the helper's process id.
inline std::uint32_t RunInside(sim::Machine& m, std::function<void(plat::System&)> body) {
    m.InstallProgram(
        "HELPER.EXE",
        [body](plat::System& sys) {
            body(sys);
            return 0;
        },
        &kUninstResources);
    std::uint32_t pid = m.StartProcess("HELPER.EXE");
    m.WaitIdle();
    return pid;
}

inline bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

inline std::size_t CountOf(const std::vector<std::string>& lines, const std::string& part) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

class MachineOf {
public:
    explicit MachineOf(plat::OsVersion v, bool packages = true) {
        machine.SetVersion(v);
        trvsim::InstallSuite(machine);
        if (packages) trvsim::InstallDriverPackages(machine);
    }
    sim::Machine machine;
};

}  // namespace trvtest
