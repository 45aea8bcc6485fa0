// Windows and message queues: hidden top-level windows, posting, sending,
// broadcasting, the message loop, timers and device-interface notifications.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace plat {

// The window procedure of one window. Every message for the window, WM_CREATE
// included (which arrives before CreateTopLevel returns), goes here.
class WindowProcedure {
public:
    virtual std::intptr_t HandleMessage(Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam) = 0;

protected:
    ~WindowProcedure() = default;
};

struct WindowSpec {
    std::string className;
    std::string title;
    std::uint32_t style = 0;
};

class Ui {
public:
    virtual ~Ui() = default;

    // Registers a window class with no cursor, background brush or icon.
    // Registering a name twice is not an error.
    virtual bool RegisterWindowClass(const std::string& name) = 0;
    // Creates a top-level window at the default position and size, with no
    // parent and no menu, never shown. Returns None when the class is unknown
    // or the procedure answered WM_CREATE with -1.
    virtual Hwnd CreateTopLevel(const WindowSpec& spec, WindowProcedure* procedure) = 0;
    // Sends WM_DESTROY and then WM_NCDESTROY, after which the handle is gone.
    virtual bool Destroy(Hwnd hwnd) = 0;
    virtual bool IsWindow(Hwnd hwnd) = 0;
    virtual bool IsVisible(Hwnd hwnd) = 0;
    virtual std::intptr_t DefaultProcedure(Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam,
                                           std::intptr_t lParam) = 0;

    virtual bool Post(Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual std::intptr_t Send(Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual void PostQuit(int exitCode) = 0;
    // Waits for the calling thread's next message. False once WM_QUIT is taken
    // (its wParam is then in msg.wParam).
    virtual bool NextMessage(Msg& msg) = 0;
    virtual std::intptr_t Dispatch(const Msg& msg) = 0;

    // Any top-level window whose title is exactly `title`, of any class.
    virtual Hwnd FindTopLevel(const std::string& title) = 0;
    // Posts `message` to every top-level window of the desktop, the caller's
    // own included (BroadcastSystemMessage with BSF_POSTMESSAGE to all
    // components). `block` starts with its own 32-bit size; the system copies
    // that many bytes, so the caller may free the block when this returns.
    virtual bool BroadcastPost(std::uint32_t message, std::uintptr_t wParam, const void* block) = 0;

    virtual bool SetForeground(Hwnd hwnd) = 0;
    virtual Point CursorPos() = 0;

    // Window timers. StartTimer returns the timer id (0 on failure); starting
    // a running timer again restarts its countdown.
    virtual std::uintptr_t StartTimer(Hwnd hwnd, std::uintptr_t id, std::uint32_t milliseconds) = 0;
    virtual bool StopTimer(Hwnd hwnd, std::uintptr_t id) = 0;
};

class DeviceNotifications {
public:
    virtual ~DeviceNotifications() = default;
    // Registers `hwnd` for the notifications described by `filter`, a
    // DEV_BROADCAST_DEVICEINTERFACE block (32 bytes: size, device type 5,
    // reserved, interface class, empty name). None on failure; the reason is
    // then in Kernel::LastError.
    virtual Hnotify Register(Hwnd hwnd, const void* filter) = 0;
    virtual bool Unregister(Hnotify handle) = 0;
};

}  // namespace plat
