#include "platform/win32/win32_test_probe.h"

#include "platform/win32/win32_api.h"

namespace plat::win32::probe {

void SleepMs(std::uint32_t milliseconds) { Sleep(milliseconds); }

bool BroadcastSent(std::uint32_t message, std::uintptr_t wParam, const void* block) {
    DWORD recipients = BSM_ALLCOMPONENTS;
    // BSF_QUERY is what makes the broadcast a send to each window: Wine
    // delivers a posted (or notify-sent) WM_DEVICECHANGE that carries a
    // block to nobody (ERROR_MESSAGE_SYNC_ONLY) while still reporting success.
    // No receiver of ours denies the query.
    return BroadcastSystemMessageA(BSF_QUERY | BSF_FORCEIFHUNG, &recipients, message, wParam,
                                   reinterpret_cast<LPARAM>(block)) > 0;
}

bool SendWithTimeout(Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                     std::uint32_t timeoutMs, std::intptr_t* result) {
    DWORD_PTR r = 0;
    const LRESULT ok = SendMessageTimeoutA(ToHwnd(hwnd), message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &r);
    if (result) *result = static_cast<std::intptr_t>(r);
    return ok != 0;
}

}  // namespace plat::win32::probe
