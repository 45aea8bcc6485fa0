#include "uninst/uninstall.h"

#include <vector>

#include "uninst/names.h"
#include "uninst/removal.h"

namespace uninst {

const std::array<DeviceClassRow, 5> DeviceClassTable = {{
    {Package::Adapter, "TRVADPT", plat::GUID_DEVCLASS_USB},
    {Package::Adapter, "TRVADPTI", plat::GUID_DEVCLASS_USB},
    {Package::SecondBridge, "TRVBRG2", plat::GUID_DEVCLASS_USB},
    {Package::SecondBridge, "TRVBRG2I", plat::GUID_DEVCLASS_USB},
    {Package::FirstBridge, "TRVBRG1", plat::GUID_DEVCLASS_USB},
}};

namespace {

constexpr std::uint32_t kQuestionBox = plat::MB_YESNO | plat::MB_ICONQUESTION | plat::MB_TOPMOST;
constexpr std::uint32_t kRightsBox = plat::MB_OK | plat::MB_ICONQUESTION | plat::MB_TOPMOST;
constexpr std::size_t kInfSectionBuffer = 64;
constexpr std::size_t kAccountNameBuffer = 260;

char FoldLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldLetter(a[i]) != FoldLetter(b[i])) return false;
    return true;
}

// A resource string as loaded into a buffer of `capacity` bytes: cut at a
// character boundary when it does not fit.
std::string LoadText(plat::System& sys, std::uint32_t id, std::size_t capacity) {
    std::string text = sys.resources().String(id);
    if (text.size() < capacity) return text;
    std::size_t end = 0;
    while (end < text.size()) {
        std::size_t n = sys.systemInfo().CharLength(text, end);
        if (n == 0 || end + n > capacity - 1) break;
        end += n;
    }
    return text.substr(0, end);
}

std::string Name(plat::System& sys, std::uint32_t id) { return LoadText(sys, id, kPathBuffer); }

int Ask(plat::System& sys, std::uint32_t base, std::uint32_t text, std::uint32_t caption, std::uint32_t style) {
    return sys.messageBoxes().Show(plat::Hwnd::None, LoadText(sys, base + text, kTextBuffer),
                                   LoadText(sys, base + caption, kCaptionBuffer), style);
}

// The file removals skip a name the string table does not give.
template <class Remove>
void RemoveNamed(plat::System& sys, Remove remove, std::uint32_t id) {
    std::string name = Name(sys, id);
    if (!name.empty()) remove(sys, name);
}

void RunNamed(plat::System& sys, std::uint32_t id, const char* arguments) {
    std::string name = Name(sys, id);
    if (!name.empty()) RunAndWait(sys, name + arguments, true);
}

// The files and service key of one driver package.
void RemoveDriverPackage(plat::System& sys, std::uint32_t driverId, std::uint32_t infId, const char* service) {
    RemoveNamed(sys, RemoveDriverFile, driverId);
    RemoveNamed(sys, RemoveInfFile, infId);
    std::string prefix = Name(sys, IDS_SERVICE_KEY);
    if (!prefix.empty()) DeleteRegistryTree(sys, prefix + service);
}

}  // namespace

Family FamilyOf(const plat::OsVersion& version) {
    if (version.major == 4 && version.minor == 90) return Family::Me;
    if (version.major == 5) return Family::Win2000_XP;
    return Family::Win95_98;
}

bool HasCommandLineKeyword(const std::string& commandLine, const std::string& keyword) {
    const std::string_view line = std::string_view(commandLine).substr(0, commandLine.find_first_of("\r\n"));
    std::size_t at = 0;
    while (at < line.size()) {
        if (line[at] == ' ' || line[at] == '\t') {
            ++at;
            continue;
        }
        std::size_t end = line.find_first_of(" \t", at);
        if (end == std::string_view::npos) end = line.size();
        const std::string_view token = line.substr(at, end - at);
        if (!keyword.empty() && token.size() >= keyword.size()) {
            bool match = true;
            for (std::size_t i = 0; i < keyword.size() && match; ++i)
                match = FoldLetter(token[i]) == FoldLetter(keyword[i]);
            if (match) return true;
        }
        at = end;
    }
    return false;
}

std::uint32_t LanguageBaseFor(std::uint32_t languageId) {
    const std::uint32_t primary = languageId & 0x3FF;
    const std::uint32_t sub = (languageId >> 10) & 0x3F;
    switch (primary) {
        case 0x0C: return 512;                        // French
        case 0x10: return 768;                        // Italian
        case 0x07: return 1024;                       // German
        case 0x0A: return sub == 2 ? 1536 : 1280;     // Spanish: Mexico, other
        case 0x16: return sub == 1 ? 2048 : 1792;     // Portuguese: Brazil, other
        case 0x11: return 2304;                       // Japanese
        case 0x04: return sub == 1 ? 4096 : 4352;     // Chinese: Taiwan, other
        case 0x12: return 4608;                       // Korean
        case 0x19: return 4864;                       // Russian
        case 0x06: return 5120;                       // Danish
        case 0x13: return 5376;                       // Dutch
        case 0x14: return 5632;                       // Norwegian
        case 0x1D: return 5888;                       // Swedish
        case 0x15: return 6144;                       // Polish
        case 0x08: return 6400;                       // Greek
        case 0x05: return 8192;                       // Czech
        case 0x0E: return 8448;                       // Hungarian
        default: return kEnglishBase;
    }
}

