// The device installation services (SetupDi*) and the configuration manager
// (CM_*), both taken from setupapi.dll, and volume mount points.
#include "platform/win32/win32_api.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <vector>

namespace plat::win32 {

namespace {

HDEVINFO ToSet(Hdevinfo s) { return s == Hdevinfo::None ? INVALID_HANDLE_VALUE : reinterpret_cast<HDEVINFO>(Raw(s)); }
Hdevinfo FromSet(HDEVINFO s) {
    return s == INVALID_HANDLE_VALUE || s == nullptr ? Hdevinfo::None
                                                     : static_cast<Hdevinfo>(reinterpret_cast<std::uintptr_t>(s));
}

// Splits a list of zero-terminated strings that ends with an empty one,
// reading no further than `length` characters.
std::vector<std::string> SplitMultiString(const char* list, std::size_t length) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < length && list[at] != '\0') {
        std::size_t end = at;
        while (end < length && list[end] != '\0') ++end;
        out.emplace_back(list + at, end - at);
        at = end + 1;
    }
    return out;
}

// The element of `set` that belongs to the device `node`.
bool ElementOf(HDEVINFO set, DEVINST node, std::uint32_t& element) {
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        if (info.DevInst == node) {
            element = i;
            return true;
        }
    }
    return false;
}

bool ElementData(HDEVINFO set, std::uint32_t element, SP_DEVINFO_DATA& info) {
    info = SP_DEVINFO_DATA{};
    info.cbSize = sizeof info;
    return SetupDiEnumDeviceInfo(set, element, &info) != FALSE;
}

class Win32DeviceTree final : public DeviceTree {
public:
    Hdevinfo GetInterfaceSet(const Guid& interfaceClass, bool presentOnly) override {
        GUID g = ToGuid(interfaceClass);
        DWORD flags = DIGCF_DEVICEINTERFACE | (presentOnly ? DIGCF_PRESENT : 0);
        return FromSet(SetupDiGetClassDevsA(&g, nullptr, nullptr, flags));
    }

    EnumResult EnumInterface(Hdevinfo set, const Guid& interfaceClass, std::uint32_t index,
                             InterfaceDetail& detail) override {
        HDEVINFO s = ToSet(set);
        GUID g = ToGuid(interfaceClass);
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        // Any failure of the enumeration itself ends the walk: a caller that
        // skips members by index must come to an end.
        if (!SetupDiEnumDeviceInterfaces(s, nullptr, &g, index, &data)) return EnumResult::NoMore;
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailA(s, &data, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return EnumResult::DetailFailed;
        // Kept in 8-byte units so the detail structure is aligned.
        std::vector<std::uint64_t> storage((required + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t) + 1, 0);
        auto* d = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        d->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!SetupDiGetDeviceInterfaceDetailA(s, &data, d, required, nullptr, &info)) return EnumResult::DetailFailed;
        const std::size_t pathRoom = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        detail.path.assign(d->DevicePath, strnlen(d->DevicePath, pathRoom));
        detail.devNode = info.DevInst;
        detail.element = 0;
        if (!ElementOf(s, info.DevInst, detail.element)) return EnumResult::DetailFailed;
        return EnumResult::Ok;
    }

    void DestroySet(Hdevinfo set) override {
        if (set != Hdevinfo::None) SetupDiDestroyDeviceInfoList(ToSet(set));
    }

    bool SetPropertyChangeParams(Hdevinfo set, std::uint32_t element, std::uint32_t stateChange) override {
        SP_DEVINFO_DATA info;
        if (!ElementData(ToSet(set), element, info)) return false;
        SP_PROPCHANGE_PARAMS params{};
        params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        params.StateChange = stateChange;
        params.Scope = DICS_FLAG_CONFIGSPECIFIC;
        params.HwProfile = 0;  // the current profile
        return SetupDiSetClassInstallParamsA(ToSet(set), &info, &params.ClassInstallHeader, sizeof params) != FALSE;
    }

