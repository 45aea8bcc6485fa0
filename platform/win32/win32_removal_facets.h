// The Windows factories of the facets the uninstaller and the launcher add:
// files, the process token, device setup sets, dialogs and WinExec. Free of
// <windows.h>; CreateSystem puts them together with the others.
#pragma once

#include <memory>

#include "platform/system.h"

namespace plat::win32 {

std::unique_ptr<Files> MakeFiles();
std::unique_ptr<Token> MakeToken();
std::unique_ptr<SetupDevices> MakeSetupDevices();
std::unique_ptr<Dialogs> MakeDialogs();
std::unique_ptr<Exec> MakeExec();

}  // namespace plat::win32
