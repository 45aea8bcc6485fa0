// The process facet of a simulated process: command line, module path,
// environment expansion and the start of other programs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/process.h"

namespace sim {

class Machine;

// `args`: the command line after the program name; `modulePath`: what
// GetModuleFileName reports, empty when it fails.
std::unique_ptr<plat::Process> MakeProcessFacet(Machine& machine, std::uint32_t pid, std::string args,
                                                std::string modulePath);

}  // namespace sim
