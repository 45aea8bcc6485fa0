#include "tray/tray_app.h"

#include <cstring>

#include "tray/main_frame.h"
#include "tray/trace.h"

namespace tray {

IMPLEMENT_DYNAMIC(CTrayApp, CWinApp)

bool HasStopToken(const std::string& commandLine) {
    // The working copy holds 127 characters and the terminator; a longer
    // command line is examined only that far.
    char copy[kCommandLineCopy] = {};
    std::strncpy(copy, commandLine.c_str(), sizeof copy - 1);
    std::string_view rest(copy);
    while (!rest.empty()) {
        std::size_t end = rest.find(' ');
        std::string_view token = rest.substr(0, end);
        if (token == kStopToken) return true;
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return false;
}

bool CTrayApp::InitInstance() {
    TRAY_TRACE(m_sys, "Starting System Tray Application\n");
    if (HasStopToken(m_lpCmdLine)) {
        plat::Hwnd running = m_sys.ui().FindTopLevel(kMainWindowTitle);
        if (running != plat::Hwnd::None) {
            m_sys.ui().Post(running, plat::WM_QUIT, 0, 0);
            TRAY_TRACE(m_sys, "Stopping current System Tray\n");
        }
        return false;
    }
    bool existed = false;
    m_hMutex = m_sys.kernel().CreateNamedMutex(kMutexName, existed);
    if (existed) {
        m_sys.kernel().Close(m_hMutex);
        m_hMutex = plat::Hobject::None;
        return false;
    }
    Enable3dControls();
    auto* frame = new CMainFrame(m_sys, m_family);
    if (!frame->Create(kMainWindowTitle, plat::WS_OVERLAPPEDWINDOW)) {
        // The frame has deleted itself with its window.
        TRAY_TRACE(m_sys, "Failed to create AutoLoader window\n");
        return false;
    }
    SetMainWnd(frame);
    return true;
}

int CTrayApp::ExitInstance() {
    TRAY_TRACE(m_sys, "Ending System Tray Application\n");
    if (m_pMainWnd) m_pMainWnd->DestroyWindow();
    return 0;
}

int TrayMain(plat::System& sys, Family family) {
    CTrayApp app(sys, family);
    app.RunApplication();
    return 0;
}

}  // namespace tray
