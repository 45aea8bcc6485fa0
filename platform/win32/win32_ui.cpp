// Windows and message queues over user32, and device-interface notifications.
#include "platform/win32/win32_api.h"

#include <dbt.h>

namespace plat::win32 {

namespace {

// What one of our windows knows about itself, kept in GWLP_USERDATA from its
// first message until WM_NCDESTROY.
struct WindowLink {
    WindowProcedure* procedure = nullptr;
    bool createForwarded = false;  // WM_CREATE reached the procedure
    bool inCreate = true;          // CreateTopLevel has not returned yet (it then frees the link)
};

// The link of the window this thread is creating: WM_GETMINMAXINFO arrives
// before WM_NCCREATE brings the creation parameters.
thread_local WindowLink* t_creating = nullptr;
// The last message taken by NextMessage, so Dispatch hands the system the
// whole record (time and cursor position included).
thread_local MSG t_lastMessage{};

LRESULT CALLBACK TrvWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* link = reinterpret_cast<WindowLink*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (link == nullptr) {
        if (message == WM_NCCREATE && lParam != 0)
            link = static_cast<WindowLink*>(reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (link == nullptr) link = t_creating;
        if (link == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
        if (link == t_creating) t_creating = nullptr;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link));
    }
    if (message == WM_NCDESTROY) {
        // The last message: the procedure may delete itself while handling it.
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        WindowProcedure* procedure = link->procedure;
        const bool forward = link->createForwarded;
        if (!link->inCreate) delete link;
        // A procedure that never saw WM_CREATE learns of the failure from
        // CreateTopLevel instead, so it is not told twice.
        if (forward) return procedure->HandleMessage(FromHwnd(hwnd), message, wParam, lParam);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    if (message == WM_CREATE) link->createForwarded = true;
    return link->procedure->HandleMessage(FromHwnd(hwnd), message, wParam, lParam);
}

class Win32Ui final : public Ui {
public:
    bool RegisterWindowClass(const std::string& name) override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = TrvWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = name.c_str();
        // No cursor, no background brush, no icon.
        if (RegisterClassA(&wc) != 0) return true;
        return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }

    Hwnd CreateTopLevel(const WindowSpec& spec, WindowProcedure* procedure) override {
        if (procedure == nullptr) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return Hwnd::None;
        }
        auto* link = new WindowLink{procedure};
        WindowLink* outer = t_creating;
        t_creating = link;
        HWND h = CreateWindowExA(0, spec.className.c_str(), spec.title.c_str(), spec.style, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), link);
        const DWORD error = GetLastError();
        if (t_creating == link) t_creating = outer;
        if (h == nullptr) {
            // Refused before or by WM_CREATE: the window, if it existed, is gone.
            delete link;
            ::SetLastError(error);
            return Hwnd::None;
        }
        link->inCreate = false;  // from now on WM_NCDESTROY frees the link
        return FromHwnd(h);
    }

    bool Destroy(Hwnd hwnd) override { return DestroyWindow(ToHwnd(hwnd)) != FALSE; }
    bool IsWindow(Hwnd hwnd) override { return ::IsWindow(ToHwnd(hwnd)) != FALSE; }
    bool IsVisible(Hwnd hwnd) override { return IsWindowVisible(ToHwnd(hwnd)) != FALSE; }

    std::intptr_t DefaultProcedure(Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam) override {
        return DefWindowProcA(ToHwnd(hwnd), message, wParam, lParam);
    }

    bool Post(Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        return PostMessageA(ToHwnd(hwnd), message, wParam, lParam) != FALSE;
    }

    std::intptr_t Send(Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        return SendMessageA(ToHwnd(hwnd), message, wParam, lParam);
    }

    void PostQuit(int exitCode) override { PostQuitMessage(exitCode); }

    bool NextMessage(Msg& msg) override {
        MSG m{};
        const BOOL got = GetMessageA(&m, nullptr, 0, 0);
        if (got == -1) {
            msg = Msg{Hwnd::None, WM_QUIT, 0, 0};
            return false;
        }
        t_lastMessage = m;
        msg = Msg{FromHwnd(m.hwnd), m.message, m.wParam, m.lParam};
        return got != 0;
    }

    std::intptr_t Dispatch(const Msg& msg) override {
        MSG m = t_lastMessage;
        if (m.hwnd != ToHwnd(msg.hwnd) || m.message != msg.message || m.wParam != msg.wParam ||
            m.lParam != msg.lParam) {
            m = MSG{};
            m.hwnd = ToHwnd(msg.hwnd);
            m.message = msg.message;
            m.wParam = msg.wParam;
            m.lParam = msg.lParam;
            m.time = GetMessageTime();
        }
        TranslateMessage(&m);
        return DispatchMessageA(&m);
    }

    Hwnd FindTopLevel(const std::string& title) override { return FromHwnd(FindWindowA(nullptr, title.c_str())); }

    bool BroadcastPost(std::uint32_t message, std::uintptr_t wParam, const void* block) override {
        DWORD recipients = BSM_ALLCOMPONENTS;
        return BroadcastSystemMessageA(BSF_POSTMESSAGE, &recipients, message, wParam,
                                       reinterpret_cast<LPARAM>(block)) > 0;
    }

    bool SetForeground(Hwnd hwnd) override { return SetForegroundWindow(ToHwnd(hwnd)) != FALSE; }

    Point CursorPos() override {
        POINT p{};
        GetCursorPos(&p);
        return Point{p.x, p.y};
    }

    std::uintptr_t StartTimer(Hwnd hwnd, std::uintptr_t id, std::uint32_t milliseconds) override {
        return SetTimer(ToHwnd(hwnd), id, milliseconds, nullptr);
    }

    bool StopTimer(Hwnd hwnd, std::uintptr_t id) override { return KillTimer(ToHwnd(hwnd), id) != FALSE; }
};

class Win32DeviceNotifications final : public DeviceNotifications {
public:
    Hnotify Register(Hwnd hwnd, const void* filter) override {
        HDEVNOTIFY h = RegisterDeviceNotificationA(ToHwnd(hwnd), const_cast<void*>(filter),
                                                   DEVICE_NOTIFY_WINDOW_HANDLE);
        return static_cast<Hnotify>(reinterpret_cast<std::uintptr_t>(h));
    }

    bool Unregister(Hnotify handle) override {
        return UnregisterDeviceNotification(reinterpret_cast<HDEVNOTIFY>(Raw(handle))) != FALSE;
    }
};

}  // namespace

std::unique_ptr<Ui> MakeUi() { return std::make_unique<Win32Ui>(); }
std::unique_ptr<DeviceNotifications> MakeDeviceNotifications() {
    return std::make_unique<Win32DeviceNotifications>();
}

}  // namespace plat::win32
