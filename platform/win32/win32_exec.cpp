// WinExec.
#include "platform/win32/win32_exec.h"

#include "platform/win32/win32_api.h"

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
