// The Windows facets, one factory each; CreateSystem puts them together.
// (The process and library facets have their own headers.) Free of
// <windows.h> like win32_system.h.
#pragma once

#include <memory>

#include "platform/system.h"

namespace plat::win32 {

std::unique_ptr<Ui> MakeUi();
std::unique_ptr<DeviceNotifications> MakeDeviceNotifications();
std::unique_ptr<Kernel> MakeKernel();
std::unique_ptr<SystemInfo> MakeSystemInfo();
std::unique_ptr<Resources> MakeResources();
std::unique_ptr<ShellTray> MakeShellTray();
std::unique_ptr<DeviceIo> MakeDeviceIo();
std::unique_ptr<TraceSink> MakeTraceSink();
std::unique_ptr<Registry> MakeRegistry();
std::unique_ptr<DeviceTree> MakeDeviceTree();
std::unique_ptr<Menus> MakeMenus();
std::unique_ptr<MessageBoxes> MakeMessageBoxes();

}  // namespace plat::win32
