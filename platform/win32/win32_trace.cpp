// The diagnostic trace sink: each line is appended to the file named by the
// environment variable TRV_TRACE_FILE; without it nothing is written. Only
// diagnostic builds of the programs have trace points that reach it.
#include "platform/win32/win32_api.h"

#include <string>

namespace plat::win32 {

namespace {

std::string TraceFileName() {
    char name[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("TRV_TRACE_FILE", name, sizeof name);
    return n > 0 && n < sizeof name ? std::string(name, n) : std::string();
}

class Win32TraceSink final : public TraceSink {
public:
    Win32TraceSink() : path_(TraceFileName()) {}

    void Write(std::string_view line) override {
        if (path_.empty()) return;
        // The last error belongs to the traced program; keep it.
        const DWORD error = GetLastError();
        // Opened per line, appending, so several threads and processes may
        // share the file and each line lands whole.
        HANDLE f = CreateFileA(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            std::string text(line);
            text += "\r\n";
            DWORD written = 0;
            WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            CloseHandle(f);
        }
        ::SetLastError(error);
    }

private:
    std::string path_;
};

}  // namespace

std::unique_ptr<TraceSink> MakeTraceSink() { return std::make_unique<Win32TraceSink>(); }

}  // namespace plat::win32
