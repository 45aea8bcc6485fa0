// System version, default locale and the ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plat {

struct OsVersion {
    std::uint32_t major = 5;
    std::uint32_t minor = 1;
    std::uint32_t build = 2600;
    bool nt = true;  // NT family (2000, XP, ...); false for Windows 95/98/Me
};

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    virtual OsVersion Version() = 0;
    // The low byte of GetVersion(): the major version number.
    std::uint32_t MajorVersionByte() { return Version().major & 0xFF; }
    virtual std::uint32_t DefaultLcid() = 0;
    virtual std::uint32_t AnsiCodePage() = 0;
    // Length in bytes of the character that starts at `text[at]` in the ANSI
    // code page (2 for a double-byte lead byte followed by its trail byte),
    // never past the end of `text`.
    virtual std::size_t CharLength(std::string_view text, std::size_t at) = 0;
};

}  // namespace plat
