// WinExec.
#include "platform/win32/win32_exec.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace plat::win32 {

namespace {

class Win32Exec final : public Exec {
public:
    std::uint32_t WinExec(const std::string& commandLine, std::uint32_t showCommand) override {
        return ::WinExec(commandLine.c_str(), showCommand);
    }
};

}  // namespace

std::unique_ptr<Exec> MakeExec() { return std::make_unique<Win32Exec>(); }

}  // namespace plat::win32
