// WinExec on the simulated machine: the program file is looked up in the
// machine's file system as the system looks up a command line's program,
// then the machine starts the process (an installed program runs; any other
// ends at once).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/exec.h"
#include "platform/types.h"

namespace sim {

class Machine;

std::unique_ptr<plat::Exec> MakeExecFacet(Machine& machine, std::uint32_t pid,
                                          std::function<void(plat::Hobject)> closeHandle,
                                          std::function<void(const std::string&)> note);

}  // namespace sim
