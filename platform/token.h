// The process token: its groups and privileges, and the request to shut the
// system down that the shutdown privilege allows. The Windows 95/98/Me family
// has no tokens: opening one fails with ERROR_CALL_NOT_IMPLEMENTED.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace plat {

enum class Htoken : std::uintptr_t { None = 0 };

inline constexpr std::uint32_t TOKEN_ADJUST_PRIVILEGES = 0x0020;
inline constexpr std::uint32_t TOKEN_QUERY = 0x0008;

// Group attributes.
inline constexpr std::uint32_t SE_GROUP_MANDATORY = 0x00000001;
inline constexpr std::uint32_t SE_GROUP_ENABLED_BY_DEFAULT = 0x00000002;
inline constexpr std::uint32_t SE_GROUP_ENABLED = 0x00000004;
inline constexpr std::uint32_t SE_GROUP_USE_FOR_DENY_ONLY = 0x00000010;

// ExitWindowsEx flags.
inline constexpr std::uint32_t EWX_LOGOFF = 0x0;
inline constexpr std::uint32_t EWX_SHUTDOWN = 0x1;
inline constexpr std::uint32_t EWX_REBOOT = 0x2;

inline constexpr std::uint32_t ERROR_NOT_ALL_ASSIGNED = 1300;
inline constexpr std::uint32_t ERROR_NONE_MAPPED = 1332;
inline constexpr std::uint32_t ERROR_NO_SUCH_PRIVILEGE = 1313;
inline constexpr std::uint32_t ERROR_PRIVILEGE_NOT_HELD = 1314;

// A security identifier: identifier authority and sub-authorities.
struct Sid {
    std::array<std::uint8_t, 6> authority{};
    std::vector<std::uint32_t> subAuthorities;
    friend bool operator==(const Sid&, const Sid&) = default;
};

inline constexpr std::array<std::uint8_t, 6> SECURITY_NT_AUTHORITY = {0, 0, 0, 0, 0, 5};
inline constexpr std::uint32_t SECURITY_BUILTIN_DOMAIN_RID = 32;
inline constexpr std::uint32_t DOMAIN_ALIAS_RID_ADMINS = 544;

struct TokenGroup {
    Sid sid;
    std::uint32_t attributes = 0;
};

// A locally unique identifier, as privileges are named inside a token.
struct Luid {
    std::uint32_t low = 0;
    std::int32_t high = 0;
    friend bool operator==(const Luid&, const Luid&) = default;
};

class Token {
public:
    virtual ~Token() = default;

    // OpenProcessToken of the calling process with the access given.
    virtual Htoken OpenProcessToken(std::uint32_t access) = 0;
    virtual bool CloseToken(Htoken token) = 0;
    // GetTokenInformation(TokenGroups) into a block of `capacity` bytes.
    // When the block is too small the call fails with
    // ERROR_INSUFFICIENT_BUFFER and `needed` tells the size to allocate.
    virtual bool TokenGroups(Htoken token, std::size_t capacity, std::vector<TokenGroup>& groups,
                             std::size_t& needed) = 0;
    // LookupAccountSid on the local machine: the account and domain names,
    // each in a buffer of `capacity` characters.
    virtual bool AccountOfSid(const Sid& sid, std::size_t capacity, std::string& name, std::string& domain) = 0;

    // LookupPrivilegeValue on the local machine.
    virtual bool FindPrivilege(const std::string& name, Luid& luid) = 0;
    // AdjustTokenPrivileges enabling that one privilege. As with the system
    // call, success with LastError ERROR_NOT_ALL_ASSIGNED means the token
    // does not hold the privilege.
    virtual bool EnablePrivilegeIn(Htoken token, const Luid& luid) = 0;

    // ExitWindowsEx(flags, reason).
    virtual bool RequestShutdown(std::uint32_t flags, std::uint32_t reason) = 0;
};

}  // namespace plat
