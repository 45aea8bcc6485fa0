// The adapter driver's requests and the layouts that travel with them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace trv {

// ---- request codes ----------------------------------------------------------
inline constexpr std::uint32_t IOCTL_ADAPTER_GET_INFO = 0x221400;
inline constexpr std::uint32_t IOCTL_ADAPTER_GET_COMMAND_LEAD = 0x221404;
inline constexpr std::uint32_t IOCTL_ADAPTER_GET_EVENT = 0x221408;
inline constexpr std::uint32_t IOCTL_SCSI_PASS_THROUGH = 0x4D004;

// ---- AdapterInfo: 512 bytes, three little-endian words read -------------------
inline constexpr std::size_t kAdapterInfoSize = 512;
inline constexpr std::size_t kAdapterInfoFlagsOffset = 16;
inline constexpr std::size_t kAdapterInfoFeaturesOffset = 20;
inline constexpr std::size_t kAdapterInfoOptionsOffset = 24;

inline constexpr std::uint32_t ADAPTER_FLAG_USBFLAGS = 0x2;
inline constexpr std::uint32_t ADAPTER_FLAG_ATA = 0x100;
inline constexpr std::uint32_t ADAPTER_FLAG_COMMAND_BLOCKS = 0x40000;
inline constexpr std::uint32_t ADAPTER_FEATURE_EVENTS = 0x80000;
inline constexpr std::uint32_t ADAPTER_FEATURE_SECURITY = 0x100000;
inline constexpr std::uint32_t ADAPTER_OPTION_NO_MENU = 0x1;

struct AdapterWords {
    std::uint32_t flags = 0;
    std::uint32_t features = 0;
    std::uint32_t options = 0;
};
AdapterWords ReadAdapterWords(std::span<const std::uint8_t, kAdapterInfoSize> info);
std::array<std::uint8_t, kAdapterInfoSize> MakeAdapterInfo(const AdapterWords& words);

// ---- PassThroughRequest: 580 bytes, input and output of IOCTL_SCSI_PASS_THROUGH
//  0  Length (16-bit) = 44          5  CdbLength = 16       6  SenseInfoLength = 18
//  7  DataIn (1 read, 0 write)      8  DataTransferLength (32-bit) = 512
// 12  TimeOutValue (32-bit, s)     16  DataBufferOffset (64-bit) = 66
// 24  SenseInfoOffset (32-bit) = 48 28 Cdb, 16 bytes: the AtaCommandBlock
// 44  BufferLength (32-bit) = 580   48 sense bytes (18)     66 data (512)
inline constexpr std::size_t kPassThroughSize = 580;
inline constexpr std::size_t kPtLengthOffset = 0;
inline constexpr std::size_t kPtCdbLengthOffset = 5;
inline constexpr std::size_t kPtSenseInfoLengthOffset = 6;
inline constexpr std::size_t kPtDataInOffset = 7;
inline constexpr std::size_t kPtDataTransferLengthOffset = 8;
inline constexpr std::size_t kPtTimeOutOffset = 12;
inline constexpr std::size_t kPtDataBufferOffsetOffset = 16;
inline constexpr std::size_t kPtSenseInfoOffsetOffset = 24;
inline constexpr std::size_t kPtCdbOffset = 28;
inline constexpr std::size_t kPtBufferLengthOffset = 44;
inline constexpr std::size_t kPtSenseOffset = 48;
inline constexpr std::size_t kPtSenseSize = 18;
inline constexpr std::size_t kPtDataOffset = 66;
inline constexpr std::size_t kPtDataSize = 512;
inline constexpr std::uint16_t kPtHeaderLength = 44;

// ---- AtaCommandBlock: the 16-byte Cdb -----------------------------------------
inline constexpr std::size_t kCdbCommandOffset = 12;
inline constexpr std::uint8_t kCdbRegisterSelect = 0x80;  // byte 3: only the command register
inline constexpr std::uint8_t kCdbBlockCount = 1;         // byte 4

inline constexpr std::uint8_t ATA_IDENTIFY_DEVICE = 0xEC;
inline constexpr std::uint8_t ATA_IDENTIFY_PACKET_DEVICE = 0xA1;
inline constexpr std::uint8_t ATA_SECURITY_SET_PASSWORD = 0xF1;
inline constexpr std::uint8_t ATA_SECURITY_UNLOCK = 0xF2;
inline constexpr std::uint8_t ATA_SECURITY_ERASE_PREPARE = 0xF3;
inline constexpr std::uint8_t ATA_SECURITY_ERASE_UNIT = 0xF4;
inline constexpr std::uint8_t ATA_SECURITY_FREEZE_LOCK = 0xF5;
inline constexpr std::uint8_t ATA_SECURITY_DISABLE_PASSWORD = 0xF6;

using AtaCommandBlock = std::array<std::uint8_t, 16>;
AtaCommandBlock MakeAtaCommandBlock(const std::array<std::uint8_t, 2>& lead, std::uint8_t command);

using PassThroughRequest = std::array<std::uint8_t, kPassThroughSize>;
// A zero-filled request with every header field set for one 512-byte sector.
PassThroughRequest MakePassThroughRequest(const AtaCommandBlock& cdb, bool dataIn, std::uint32_t timeoutSeconds);

// The fields a driver reads from a request image.
struct PassThroughHeader {
    std::uint16_t length = 0;
    std::uint8_t cdbLength = 0;
    std::uint8_t senseInfoLength = 0;
    std::uint8_t dataIn = 0;
    std::uint32_t dataTransferLength = 0;
    std::uint32_t timeOutValue = 0;
    std::uint64_t dataBufferOffset = 0;
    std::uint32_t senseInfoOffset = 0;
    AtaCommandBlock cdb{};
};
PassThroughHeader ReadPassThroughHeader(std::span<const std::uint8_t, kPassThroughSize> request);

}  // namespace trv