    bool CallPropertyChangeInstaller(Hdevinfo set, std::uint32_t element) override {
        SP_DEVINFO_DATA info;
        if (!ElementData(ToSet(set), element, info)) return false;
        return SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, ToSet(set), &info) != FALSE;
    }

    std::uint32_t GetChild(DevNode node, DevNode& child) override {
        DEVINST c = 0;
        const CONFIGRET r = CM_Get_Child(&c, node, 0);
        child = r == CR_SUCCESS ? c : 0;
        return r;
    }

    std::uint32_t GetSibling(DevNode node, DevNode& sibling) override {
        DEVINST s = 0;
        const CONFIGRET r = CM_Get_Sibling(&s, node, 0);
        sibling = r == CR_SUCCESS ? s : 0;
        return r;
    }

    std::uint32_t GetProperty(DevNode node, DevProperty property, std::size_t capacity, std::string& value) override {
        value.clear();
        const ULONG which = property == DevProperty::FriendlyName ? CM_DRP_FRIENDLYNAME : CM_DRP_DEVICEDESC;
        std::vector<char> buffer(capacity + 1, '\0');
        ULONG length = static_cast<ULONG>(capacity);
        ULONG type = 0;
        const CONFIGRET r = CM_Get_DevNode_Registry_PropertyA(node, which, &type, buffer.data(), &length, 0);
        if (r == CR_SUCCESS) value.assign(buffer.data(), strnlen(buffer.data(), std::min<std::size_t>(length, capacity)));
        return r;
    }

    std::uint32_t GetStatus(DevNode node, std::uint32_t& status, std::uint32_t& problem) override {
        ULONG s = 0;
        ULONG p = 0;
        const CONFIGRET r = CM_Get_DevNode_Status(&s, &p, node, 0);
        status = s;
        problem = p;
        return r;
    }

    std::uint32_t GetDeviceId(DevNode node, std::size_t capacity, std::string& id) override {
        id.clear();
        if (capacity == 0) return CR_BUFFER_SMALL;
        std::vector<char> buffer(capacity + 1, '\0');
        const CONFIGRET r = CM_Get_Device_IDA(node, buffer.data(), static_cast<ULONG>(capacity), 0);
        if (r == CR_SUCCESS) id.assign(buffer.data(), strnlen(buffer.data(), capacity - 1));
        return r;
    }

    std::uint32_t LocateDevNode(const std::string& deviceId, DevNode& node) override {
        DEVINST n = 0;
        const CONFIGRET r = CM_Locate_DevNodeA(&n, const_cast<char*>(deviceId.c_str()), CM_LOCATE_DEVNODE_NORMAL);
        node = r == CR_SUCCESS ? n : 0;
        return r;
    }

    std::uint32_t GetDeviceIdListSize(const std::string& deviceId, std::uint32_t filter, std::uint32_t& size) override {
        ULONG n = 0;
        const CONFIGRET r = CM_Get_Device_ID_List_SizeA(&n, deviceId.c_str(), filter);
        size = r == CR_SUCCESS ? n : 0;
        return r;
    }

    std::uint32_t GetDeviceIdList(const std::string& deviceId, std::uint32_t filter, std::uint32_t size,
                                  std::vector<std::string>& ids) override {
        ids.clear();
        if (size == 0) return CR_BUFFER_SMALL;
        std::vector<char> buffer(size + 2, '\0');
        const CONFIGRET r = CM_Get_Device_ID_ListA(deviceId.c_str(), buffer.data(), size, filter);
        if (r == CR_SUCCESS) ids = SplitMultiString(buffer.data(), size);
        return r;
    }

    std::uint32_t OpenHardwareKey(DevNode node, Hkey& key) override {
        HKEY k = nullptr;
        const CONFIGRET r = CM_Open_DevNode_Key(node, KEY_ALL_ACCESS, 0, RegDisposition_OpenExisting, &k,
                                                CM_REGISTRY_HARDWARE);
        key = r == CR_SUCCESS ? FromHkey(k) : Hkey::None;
        return r;
    }

    std::uint32_t GetInterfaceListSize(const Guid& interfaceClass, const std::string& deviceId,
                                       std::uint32_t& size) override {
        GUID g = ToGuid(interfaceClass);
        ULONG n = 0;
        const CONFIGRET r = CM_Get_Device_Interface_List_SizeA(&n, &g, const_cast<char*>(deviceId.c_str()),
                                                               CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
        size = r == CR_SUCCESS ? n : 0;
        return r;
    }

    std::uint32_t GetInterfaceList(const Guid& interfaceClass, const std::string& deviceId, std::uint32_t size,
                                   std::vector<std::string>& paths) override {
        paths.clear();
        if (size == 0) return CR_BUFFER_SMALL;
        GUID g = ToGuid(interfaceClass);
        std::vector<char> buffer(size + 2, '\0');
        const CONFIGRET r = CM_Get_Device_Interface_ListA(&g, const_cast<char*>(deviceId.c_str()), buffer.data(), size,
                                                          CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
        if (r == CR_SUCCESS) paths = SplitMultiString(buffer.data(), size);
        return r;
    }

    bool VolumeNameForMountPoint(const std::string& mountPoint, std::string& volumeName) override {
        // "\\?\Volume{GUID}\" takes 49 characters and the terminator.
        char name[64] = {};
        if (!GetVolumeNameForVolumeMountPointA(mountPoint.c_str(), name, 50)) {
            volumeName.clear();
            return false;
        }
        volumeName.assign(name, strnlen(name, 50));
        return true;
    }

    std::uint32_t QueryAndRemoveSubTree(DevNode node) override {
        return CM_Query_And_Remove_SubTreeA(node, nullptr, nullptr, 0, 0);
    }
    std::uint32_t RequestDeviceEject(DevNode node) override {
        return CM_Request_Device_EjectA(node, nullptr, nullptr, 0, 0);
    }
    std::uint32_t QueryRemoveSubTree(DevNode node) override { return CM_Query_Remove_SubTree(node, 0); }
    std::uint32_t RemoveSubTree(DevNode node) override { return CM_Remove_SubTree(node, 0); }
    std::uint32_t DisableDevNode(DevNode node) override { return CM_Disable_DevNode(node, 0); }
    std::uint32_t EnableDevNode(DevNode node) override { return CM_Enable_DevNode(node, 0); }
    std::uint32_t ReenumerateDevNode(DevNode node) override { return CM_Reenumerate_DevNode(node, 0); }
};

}  // namespace

std::unique_ptr<DeviceTree> MakeDeviceTree() { return std::make_unique<Win32DeviceTree>(); }

}  // namespace plat::win32
