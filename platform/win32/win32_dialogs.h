// The Windows modal-dialog facet: DialogBoxParam of the program's templates.
#pragma once

#include <memory>

#include "platform/dialogs.h"

namespace plat::win32 {

std::unique_ptr<Dialogs> MakeDialogs();

}  // namespace plat::win32
