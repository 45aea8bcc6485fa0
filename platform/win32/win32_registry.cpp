// The registry over advapi32.
#include "platform/win32/win32_api.h"

#include <vector>

namespace plat::win32 {

namespace {

bool Done(LONG status) {
    ::SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

class Win32Registry final : public Registry {
public:
    Hkey OpenKey(Hkey parent, const std::string& subkey, bool fullAccess) override {
        HKEY k = nullptr;
        const LONG r = RegOpenKeyExA(ToHkey(parent), subkey.c_str(), 0, fullAccess ? KEY_ALL_ACCESS : KEY_QUERY_VALUE, &k);
        return Done(r) ? FromHkey(k) : Hkey::None;
    }

    Hkey CreateKey(Hkey parent, const std::string& subkey) override {
        HKEY k = nullptr;
        const LONG r = RegCreateKeyExA(ToHkey(parent), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, &k, nullptr);
        return Done(r) ? FromHkey(k) : Hkey::None;
    }

    void CloseKey(Hkey key) override {
        // The predefined root is not ours to close.
        if (key != Hkey::None && key != Hkey::LocalMachine) RegCloseKey(ToHkey(key));
    }

    bool QueryValue(Hkey key, const std::string& name, std::size_t capacity, std::vector<std::uint8_t>& data,
                    std::uint32_t* type) override {
        data.assign(capacity, 0);
        DWORD size = static_cast<DWORD>(capacity);
        DWORD t = REG_NONE;
        const LONG r = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &t, capacity ? data.data() : nullptr, &size);
        // With no buffer a present value still answers success: it does not fit.
        if (!Done(r) || (capacity == 0 && size > 0)) {
            data.clear();
            return false;
        }
        data.resize(size);
        if (type) *type = t;
        return true;
    }

    bool SetValue(Hkey key, const std::string& name, std::uint32_t type, const std::vector<std::uint8_t>& data) override {
        return Done(RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                                   static_cast<DWORD>(data.size())));
    }

    bool DeleteValue(Hkey key, const std::string& name) override {
        return Done(RegDeleteValueA(ToHkey(key), name.c_str()));
    }

    bool EnumSubkey(Hkey key, std::uint32_t index, std::size_t capacity, std::string& name) override {
        name.clear();
        if (capacity == 0) return false;
        std::vector<char> buffer(capacity, '\0');
        DWORD length = static_cast<DWORD>(capacity);
        const LONG r = RegEnumKeyExA(ToHkey(key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (!Done(r)) return false;
        name.assign(buffer.data(), length);
        return true;
    }

    bool DeleteKey(Hkey parent, const std::string& subkey) override {
        return Done(RegDeleteKeyA(ToHkey(parent), subkey.c_str()));
    }
};

}  // namespace

std::unique_ptr<Registry> MakeRegistry() { return std::make_unique<Win32Registry>(); }

}  // namespace plat::win32
