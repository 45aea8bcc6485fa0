// The notification-area icon over Shell_NotifyIconA.
#include "platform/win32/win32_api.h"

#include <shellapi.h>

#include <cstring>

namespace plat::win32 {

namespace {

class Win32ShellTray final : public ShellTray {
public:
    bool Notify(NotifyOp op, const NotifyIconData& data) override {
        // The programs mark their blocks with the shell-5 size; anything else
        // is not one of ours.
        if (data.size != kNotifyIconDataSize) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        NOTIFYICONDATAA nid{};
        // The shell-5 layout of this platform: everything up to the balloon
        // fields, without the later GUID and balloon-icon members.
        nid.cbSize = NOTIFYICONDATAA_V2_SIZE;
        nid.hWnd = ToHwnd(data.owner);
        nid.uID = data.id;
        nid.uFlags = data.flags & (NIF_MESSAGE | NIF_ICON | NIF_TIP);
        nid.uCallbackMessage = data.callbackMessage;
        nid.hIcon = reinterpret_cast<HICON>(Raw(data.icon));
        static_assert(sizeof nid.szTip == sizeof data.tip, "the tooltip fields have the same size");
        std::memcpy(nid.szTip, data.tip, sizeof nid.szTip);
        nid.szTip[sizeof nid.szTip - 1] = '\0';
        DWORD message = NIM_ADD;
        switch (op) {
            case NotifyOp::Add: message = NIM_ADD; break;
            case NotifyOp::Modify: message = NIM_MODIFY; break;
            case NotifyOp::Delete: message = NIM_DELETE; break;
        }
        return Shell_NotifyIconA(message, &nid) != FALSE;
    }
};

}  // namespace

std::unique_ptr<ShellTray> MakeShellTray() { return std::make_unique<Win32ShellTray>(); }

}  // namespace plat::win32
