// TRVUNINST: the driver-package uninstaller, for Windows 2000/XP and Windows
// 95/98/Me alike (it adapts to the system at run time). Exit code 1.
#include "platform/win32/win32_system.h"
#include "uninst/uninstall.h"

int main() {
    auto sys = plat::win32::CreateSystem();
    return uninst::UninstallerProgram(*sys);
}
