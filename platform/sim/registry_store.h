// The simulated registry: one tree of keys with values, shared by every
// process of the machine, and the handles each process opens on it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace sim {

class RegistryStore {
public:
    struct Value {
        std::string name;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
    };
    struct Key {
        std::string name;
        std::map<std::string, std::shared_ptr<Key>> subkeys;  // by upper-case name
        std::map<std::string, Value> values;                  // by upper-case name
        bool deleted = false;
        bool denyFullAccess = false;  // opens for full access fail (a key the user may not change)
        bool denyDelete = false;      // RegDeleteKey fails
    };

    RegistryStore();

    // ---- for tests and the simulator: paths like "SOFTWARE\\Dantz" under HKLM ----
    void SetValue(const std::string& keyPath, const std::string& name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
    void SetString(const std::string& keyPath, const std::string& name, const std::string& text);
    void SetDword(const std::string& keyPath, const std::string& name, std::uint32_t value);
    std::optional<Value> GetValue(const std::string& keyPath, const std::string& name);
    bool KeyExists(const std::string& keyPath);
    void CreateKeyPath(const std::string& keyPath);
    void DeleteTree(const std::string& keyPath);
    // Marks a key so that full-access opens or deletion of it fail.
    void SetDenyFullAccess(const std::string& keyPath, bool deny);
    void SetDenyDelete(const std::string& keyPath, bool deny);
    std::vector<std::string> SubkeyNames(const std::string& keyPath);

    // ---- what the facet uses ----------------------------------------------------
    plat::Hkey Open(std::uint32_t pid, plat::Hkey parent, const std::string& subkey, bool fullAccess, bool create);
    void Close(plat::Hkey key);
    bool Query(plat::Hkey key, const std::string& name, std::size_t capacity, std::vector<std::uint8_t>& data,
               std::uint32_t* type);
    bool Set(plat::Hkey key, const std::string& name, std::uint32_t type, const std::vector<std::uint8_t>& data);
    bool DeleteValue(plat::Hkey key, const std::string& name);
    bool EnumSubkey(plat::Hkey key, std::uint32_t index, std::size_t capacity, std::string& name);
    // `nt`: the NT family refuses a key with subkeys; 9x deletes the subtree.
    bool DeleteKey(plat::Hkey parent, const std::string& subkey, bool nt);
    void CloseAllOf(std::uint32_t pid);
    std::size_t OpenHandles(std::uint32_t pid);

private:
    struct Handle {
        std::shared_ptr<Key> key;
        bool fullAccess;
        std::uint32_t pid;
    };
    std::shared_ptr<Key> Walk(std::shared_ptr<Key> from, const std::string& path, bool create);
    std::shared_ptr<Key> Resolve(plat::Hkey key);

    std::mutex mu_;
    std::shared_ptr<Key> hklm_;
    std::map<std::uintptr_t, Handle> handles_;
    std::uintptr_t next_ = 0x1000;
};

// With `note`, every key the process deletes is written into the machine's
// transcript.
std::unique_ptr<plat::Registry> MakeRegistryFacet(RegistryStore& store, std::uint32_t pid, std::function<bool()> isNt,
                                                  std::function<void(const std::string&)> note = {});

}  // namespace sim
