#include "sim/setup_device_store.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "common/guid.h"
#include "sim/registry_store.h"

namespace sim {

namespace {

std::string Upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string EnumeratorOf(const std::string& instanceId) { return instanceId.substr(0, instanceId.find('\\')); }

constexpr std::uint32_t kNoSuchDevinst = 0xE000020B;  // ERROR_NO_SUCH_DEVINST
constexpr std::uint32_t kInvalidHandle = 6;

}  // namespace

std::string SetupDeviceStore::AddDevice(const std::string& instanceId, const plat::Guid& setupClass,
                                        const std::optional<std::string>& infSection, bool present) {
    std::string key;
    {
        std::lock_guard<std::mutex> lk(mu_);
        Device d{instanceId, setupClass, {}, present, false};
        if (infSection) {
            const std::string classKey = "SYSTEM\\CurrentControlSet\\Control\\Class\\" + trv::GuidToString(setupClass);
            char number[16];
            std::snprintf(number, sizeof number, "\\%04d", nextInstance_[classKey]++);
            d.driverKey = key = classKey + number;
        }
        std::erase_if(devices_, [&](const Device& o) { return Upper(o.instanceId) == Upper(instanceId); });
        devices_.push_back(d);
    }
    if (infSection) registry_.SetString(key, "InfSection", *infSection);
    return key;
}

bool SetupDeviceStore::HasDevice(const std::string& instanceId) {
    std::lock_guard<std::mutex> lk(mu_);
    return std::any_of(devices_.begin(), devices_.end(),
                       [&](const Device& d) { return Upper(d.instanceId) == Upper(instanceId); });
}

std::vector<std::string> SetupDeviceStore::DeviceIds() {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<std::string> out;
    for (auto& d : devices_) out.push_back(d.instanceId);
    return out;
}

std::string SetupDeviceStore::DriverKeyOf(const std::string& instanceId) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& d : devices_)
        if (Upper(d.instanceId) == Upper(instanceId)) return d.driverKey;
    return {};
}

void SetupDeviceStore::RefuseRemoval(const std::string& instanceId, bool refuse) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& d : devices_)
        if (Upper(d.instanceId) == Upper(instanceId)) d.refuseRemoval = refuse;
}

void SetupDeviceStore::FailSets(int count) {
    std::lock_guard<std::mutex> lk(mu_);
    failSets_ = count;
}

