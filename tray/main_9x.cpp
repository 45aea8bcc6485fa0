// TRVTRAY9X: the tray notifier for Windows 95/98/Me.
#include "platform/win32/win32_system.h"
#include "tray/tray_app.h"

int main() {
    auto sys = plat::win32::CreateSystem();
    return tray::TrayMain(*sys, tray::Family::Win9x);
}
