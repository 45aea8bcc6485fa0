// The Windows files facet: known folders, attributes, deletion now or at the
// next start, searches, opened and mapped files. Handles are the system's
// HANDLE values.
#pragma once

#include <memory>

#include "platform/files.h"

namespace plat::win32 {

std::unique_ptr<Files> MakeFiles();

}  // namespace plat::win32
