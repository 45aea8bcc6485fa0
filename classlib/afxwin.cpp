#include "classlib/afxwin.h"

const CRuntimeClass CObject::classCObject{"CObject", nullptr, nullptr};
const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass)
        if (c == base) return true;
    return false;
}

IMPLEMENT_DYNAMIC(CWnd, CObject)
IMPLEMENT_DYNAMIC(CFrameWnd, CWnd)
IMPLEMENT_DYNAMIC(CWinApp, CObject)

bool CWnd::CreateEx(const std::string& className, const std::string& title, std::uint32_t style) {
    bool createSeen = false;
    m_pCreateSeen = &createSeen;
    plat::Hwnd h = m_sys.ui().CreateTopLevel({className, title, style}, this);
    if (h == plat::Hwnd::None) {
        // A window that saw WM_CREATE also saw WM_NCDESTROY and is gone;
        // one that never existed is released here the same way.
        if (!createSeen) PostNcDestroy();
        return false;
    }
    m_pCreateSeen = nullptr;
    return true;
}

bool CWnd::DestroyWindow() {
    return m_hWnd != plat::Hwnd::None && m_sys.ui().Destroy(m_hWnd);
}

std::intptr_t CWnd::WindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    for (const MessageMapEntry& e : GetMessageMap())
        if (e.message == message) return (this->*e.handler)(wParam, lParam);
    return DefWindowProc(message, wParam, lParam);
}

std::intptr_t CWnd::DefWindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    return m_sys.ui().DefaultProcedure(m_hWnd, message, wParam, lParam);
}

std::intptr_t CWnd::HandleMessage(plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) {
    if (m_hWnd == plat::Hwnd::None) m_hWnd = hwnd;
    if (message == plat::WM_CREATE && m_pCreateSeen) *m_pCreateSeen = true;
    if (message == plat::WM_NCDESTROY) {
        std::intptr_t r = WindowProc(message, wParam, lParam);
        if (m_pApp && m_pApp->m_pMainWnd == this) m_pApp->m_pMainWnd = nullptr;
        m_hWnd = plat::Hwnd::None;
        PostNcDestroy();  // may delete this
        return r;
    }
    return WindowProc(message, wParam, lParam);
}

bool CFrameWnd::Create(const std::string& title, std::uint32_t style) {
    std::string cls = AfxRegisterWndClass(m_sys);
    if (cls.empty()) {
        PostNcDestroy();
        return false;
    }
    return CreateEx(cls, title, style);
}

std::string AfxRegisterWndClass(plat::System& sys) {
    static const char kName[] = "AfxWnd:0:0:0:0";
    return sys.ui().RegisterWindowClass(kName) ? kName : std::string();
}

void CWinApp::SetMainWnd(CWnd* wnd) {
    m_pMainWnd = wnd;
    if (wnd) wnd->m_pApp = this;
}

int CWinApp::RunApplication() {
    m_pszAppName = m_sys.resources().String(AFX_IDS_APP_TITLE);
    m_lpCmdLine = m_sys.process().CommandLine();
    if (!InitInstance()) {
        if (m_pMainWnd) m_pMainWnd->DestroyWindow();
        return ExitInstance();
    }
    return Run();
}

int CWinApp::Run() {
    plat::Msg msg;
    while (m_sys.ui().NextMessage(msg)) m_sys.ui().Dispatch(msg);
    m_nQuitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}