std::uint32_t GetLanguageBase(plat::System& sys) { return LanguageBaseFor(sys.systemInfo().DefaultLcid() & 0xFFFF); }

bool IsAdministrator(plat::System& sys) {
    plat::Token& token = sys.token();
    plat::Htoken t = token.OpenProcessToken(plat::TOKEN_QUERY);
    if (t == plat::Htoken::None) return false;
    std::vector<plat::TokenGroup> groups;
    std::size_t needed = 0;
    bool sized = !token.TokenGroups(t, 0, groups, needed) && sys.kernel().LastError() == plat::ERROR_INSUFFICIENT_BUFFER;
    if (!sized || !token.TokenGroups(t, needed, groups, needed)) {
        token.CloseToken(t);
        return false;
    }
    plat::Sid administrators;
    administrators.authority = plat::SECURITY_NT_AUTHORITY;
    administrators.subAuthorities = {plat::SECURITY_BUILTIN_DOMAIN_RID, plat::DOMAIN_ALIAS_RID_ADMINS};
    bool result = false;
    for (const plat::TokenGroup& g : groups) {
        if (!(g.sid == administrators)) continue;
        std::string name, domain;
        if (!token.AccountOfSid(g.sid, kAccountNameBuffer, name, domain) &&
            sys.kernel().LastError() != plat::ERROR_NONE_MAPPED)
            break;
        // A deny-only membership is there but not enabled: it does not count.
        if (g.attributes & plat::SE_GROUP_ENABLED) {
            result = true;
            break;
        }
    }
    token.CloseToken(t);
    return result;
}

bool EnablePrivilege(plat::System& sys, const std::string& name) {
    plat::Token& token = sys.token();
    plat::Htoken t = token.OpenProcessToken(plat::TOKEN_ADJUST_PRIVILEGES | plat::TOKEN_QUERY);
    if (t == plat::Htoken::None) return sys.kernel().LastError() == plat::ERROR_CALL_NOT_IMPLEMENTED;
    bool result = false;
    plat::Luid luid;
    if (token.FindPrivilege(name, luid)) result = token.EnablePrivilegeIn(t, luid);
    token.CloseToken(t);
    return result;
}

bool RunAndWait(plat::System& sys, const std::string& commandLine, bool wait) {
    plat::StartedProcess started;
    if (!sys.process().StartOnDesktop(commandLine, plat::kInteractiveDesktop, started)) return false;
    bool result = true;
    // A program that does not end in time is left running.
    if (wait && sys.kernel().Wait(started.process, kProgramWaitMs) != plat::WAIT_OBJECT_0) result = false;
    sys.kernel().Close(started.process);
    sys.kernel().Close(started.thread);
    return result;
}

void RemoveDevicesBySection(plat::System& sys, const std::optional<plat::Guid>& setupClass,
                            const std::optional<std::string>& enumerator, std::uint32_t flags,
                            const std::string& section, Family family, bool force) {
    plat::SetupDevices& devices = sys.setupDevices();
    plat::Registry& reg = sys.registry();
    plat::Hdevset set = devices.GetClassDevices(setupClass, enumerator, flags);
    if (set == plat::Hdevset::None) return;
    // Removed devices keep their place in the set, so the index simply advances.
    for (std::uint32_t index = 0; devices.EnumDevice(set, index); ++index) {
        bool match = false;
        plat::Hkey key = devices.OpenDriverKey(set, index);
        if (key != plat::Hkey::None) {
            std::vector<std::uint8_t> data;
            std::uint32_t type = 0;
            if (!section.empty() && reg.QueryValue(key, "InfSection", kInfSectionBuffer, data, &type)) {
                std::string value(data.begin(), data.end());
                value = value.substr(0, value.find('\0'));
                match = SameIgnoringCase(value, section);
            }
            reg.CloseKey(key);
        }
        if (match || force) {
            if (family != Family::Win2000_XP) devices.DeleteDriverKey(set, index);
            devices.RemoveDevice(set, index);
        }
    }
    devices.DestroySet(set);
}

