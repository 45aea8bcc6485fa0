#include "common/guid.h"

#include <cstdio>

#include "common/bytes.h"

namespace trv {

std::array<std::uint8_t, 16> GuidToBytes(const plat::Guid& g) {
    std::array<std::uint8_t, 16> b{};
    PutU32(b, 0, g.data1);
    PutU16(b, 4, g.data2);
    PutU16(b, 6, g.data3);
    for (int i = 0; i < 8; ++i) b[8 + i] = g.data4[i];
    return b;
}

plat::Guid GuidFromBytes(std::span<const std::uint8_t, 16> bytes) {
    plat::Guid g;
    g.data1 = GetU32(bytes, 0);
    g.data2 = GetU16(bytes, 4);
    g.data3 = GetU16(bytes, 6);
    for (int i = 0; i < 8; ++i) g.data4[i] = bytes[8 + i];
    return g;
}

std::string GuidToString(const plat::Guid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.data1), g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                  g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

}  // namespace trv
