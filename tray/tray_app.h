// The notifier application: single instance, "-end", the hidden main window.
#pragma once

#include <string>

#include "classlib/afxwin.h"
#include "tray/family.h"

namespace tray {

inline constexpr char kMutexName[] = "TRVNOTIF_MUTEX";
inline constexpr char kStopToken[] = "-end";
inline constexpr std::size_t kCommandLineCopy = 128;

class CTrayApp : public CWinApp {
    DECLARE_DYNAMIC(CTrayApp)
public:
    CTrayApp(plat::System& sys, Family family) : CWinApp(sys), m_family(family) {}
    bool InitInstance() override;
    int ExitInstance() override;

    plat::Hobject m_hMutex = plat::Hobject::None;

private:
    Family m_family;
};

// The program: TRVTRAY (Family::Nt) or TRVTRAY9X (Family::Win9x). Exit code 0.
int TrayMain(plat::System& sys, Family family);

// Whether the command line holds the token "-end" (exact, case-sensitive,
// tokens split at spaces), examined in its 128-byte working copy.
bool HasStopToken(const std::string& commandLine);

}  // namespace tray
