#include "simulator/suite.h"

#include "tray/tray_app.h"
#include "watch/watch_app.h"

extern const trvres::Table kTrayResources;

namespace trvsim {

void InstallSuite(sim::Machine& machine) {
    machine.InstallProgram("TRVTRAY.EXE", [](plat::System& sys) { return tray::TrayMain(sys, tray::Family::Nt); },
                           &kTrayResources);
    machine.InstallProgram("TRVTRAY9X.EXE", [](plat::System& sys) { return tray::TrayMain(sys, tray::Family::Win9x); },
                           &kTrayResources);
    machine.InstallProgram("TRVWATCH.EXE", [](plat::System& sys) { return watch::WatchMain(sys); }, nullptr);
}

}  // namespace trvsim
