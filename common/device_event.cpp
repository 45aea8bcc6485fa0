#include "common/device_event.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/guid.h"

namespace trv {

std::array<std::uint8_t, kEventRecordSize> EncodeEventRecord(const DeviceEventRecord& record) {
    std::array<std::uint8_t, kEventRecordSize> b{};
    PutU32(b, 0, record.size);
    PutU32(b, 4, record.version);
    PutU32(b, kRecordTypeOffset, record.eventType);
    auto g = GuidToBytes(record.interfaceClass);
    std::copy(g.begin(), g.end(), b.begin() + kRecordClassOffset);
    WriteRecordPath(b, record.devicePath);
    b[kRecordActionOffset] = record.actionCode;
    return b;
}

void WriteRecordPath(std::span<std::uint8_t> record, const std::string& path) {
    auto field = record.subspan(kRecordPathOffset, kRecordPathSize);
    std::fill(field.begin(), field.end(), 0);
    std::size_t n = std::min(path.size(), kRecordPathSize - 1);
    n = std::min<std::size_t>(n, std::strlen(path.c_str()));
    std::memcpy(field.data(), path.data(), n);
}

DeviceEventRecord DecodeEventRecord(std::span<const std::uint8_t> bytes) {
    auto u32 = [&](std::size_t at) -> std::uint32_t { return at + 4 <= bytes.size() ? GetU32(bytes, at) : 0; };
    DeviceEventRecord r;
    r.size = u32(0);
    r.version = u32(4);
    r.eventType = u32(kRecordTypeOffset);
    if (bytes.size() >= kRecordClassOffset + 16) {
        r.interfaceClass = GuidFromBytes(bytes.subspan(kRecordClassOffset).first<16>());
    }
    if (bytes.size() > kRecordPathOffset) {
        auto field = bytes.subspan(kRecordPathOffset, std::min(kRecordPathSize - 1, bytes.size() - kRecordPathOffset));
        auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
        r.devicePath.assign(field.begin(), end);
    }
    r.actionCode = bytes.size() > kRecordActionOffset ? bytes[kRecordActionOffset] : 0;
    return r;
}

std::vector<std::uint8_t> EncodeEventBroadcast(std::span<const std::uint8_t> payload, std::size_t spare) {
    std::vector<std::uint8_t> b(kBroadcastHeaderSize + payload.size() + spare, 0);
    PutU32(b, 0, static_cast<std::uint32_t>(kBroadcastHeaderSize + payload.size()));
    PutU32(b, 4, plat::DBT_DEVTYP_OEM);
    std::memcpy(b.data() + kBroadcastNameOffset, kDeviceEventName, sizeof kDeviceEventName);
    std::copy(payload.begin(), payload.end(), b.begin() + kBroadcastPayloadOffset);
    return b;
}

std::optional<ReceivedBroadcast> ReadEventBroadcast(std::span<const std::uint8_t> block) {
    if (block.size() < 8) return std::nullopt;
    std::size_t claimed = GetU32(block, 0);
    std::size_t usable = std::min(claimed, block.size());
    if (usable < 8) return std::nullopt;
    auto view = block.first(usable);
    ReceivedBroadcast r;
    r.deviceType = GetU32(view, 4);
    if (usable > kBroadcastNameOffset) {
        auto name = view.subspan(kBroadcastNameOffset, std::min(kBroadcastNameSize, usable - kBroadcastNameOffset));
        auto end = std::find(name.begin(), name.end(), std::uint8_t{0});
        r.name.assign(name.begin(), end);
    }
    if (usable > kBroadcastPayloadOffset) r.payload = view.subspan(kBroadcastPayloadOffset);
    return r;
}

bool IsDeviceEventBroadcast(const ReceivedBroadcast& b) {
    return b.deviceType == plat::DBT_DEVTYP_OEM && b.name == kDeviceEventName;
}

}  // namespace trv
