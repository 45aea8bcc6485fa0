#include "watch/watch_app.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "watch/watch_wnd.h"

namespace watch {

IMPLEMENT_DYNAMIC(CWatchApp, CWinApp)

WatchOption FindWatchOption(const std::string& commandLine) {
    char copy[kCommandLineCopy] = {};
    std::strncpy(copy, commandLine.c_str(), sizeof copy - 1);
    std::string_view rest(copy);
    // A command line longer than the copy ends inside the copy's last token
    // unless a space follows it: that token is incomplete and not looked at.
    const bool cut = rest.size() == sizeof copy - 1 && commandLine.size() > rest.size() &&
                     commandLine[rest.size()] != ' ';
    while (!rest.empty()) {
        std::size_t end = rest.find(' ');
        std::string_view token = rest.substr(0, end);
        if (end == std::string_view::npos && cut) break;
        if (token == kRemoveOption) return WatchOption::Remove;
        if (token == kSetupOption) return WatchOption::Setup;
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return WatchOption::None;
}

std::string CommandForPath(const std::string& path) {
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

void StartInteractiveProcess(plat::System& sys, const std::string& commandLine) {
    plat::StartedProcess started;
    if (!sys.process().StartOnDesktop(commandLine, plat::kInteractiveDesktop, started)) return;
    sys.kernel().Close(started.process);
    sys.kernel().Close(started.thread);
}

void RegisterLogOnStart(plat::System& sys, bool startCopy) {
    std::string path;
    if (!sys.process().ModulePath(kModulePathBuffer, path)) return;
    const std::string command = CommandForPath(path);
    plat::Registry& reg = sys.registry();
    plat::Hkey run = reg.CreateKey(plat::Hkey::LocalMachine, kRunKey);
    if (run != plat::Hkey::None) {
        std::vector<std::uint8_t> data(command.begin(), command.end());
        data.push_back(0);  // the data length counts the terminator
        reg.SetValue(run, kRunValue, plat::REG_SZ, data);
        reg.CloseKey(run);
    }
    if (startCopy) StartInteractiveProcess(sys, command);
}

void UnregisterLogOnStart(plat::System& sys, bool stopRunning) {
    plat::Registry& reg = sys.registry();
    plat::Hkey run = reg.CreateKey(plat::Hkey::LocalMachine, kRunKey);
    if (run != plat::Hkey::None) {
        reg.DeleteValue(run, kRunValue);
        reg.CloseKey(run);
    }
    if (!stopRunning) return;
    plat::Hwnd running = sys.ui().FindTopLevel(kWindowTitle);
    if (running != plat::Hwnd::None) sys.ui().Post(running, plat::WM_QUIT, 0, 0);
}

CWatchApp::~CWatchApp() { delete m_pMainWnd; }

bool CWatchApp::InitInstance() {
    switch (FindWatchOption(m_lpCmdLine)) {
        case WatchOption::Remove: UnregisterLogOnStart(m_sys, true); return false;
        case WatchOption::Setup: RegisterLogOnStart(m_sys, true); return false;
        case WatchOption::None: break;
    }
    bool existed = false;
    m_hMutex = m_sys.kernel().CreateNamedMutex(kMutexName, existed);
    if (existed) {
        // Another watcher already runs in this session.
        m_sys.kernel().Close(m_hMutex);
        m_hMutex = plat::Hobject::None;
        return false;
    }
    auto* wnd = new CWatchWnd(m_sys);
    if (!wnd->Create()) return false;  // the window object has gone with its window
    SetMainWnd(wnd);
    return true;
}

int CWatchApp::ExitInstance() {
    if (m_hMutex != plat::Hobject::None) {
        m_sys.kernel().Close(m_hMutex);
        m_hMutex = plat::Hobject::None;
    }
    return 0;
}

int WatchMain(plat::System& sys) {
    CWatchApp app(sys);
    app.RunApplication();
    return 0;
}

}  // namespace watch
