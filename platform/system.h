// One running program's view of its machine: every facet it may use. The
// portable core reaches the operating system only through this.
#pragma once

#include "platform/device_tree.h"
#include "platform/dialogs.h"
#include "platform/driver.h"
#include "platform/exec.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/libraries.h"
#include "platform/menus.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/setup_devices.h"
#include "platform/shell_tray.h"
#include "platform/sysinfo.h"
#include "platform/token.h"
#include "platform/trace.h"
#include "platform/types.h"
#include "platform/ui.h"

namespace plat {

class System {
public:
    virtual ~System() = default;
    virtual Ui& ui() = 0;
    virtual DeviceNotifications& deviceNotifications() = 0;
    virtual Kernel& kernel() = 0;
    virtual Process& process() = 0;
    virtual SystemInfo& systemInfo() = 0;
    virtual Resources& resources() = 0;
    virtual ShellTray& shellTray() = 0;
    virtual DeviceIo& deviceIo() = 0;
    virtual TraceSink& trace() = 0;
    virtual Registry& registry() = 0;
    virtual DeviceTree& deviceTree() = 0;
    virtual Files& files() = 0;
    virtual Token& token() = 0;
    virtual SetupDevices& setupDevices() = 0;
    virtual Dialogs& dialogs() = 0;
    virtual Exec& exec() = 0;
    virtual Libraries& libraries() = 0;
    virtual Menus& menus() = 0;
    virtual MessageBoxes& messageBoxes() = 0;
};

}  // namespace plat
