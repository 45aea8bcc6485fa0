#include "sim/token_store.h"

#include <cctype>
#include <cstdio>
#include <map>

namespace sim {

namespace {

plat::Sid MakeSid(std::array<std::uint8_t, 6> authority, std::vector<std::uint32_t> subs) {
    plat::Sid s;
    s.authority = authority;
    s.subAuthorities = std::move(subs);
    return s;
}

constexpr std::array<std::uint8_t, 6> kWorldAuthority = {0, 0, 0, 0, 0, 1};
constexpr std::uint32_t kUsersAlias = 545;
constexpr std::uint32_t kAuthenticatedUsers = 11;
constexpr std::uint32_t kGroupOwner = 0x8;
constexpr std::uint32_t kDefaultAttributes =
    plat::SE_GROUP_MANDATORY | plat::SE_GROUP_ENABLED_BY_DEFAULT | plat::SE_GROUP_ENABLED;

plat::Sid Everyone() { return MakeSid(kWorldAuthority, {0}); }
plat::Sid Administrators() {
    return MakeSid(plat::SECURITY_NT_AUTHORITY, {plat::SECURITY_BUILTIN_DOMAIN_RID, plat::DOMAIN_ALIAS_RID_ADMINS});
}
plat::Sid Users() { return MakeSid(plat::SECURITY_NT_AUTHORITY, {plat::SECURITY_BUILTIN_DOMAIN_RID, kUsersAlias}); }
plat::Sid Authenticated() { return MakeSid(plat::SECURITY_NT_AUTHORITY, {kAuthenticatedUsers}); }

// The privileges the sim knows, with the identifiers the NT family gives them.
const std::map<std::string, std::uint32_t>& PrivilegeIds() {
    static const std::map<std::string, std::uint32_t> ids = {
        {"SeLoadDriverPrivilege", 10}, {"SeBackupPrivilege", 17},     {"SeRestorePrivilege", 18},
        {"SeShutdownPrivilege", 19},   {"SeDebugPrivilege", 20},      {"SeChangeNotifyPrivilege", 23},
        {"SeUndockPrivilege", 25},
    };
    return ids;
}

std::string NameOfLuid(const plat::Luid& luid) {
    for (auto& [name, id] : PrivilegeIds())
        if (id == luid.low && luid.high == 0) return name;
    return {};
}

}  // namespace

TokenStore::TokenStore() : groups_(AdministratorGroups()), held_{"SeShutdownPrivilege", "SeChangeNotifyPrivilege"} {}

std::vector<plat::TokenGroup> TokenStore::AdministratorGroups() {
    return {{Everyone(), kDefaultAttributes},
            {Administrators(), kDefaultAttributes | kGroupOwner},
            {Users(), kDefaultAttributes},
            {Authenticated(), kDefaultAttributes}};
}

std::vector<plat::TokenGroup> TokenStore::UserGroups() {
    return {{Everyone(), kDefaultAttributes}, {Users(), kDefaultAttributes}, {Authenticated(), kDefaultAttributes}};
}

std::vector<plat::TokenGroup> TokenStore::DenyOnlyAdministratorGroups() {
    return {{Everyone(), kDefaultAttributes},
            {Administrators(), plat::SE_GROUP_USE_FOR_DENY_ONLY},
            {Users(), kDefaultAttributes},
            {Authenticated(), kDefaultAttributes}};
}

void TokenStore::SetGroups(std::vector<plat::TokenGroup> groups) {
    std::lock_guard<std::mutex> lk(mu_);
    groups_ = std::move(groups);
}

void TokenStore::SetHeldPrivileges(std::set<std::string> names) {
    std::lock_guard<std::mutex> lk(mu_);
    held_ = std::move(names);
}

void TokenStore::FailTokenOpens(std::uint32_t error) {
    std::lock_guard<std::mutex> lk(mu_);
    openError_ = error;
}

void TokenStore::FailLookups(std::uint32_t error) {
    std::lock_guard<std::mutex> lk(mu_);
    lookupError_ = error;
}

std::vector<TokenStore::ShutdownRequest> TokenStore::ShutdownRequests() {
    std::lock_guard<std::mutex> lk(mu_);
    return shutdowns_;
}

TokenStore::Snapshot TokenStore::Current() {
    std::lock_guard<std::mutex> lk(mu_);
    return Snapshot{groups_, held_, openError_, lookupError_};
}

void TokenStore::RecordShutdown(const ShutdownRequest& r) {
    std::lock_guard<std::mutex> lk(mu_);
    shutdowns_.push_back(r);
}

namespace {

class TokenFacet final : public plat::Token {
public:
    TokenFacet(TokenStore& s, std::uint32_t pid, std::function<bool()> isNt,
               std::function<void(std::uint32_t)> setLastError, std::function<void(const std::string&)> note)
        : s_(s), pid_(pid), isNt_(std::move(isNt)), setLastError_(std::move(setLastError)), note_(std::move(note)) {}

    plat::Htoken OpenProcessToken(std::uint32_t access) override {
        if (!isNt_()) return Fail(plat::ERROR_CALL_NOT_IMPLEMENTED), plat::Htoken::None;
        TokenStore::Snapshot now = s_.Current();
        if (now.openError != 0) return Fail(now.openError), plat::Htoken::None;
        auto h = next_ += 4;
        tokens_[h] = access;
        return static_cast<plat::Htoken>(h);
    }

