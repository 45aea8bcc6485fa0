// Simulated ATA (or ATAPI) drive with the ATA security feature set, as it
// sits behind the simulated USB-to-ATA adapter. It models the drive's side of
// the protocol only: commands arrive as the 16-byte command block the adapter
// carries (command register value at byte 12) plus one 512-byte sector.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Outcome of one command as the drive's registers report it.
//   ok           status 0x50 (DRDY|DSC), error 0
//   aborted      ok=false, status 0x51 (DRDY|DSC|ERR), error 0x04 (ABRT)
//   not issued   ok=false, status 0x50, error 0: byte 3 of the command block
//                did not select the command register, so the drive never saw
//                a command (nothing changes, not even a pending erase prepare)
struct AtaResult {
  bool ok = false;
  std::uint8_t status = 0;
  std::uint8_t error = 0;
  std::uint32_t durationMs = 0;  // simulated time the command actually took
};

class AtaDrive {
 public:
  using Password = std::array<std::uint8_t, 32>;

  static constexpr std::uint8_t kStatusGood = 0x50;
  static constexpr std::uint8_t kStatusError = 0x51;
  static constexpr std::uint8_t kErrorAbort = 0x04;
  static constexpr int kAttemptLimit = 5;
  static constexpr std::uint32_t kQuickCommandMs = 5;

  struct Config {
    bool atapi = false;              // packet device: answers 0xA1, aborts 0xEC
    std::string model = "SIM DRIVE";  // IDENTIFY words 27-46
    std::uint16_t eraseWord89 = 30;   // IDENTIFY word 89 (bits 0-7: x 2 minutes)
    bool securitySupported = true;    // word 82 bit 1; without it F1-F6 abort
    bool frozenAtPowerOn = false;     // BIOS sends FREEZE LOCK at every power-on
    std::uint16_t masterRevision = 0xFFFE;  // word 92 at the factory
    std::string masterPassword = "SIMDRIVE FACTORY MASTER";  // zero-padded to 32
    std::uint64_t sectors = 1000;
    // A drive delivered already protected: user password set, so it powers
    // on locked. Empty optional: no user password.
    std::optional<std::string> userPassword;
    bool maximumLevel = false;  // level of that user password
  };

  AtaDrive();
  explicit AtaDrive(Config config);

  // One command. cdb: the adapter's command block; data: the sector (filled
  // for IDENTIFY, read for the security commands that carry one).
  AtaResult Execute(const std::uint8_t (&cdb)[16], std::uint8_t (&data)[512]);

  // Nominal time of a command if the drive accepts it: SECURITY ERASE UNIT
  // takes word 89 bits 0-7 x 2 minutes (0, "not given", counts as 1), every
  // other command kQuickCommandMs. The actual time is AtaResult::durationMs.
  std::uint32_t CommandDurationMs(const std::uint8_t (&cdb)[16]) const;

  // Power-on or hardware reset: locked again if a user password is set,
  // attempt counter back to 5, erase prepare forgotten, frozen only if the
  // BIOS freezes the drive at power-on and the drive is not locked (a locked
  // drive aborts FREEZE LOCK).
  void PowerCycle();
  // As if the BIOS (or any host) sent SECURITY FREEZE LOCK; logged like one.
  AtaResult FreezeLock();

  // Observation.
  int SecurityState() const;  // 1..6 for SEC1..SEC6, 0 without the feature set
  bool Locked() const { return locked_; }
  bool UserPasswordSet() const { return userSet_; }
  int AttemptsLeft() const { return attempts_; }
  bool Frozen() const { return frozen_; }
  bool DataErased() const { return dataErased_; }
  int Level() const { return maximum_ ? 1 : 0; }  // 0 high, 1 maximum
  std::uint16_t MasterRevision() const { return masterRevision_; }
  bool ErasePrepared() const { return erasePrepared_; }

  // One line per command (and per power-on). Password bytes appear only as
  // hex inside the data dump, never as text.
  std::vector<std::string> TakeLog();

  // User-data stand-in; each call counts as a media-access command (it ends
  // a pending erase prepare). Aborted while locked.
  bool WriteData(std::string data);
  std::optional<std::string> ReadData();

  std::array<std::uint16_t, 256> Identify() const;

 private:
  struct Outcome {
    bool ok;
    std::string note;
  };

  Outcome SetPassword(const std::uint8_t (&data)[512]);
  Outcome Unlock(const std::uint8_t (&data)[512]);
  Outcome ErasePrepare();
  Outcome EraseUnit(const std::uint8_t (&data)[512], bool prepared);
  Outcome Freeze();
  Outcome DisablePassword(const std::uint8_t (&data)[512]);
  Outcome WrongPassword();
  std::string StateTag() const;
  std::uint32_t EraseDurationMs() const;

  Config config_;
  Password master_{};
  Password user_{};
  std::uint16_t masterRevision_ = 0;
  bool userSet_ = false;
  bool maximum_ = false;
  bool locked_ = false;
  bool frozen_ = false;
  bool erasePrepared_ = false;
  int attempts_ = kAttemptLimit;
  std::string data_;
  bool dataErased_ = false;
  std::vector<std::string> log_;
};

}  // namespace sim
