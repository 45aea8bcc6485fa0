// System version, default locale and the ANSI code page over kernel32.
#include "platform/win32/win32_api.h"

namespace plat::win32 {

namespace {

class Win32SystemInfo final : public SystemInfo {
public:
    OsVersion Version() override {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        OsVersion v{};
        if (GetVersionExA(&info)) {
            v.major = info.dwMajorVersion;
            v.minor = info.dwMinorVersion;
            v.build = info.dwBuildNumber & 0xFFFF;
            v.nt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
        } else {
            // GetVersion: major in the low byte, minor in the next; the top
            // bit is set on Windows 95/98/Me.
            const DWORD packed = GetVersion();
            v.major = packed & 0xFF;
            v.minor = (packed >> 8) & 0xFF;
            v.nt = (packed & 0x80000000u) == 0;
            v.build = v.nt ? (packed >> 16) & 0x7FFF : 0;
        }
        return v;
    }

    std::uint32_t DefaultLcid() override { return GetSystemDefaultLCID(); }
    std::uint32_t AnsiCodePage() override { return GetACP(); }

    std::size_t CharLength(std::string_view text, std::size_t at) override {
        if (at >= text.size()) return 0;
        if (at + 1 < text.size() && IsDBCSLeadByteEx(GetACP(), static_cast<BYTE>(text[at]))) return 2;
        return 1;
    }
};

}  // namespace

std::unique_ptr<SystemInfo> MakeSystemInfo() { return std::make_unique<Win32SystemInfo>(); }

}  // namespace plat::win32
