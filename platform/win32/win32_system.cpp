// The real machine: one object per facet, made once for the program.
#include "platform/win32/win32_system.h"

#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_exec.h"
#include "platform/win32/win32_facets.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_libraries.h"
#include "platform/win32/win32_process.h"
#include "platform/win32/win32_setup_devices.h"
#include "platform/win32/win32_token.h"

namespace plat::win32 {

namespace {

class Win32System final : public System {
public:
    Ui& ui() override { return *ui_; }
    DeviceNotifications& deviceNotifications() override { return *notifications_; }
    Kernel& kernel() override { return *kernel_; }
    Process& process() override { return *process_; }
    SystemInfo& systemInfo() override { return *systemInfo_; }
    Resources& resources() override { return *resources_; }
    ShellTray& shellTray() override { return *shellTray_; }
    DeviceIo& deviceIo() override { return *deviceIo_; }
    TraceSink& trace() override { return *trace_; }
    Registry& registry() override { return *registry_; }
    DeviceTree& deviceTree() override { return *deviceTree_; }
    Libraries& libraries() override { return *libraries_; }
    Menus& menus() override { return *menus_; }
    MessageBoxes& messageBoxes() override { return *messageBoxes_; }
    Files& files() override { return *files_; }
    Token& token() override { return *token_; }
    SetupDevices& setupDevices() override { return *setupDevices_; }
    Dialogs& dialogs() override { return *dialogs_; }
    Exec& exec() override { return *exec_; }

private:
    std::unique_ptr<Ui> ui_ = MakeUi();
    std::unique_ptr<DeviceNotifications> notifications_ = MakeDeviceNotifications();
    std::unique_ptr<Kernel> kernel_ = MakeKernel();
    std::unique_ptr<Process> process_ = MakeProcess();
    std::unique_ptr<SystemInfo> systemInfo_ = MakeSystemInfo();
    std::unique_ptr<Resources> resources_ = MakeResources();
    std::unique_ptr<ShellTray> shellTray_ = MakeShellTray();
    std::unique_ptr<DeviceIo> deviceIo_ = MakeDeviceIo();
    std::unique_ptr<TraceSink> trace_ = MakeTraceSink();
    std::unique_ptr<Registry> registry_ = MakeRegistry();
    std::unique_ptr<DeviceTree> deviceTree_ = MakeDeviceTree();
    std::unique_ptr<Libraries> libraries_ = MakeLibraries();
    std::unique_ptr<Menus> menus_ = MakeMenus();
    std::unique_ptr<MessageBoxes> messageBoxes_ = MakeMessageBoxes();
    std::unique_ptr<Files> files_ = MakeFiles();
    std::unique_ptr<Token> token_ = MakeToken();
    std::unique_ptr<SetupDevices> setupDevices_ = MakeSetupDevices();
    std::unique_ptr<Dialogs> dialogs_ = MakeDialogs();
    std::unique_ptr<Exec> exec_ = MakeExec();
};

}  // namespace

std::unique_ptr<System> CreateSystem() { return std::make_unique<Win32System>(); }

}  // namespace plat::win32
