// The process token over advapi32, and the shutdown request. On the Windows
// 95/98/Me family advapi32's token calls fail with ERROR_CALL_NOT_IMPLEMENTED.
#include "platform/win32/win32_token.h"

#include "platform/win32/win32_api.h"

#include <vector>

namespace plat::win32 {

namespace {

HANDLE ToToken(Htoken t) { return reinterpret_cast<HANDLE>(Raw(t)); }

Sid FromSid(PSID sid) {
    Sid out;
    const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
    for (int i = 0; i < 6; ++i) out.authority[i] = authority->Value[i];
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    for (UCHAR i = 0; i < count; ++i) out.subAuthorities.push_back(*GetSidSubAuthority(sid, i));
    return out;
}

// The identifier in the system's layout, in `storage`.
PSID ToSid(const Sid& sid, std::vector<std::uint8_t>& storage) {
    if (sid.subAuthorities.size() > SID_MAX_SUB_AUTHORITIES) return nullptr;
    const auto count = static_cast<UCHAR>(sid.subAuthorities.size());
    storage.assign(GetSidLengthRequired(count), 0);
    PSID out = storage.data();
    SID_IDENTIFIER_AUTHORITY authority{};
    for (int i = 0; i < 6; ++i) authority.Value[i] = sid.authority[i];
    if (!InitializeSid(out, &authority, count)) return nullptr;
    for (UCHAR i = 0; i < count; ++i) *GetSidSubAuthority(out, i) = sid.subAuthorities[i];
    return out;
}

class Win32Token final : public Token {
public:
    Htoken OpenProcessToken(std::uint32_t access) override {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(GetCurrentProcess(), access, &token)) return Htoken::None;
        return static_cast<Htoken>(reinterpret_cast<std::uintptr_t>(token));
    }

    bool CloseToken(Htoken token) override { return CloseHandle(ToToken(token)) != FALSE; }

    bool TokenGroups(Htoken token, std::size_t capacity, std::vector<TokenGroup>& groups, std::size_t& needed) override {
        groups.clear();
        std::vector<std::uint8_t> block(capacity, 0);
        DWORD size = 0;
        const BOOL ok = GetTokenInformation(ToToken(token), ::TokenGroups, capacity ? block.data() : nullptr,
                                            static_cast<DWORD>(capacity), &size);
        needed = size;
        if (!ok) return false;
        const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(block.data());
        for (DWORD i = 0; i < list->GroupCount; ++i) {
            if (!IsValidSid(list->Groups[i].Sid)) continue;
            groups.push_back({FromSid(list->Groups[i].Sid), list->Groups[i].Attributes});
        }
        return true;
    }

    bool AccountOfSid(const Sid& sid, std::size_t capacity, std::string& name, std::string& domain) override {
        name.clear();
        domain.clear();
        std::vector<std::uint8_t> storage;
        PSID native = ToSid(sid, storage);
        if (native == nullptr || capacity == 0) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        std::vector<char> n(capacity, '\0'), d(capacity, '\0');
        DWORD nLength = static_cast<DWORD>(capacity), dLength = static_cast<DWORD>(capacity);
        SID_NAME_USE use{};
        if (!LookupAccountSidA(nullptr, native, n.data(), &nLength, d.data(), &dLength, &use)) return false;
        name.assign(n.data());
        domain.assign(d.data());
        return true;
    }

    bool FindPrivilege(const std::string& name, Luid& luid) override {
        LUID value{};
        if (!LookupPrivilegeValueA(nullptr, name.c_str(), &value)) return false;
        luid = Luid{value.LowPart, value.HighPart};
        return true;
    }

    bool EnablePrivilegeIn(Htoken token, const Luid& luid) override {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Luid.LowPart = luid.low;
        privileges.Privileges[0].Luid.HighPart = luid.high;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        return AdjustTokenPrivileges(ToToken(token), FALSE, &privileges, sizeof privileges, nullptr, nullptr) != FALSE;
    }

    // This really shuts the system down; no test may get here.
    bool RequestShutdown(std::uint32_t flags, std::uint32_t reason) override {
        return ExitWindowsEx(flags, reason) != FALSE;
    }
};

}  // namespace

std::unique_ptr<Token> MakeToken() { return std::make_unique<Win32Token>(); }

}  // namespace plat::win32
