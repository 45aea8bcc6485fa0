// The Windows process facet: command line, module path, environment
// expansion and CreateProcess on a named desktop. Handles handed back are
// the system's HANDLE values.
#pragma once

#include <memory>

#include "platform/process.h"

namespace plat::win32 {

// The one Process of the program (CreateSystem takes it from here).
std::unique_ptr<Process> MakeProcess();

}  // namespace plat::win32
