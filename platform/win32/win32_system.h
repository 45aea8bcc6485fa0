// The programs' view of the real machine: every facet of plat::System over
// the Windows API. This header stays free of <windows.h> so that a program's
// entry file sees only our own types.
#pragma once

#include <memory>

#include "platform/system.h"

namespace plat::win32 {

std::unique_ptr<plat::System> CreateSystem();

}  // namespace plat::win32
