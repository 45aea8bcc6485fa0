// The registry: keys under HKEY_LOCAL_MACHINE and the device keys the
// configuration manager opens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace plat {

enum class Hkey : std::uintptr_t { None = 0, LocalMachine = 0x80000002 };

inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;

class Registry {
public:
    virtual ~Registry() = default;
    // Opens an existing key. `fullAccess` asks for KEY_ALL_ACCESS, otherwise
    // the key is opened for querying values only. None on failure.
    virtual Hkey OpenKey(Hkey parent, const std::string& subkey, bool fullAccess) = 0;
    // Opens the key, creating it (and missing parents) when it does not exist.
    virtual Hkey CreateKey(Hkey parent, const std::string& subkey) = 0;
    virtual void CloseKey(Hkey key) = 0;
    // RegQueryValueEx into a buffer of `capacity` bytes. False when the value
    // is missing or does not fit; `data` then is empty.
    virtual bool QueryValue(Hkey key, const std::string& name, std::size_t capacity, std::vector<std::uint8_t>& data,
                            std::uint32_t* type) = 0;
    virtual bool SetValue(Hkey key, const std::string& name, std::uint32_t type,
                          const std::vector<std::uint8_t>& data) = 0;
    virtual bool DeleteValue(Hkey key, const std::string& name) = 0;
    // The name of subkey `index` (at most capacity - 1 characters); false when none.
    virtual bool EnumSubkey(Hkey key, std::uint32_t index, std::size_t capacity, std::string& name) = 0;
    // RegDeleteKey: on the NT family a key that still has subkeys is refused.
    virtual bool DeleteKey(Hkey parent, const std::string& subkey) = 0;
};

}  // namespace plat
