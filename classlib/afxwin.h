// Application and window classes of our class library, over the platform
// interface: CWinApp with its message loop, CWnd with a message map and an
// overridable WindowProc, CFrameWnd that deletes itself with its window.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "classlib/afx.h"
#include "platform/system.h"

inline constexpr std::uint32_t AFX_IDS_APP_TITLE = 57344;

class CWinApp;

class CWnd : public CObject, public plat::WindowProcedure {
    DECLARE_DYNAMIC(CWnd)
public:
    using Handler = std::intptr_t (CWnd::*)(std::uintptr_t wParam, std::intptr_t lParam);
    struct MessageMapEntry {
        std::uint32_t message;
        Handler handler;
    };

    explicit CWnd(plat::System& sys) : m_sys(sys) {}
    ~CWnd() override = default;

    // Creates the window as a hidden top-level window. For a window whose
    // PostNcDestroy deletes it, a failed creation leaves the object deleted.
    bool CreateEx(const std::string& className, const std::string& title, std::uint32_t style);
    bool DestroyWindow();
    plat::Hwnd GetSafeHwnd() const { return m_hWnd; }
    plat::System& sys() const { return m_sys; }

    // The message procedure: the message map first, then default processing.
    virtual std::intptr_t WindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
    std::intptr_t DefWindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

    plat::Hwnd m_hWnd = plat::Hwnd::None;
    CWinApp* m_pApp = nullptr;  // set while this is an application's main window

protected:
    virtual std::span<const MessageMapEntry> GetMessageMap() const { return {}; }
    // Runs after the last message the window receives.
    virtual void PostNcDestroy() {}

    plat::System& m_sys;

private:
    std::intptr_t HandleMessage(plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam) final;
    bool* m_pCreateSeen = nullptr;
};

class CFrameWnd : public CWnd {
    DECLARE_DYNAMIC(CFrameWnd)
public:
    explicit CFrameWnd(plat::System& sys) : CWnd(sys) {}
    // Registers the library's plain window class and creates the frame.
    bool Create(const std::string& title, std::uint32_t style);
    // The frame's own part of WM_CREATE; 0 on success, -1 to refuse.
    int OnCreate() { return 0; }

protected:
    void PostNcDestroy() override { delete this; }
};

// A window class registered through the class library: no cursor, no
// background brush, no icon. Returns its name (empty on failure).
std::string AfxRegisterWndClass(plat::System& sys);

class CWinApp : public CObject {
    DECLARE_DYNAMIC(CWinApp)
public:
    explicit CWinApp(plat::System& sys) : m_sys(sys) {}
    ~CWinApp() override = default;

    // What the library does for a program: takes the title and command line,
    // runs InitInstance, then the message loop, and ends with ExitInstance,
    // whose result is the exit code.
    int RunApplication();

    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return 0; }
    virtual int Run();

    void SetMainWnd(CWnd* wnd);
    void Enable3dControls() {}
    plat::System& sys() const { return m_sys; }

    CWnd* m_pMainWnd = nullptr;
    std::string m_pszAppName;
    std::string m_lpCmdLine;
    int m_nQuitCode = 0;

protected:
    plat::System& m_sys;
};
