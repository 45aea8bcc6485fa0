// Libraries bound by name at run time, and the calls made through their
// entries. Only the entries the programs use have a typed call here.
#pragma once

#include <cstdint>
#include <string>

#include "platform/device_tree.h"
#include "platform/types.h"

namespace plat {

enum class Hmodule : std::uintptr_t { None = 0 };
enum class Hproc : std::uintptr_t { None = 0 };  // an entry found in a loaded library

// The page request a property-page provider is given (SP_PROPSHEETPAGE_REQUEST):
// which pages, and the device as an element of a device information set.
inline constexpr std::uint32_t SPPSR_ENUM_ADV_DEVICE_PROPERTIES = 3;
struct PropSheetPageRequest {
    std::uint32_t pageRequested = SPPSR_ENUM_ADV_DEVICE_PROPERTIES;
    Hdevinfo set = Hdevinfo::None;
    std::uint32_t element = 0;  // as DeviceTree::EnumInterface reports it
};
// The add-page callback a provider calls once for every page it offers
// (LPFNADDPROPSHEETPAGE): true takes the page, false refuses it and the
// provider offers no more.
using AddPropSheetPageCallback = bool (*)(Hpropsheetpage page, std::intptr_t context);

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
    // Calls a property-page provider's entry of the form
    // BOOL WINAPI EnumPropPages(PSP_PROPSHEETPAGE_REQUEST, LPFNADDPROPSHEETPAGE, LPARAM),
    // which calls `addPage(page, context)` for each page it offers before it
    // returns. True when the entry returned nonzero.
    virtual bool CallEnumPropPages(Hproc entry, const PropSheetPageRequest& request, AddPropSheetPageCallback addPage,
                                   std::intptr_t context) = 0;
};

}  // namespace plat
