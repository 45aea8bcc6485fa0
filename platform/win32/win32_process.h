// The Windows process facet: command line, module path, environment
// expansion and CreateProcess on a named desktop. Handles handed back are
// the system's HANDLE values.
#pragma once

#include <memory>

#include "platform/process.h"

namespace win32 {

std::unique_ptr<plat::Process> MakeProcessFacet();

}  // namespace win32
