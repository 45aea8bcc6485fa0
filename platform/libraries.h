// Libraries bound by name at run time, and the calls made through their
// entries. Only the entries the programs use have a typed call here.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace plat {

enum class Hmodule : std::uintptr_t { None = 0 };
enum class Hproc : std::uintptr_t { None = 0 };  // an entry found in a loaded library

class Libraries {
public:
    virtual ~Libraries() = default;
    // LoadLibrary by file name. None when the library cannot be loaded.
    virtual Hmodule Load(const std::string& name) = 0;
    // GetProcAddress by entry name (letter case significant). None when missing.
    virtual Hproc FindEntry(Hmodule module, const std::string& entry) = 0;
    virtual bool Free(Hmodule module) = 0;

    // Calls an entry of the form BOOL WTSRegisterSessionNotification(HWND, DWORD).
    virtual bool CallRegisterSessionNotification(Hproc entry, Hwnd hwnd, std::uint32_t flags) = 0;
    // Calls an entry of the form BOOL WTSUnRegisterSessionNotification(HWND).
    virtual bool CallUnregisterSessionNotification(Hproc entry, Hwnd hwnd) = 0;
};

}  // namespace plat
