// TRVTRAY: the tray notifier for Windows 2000/XP.
#include "platform/win32/win32_system.h"
#include "tray/tray_app.h"

int main() {
    auto sys = plat::win32::CreateSystem();
    return tray::TrayMain(*sys, tray::Family::Nt);
}
