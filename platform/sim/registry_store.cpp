#include "sim/registry_store.h"

#include <cctype>

namespace sim {

namespace {

std::string Upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '\\') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

}  // namespace

RegistryStore::RegistryStore() : hklm_(std::make_shared<Key>()) { hklm_->name = "HKEY_LOCAL_MACHINE"; }

std::shared_ptr<RegistryStore::Key> RegistryStore::Walk(std::shared_ptr<Key> from, const std::string& path,
                                                         bool create) {
    std::shared_ptr<Key> k = from;
    for (const auto& part : SplitPath(path)) {
        if (!k || k->deleted) return nullptr;
        auto it = k->subkeys.find(Upper(part));
        if (it == k->subkeys.end()) {
            if (!create) return nullptr;
            auto child = std::make_shared<Key>();
            child->name = part;
            it = k->subkeys.emplace(Upper(part), child).first;
        }
        k = it->second;
    }
    return k && !k->deleted ? k : nullptr;
}

std::shared_ptr<RegistryStore::Key> RegistryStore::Resolve(plat::Hkey key) {
    if (key == plat::Hkey::LocalMachine) return hklm_;
    auto it = handles_.find(plat::Raw(key));
    if (it == handles_.end() || it->second.key->deleted) return nullptr;
    return it->second.key;
}

void RegistryStore::SetValue(const std::string& keyPath, const std::string& name, std::uint32_t type,
                             std::vector<std::uint8_t> data) {
    std::lock_guard<std::mutex> lk(mu_);
    auto k = Walk(hklm_, keyPath, true);
    k->values[Upper(name)] = Value{name, type, std::move(data)};
}

void RegistryStore::SetString(const std::string& keyPath, const std::string& name, const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    SetValue(keyPath, name, plat::REG_SZ, std::move(data));
}

void RegistryStore::SetDword(const std::string& keyPath, const std::string& name, std::uint32_t v) {
    SetValue(keyPath, name, plat::REG_DWORD,
             {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
              static_cast<std::uint8_t>(v >> 24)});
}

std::optional<RegistryStore::Value> RegistryStore::GetValue(const std::string& keyPath, const std::string& name) {
    std::lock_guard<std::mutex> lk(mu_);
    auto k = Walk(hklm_, keyPath, false);
    if (!k) return std::nullopt;
    auto it = k->values.find(Upper(name));
    if (it == k->values.end()) return std::nullopt;
    return it->second;
}

bool RegistryStore::KeyExists(const std::string& keyPath) {
    std::lock_guard<std::mutex> lk(mu_);
    return Walk(hklm_, keyPath, false) != nullptr;
}

void RegistryStore::CreateKeyPath(const std::string& keyPath) {
    std::lock_guard<std::mutex> lk(mu_);
    Walk(hklm_, keyPath, true);
}

void RegistryStore::DeleteTree(const std::string& keyPath) {
    std::lock_guard<std::mutex> lk(mu_);
    auto parts = SplitPath(keyPath);
    if (parts.empty()) return;
    std::string last = parts.back();
    parts.pop_back();
    std::string parentPath;
    for (auto& p : parts) parentPath += p + "\\";
    auto parent = Walk(hklm_, parentPath, false);
    if (!parent) return;
    auto it = parent->subkeys.find(Upper(last));
    if (it == parent->subkeys.end()) return;
    std::function<void(Key&)> mark = [&](Key& k) {
        k.deleted = true;
        for (auto& [n, c] : k.subkeys) mark(*c);
    };
    mark(*it->second);
    parent->subkeys.erase(it);
}

void RegistryStore::SetDenyFullAccess(const std::string& keyPath, bool deny) {
    std::lock_guard<std::mutex> lk(mu_);
    if (auto k = Walk(hklm_, keyPath, false)) k->denyFullAccess = deny;
}

void RegistryStore::SetDenyDelete(const std::string& keyPath, bool deny) {
    std::lock_guard<std::mutex> lk(mu_);
    if (auto k = Walk(hklm_, keyPath, false)) k->denyDelete = deny;
}

std::vector<std::string> RegistryStore::SubkeyNames(const std::string& keyPath) {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<std::string> out;
    if (auto k = Walk(hklm_, keyPath, false))
        for (auto& [n, c] : k->subkeys) out.push_back(c->name);
    return out;
}

plat::Hkey RegistryStore::Open(std::uint32_t pid, plat::Hkey parent, const std::string& subkey, bool fullAccess,
                               bool create) {
    std::lock_guard<std::mutex> lk(mu_);
    auto base = Resolve(parent);
    if (!base) return plat::Hkey::None;
    auto k = Walk(base, subkey, create);
    if (!k || (fullAccess && k->denyFullAccess)) return plat::Hkey::None;
    auto h = next_ += 4;
    handles_[h] = Handle{k, fullAccess, pid};
    return static_cast<plat::Hkey>(h);
}

void RegistryStore::Close(plat::Hkey key) {
    std::lock_guard<std::mutex> lk(mu_);
    handles_.erase(plat::Raw(key));
}

bool RegistryStore::Query(plat::Hkey key, const std::string& name, std::size_t capacity,
                          std::vector<std::uint8_t>& data, std::uint32_t* type) {
    std::lock_guard<std::mutex> lk(mu_);
    data.clear();
    auto k = Resolve(key);
    if (!k) return false;
    auto it = k->values.find(Upper(name));
    if (it == k->values.end() || it->second.data.size() > capacity) return false;
    data = it->second.data;
    if (type) *type = it->second.type;
    return true;
}

