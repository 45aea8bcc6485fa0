// TRVBUTTON: starts the backup application registered for button backups,
// or tells the user in dialog 100 that none could be found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/afxwin.h"

namespace button {

inline constexpr char kButtonBackupKey[] = "SOFTWARE\\Dantz\\Retrospect\\ButtonBackup";
inline constexpr char kApplicationPathValue[] = "ApplicationPath";
inline constexpr char kLaunchParameterValue[] = "LaunchParameter";
inline constexpr std::size_t kValueBuffer = 260;
inline constexpr std::size_t kCommandBuffer = 260;
inline constexpr std::uint32_t IDD_NO_BACKUP_APPLICATION = 100;

// Results of LookUpBackupCommand. There is no code 4.
inline constexpr int BACKUP_COMMAND_WITH_PARAMETER = 0;  // application and its parameter: start it
inline constexpr int BACKUP_NO_APPLICATION_PATH = 1;     // "ApplicationPath" cannot be read
inline constexpr int BACKUP_COMMAND_ALONE = 2;           // application without a parameter: start it
inline constexpr int BACKUP_NO_KEY = 3;                  // the registration key cannot be opened
inline constexpr int BACKUP_UNUSABLE = 5;                // an empty or unusable path, or no room for the command

// Composes the command that starts the registered backup application. The
// application path is quoted, the parameter too when it holds a blank; a
// command that does not fit the 260-byte buffer is unusable.
int LookUpBackupCommand(plat::System& sys, std::string& command);

class CButtonApp : public CWinApp {
    DECLARE_DYNAMIC(CButtonApp)
public:
    explicit CButtonApp(plat::System& sys) : CWinApp(sys) {}
    // Starts the application or shows dialog 100, then reports failure so
    // that the program ends without a message loop.
    bool InitInstance() override;
};

// The program; exit code 0.
int ButtonProgram(plat::System& sys);

}  // namespace button