    bool CloseToken(plat::Htoken token) override {
        if (tokens_.erase(plat::Raw(token)) == 0) return Fail(6);  // ERROR_INVALID_HANDLE
        return true;
    }

    bool TokenGroups(plat::Htoken token, std::size_t capacity, std::vector<plat::TokenGroup>& groups,
                     std::size_t& needed) override {
        groups.clear();
        auto it = tokens_.find(plat::Raw(token));
        if (it == tokens_.end()) return Fail(6);
        if (!(it->second & plat::TOKEN_QUERY)) return Fail(5);  // ERROR_ACCESS_DENIED
        TokenStore::Snapshot now = s_.Current();
        // The block the system fills: a count, then per group a pointer to
        // its identifier and the attributes, then the identifiers themselves.
        needed = 8;
        for (const plat::TokenGroup& g : now.groups) needed += 16 + 8 + 4 * g.sid.subAuthorities.size();
        if (capacity < needed) return Fail(plat::ERROR_INSUFFICIENT_BUFFER);
        groups = now.groups;
        return true;
    }

    bool AccountOfSid(const plat::Sid& sid, std::size_t capacity, std::string& name, std::string& domain) override {
        name.clear();
        domain.clear();
        if (!isNt_()) return Fail(plat::ERROR_CALL_NOT_IMPLEMENTED);
        TokenStore::Snapshot now = s_.Current();
        if (now.lookupError != 0) return Fail(now.lookupError);
        std::string n, d;
        if (sid == Administrators()) {
            n = "Administrators", d = "BUILTIN";
        } else if (sid == Users()) {
            n = "Users", d = "BUILTIN";
        } else if (sid == Everyone()) {
            n = "Everyone";
        } else if (sid == Authenticated()) {
            n = "Authenticated Users", d = "NT AUTHORITY";
        } else {
            return Fail(plat::ERROR_NONE_MAPPED);
        }
        if (n.size() + 1 > capacity || d.size() + 1 > capacity) return Fail(plat::ERROR_INSUFFICIENT_BUFFER);
        name = n;
        domain = d;
        return true;
    }

    bool FindPrivilege(const std::string& name, plat::Luid& luid) override {
        if (!isNt_()) return Fail(plat::ERROR_CALL_NOT_IMPLEMENTED);
        for (auto& [known, id] : PrivilegeIds()) {
            if (known.size() != name.size()) continue;
            bool same = true;
            for (std::size_t i = 0; i < name.size() && same; ++i)
                same = std::tolower(static_cast<unsigned char>(known[i])) ==
                       std::tolower(static_cast<unsigned char>(name[i]));
            if (same) {
                luid = plat::Luid{id, 0};
                return true;
            }
        }
        return Fail(plat::ERROR_NO_SUCH_PRIVILEGE);
    }

    bool EnablePrivilegeIn(plat::Htoken token, const plat::Luid& luid) override {
        auto it = tokens_.find(plat::Raw(token));
        if (it == tokens_.end()) return Fail(6);
        if (!(it->second & plat::TOKEN_ADJUST_PRIVILEGES)) return Fail(5);
        std::string name = NameOfLuid(luid);
        TokenStore::Snapshot now = s_.Current();
        if (name.empty() || !now.held.count(name)) {
            setLastError_(plat::ERROR_NOT_ALL_ASSIGNED);
            return true;
        }
        enabled_.insert(name);
        setLastError_(0);
        return true;
    }

    bool RequestShutdown(std::uint32_t flags, std::uint32_t reason) override {
        bool accepted = !isNt_() || enabled_.count("SeShutdownPrivilege") > 0;
        s_.RecordShutdown({pid_, flags, reason, accepted});
        char line[160];
        std::snprintf(line, sizeof line, "asks the system to %s (ExitWindowsEx flags 0x%X, reason 0x%X): %s",
                      (flags & plat::EWX_REBOOT) ? "restart" : (flags & plat::EWX_SHUTDOWN) ? "shut down" : "log off",
                      flags, reason, accepted ? "accepted (not carried out by the sim)" : "refused, privilege not held");
        note_(line);
        if (!accepted) return Fail(plat::ERROR_PRIVILEGE_NOT_HELD);
        return true;
    }

private:
    bool Fail(std::uint32_t error) {
        setLastError_(error);
        return false;
    }

    TokenStore& s_;
    std::uint32_t pid_;
    std::function<bool()> isNt_;
    std::function<void(std::uint32_t)> setLastError_;
    std::function<void(const std::string&)> note_;
    // Only the process's own threads use its token facet, one at a time.
    std::map<std::uintptr_t, std::uint32_t> tokens_;
    std::set<std::string> enabled_;
    std::uintptr_t next_ = 0x3000;
};

}  // namespace

std::unique_ptr<plat::Token> MakeTokenFacet(TokenStore& store, std::uint32_t pid, std::function<bool()> isNt,
                                            std::function<void(std::uint32_t)> setLastError,
                                            std::function<void(const std::string&)> note) {
    return std::make_unique<TokenFacet>(store, pid, std::move(isNt), std::move(setLastError), std::move(note));
}

}  // namespace sim
