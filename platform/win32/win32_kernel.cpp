// Kernel objects and the process's command line over kernel32.
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

    std::uint32_t LastError() override { return GetLastError(); }
    void SetLastError(std::uint32_t code) override { ::SetLastError(code); }
};

class Win32Process final : public Process {
public:
    // As the runtime hands a program its command line: the program name
    // (quoted or not) and the blanks after it are skipped.
    std::string CommandLine() override {
        const char* p = GetCommandLineA();
        if (p == nullptr) return {};
        if (*p == '"') {
            ++p;
            while (*p != '\0' && *p != '"') p += IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0' ? 2 : 1;
            if (*p == '"') ++p;
        } else {
            while (static_cast<unsigned char>(*p) > ' ')
                p += IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0' ? 2 : 1;
        }
        while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
        return p;
    }
};

}  // namespace

std::unique_ptr<Kernel> MakeKernel() { return std::make_unique<Win32Kernel>(); }
std::unique_ptr<Process> MakeProcess() { return std::make_unique<Win32Process>(); }

}  // namespace plat::win32
