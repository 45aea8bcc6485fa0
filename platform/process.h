// The running process: its command line, its own module, its environment,
// and the start of other programs.
#pragma once

#include <cstddef>
#include <string>

#include "platform/types.h"

namespace plat {

// The interactive desktop of the log-on session.
inline constexpr char kInteractiveDesktop[] = "WinSta0\\Default";

// What a successful process start hands back: the new process and its first
// thread, both owned by the caller (Kernel::Wait, ExitCode and Close take them).
struct StartedProcess {
    Hobject process = Hobject::None;
    Hobject thread = Hobject::None;
};

class Process {
public:
    virtual ~Process() = default;
    // The arguments after the program name, leading blanks removed (what the
    // class library hands the application as its command line).
    virtual std::string CommandLine() = 0;

    // The full path of the running executable (GetModuleFileName). False when
    // it cannot be had or does not fit `capacity` bytes with its terminator.
    virtual bool ModulePath(std::size_t capacity, std::string& path) = 0;

    // Replaces %NAME% references by the variables of the process environment
    // (ExpandEnvironmentStrings); references to unknown names stay as written.
    // False when the result with its terminator does not fit `capacity` bytes.
    virtual bool ExpandEnvironment(const std::string& text, std::size_t capacity, std::string& expanded) = 0;

    // CreateProcess with no application name, `commandLine`, default
    // security, no inherited handles, no creation flags, this process's
    // environment and current directory, and a start-up block naming only
    // `desktop`. Does not wait. False when the process cannot be created; the
    // reason is then in Kernel::LastError.
    virtual bool StartOnDesktop(const std::string& commandLine, const std::string& desktop,
                                StartedProcess& started) = 0;
};

}  // namespace plat
