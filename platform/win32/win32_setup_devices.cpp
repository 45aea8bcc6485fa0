// Device information sets over setupapi: by setup class or enumerator, each
// member's driver key, and device removal.
#include "platform/win32/win32_setup_devices.h"

#include "platform/win32/win32_api.h"

#include <setupapi.h>

#include <cstdint>

namespace plat::win32 {

namespace {

HDEVINFO ToSet(Hdevset s) { return reinterpret_cast<HDEVINFO>(Raw(s)); }

// An opened key is its HKEY value, as the registry facet takes it.
Hkey FromHkey(HKEY k) { return static_cast<Hkey>(reinterpret_cast<std::uintptr_t>(k)); }

GUID ToGuid(const Guid& g) {
    GUID out{};
    out.Data1 = g.data1;
    out.Data2 = g.data2;
    out.Data3 = g.data3;
    for (int i = 0; i < 8; ++i) out.Data4[i] = g.data4[i];
    return out;
}

class Win32SetupDevices final : public SetupDevices {
public:
    Hdevset GetClassDevices(const std::optional<Guid>& setupClass, const std::optional<std::string>& enumerator,
                            std::uint32_t flags) override {
        GUID cls{};
        if (setupClass) cls = ToGuid(*setupClass);
        HDEVINFO set = SetupDiGetClassDevsA(setupClass ? &cls : nullptr, enumerator ? enumerator->c_str() : nullptr,
                                            nullptr, flags);
        return set == INVALID_HANDLE_VALUE ? Hdevset::None
                                           : static_cast<Hdevset>(reinterpret_cast<std::uintptr_t>(set));
    }

    bool EnumDevice(Hdevset set, std::uint32_t index) override {
        SP_DEVINFO_DATA data;
        return Member(set, index, data);
    }

    Hkey OpenDriverKey(Hdevset set, std::uint32_t index) override {
        SP_DEVINFO_DATA data;
        if (!Member(set, index, data)) return Hkey::None;
        HKEY key = SetupDiOpenDevRegKey(ToSet(set), &data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_ALL_ACCESS);
        return key == INVALID_HANDLE_VALUE || key == nullptr ? Hkey::None : FromHkey(key);
    }

    bool DeleteDriverKey(Hdevset set, std::uint32_t index) override {
        SP_DEVINFO_DATA data;
        return Member(set, index, data) &&
               SetupDiDeleteDevRegKey(ToSet(set), &data, DICS_FLAG_GLOBAL, 0, DIREG_DRV) != FALSE;
    }

    bool RemoveDevice(Hdevset set, std::uint32_t index) override {
        SP_DEVINFO_DATA data;
        return Member(set, index, data) && SetupDiRemoveDevice(ToSet(set), &data) != FALSE;
    }

    bool DestroySet(Hdevset set) override { return SetupDiDestroyDeviceInfoList(ToSet(set)) != FALSE; }

private:
    static bool Member(Hdevset set, std::uint32_t index, SP_DEVINFO_DATA& data) {
        data = SP_DEVINFO_DATA{};
        data.cbSize = sizeof data;
        return SetupDiEnumDeviceInfo(ToSet(set), index, &data) != FALSE;
    }
};

}  // namespace

std::unique_ptr<SetupDevices> MakeSetupDevices() { return std::make_unique<Win32SetupDevices>(); }

}  // namespace plat::win32
