// Kernel objects: named mutexes, threads, waits, handles and the calling
// thread's last error.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/types.h"

namespace plat {

inline constexpr std::uint32_t WAIT_OBJECT_0 = 0;
inline constexpr std::uint32_t WAIT_TIMEOUT = 258;
inline constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFF;

class Kernel {
public:
    virtual ~Kernel() = default;

    // Creates (or opens) the named mutex, not initially owned, default
    // security. `alreadyExisted` is true when another handle to it was open
    // (ERROR_ALREADY_EXISTS). None on failure, `alreadyExisted` then false.
    virtual Hobject CreateNamedMutex(const std::string& name, bool& alreadyExisted) = 0;

    // Starts a thread running `body`, default security and stack, at once.
    // Its return value is the thread's exit code. None when it cannot start.
    virtual Hobject StartThread(std::function<std::uint32_t()> body) = 0;
    // The exit code of a thread or process: STILL_ACTIVE while it runs.
    // False for a handle that is not open.
    virtual bool ExitCode(Hobject handle, std::uint32_t& code) = 0;
    // WAIT_OBJECT_0 when the thread or process has ended, WAIT_TIMEOUT when
    // `milliseconds` passed first, WAIT_FAILED for a bad handle.
    virtual std::uint32_t Wait(Hobject handle, std::uint32_t milliseconds) = 0;
    virtual bool Close(Hobject handle) = 0;

    // Milliseconds since the system started (GetTickCount); wraps after 49.7
    // days, so only differences of two readings mean anything.
    virtual std::uint32_t TickCount() = 0;

    virtual std::uint32_t LastError() = 0;
    virtual void SetLastError(std::uint32_t code) = 0;
};

}  // namespace plat
