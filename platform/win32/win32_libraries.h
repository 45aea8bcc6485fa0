// The Windows library facet: LoadLibrary, GetProcAddress, FreeLibrary and
// the typed calls through the entries found.
#pragma once

#include <memory>

#include "platform/libraries.h"

namespace plat::win32 {

std::unique_ptr<Libraries> MakeLibraries();

}  // namespace plat::win32
