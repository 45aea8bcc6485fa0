// Installs the suite's programs on a simulated machine, as the driver
// installation would put them on a real one.
#pragma once

#include <string>
#include <vector>

#include "sim/machine.h"

namespace trvsim {

// The programs, and their files where the installation puts them for the
// machine's version at the time of the call: the notifier of the family
// (TRVTRAY.EXE on the NT family, TRVTRAY9X.EXE on 9x), TRVWATCH.EXE and
// TRVBUTTON.EXE in the Windows folder, TRVUNINST.EXE in the system folder.
void InstallSuite(sim::Machine& machine);

// Puts the programs' files where the installation puts them for the
// machine's version now (InstallSuite does this too), taking away those the
// other family would have.
void PlaceSuiteFiles(sim::Machine& machine);

// What the driver installation leaves behind for the named packages
// ("TRVADPT", "TRVBRG2", "TRVBRG1"; all three when none is named), for the
// machine's version at the time of the call: the Uninstall and service keys,
// the driver and INF files with their precompiled twins, the system's INF
// copies, one USB device per INF section with its driver key, and the
// components the packages share (the property-page and co-installer
// libraries; on 9x also the port and miniport drivers and a device the port
// driver enumerated).
void InstallDriverPackages(sim::Machine& machine, const std::vector<std::string>& packages = {});

// The backup application's registration for button backups, as it writes it
// ("ApplicationPath" and, unless `parameter` is empty, "LaunchParameter"),
// with both files created. Started, the application runs until the machine
// ends.
void RegisterBackupApplication(sim::Machine& machine, const std::string& application,
                               const std::string& parameter);

}  // namespace trvsim
