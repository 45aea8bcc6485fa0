// The device event broadcast "TRV\Event": a user-defined WM_DEVICECHANGE
// (wParam DBT_USERDEFINED) whose block is a 56-byte OEM header and name
// followed by one 300-byte DeviceEventRecord. Every number little-endian.
//
// The block crosses processes, so whatever arrives is read only within the
// size it claims and only within what was actually delivered.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/types.h"

namespace trv {

enum DeviceEventType : std::uint32_t {
    ZelDeviceRestart = 0,
    ZelDeviceRefresh = 1,
    ZelDeviceEject = 2,
};

inline constexpr char kDeviceEventName[] = "TRV\\Event";
inline constexpr std::size_t kBroadcastHeaderSize = 56;   // size of the block without its payload
inline constexpr std::size_t kBroadcastPayloadOffset = 52;
inline constexpr std::size_t kBroadcastNameOffset = 20;
inline constexpr std::size_t kBroadcastNameSize = 32;

inline constexpr std::size_t kEventRecordSize = 300;
inline constexpr std::uint32_t kEventRecordVersion = 1;
inline constexpr std::size_t kRecordTypeOffset = 8;
inline constexpr std::size_t kRecordClassOffset = 12;
inline constexpr std::size_t kRecordPathOffset = 28;
inline constexpr std::size_t kRecordPathSize = 260;      // terminator included
inline constexpr std::size_t kRecordActionOffset = 296;

struct DeviceEventRecord {
    std::uint32_t size = kEventRecordSize;
    std::uint32_t version = kEventRecordVersion;
    std::uint32_t eventType = ZelDeviceRefresh;
    plat::Guid interfaceClass{};
    std::string devicePath;  // at most 259 characters are carried
    std::uint8_t actionCode = 0;
};

// The 300-byte image; a longer path is cut to 259 characters.
std::array<std::uint8_t, kEventRecordSize> EncodeEventRecord(const DeviceEventRecord& record);
// Reads a record from `bytes`: fields that lie beyond the end read as zero,
// and the path stops at its terminator, the end of its 260 bytes or the end
// of `bytes`, whichever comes first.
DeviceEventRecord DecodeEventRecord(std::span<const std::uint8_t> bytes);

// Writes `path` zero-terminated into the 260-byte path field of a record image.
void WriteRecordPath(std::span<std::uint8_t> record, const std::string& path);

// The whole broadcast block: header, name and `payload`. `spare` zero bytes
// may follow the block (they are not counted in its size).
std::vector<std::uint8_t> EncodeEventBroadcast(std::span<const std::uint8_t> payload, std::size_t spare = 0);

// What a receiver makes of a user-defined device-change block.
struct ReceivedBroadcast {
    std::uint32_t deviceType = 0;
    std::string name;                       // the name field up to its terminator (at most 32 bytes)
    std::span<const std::uint8_t> payload;  // within the block's claimed size
};
// `block` is what was delivered; its first 32-bit word is the size the sender
// claims. Nothing beyond min(claimed size, delivered size) is read. Empty
// when the block is too short to hold its header fields.
std::optional<ReceivedBroadcast> ReadEventBroadcast(std::span<const std::uint8_t> block);
// True for a block that names our event: device type DBT_DEVTYP_OEM and the
// name "TRV\Event" exactly (letter case significant).
bool IsDeviceEventBroadcast(const ReceivedBroadcast& b);

}  // namespace trv