bool SetupDeviceStore::MakeSet(const std::optional<plat::Guid>& setupClass,
                               const std::optional<std::string>& enumerator, std::uint32_t flags,
                               std::vector<Member>& members, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    members.clear();
    if (failSets_ > 0) {
        --failSets_;
        error = plat::ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    const bool allClasses = (flags & plat::DIGCF_ALLCLASSES) != 0;
    if (!setupClass && !allClasses) {
        error = plat::ERROR_INVALID_PARAMETER;
        return false;
    }
    for (const Device& d : devices_) {
        if (!allClasses && !(d.setupClass == *setupClass)) continue;
        if (enumerator && Upper(EnumeratorOf(d.instanceId)) != Upper(*enumerator)) continue;
        if ((flags & plat::DIGCF_PRESENT) && !d.present) continue;
        members.push_back({d.instanceId, d.driverKey});
    }
    return true;
}

bool SetupDeviceStore::Remove(const std::string& instanceId, bool nt, std::uint32_t& error) {
    std::string driverKey;
    {
        std::lock_guard<std::mutex> lk(mu_);
        auto it = std::find_if(devices_.begin(), devices_.end(),
                               [&](const Device& d) { return Upper(d.instanceId) == Upper(instanceId); });
        if (it == devices_.end()) {
            error = kNoSuchDevinst;
            return false;
        }
        if (it->refuseRemoval) {
            error = 5;  // ERROR_ACCESS_DENIED
            return false;
        }
        driverKey = it->driverKey;
        devices_.erase(it);
    }
    if (nt && !driverKey.empty()) registry_.DeleteTree(driverKey);
    return true;
}

namespace {

class SetupDevicesFacet final : public plat::SetupDevices {
public:
    SetupDevicesFacet(SetupDeviceStore& s, std::uint32_t pid, std::function<bool()> isNt,
                      std::function<void(std::uint32_t)> setLastError, std::function<void(const std::string&)> note)
        : s_(s), pid_(pid), isNt_(std::move(isNt)), setLastError_(std::move(setLastError)), note_(std::move(note)) {}

    plat::Hdevset GetClassDevices(const std::optional<plat::Guid>& setupClass,
                                  const std::optional<std::string>& enumerator, std::uint32_t flags) override {
        std::vector<SetupDeviceStore::Member> members;
        std::uint32_t e = 0;
        if (!s_.MakeSet(setupClass, enumerator, flags, members, e)) {
            setLastError_(e);
            return plat::Hdevset::None;
        }
        auto h = next_ += 4;
        sets_[h] = std::move(members);
        return static_cast<plat::Hdevset>(h);
    }

    bool EnumDevice(plat::Hdevset set, std::uint32_t index) override {
        auto* m = Find(set, index);
        if (m == nullptr) return false;
        return true;
    }

    plat::Hkey OpenDriverKey(plat::Hdevset set, std::uint32_t index) override {
        auto* m = Find(set, index);
        if (m == nullptr) return plat::Hkey::None;
        plat::Hkey k = m->driverKey.empty()
                           ? plat::Hkey::None
                           : s_.Registry().Open(pid_, plat::Hkey::LocalMachine, m->driverKey, true, false);
        if (k == plat::Hkey::None) setLastError_(plat::ERROR_FILE_NOT_FOUND);
        return k;
    }

    bool DeleteDriverKey(plat::Hdevset set, std::uint32_t index) override {
        auto* m = Find(set, index);
        if (m == nullptr) return false;
        if (m->driverKey.empty() || !s_.Registry().KeyExists(m->driverKey)) {
            setLastError_(plat::ERROR_FILE_NOT_FOUND);
            return false;
        }
        s_.Registry().DeleteTree(m->driverKey);
        note_("driver key deleted: " + m->driverKey);
        return true;
    }

    bool RemoveDevice(plat::Hdevset set, std::uint32_t index) override {
        auto* m = Find(set, index);
        if (m == nullptr) return false;
        std::uint32_t e = 0;
        if (!s_.Remove(m->instanceId, isNt_(), e)) {
            setLastError_(e);
            note_("device removal refused: " + m->instanceId);
            return false;
        }
        note_("device removed: " + m->instanceId);
        return true;
    }

    bool DestroySet(plat::Hdevset set) override {
        if (sets_.erase(plat::Raw(set)) == 0) {
            setLastError_(kInvalidHandle);
            return false;
        }
        return true;
    }

private:
    SetupDeviceStore::Member* Find(plat::Hdevset set, std::uint32_t index) {
        auto it = sets_.find(plat::Raw(set));
        if (it == sets_.end()) {
            setLastError_(kInvalidHandle);
            return nullptr;
        }
        if (index >= it->second.size()) {
            setLastError_(plat::ERROR_NO_MORE_ITEMS);
            return nullptr;
        }
        return &it->second[index];
    }

    SetupDeviceStore& s_;
    std::uint32_t pid_;
    std::function<bool()> isNt_;
    std::function<void(std::uint32_t)> setLastError_;
    std::function<void(const std::string&)> note_;
    std::map<std::uintptr_t, std::vector<SetupDeviceStore::Member>> sets_;
    std::uintptr_t next_ = 0x4000;
};

}  // namespace

std::unique_ptr<plat::SetupDevices> MakeSetupDevicesFacet(SetupDeviceStore& store, std::uint32_t pid,
                                                          std::function<bool()> isNt,
                                                          std::function<void(std::uint32_t)> setLastError,
                                                          std::function<void(const std::string&)> note) {
    return std::make_unique<SetupDevicesFacet>(store, pid, std::move(isNt), std::move(setLastError),
                                               std::move(note));
}

}  // namespace sim
