// TRVUNINST: removes the named driver packages and, when none is left, the
// components they share and the suite's other programs, then offers a reboot.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/system.h"

namespace uninst {

// The version families the uninstaller tells apart.
enum class Family {
    Win95_98,    // every version that is neither of the others: 95, 98, NT 4.0, and above 5
    Me,          // 4.90
    Win2000_XP,  // any 5.x
};
Family FamilyOf(const plat::OsVersion& version);

enum class Package { Adapter, SecondBridge, FirstBridge };

struct DeviceClassRow {
    Package package;
    const char* section;  // the INF section the package's devices are installed from
    plat::Guid setupClass;
};
// The packages' INF sections, in the order their devices are removed.
extern const std::array<DeviceClassRow, 5> DeviceClassTable;

inline constexpr char kSilentKeyword[] = "SILENT";
inline constexpr char kRebootKeyword[] = "REBOOT";
inline constexpr char kAdapterPackage[] = "TRVADPT";
inline constexpr char kSecondBridgePackage[] = "TRVBRG2";
inline constexpr char kFirstBridgePackage[] = "TRVBRG1";
inline constexpr char kPortEnumerator[] = "TRVIOS";
inline constexpr char kShutdownPrivilege[] = "SeShutdownPrivilege";
inline constexpr std::uint32_t kProgramWaitMs = 30000;
inline constexpr std::uint32_t kShutdownReason = 0xFFFFFFFF;

// The whole run for the command line (the text after the program name).
void UninstallMain(plat::System& sys, const std::string& commandLine);
// The program: the run, and exit code 1 whatever happened.
int UninstallerProgram(plat::System& sys);

// Whether a token of the command line's first line (tokens split at blanks
// and tabs) begins with `keyword`, letters compared without regard to case.
bool HasCommandLineKeyword(const std::string& commandLine, const std::string& keyword);

// The base number of the message block for the system default locale.
std::uint32_t GetLanguageBase(plat::System& sys);
// The same for a language identifier (primary language in the low 10 bits,
// sublanguage in the next 6).
std::uint32_t LanguageBaseFor(std::uint32_t languageId);

// Whether the process token holds the Administrators group enabled.
bool IsAdministrator(plat::System& sys);
// Enables one privilege of the process token. True on the Windows 95/98/Me
// family, which has no tokens.
bool EnablePrivilege(plat::System& sys, const std::string& name);
// Starts the command on the interactive desktop; with `wait`, waits at most
// 30 seconds for it to end. True when started (and, with wait, ended in time).
bool RunAndWait(plat::System& sys, const std::string& commandLine, bool wait);
// Removes the devices of the set chosen by class, enumerator and flags whose
// driver key names `section` as its "InfSection" (letter case ignored), or
// every device of the set with `force`.
void RemoveDevicesBySection(plat::System& sys, const std::optional<plat::Guid>& setupClass,
                            const std::optional<std::string>& enumerator, std::uint32_t flags,
                            const std::string& section, Family family, bool force);

}  // namespace uninst
