// Kernel objects over kernel32: named mutexes, threads, waits, handles.
#include "platform/win32/win32_api.h"

namespace plat::win32 {

namespace {

DWORD WINAPI ThreadStart(LPVOID parameter) {
    std::unique_ptr<std::function<std::uint32_t()>> body(static_cast<std::function<std::uint32_t()>*>(parameter));
    return (*body)();
}

class Win32Kernel final : public Kernel {
public:
    Hobject CreateNamedMutex(const std::string& name, bool& alreadyExisted) override {
        HANDLE h = CreateMutexA(nullptr, FALSE, name.c_str());
        const DWORD error = GetLastError();
        alreadyExisted = h != nullptr && error == ERROR_ALREADY_EXISTS;
        return FromHandle(h);
    }

    Hobject StartThread(std::function<std::uint32_t()> body) override {
        auto* owned = new std::function<std::uint32_t()>(std::move(body));
        HANDLE h = CreateThread(nullptr, 0, ThreadStart, owned, 0, nullptr);
        if (h == nullptr) {
            const DWORD error = GetLastError();
            delete owned;
            ::SetLastError(error);
            return Hobject::None;
        }
        return FromHandle(h);
    }

    bool ExitCode(Hobject handle, std::uint32_t& code) override {
        DWORD c = 0;
        if (GetExitCodeThread(ToHandle(handle), &c) || GetExitCodeProcess(ToHandle(handle), &c)) {
            code = c;
            return true;
        }
        return false;
    }

    std::uint32_t Wait(Hobject handle, std::uint32_t milliseconds) override {
        const DWORD r = WaitForSingleObject(ToHandle(handle), milliseconds);
        if (r == WAIT_ABANDONED) return WAIT_OBJECT_0;
        return r;
    }

    bool Close(Hobject handle) override { return handle != Hobject::None && CloseHandle(ToHandle(handle)) != FALSE; }

    std::uint32_t TickCount() override { return GetTickCount(); }

    std::uint32_t LastError() override { return GetLastError(); }
    void SetLastError(std::uint32_t code) override { ::SetLastError(code); }
};

}  // namespace

std::unique_ptr<Kernel> MakeKernel() { return std::make_unique<Win32Kernel>(); }

}  // namespace plat::win32
