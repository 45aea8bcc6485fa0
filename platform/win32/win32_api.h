// What every Windows facet source includes: our own headers first (their
// constants carry the system's values), then the system's.
#pragma once

#include "platform/system.h"
#include "platform/win32/win32_facets.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

namespace plat::win32 {

inline HWND ToHwnd(Hwnd h) { return reinterpret_cast<HWND>(Raw(h)); }
inline Hwnd FromHwnd(HWND h) { return static_cast<Hwnd>(reinterpret_cast<std::uintptr_t>(h)); }
inline HANDLE ToHandle(Hobject h) { return reinterpret_cast<HANDLE>(Raw(h)); }
inline Hobject FromHandle(HANDLE h) { return static_cast<Hobject>(reinterpret_cast<std::uintptr_t>(h)); }

// Our LocalMachine is the 32-bit value of HKEY_LOCAL_MACHINE; on a 64-bit
// system the predefined handle is that value sign-extended. Opened keys map
// one to one.
inline HKEY ToHkey(Hkey k) {
    return k == Hkey::LocalMachine ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(k));
}
inline Hkey FromHkey(HKEY k) {
    return k == HKEY_LOCAL_MACHINE ? Hkey::LocalMachine : static_cast<Hkey>(reinterpret_cast<std::uintptr_t>(k));
}

inline GUID ToGuid(const Guid& g) {
    GUID out{};
    out.Data1 = g.data1;
    out.Data2 = g.data2;
    out.Data3 = g.data3;
    for (int i = 0; i < 8; ++i) out.Data4[i] = g.data4[i];
    return out;
}

}  // namespace plat::win32
