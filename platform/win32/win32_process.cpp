#include "platform/win32/win32_process.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/win32_api.h"

namespace plat::win32 {

namespace {

class Win32Process final : public plat::Process {
public:
    std::string CommandLine() override {
        // What the class library hands the application: the text after the
        // program name, which may be quoted, with the blanks before it removed.
        const char* p = GetCommandLineA();
        if (p == nullptr) return {};
        auto step = [](const char* c) { return IsDBCSLeadByte(static_cast<BYTE>(*c)) && c[1] != '\0' ? 2 : 1; };
        if (*p == '"') {
            ++p;
            while (*p != '\0' && *p != '"') p += step(p);
            if (*p == '"') ++p;
        } else {
            while (static_cast<unsigned char>(*p) > ' ') p += step(p);
        }
        while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
        return p;
    }

    bool ModulePath(std::size_t capacity, std::string& path) override {
        path.clear();
        if (capacity == 0) return false;
        const DWORD size = capacity > 0x8000 ? 0x8000 : static_cast<DWORD>(capacity);
        std::vector<char> buffer(size, '\0');
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), size);
        // A path that filled the buffer was cut short (and may lack its terminator).
        if (n == 0 || n >= size) return false;
        path.assign(buffer.data(), n);
        return true;
    }

    bool ExpandEnvironment(const std::string& text, std::size_t capacity, std::string& expanded) override {
        expanded.clear();
        if (capacity == 0 || capacity > 0x7FFF) return false;
        std::vector<char> buffer(capacity + 1, '\0');
        DWORD needed = ExpandEnvironmentStringsA(text.c_str(), buffer.data(), static_cast<DWORD>(capacity));
        // The count includes the terminator; more than the buffer means it did not fit.
        if (needed == 0 || needed > capacity) return false;
        expanded = buffer.data();
        return true;
    }

    bool StartOnDesktop(const std::string& commandLine, const std::string& desktop,
                        plat::StartedProcess& started) override {
        started = {};
        // CreateProcessA may write into both strings: give it copies.
        std::vector<char> cmd(commandLine.begin(), commandLine.end());
        cmd.push_back('\0');
        std::vector<char> desk(desktop.begin(), desktop.end());
        desk.push_back('\0');
        STARTUPINFOA si;
        ZeroMemory(&si, sizeof si);
        si.cb = sizeof si;
        si.lpDesktop = desk.data();
        PROCESS_INFORMATION pi;
        ZeroMemory(&pi, sizeof pi);
        if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return false;
        started.process = static_cast<plat::Hobject>(reinterpret_cast<std::uintptr_t>(pi.hProcess));
        started.thread = static_cast<plat::Hobject>(reinterpret_cast<std::uintptr_t>(pi.hThread));
        return true;
    }
};

}  // namespace

std::unique_ptr<Process> MakeProcess() { return std::make_unique<Win32Process>(); }

}  // namespace plat::win32
