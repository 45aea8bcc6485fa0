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

std::string ModulePath() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return {};
    return std::string(path, n);
}

std::string RawCommandLine() {
    const char* line = GetCommandLineA();
    return line ? std::string(line) : std::string();
}

bool ClickChildButton(Hwnd window, const char* text) {
    HWND button = FindWindowExA(ToHwnd(window), nullptr, "Button", text);
    if (!button) return false;
    DWORD_PTR r = 0;
    return SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r) != 0;
}

bool StartRaw(const std::string& commandLine) {
    std::string line = commandLine;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

}  // namespace plat::win32::probe
