// TRVBUTTON: the backup-button launcher.
#include "platform/win32/win32_system.h"
#include "button/button.h"

int main() {
    auto sys = plat::win32::CreateSystem();
    return button::ButtonProgram(*sys);
}
