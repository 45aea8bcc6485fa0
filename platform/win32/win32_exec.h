// The Windows WinExec facet.
#pragma once

#include <memory>

#include "platform/exec.h"

namespace plat::win32 {

std::unique_ptr<Exec> MakeExec();

}  // namespace plat::win32
