// Interface classes and their 16-byte in-memory form.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "platform/types.h"

namespace trv {

// {DBCB918C-660A-494D-BCE2-90CD2DAA00B7}: the adapter's device-interface class.
inline constexpr plat::Guid AdapterInterfaceGuid{0xDBCB918C, 0x660A, 0x494D, {0xBC, 0xE2, 0x90, 0xCD, 0x2D, 0xAA, 0x00, 0xB7}};
// {53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}: the system's volume interfaces.
inline constexpr plat::Guid VolumeInterfaceGuid{0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// The usual layout: Data1, Data2, Data3 little-endian, then Data4 as it stands.
std::array<std::uint8_t, 16> GuidToBytes(const plat::Guid& g);
plat::Guid GuidFromBytes(std::span<const std::uint8_t, 16> bytes);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in capitals.
std::string GuidToString(const plat::Guid& g);

}  // namespace trv
