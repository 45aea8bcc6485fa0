// The Windows process-token facet: groups, privileges and ExitWindowsEx.
#pragma once

#include <memory>

#include "platform/token.h"

namespace plat::win32 {

std::unique_ptr<Token> MakeToken();

}  // namespace plat::win32
