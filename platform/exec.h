// Starting a program the old way: WinExec with a show command. The program is
// looked up as the system does for a command line (a quoted path, or the
// shortest run of words before a blank that names a file).
#pragma once

#include <cstdint>
#include <string>

namespace plat {

inline constexpr std::uint32_t SW_HIDE = 0;
inline constexpr std::uint32_t SW_SHOWNORMAL = 1;
inline constexpr std::uint32_t SW_SHOW = 5;

class Exec {
public:
    virtual ~Exec() = default;
    // WinExec: greater than 31 when the program was started, otherwise the
    // reason (0 out of resources, 2 file not found, 3 path not found).
    virtual std::uint32_t WinExec(const std::string& commandLine, std::uint32_t showCommand) = 0;
};

}  // namespace plat
