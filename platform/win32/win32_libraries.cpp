#include "platform/win32/win32_libraries.h"

#include <cstdint>
#include <string>

#include "platform/win32/win32_api.h"

namespace plat::win32 {

namespace {

using SessionRegisterFn = BOOL(WINAPI*)(HWND, DWORD);
using SessionUnregisterFn = BOOL(WINAPI*)(HWND);

HMODULE ToModule(plat::Hmodule m) { return reinterpret_cast<HMODULE>(plat::Raw(m)); }
HWND ToWindow(plat::Hwnd h) { return reinterpret_cast<HWND>(plat::Raw(h)); }

template <class Fn>
Fn ToEntry(plat::Hproc entry) {
    return reinterpret_cast<Fn>(plat::Raw(entry));
}

class Win32Libraries final : public plat::Libraries {
public:
    plat::Hmodule Load(const std::string& name) override {
        return static_cast<plat::Hmodule>(reinterpret_cast<std::uintptr_t>(LoadLibraryA(name.c_str())));
    }

    plat::Hproc FindEntry(plat::Hmodule module, const std::string& entry) override {
        if (module == plat::Hmodule::None) return plat::Hproc::None;
        FARPROC p = GetProcAddress(ToModule(module), entry.c_str());
        return static_cast<plat::Hproc>(reinterpret_cast<std::uintptr_t>(p));
    }

    bool Free(plat::Hmodule module) override {
        return module != plat::Hmodule::None && FreeLibrary(ToModule(module)) != FALSE;
    }

    bool CallRegisterSessionNotification(plat::Hproc entry, plat::Hwnd hwnd, std::uint32_t flags) override {
        if (entry == plat::Hproc::None) return false;
        return ToEntry<SessionRegisterFn>(entry)(ToWindow(hwnd), static_cast<DWORD>(flags)) != FALSE;
    }

    bool CallUnregisterSessionNotification(plat::Hproc entry, plat::Hwnd hwnd) override {
        if (entry == plat::Hproc::None) return false;
        return ToEntry<SessionUnregisterFn>(entry)(ToWindow(hwnd)) != FALSE;
    }
};

}  // namespace

std::unique_ptr<Libraries> MakeLibraries() { return std::make_unique<Win32Libraries>(); }

}  // namespace plat::win32
