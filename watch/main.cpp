// TRVWATCH: the background watcher, for Windows 2000/XP and Windows 95/98/Me
// alike (it adapts to the system at run time).
#include "platform/win32/win32_system.h"
#include "watch/watch_app.h"

int main() {
    auto sys = plat::win32::CreateSystem();
    return watch::WatchMain(*sys);
}
