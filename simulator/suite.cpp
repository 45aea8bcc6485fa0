#include "simulator/suite.h"

#include "button/button.h"
#include "tray/tray_app.h"
#include "uninst/uninstall.h"
#include "watch/watch_app.h"

extern const trvres::Table kTrayResources;
extern const trvres::Table kUninstResources;
extern const trvres::Table kButtonResources;

namespace trvsim {

namespace {

constexpr char kWindows[] = "C:\\WINDOWS";
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\";
// {4D36E967-E325-11CE-BFC1-08002BE10318}: the disk drive setup class.
constexpr plat::Guid kDiskDriveClass = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::string SystemFolder(sim::Machine& m) { return std::string(kWindows) + (m.Version().nt ? "\\SYSTEM32" : "\\SYSTEM"); }

std::string Image(const std::string& name) { return "MZ (image of " + name + ")"; }

struct PackageFiles {
    const char* name;
    const char* product;
    std::vector<const char*> sections;
    const char* productId;
};

const PackageFiles kPackages[] = {
    {"TRVADPT", "USB-to-ATA adapter", {"TRVADPT", "TRVADPTI"}, "0701"},
    {"TRVBRG2", "USB-to-ATA bridge (second generation)", {"TRVBRG2", "TRVBRG2I"}, "0702"},
    {"TRVBRG1", "USB-to-ATA bridge", {"TRVBRG1"}, "0703"},
};

std::string InfText(const PackageFiles& p) {
    std::string text = "[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=USB\r\n\r\n";
    for (const char* s : p.sections) text += std::string("[") + s + "]\r\nCopyFiles=" + p.name + ".Copy\r\n\r\n";
    text += std::string("[") + p.name + ".Copy]\r\n" + p.name + ".SYS\r\n";
    return text;
}

}  // namespace

void InstallSuite(sim::Machine& machine) {
    machine.InstallProgram("TRVTRAY.EXE", [](plat::System& sys) { return tray::TrayMain(sys, tray::Family::Nt); },
                           &kTrayResources);
    machine.InstallProgram("TRVTRAY9X.EXE", [](plat::System& sys) { return tray::TrayMain(sys, tray::Family::Win9x); },
                           &kTrayResources);
    machine.InstallProgram("TRVWATCH.EXE", [](plat::System& sys) { return watch::WatchMain(sys); }, nullptr);
    machine.InstallProgram("TRVUNINST.EXE", [](plat::System& sys) { return uninst::UninstallerProgram(sys); },
                           &kUninstResources);
    machine.InstallProgram("TRVBUTTON.EXE", [](plat::System& sys) { return button::ButtonProgram(sys); },
                           &kButtonResources);

    PlaceSuiteFiles(machine);
}

void PlaceSuiteFiles(sim::Machine& machine) {
    sim::FileStore& files = machine.Files();
    const std::string windows = kWindows;
    const bool nt = machine.Version().nt;
    const char* tray = nt ? "TRVTRAY.EXE" : "TRVTRAY9X.EXE";
    files.RemoveFile(windows + "\\" + (nt ? "TRVTRAY9X.EXE" : "TRVTRAY.EXE"));
    files.RemoveFile(windows + (nt ? "\\SYSTEM\\TRVUNINST.EXE" : "\\SYSTEM32\\TRVUNINST.EXE"));
    files.AddFile(windows + "\\" + tray, Image(tray));
    files.AddFile(windows + "\\TRVWATCH.EXE", Image("TRVWATCH.EXE"));
    files.AddFile(windows + "\\TRVBUTTON.EXE", Image("TRVBUTTON.EXE"));
    files.AddFile(SystemFolder(machine) + "\\TRVUNINST.EXE", Image("TRVUNINST.EXE"));
}

void InstallDriverPackages(sim::Machine& machine, const std::vector<std::string>& packages) {
    const bool nt = machine.Version().nt;
    sim::FileStore& files = machine.Files();
    sim::RegistryStore& reg = machine.Registry();
    const std::string windows = kWindows;
    const std::string system = SystemFolder(machine);
    int oem = 0;
    for (const PackageFiles& p : kPackages) {
        bool wanted = packages.empty();
        for (const std::string& n : packages) wanted = wanted || n == p.name;
        if (!wanted) continue;
        const std::string name = p.name;
        const std::string uninstall = kUninstallKey + name;
        reg.SetString(uninstall, "DisplayName", p.product);
        reg.SetString(uninstall, "UninstallString", "TRVUNINST.EXE " + name);
        const std::string service = kServiceKey + name;
        reg.SetString(service, "ImagePath", "System32\\DRIVERS\\" + name + ".SYS");
        reg.SetDword(service, "Type", 1);
        reg.SetString(service + "\\Enum", "0", std::string("USB\\VID_0E21&PID_") + p.productId + "\\1");
        reg.SetDword(service + "\\Enum", "Count", 1);

        files.AddFile(windows + "\\SYSTEM32\\DRIVERS\\" + name + ".SYS", Image(name + ".SYS"));
        files.AddFile(windows + "\\INF\\" + name + ".INF", InfText(p));
        files.AddFile(windows + "\\INF\\" + name + ".PNF", "precompiled " + name + ".INF");
        // The system's own copy of the package's INF file.
        if (nt) {
            const std::string copy = windows + "\\INF\\oem" + std::to_string(oem++);
            files.AddFile(copy + ".inf", InfText(p));
            files.AddFile(copy + ".PNF", "precompiled copy of " + name + ".INF");
        } else {
            files.AddFile(windows + "\\INF\\OTHER\\Trv" + name + ".INF", InfText(p));
        }
        int serial = 1;
        for (const char* section : p.sections) {
            machine.SetupDevices().AddDevice(
                std::string("USB\\VID_0E21&PID_") + p.productId + "\\" + std::to_string(serial++),
                plat::GUID_DEVCLASS_USB, std::string(section));
        }
    }
    if (nt) {
        files.AddFile(system + "\\TRVPAGE32.DLL", Image("TRVPAGE32.DLL"));
        files.AddFile(system + "\\TRVCOINST.DLL", Image("TRVCOINST.DLL"));
    } else {
        files.AddFile(system + "\\TRVPAGE16.DLL", Image("TRVPAGE16.DLL"));
        files.AddFile(system + "\\TRVPAGE32.DLL", Image("TRVPAGE32.DLL"));
        files.AddFile(windows + "\\SYSTEM32\\DRIVERS\\TRVMINI.SYS", Image("TRVMINI.SYS"));
        files.AddFile(windows + "\\SYSTEM\\IOSUBSYS\\TRVIOS.PDR", Image("TRVIOS.PDR"));
        files.AddFile(windows + "\\INF\\TRVIOS.INF", "[Version]\r\nSignature=\"$CHICAGO$\"\r\n\r\n[TRVIOS]\r\n");
        files.AddFile(windows + "\\INF\\TRVIOS.PNF", "precompiled TRVIOS.INF");
        machine.SetupDevices().AddDevice("TRVIOS\\DISK&VEN_SIM&PROD_DRIVE\\0", kDiskDriveClass,
                                         std::string("DiskInstall"));
    }
}

void RegisterBackupApplication(sim::Machine& machine, const std::string& application,
                               const std::string& parameter) {
    const std::string key = "SOFTWARE\\Dantz\\Retrospect\\ButtonBackup";
    machine.Registry().SetString(key, "ApplicationPath", application);
    machine.Files().AddFile(application, Image(application));
    if (!parameter.empty()) {
        machine.Registry().SetString(key, "LaunchParameter", parameter);
        machine.Files().AddFile(parameter, "backup script");
    }
    const std::size_t slash = application.find_last_of('\\');
    machine.InstallProgram(
        application.substr(slash == std::string::npos ? 0 : slash + 1),
        [](plat::System& sys) {
            plat::Msg msg;
            while (sys.ui().NextMessage(msg)) sys.ui().Dispatch(msg);
            return 0;
        },
        nullptr);
}

}  // namespace trvsim