void UninstallMain(plat::System& sys, const std::string& commandLine) {
    const Family family = FamilyOf(sys.systemInfo().Version());
    const bool nt = family == Family::Win2000_XP;
    const bool silent = HasCommandLineKeyword(commandLine, kSilentKeyword);
    const bool reboot = HasCommandLineKeyword(commandLine, kRebootKeyword);
    const std::uint32_t base = GetLanguageBase(sys);

    if (nt && !IsAdministrator(sys)) {
        if (!silent) Ask(sys, base, MSG_NO_RIGHTS, MSG_NO_RIGHTS_CAPTION, kRightsBox);
        return;
    }
    if (!silent && Ask(sys, base, MSG_CONFIRM_UNINSTALL, MSG_CONFIRM_UNINSTALL_CAPTION, kQuestionBox) != plat::IDYES)
        return;

    const bool adapter = HasCommandLineKeyword(commandLine, kAdapterPackage);
    const bool secondBridge = HasCommandLineKeyword(commandLine, kSecondBridgePackage);
    const bool firstBridge = HasCommandLineKeyword(commandLine, kFirstBridgePackage);

    // The packages' Uninstall entries; without the prefix no key can be
    // named, and every package then counts as still installed.
    const std::string uninstallKey = Name(sys, IDS_UNINSTALL_KEY);
    bool RemoveAll = false;
    if (!uninstallKey.empty()) {
        if (adapter) DeleteRegistryTree(sys, uninstallKey + kAdapterPackage);
        if (secondBridge) DeleteRegistryTree(sys, uninstallKey + kSecondBridgePackage);
        if (firstBridge) DeleteRegistryTree(sys, uninstallKey + kFirstBridgePackage);
        RemoveAll = !RegistryKeyExists(sys, uninstallKey + kAdapterPackage) &&
                    !RegistryKeyExists(sys, uninstallKey + kSecondBridgePackage) &&
                    !RegistryKeyExists(sys, uninstallKey + kFirstBridgePackage);
    }

    auto named = [&](Package p) {
        switch (p) {
            case Package::Adapter: return adapter;
            case Package::SecondBridge: return secondBridge;
            case Package::FirstBridge: return firstBridge;
        }
        return false;
    };
    const std::string infFolder = Name(sys, IDS_INF);
    const std::string otherInfFolder = Name(sys, IDS_INF_OTHER);
    for (const DeviceClassRow& row : DeviceClassTable) {
        if (!RemoveAll && !named(row.package)) continue;
        RemoveDevicesBySection(sys, row.setupClass, std::nullopt, plat::DIGCF_NONE, row.section, family, false);
        if (!infFolder.empty()) RemoveInfCopies(sys, infFolder, "oem*.inf", row.section);
        if (!nt && !otherInfFolder.empty()) RemoveInfCopies(sys, otherInfFolder, "*.inf", row.section);
    }

    if (RemoveAll || firstBridge) RemoveDriverPackage(sys, IDS_BRIDGE1_SYS, IDS_BRIDGE1_INF, kFirstBridgePackage);
    if (RemoveAll || secondBridge) RemoveDriverPackage(sys, IDS_BRIDGE2_SYS, IDS_BRIDGE2_INF, kSecondBridgePackage);
    if (RemoveAll || adapter) {
        RemoveDriverPackage(sys, IDS_ADAPTER_SYS, IDS_ADAPTER_INF, kAdapterPackage);
        if (RemoveAll) {
            // Every device the Windows 9x port driver enumerated.
            RemoveDevicesBySection(sys, std::nullopt, std::string(kPortEnumerator), plat::DIGCF_ALLCLASSES,
                                   kPortEnumerator, family, true);
            if (!nt) {
                RemoveNamed(sys, RemoveDriverFile, IDS_MINIPORT_SYS);
                RemoveNamed(sys, RemoveIosubsysFile, IDS_PORT_DRIVER);
                RemoveNamed(sys, RemoveInfFile, IDS_PORT_INF);
                RunNamed(sys, IDS_TRAY_9X_EXE, " -end");
                RemoveNamed(sys, RemoveWindowsFile, IDS_TRAY_9X_EXE);
                RemoveNamed(sys, RemoveSystemFile, IDS_PAGES_16_DLL);
                RemoveNamed(sys, RemoveSystemFile, IDS_PAGES_32_DLL);
            } else {
                RunNamed(sys, IDS_TRAY_EXE, " -end");
                RemoveNamed(sys, RemoveWindowsFile, IDS_TRAY_EXE);
                RemoveNamed(sys, RemoveSystemFile, IDS_PAGES_32_DLL);
                RemoveNamed(sys, RemoveSystemFile, IDS_COINSTALLER_DLL);
            }
            RunNamed(sys, IDS_WATCH_EXE, " -remove");
            RemoveNamed(sys, RemoveWindowsFile, IDS_WATCH_EXE);
            RemoveNamed(sys, RemoveSystemFile, IDS_UNINSTALLER_EXE);
        }
    }

    if (silent) {
        if (!reboot) return;
    } else if (!reboot &&
               Ask(sys, base, MSG_CONFIRM_REBOOT, MSG_CONFIRM_REBOOT_CAPTION, kQuestionBox) != plat::IDYES) {
        return;
    }
    EnablePrivilege(sys, kShutdownPrivilege);
    sys.token().RequestShutdown(plat::EWX_SHUTDOWN | plat::EWX_REBOOT, kShutdownReason);
}

int UninstallerProgram(plat::System& sys) {
    UninstallMain(sys, sys.process().CommandLine());
    return 1;
}

}  // namespace uninst