bool RegistryStore::Set(plat::Hkey key, const std::string& name, std::uint32_t type,
                        const std::vector<std::uint8_t>& data) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = handles_.find(plat::Raw(key));
    if (it == handles_.end() || !it->second.fullAccess || it->second.key->deleted) return false;
    it->second.key->values[Upper(name)] = Value{name, type, data};
    return true;
}

bool RegistryStore::DeleteValue(plat::Hkey key, const std::string& name) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = handles_.find(plat::Raw(key));
    if (it == handles_.end() || !it->second.fullAccess || it->second.key->deleted) return false;
    return it->second.key->values.erase(Upper(name)) > 0;
}

bool RegistryStore::EnumSubkey(plat::Hkey key, std::uint32_t index, std::size_t capacity, std::string& name) {
    std::lock_guard<std::mutex> lk(mu_);
    auto k = Resolve(key);
    if (!k || index >= k->subkeys.size()) return false;
    auto it = k->subkeys.begin();
    std::advance(it, index);
    if (it->second->name.size() + 1 > capacity) return false;
    name = it->second->name;
    return true;
}

bool RegistryStore::DeleteKey(plat::Hkey parent, const std::string& subkey, bool nt) {
    std::lock_guard<std::mutex> lk(mu_);
    auto base = Resolve(parent);
    if (!base) return false;
    auto parts = SplitPath(subkey);
    if (parts.empty()) return false;
    std::string last = parts.back();
    parts.pop_back();
    std::string parentPath;
    for (auto& p : parts) parentPath += p + "\\";
    auto owner = Walk(base, parentPath, false);
    if (!owner) return false;
    auto it = owner->subkeys.find(Upper(last));
    if (it == owner->subkeys.end()) return false;
    std::function<bool(Key&)> deletable = [&](Key& k) {
        if (k.denyDelete) return false;
        for (auto& [n, c] : k.subkeys)
            if (!deletable(*c)) return false;
        return true;
    };
    if (!deletable(*it->second) || (nt && !it->second->subkeys.empty())) return false;
    std::function<void(Key&)> mark = [&](Key& k) {
        k.deleted = true;
        for (auto& [n, c] : k.subkeys) mark(*c);
    };
    mark(*it->second);
    owner->subkeys.erase(it);
    return true;
}

void RegistryStore::CloseAllOf(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    std::erase_if(handles_, [&](const auto& h) { return h.second.pid == pid; });
}

std::size_t RegistryStore::OpenHandles(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    std::size_t n = 0;
    for (auto& [h, rec] : handles_) n += rec.pid == pid;
    return n;
}

namespace {

class RegistryFacet final : public plat::Registry {
public:
    RegistryFacet(RegistryStore& s, std::uint32_t pid, std::function<bool()> isNt,
                  std::function<void(const std::string&)> note)
        : s_(s), pid_(pid), isNt_(std::move(isNt)), note_(std::move(note)) {}
    plat::Hkey OpenKey(plat::Hkey parent, const std::string& subkey, bool fullAccess) override {
        return Remember(s_.Open(pid_, parent, subkey, fullAccess, false), parent, subkey);
    }
    plat::Hkey CreateKey(plat::Hkey parent, const std::string& subkey) override {
        return Remember(s_.Open(pid_, parent, subkey, true, true), parent, subkey);
    }
    void CloseKey(plat::Hkey key) override {
        paths_.erase(plat::Raw(key));
        s_.Close(key);
    }
    bool QueryValue(plat::Hkey key, const std::string& name, std::size_t capacity, std::vector<std::uint8_t>& data,
                    std::uint32_t* type) override {
        return s_.Query(key, name, capacity, data, type);
    }
    bool SetValue(plat::Hkey key, const std::string& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) override {
        return s_.Set(key, name, type, data);
    }
    bool DeleteValue(plat::Hkey key, const std::string& name) override { return s_.DeleteValue(key, name); }
    bool EnumSubkey(plat::Hkey key, std::uint32_t index, std::size_t capacity, std::string& name) override {
        return s_.EnumSubkey(key, index, capacity, name);
    }
    bool DeleteKey(plat::Hkey parent, const std::string& subkey) override {
        bool ok = s_.DeleteKey(parent, subkey, isNt_());
        if (ok && note_) note_("registry key deleted: " + PathOf(parent, subkey));
        return ok;
    }

private:
    // The path of each key this process holds open, for the transcript.
    std::string PathOf(plat::Hkey parent, const std::string& subkey) {
        std::string base = "HKEY_LOCAL_MACHINE";
        if (parent != plat::Hkey::LocalMachine) {
            auto it = paths_.find(plat::Raw(parent));
            base = it == paths_.end() ? std::string("<key>") : it->second;
        }
        return subkey.empty() ? base : base + "\\" + subkey;
    }
    plat::Hkey Remember(plat::Hkey key, plat::Hkey parent, const std::string& subkey) {
        if (key != plat::Hkey::None && note_) paths_[plat::Raw(key)] = PathOf(parent, subkey);
        return key;
    }

    RegistryStore& s_;
    std::uint32_t pid_;
    std::function<bool()> isNt_;
    std::function<void(const std::string&)> note_;
    std::map<std::uintptr_t, std::string> paths_;
};

}  // namespace

std::unique_ptr<plat::Registry> MakeRegistryFacet(RegistryStore& store, std::uint32_t pid,
                                                  std::function<bool()> isNt,
                                                  std::function<void(const std::string&)> note) {
    return std::make_unique<RegistryFacet>(store, pid, std::move(isNt), std::move(note));
}

}  // namespace sim
