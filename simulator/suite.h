// Installs the suite's programs on a simulated machine, as the driver
// installation would put them on a real one.
#pragma once

#include "sim/machine.h"

namespace trvsim {

void InstallSuite(sim::Machine& machine);

}  // namespace trvsim
