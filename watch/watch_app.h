// The background watcher TRVWATCH: command line, log-on registration in the
// machine's Run key, one watcher per session, and its hidden window.
#pragma once

#include <cstddef>
#include <string>

#include "classlib/afxwin.h"

namespace watch {

inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValue[] = "TRVWATCH";
inline constexpr char kMutexName[] = "TRVWATCH_MUTEX";
inline constexpr char kWindowTitle[] = "TRVWATCH";
inline constexpr char kSetupOption[] = "-setup";
inline constexpr char kRemoveOption[] = "-remove";
inline constexpr std::size_t kCommandLineCopy = 128;   // 127 characters and the terminator
inline constexpr std::size_t kModulePathBuffer = 1024;  // 1023 characters and the terminator

enum class WatchOption { None, Setup, Remove };

// The option the command line asks for. Tokens are separated by runs of
// spaces (a tab is part of a token) and compared whole and case-sensitively;
// the first token that is an option decides. Only the 127 characters of the
// working copy are examined, and a token that the end of the copy cuts short
// is not taken for an option.
WatchOption FindWatchOption(const std::string& commandLine);

// What the Run value holds and what is started for the executable at `path`:
// the path as it stands, or in double quotes when it has a blank (so that
// the system cannot take a leading part of it for the program).
std::string CommandForPath(const std::string& path);

// "-setup": writes the Run value "TRVWATCH" with the running executable's
// path and, with `startCopy`, starts that executable without arguments.
void RegisterLogOnStart(plat::System& sys, bool startCopy);
// "-remove": deletes the Run value and, with `stopRunning`, posts WM_QUIT to
// the running watcher's window.
void UnregisterLogOnStart(plat::System& sys, bool stopRunning);

// Starts `commandLine` on the interactive desktop "WinSta0\Default" and does
// not wait for it; a start that fails is ignored.
void StartInteractiveProcess(plat::System& sys, const std::string& commandLine);

class CWatchApp : public CWinApp {
    DECLARE_DYNAMIC(CWatchApp)
public:
    explicit CWatchApp(plat::System& sys) : CWinApp(sys) {}
    // A watcher stopped by "-remove" still has its window; the system takes
    // the window with the process, and the window object is released here.
    ~CWatchApp() override;
    bool InitInstance() override;
    int ExitInstance() override;

    plat::Hobject m_hMutex = plat::Hobject::None;
};

// The program TRVWATCH. Exit code 0 in every case.
int WatchMain(plat::System& sys);

}  // namespace watch
