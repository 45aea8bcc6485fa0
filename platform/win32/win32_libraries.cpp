#include "platform/win32/win32_libraries.h"

#include <cstdint>
#include <string>

#include "platform/win32/win32_api.h"

#include <prsht.h>
#include <setupapi.h>

namespace plat::win32 {

namespace {

using SessionRegisterFn = BOOL(WINAPI*)(HWND, DWORD);
using SessionUnregisterFn = BOOL(WINAPI*)(HWND);
using EnumPropPagesFn = BOOL(WINAPI*)(PSP_PROPSHEETPAGE_REQUEST, LPFNADDPROPSHEETPAGE, LPARAM);

// The provider calls the system's form of the add-page callback; this one
// passes each page on to the caller's callback with the caller's context.
struct AddPageRelay {
    plat::AddPropSheetPageCallback addPage;
    std::intptr_t context;
};

BOOL CALLBACK RelayAddPage(HPROPSHEETPAGE page, LPARAM lParam) {
    const auto* relay = reinterpret_cast<const AddPageRelay*>(lParam);
    if (relay == nullptr || relay->addPage == nullptr) return FALSE;
    const auto handle = static_cast<plat::Hpropsheetpage>(reinterpret_cast<std::uintptr_t>(page));
    return relay->addPage(handle, relay->context) ? TRUE : FALSE;
}

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

    bool CallEnumPropPages(plat::Hproc entry, const plat::PropSheetPageRequest& request,
                           plat::AddPropSheetPageCallback addPage, std::intptr_t context) override {
        if (entry == plat::Hproc::None) return false;
        HDEVINFO set = reinterpret_cast<HDEVINFO>(plat::Raw(request.set));
        SP_DEVINFO_DATA element{};
        element.cbSize = sizeof element;
        const bool haveElement =
            request.set != plat::Hdevinfo::None && SetupDiEnumDeviceInfo(set, request.element, &element) != FALSE;
        SP_PROPSHEETPAGE_REQUEST pageRequest{};
        pageRequest.cbSize = sizeof pageRequest;
        pageRequest.PageRequested = request.pageRequested;
        pageRequest.DeviceInfoSet = request.set == plat::Hdevinfo::None ? INVALID_HANDLE_VALUE : set;
        pageRequest.DeviceInfoData = haveElement ? &element : nullptr;
        AddPageRelay relay{addPage, context};
        return ToEntry<EnumPropPagesFn>(entry)(&pageRequest, RelayAddPage, reinterpret_cast<LPARAM>(&relay)) != FALSE;
    }
};

}  // namespace

std::unique_ptr<Libraries> MakeLibraries() { return std::make_unique<Win32Libraries>(); }

}  // namespace plat::win32
