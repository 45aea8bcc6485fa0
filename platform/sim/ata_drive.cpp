#include "sim/ata_drive.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

namespace sim {
namespace {

constexpr std::uint8_t kIdentifyDevice = 0xEC;
constexpr std::uint8_t kIdentifyPacketDevice = 0xA1;
constexpr std::uint8_t kSecuritySetPassword = 0xF1;
constexpr std::uint8_t kSecurityUnlock = 0xF2;
constexpr std::uint8_t kSecurityErasePrepare = 0xF3;
constexpr std::uint8_t kSecurityEraseUnit = 0xF4;
constexpr std::uint8_t kSecurityFreezeLock = 0xF5;
constexpr std::uint8_t kSecurityDisablePassword = 0xF6;

constexpr std::uint8_t kSelectCommandRegister = 0x80;  // command block byte 3
constexpr std::size_t kCommandByte = 12;

// Password sector: word 0 control bits, bytes 2-33 password, word 17 master
// password revision code (SET PASSWORD with the master identifier only).
constexpr std::uint16_t kControlMaster = 0x0001;
constexpr std::uint16_t kControlEnhanced = 0x0002;
constexpr std::uint16_t kControlMaximum = 0x0100;
constexpr std::size_t kPasswordOffset = 2;
constexpr std::size_t kLoggedDataBytes = 34;

constexpr std::uint32_t kTwoMinutesMs = 2u * 60u * 1000u;

AtaDrive::Password PadPassword(std::string_view text) {
  AtaDrive::Password out{};
  std::copy_n(text.begin(), std::min(text.size(), out.size()), out.begin());
  return out;
}

AtaDrive::Password SectorPassword(const std::uint8_t (&data)[512]) {
  AtaDrive::Password out{};
  std::copy_n(data + kPasswordOffset, out.size(), out.begin());
  return out;
}

std::uint16_t Word(const std::uint8_t (&data)[512], std::size_t index) {
  return static_cast<std::uint16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return out;
}

std::string Hex16(std::uint16_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04X", value);
  return buffer;
}

const char* CommandName(std::uint8_t command) {
  switch (command) {
    case kIdentifyDevice: return "IDENTIFY DEVICE";
    case kIdentifyPacketDevice: return "IDENTIFY PACKET DEVICE";
    case kSecuritySetPassword: return "SECURITY SET PASSWORD";
    case kSecurityUnlock: return "SECURITY UNLOCK";
    case kSecurityErasePrepare: return "SECURITY ERASE PREPARE";
    case kSecurityEraseUnit: return "SECURITY ERASE UNIT";
    case kSecurityFreezeLock: return "SECURITY FREEZE LOCK";
    case kSecurityDisablePassword: return "SECURITY DISABLE PASSWORD";
    default: return "UNKNOWN";
  }
}

bool CarriesPasswordSector(std::uint8_t command) {
  return command == kSecuritySetPassword || command == kSecurityUnlock ||
         command == kSecurityEraseUnit || command == kSecurityDisablePassword;
}

bool IsSecurityCommand(std::uint8_t command) {
  return command >= kSecuritySetPassword && command <= kSecurityDisablePassword;
}

// ATA string field: two characters per word, the first in the high byte,
// padded with spaces.
void PutString(std::array<std::uint16_t, 256>& words, std::size_t first,
               std::size_t count, std::string_view text) {
  for (std::size_t i = 0; i < count; ++i) {
    const auto hi = static_cast<unsigned char>(2 * i < text.size() ? text[2 * i] : ' ');
    const auto lo = static_cast<unsigned char>(2 * i + 1 < text.size() ? text[2 * i + 1] : ' ');
    words[first + i] = static_cast<std::uint16_t>((hi << 8) | lo);
  }
}

}  // namespace

AtaDrive::AtaDrive() : AtaDrive(Config{}) {}

AtaDrive::AtaDrive(Config config) : config_(std::move(config)) {
  master_ = PadPassword(config_.masterPassword);
  masterRevision_ = config_.masterRevision;
  if (config_.userPassword) {
    user_ = PadPassword(*config_.userPassword);
    userSet_ = true;
    maximum_ = config_.maximumLevel;
  }
  locked_ = userSet_;
  attempts_ = kAttemptLimit;
  frozen_ = config_.securitySupported && config_.frozenAtPowerOn && !locked_;
}

void AtaDrive::PowerCycle() {
  locked_ = userSet_;
  attempts_ = kAttemptLimit;
  erasePrepared_ = false;
  frozen_ = config_.securitySupported && config_.frozenAtPowerOn && !locked_;
  log_.push_back("POWER ON " + StateTag());
}

AtaResult AtaDrive::FreezeLock() {
  std::uint8_t cdb[16] = {};
  cdb[3] = kSelectCommandRegister;
  cdb[4] = 1;
  cdb[kCommandByte] = kSecurityFreezeLock;
  std::uint8_t sector[512] = {};
  return Execute(cdb, sector);
}

int AtaDrive::SecurityState() const {
  if (!config_.securitySupported) return 0;
  if (!userSet_) return frozen_ ? 2 : 1;
  if (locked_) return 4;
  return frozen_ ? 6 : 5;
}

std::string AtaDrive::StateTag() const {
  const int state = SecurityState();
  if (state == 0) return "[no security]";
  return "[SEC" + std::to_string(state) + " tries=" + std::to_string(attempts_) + "]";
}

std::uint32_t AtaDrive::EraseDurationMs() const {
  const std::uint32_t units = config_.eraseWord89 & 0xFFu;
  return std::max<std::uint32_t>(units, 1u) * kTwoMinutesMs;
}

std::uint32_t AtaDrive::CommandDurationMs(const std::uint8_t (&cdb)[16]) const {
  return cdb[kCommandByte] == kSecurityEraseUnit ? EraseDurationMs() : kQuickCommandMs;
}

std::vector<std::string> AtaDrive::TakeLog() {
  std::vector<std::string> out;
  out.swap(log_);
  return out;
}

AtaResult AtaDrive::Execute(const std::uint8_t (&cdb)[16], std::uint8_t (&data)[512]) {
  const std::uint8_t command = cdb[kCommandByte];
  std::string line = "ATA cdb=" + Hex(cdb, 16) + " " + Hex(&command, 1) + " " +
                     CommandName(command);

  if ((cdb[3] & kSelectCommandRegister) == 0) {
    log_.push_back(line + " -> not issued: command register not selected " + StateTag());
    return AtaResult{false, kStatusGood, 0, 0};
  }

  if (CarriesPasswordSector(command)) {
    const std::uint16_t control = Word(data, 0);
    line += (control & kControlMaster) ? " master" : " user";
    if (command == kSecuritySetPassword) {
      line += (control & kControlMaximum) ? " maximum" : " high";
    }
    line += " data=" + Hex(data, kLoggedDataBytes);
  }

  // Whatever this command is, the erase prepare it may complete is used up.
  const bool prepared = erasePrepared_;
  erasePrepared_ = false;

  Outcome outcome{false, "unknown command"};
  if (IsSecurityCommand(command) && !config_.securitySupported) {
    outcome = {false, "security feature set not supported"};
  } else {
    switch (command) {
      case kIdentifyDevice:
      case kIdentifyPacketDevice:
        if ((command == kIdentifyPacketDevice) != config_.atapi) {
          outcome = {false, config_.atapi ? "packet device" : "not a packet device"};
        } else {
          const auto words = Identify();
          for (std::size_t i = 0; i < words.size(); ++i) {
            data[2 * i] = static_cast<std::uint8_t>(words[i] & 0xFF);
            data[2 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
          }
          outcome = {true, "word128=" + Hex16(words[128])};
        }
        break;
      case kSecuritySetPassword: outcome = SetPassword(data); break;
      case kSecurityUnlock: outcome = Unlock(data); break;
      case kSecurityErasePrepare: outcome = ErasePrepare(); break;
      case kSecurityEraseUnit: outcome = EraseUnit(data, prepared); break;
      case kSecurityFreezeLock: outcome = Freeze(); break;
      case kSecurityDisablePassword: outcome = DisablePassword(data); break;
      default: break;
    }
  }

  line += outcome.ok ? " -> ok" : " -> aborted";
  if (!outcome.note.empty()) line += (outcome.ok ? " " : ": ") + outcome.note;
  line += " " + StateTag();
  log_.push_back(std::move(line));

  AtaResult result;
  result.ok = outcome.ok;
  result.status = outcome.ok ? kStatusGood : kStatusError;
  result.error = outcome.ok ? 0 : kErrorAbort;
  result.durationMs = (outcome.ok && command == kSecurityEraseUnit) ? EraseDurationMs()
                                                                     : kQuickCommandMs;
  return result;
}

AtaDrive::Outcome AtaDrive::WrongPassword() {
  if (attempts_ > 0) --attempts_;
  return {false, "wrong password"};
}

AtaDrive::Outcome AtaDrive::SetPassword(const std::uint8_t (&data)[512]) {
  if (frozen_) return {false, "frozen"};
  if (locked_) return {false, "locked"};
  const std::uint16_t control = Word(data, 0);
  if (control & kControlMaster) {
    master_ = SectorPassword(data);
    const std::uint16_t revision = Word(data, 17);
    // 0000h and FFFFh are accepted but leave the revision code as it was.
    if (revision != 0x0000 && revision != 0xFFFF) masterRevision_ = revision;
    return {true, "master set, revision " + Hex16(masterRevision_)};
  }
  user_ = SectorPassword(data);
  userSet_ = true;
  maximum_ = (control & kControlMaximum) != 0;
  return {true, "user set, locks at next power-on"};
}

AtaDrive::Outcome AtaDrive::Unlock(const std::uint8_t (&data)[512]) {
  if (frozen_) return {false, "frozen"};
  if (attempts_ == 0) return {false, "attempt count expired"};
  const bool useMaster = (Word(data, 0) & kControlMaster) != 0;
  if (useMaster && userSet_ && maximum_) return {false, "master refused at maximum level"};
  if (!useMaster && !userSet_) return {false, "no user password"};
  const bool match = SectorPassword(data) == (useMaster ? master_ : user_);
  if (!locked_) {
    // An unlocked drive checks the password but does not count mismatches.
    return match ? Outcome{true, "already unlocked"} : Outcome{false, "wrong password"};
  }
  if (!match) return WrongPassword();
  locked_ = false;
  return {true, "unlocked"};
}

AtaDrive::Outcome AtaDrive::ErasePrepare() {
  if (frozen_) return {false, "frozen"};
  erasePrepared_ = true;
  return {true, ""};
}

AtaDrive::Outcome AtaDrive::EraseUnit(const std::uint8_t (&data)[512], bool prepared) {
  if (frozen_) return {false, "frozen"};
  if (!prepared) return {false, "not directly after ERASE PREPARE"};
  if (attempts_ == 0) return {false, "attempt count expired"};
  const std::uint16_t control = Word(data, 0);
  if (control & kControlEnhanced) return {false, "enhanced erase not supported"};
  const bool useMaster = (control & kControlMaster) != 0;
  if (!useMaster && !userSet_) return {false, "no user password"};
  if (SectorPassword(data) != (useMaster ? master_ : user_)) return WrongPassword();
  data_.clear();
  dataErased_ = true;
  userSet_ = false;
  user_ = Password{};
  maximum_ = false;
  locked_ = false;
  return {true, "erased, security disabled"};
}

AtaDrive::Outcome AtaDrive::Freeze() {
  if (locked_) return {false, "locked"};
  frozen_ = true;
  return {true, ""};
}

AtaDrive::Outcome AtaDrive::DisablePassword(const std::uint8_t (&data)[512]) {
  if (frozen_) return {false, "frozen"};
  if (locked_) return {false, "locked"};
  const bool useMaster = (Word(data, 0) & kControlMaster) != 0;
  if (useMaster && userSet_ && maximum_) return {false, "master refused at maximum level"};
  if (!useMaster && !userSet_) return {false, "no user password"};
  if (SectorPassword(data) != (useMaster ? master_ : user_)) return WrongPassword();
  if (!userSet_) return {true, "security already disabled"};
  userSet_ = false;
  user_ = Password{};
  maximum_ = false;
  return {true, "security disabled"};
}

bool AtaDrive::WriteData(std::string data) {
  erasePrepared_ = false;
  if (locked_) {
    log_.push_back("MEDIA WRITE -> aborted: locked " + StateTag());
    return false;
  }
  log_.push_back("MEDIA WRITE " + std::to_string(data.size()) + " bytes -> ok " + StateTag());
  data_ = std::move(data);
  dataErased_ = false;
  return true;
}

std::optional<std::string> AtaDrive::ReadData() {
  erasePrepared_ = false;
  if (locked_) {
    log_.push_back("MEDIA READ -> aborted: locked " + StateTag());
    return std::nullopt;
  }
  log_.push_back("MEDIA READ " + std::to_string(data_.size()) + " bytes -> ok " + StateTag());
  return data_;
}

std::array<std::uint16_t, 256> AtaDrive::Identify() const {
  std::array<std::uint16_t, 256> w{};
  if (config_.atapi) {
    w[0] = 0x85C0;  // packet device, CD-ROM type, removable, 12-byte packets
  } else {
    w[0] = 0x0040;  // ATA device, fixed
  }
  PutString(w, 10, 10, "SIM00000001");
  PutString(w, 23, 4, "1.0");
  PutString(w, 27, 20, config_.model);
  w[49] = 0x0200;  // LBA supported
  w[80] = 0x00F0;  // ATA/ATAPI-4 to -7
  if (!config_.atapi) {
    const std::uint64_t lba28 = std::min<std::uint64_t>(config_.sectors, 0x0FFFFFFF);
    w[60] = static_cast<std::uint16_t>(lba28 & 0xFFFF);
    w[61] = static_cast<std::uint16_t>(lba28 >> 16);
    for (int i = 0; i < 4; ++i) {
      w[100 + i] = static_cast<std::uint16_t>((config_.sectors >> (16 * i)) & 0xFFFF);
    }
  }
  const bool supported = config_.securitySupported;
  w[82] = static_cast<std::uint16_t>(0x4000 | (supported ? 0x0002 : 0));  // NOP, security
  w[83] = static_cast<std::uint16_t>(0x4000 | (config_.atapi ? 0 : 0x0400));  // 48-bit
  w[84] = 0x4000;
  w[85] = static_cast<std::uint16_t>(0x4000 | (supported && userSet_ ? 0x0002 : 0));
  w[86] = static_cast<std::uint16_t>(config_.atapi ? 0 : 0x0400);
  w[87] = 0x4000;
  w[89] = config_.eraseWord89;
  w[90] = 0;  // enhanced erase not supported
  if (supported) {
    w[92] = masterRevision_;
    std::uint16_t security = 0x0001;
    if (userSet_) security |= 0x0002;
    if (locked_) security |= 0x0004;
    if (frozen_) security |= 0x0008;
    if (attempts_ == 0) security |= 0x0010;
    if (userSet_ && maximum_) security |= 0x0100;
    w[128] = security;
  }
  // Integrity word: signature A5h, then the checksum that makes all 512
  // bytes sum to zero.
  w[255] = 0x00A5;
  unsigned sum = 0;
  for (std::size_t i = 0; i < 255; ++i) sum += (w[i] & 0xFF) + (w[i] >> 8);
  sum += 0xA5;
  w[255] = static_cast<std::uint16_t>(0x00A5 | (((256 - (sum & 0xFF)) & 0xFF) << 8));
  return w;
}

}  // namespace sim
