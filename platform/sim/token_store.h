// The simulated log-on account behind every process token: its groups, the
// privileges it holds, how account look-ups answer, and the shutdown
// requests the programs make (written down, never carried out).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/token.h"

namespace sim {

class TokenStore {
public:
    TokenStore();

    // ---- for tests and the simulator ---------------------------------------------
    // The groups of a member of the Administrators group, of a plain user,
    // and of an administrator whose membership serves only to deny access.
    static std::vector<plat::TokenGroup> AdministratorGroups();
    static std::vector<plat::TokenGroup> UserGroups();
    static std::vector<plat::TokenGroup> DenyOnlyAdministratorGroups();
    void SetGroups(std::vector<plat::TokenGroup> groups);
    // The privileges the account holds (disabled until a program enables
    // them). Held by default: SeShutdownPrivilege and SeChangeNotifyPrivilege.
    void SetHeldPrivileges(std::set<std::string> names);
    // While set, opening a process token fails with this error (0: it opens).
    void FailTokenOpens(std::uint32_t error);
    // While set, account look-ups fail with this error (0: they answer).
    void FailLookups(std::uint32_t error);

    struct ShutdownRequest {
        std::uint32_t pid;
        std::uint32_t flags;
        std::uint32_t reason;
        bool accepted;
    };
    std::vector<ShutdownRequest> ShutdownRequests();

    // ---- what the facet uses ----------------------------------------------------
    struct Snapshot {
        std::vector<plat::TokenGroup> groups;
        std::set<std::string> held;
        std::uint32_t openError = 0;
        std::uint32_t lookupError = 0;
    };
    Snapshot Current();
    void RecordShutdown(const ShutdownRequest& r);

private:
    std::mutex mu_;
    std::vector<plat::TokenGroup> groups_;
    std::set<std::string> held_;
    std::uint32_t openError_ = 0;
    std::uint32_t lookupError_ = 0;
    std::vector<ShutdownRequest> shutdowns_;
};

std::unique_ptr<plat::Token> MakeTokenFacet(TokenStore& store, std::uint32_t pid, std::function<bool()> isNt,
                                            std::function<void(std::uint32_t)> setLastError,
                                            std::function<void(const std::string&)> note);

}  // namespace sim
