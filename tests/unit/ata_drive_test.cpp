#include "sim/ata_drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace {

using sim::AtaDrive;
using sim::AtaResult;

constexpr std::uint8_t kIdentify = 0xEC;
constexpr std::uint8_t kIdentifyPacket = 0xA1;
constexpr std::uint8_t kSetPassword = 0xF1;
constexpr std::uint8_t kUnlock = 0xF2;
constexpr std::uint8_t kErasePrepare = 0xF3;
constexpr std::uint8_t kEraseUnit = 0xF4;
constexpr std::uint8_t kFreeze = 0xF5;
constexpr std::uint8_t kDisable = 0xF6;

constexpr std::uint16_t kUser = 0x0000;
constexpr std::uint16_t kMaster = 0x0001;
constexpr std::uint16_t kUserMaximum = 0x0100;

// What the tray program sends as its fixed master: 9 characters and the zero.
const std::string kProgramMaster("KJT Plums\0", 10);
const std::string kFactoryMaster = "FACTORY-MASTER";

struct Command {
  std::uint8_t cdb[16] = {0x12, 0x34, 0x00, 0x80, 0x01};
  std::uint8_t data[512] = {};

  explicit Command(std::uint8_t code, std::uint16_t control = 0, std::string_view password = {},
                   std::uint16_t word17 = 0) {
    cdb[12] = code;
    data[0] = static_cast<std::uint8_t>(control & 0xFF);
    data[1] = static_cast<std::uint8_t>(control >> 8);
    if (!password.empty()) std::memcpy(data + 2, password.data(), std::min<std::size_t>(password.size(), 32));
    data[34] = static_cast<std::uint8_t>(word17 & 0xFF);
    data[35] = static_cast<std::uint8_t>(word17 >> 8);
  }
};

AtaResult Send(AtaDrive& drive, std::uint8_t code, std::uint16_t control = 0,
               std::string_view password = {}, std::uint16_t word17 = 0) {
  Command command(code, control, password, word17);
  return drive.Execute(command.cdb, command.data);
}

AtaResult SetUser(AtaDrive& d, std::string_view pw, bool maximum) {
  return Send(d, kSetPassword, maximum ? kUserMaximum : kUser, pw);
}
AtaResult Unlock(AtaDrive& d, std::string_view pw, std::uint16_t who = kUser) {
  return Send(d, kUnlock, who, pw);
}
AtaResult Erase(AtaDrive& d, std::string_view pw, std::uint16_t who) {
  const AtaResult prepare = Send(d, kErasePrepare);
  if (!prepare.ok) return prepare;
  return Send(d, kEraseUnit, who, pw);
}
AtaResult Disable(AtaDrive& d, std::string_view pw, std::uint16_t who = kUser) {
  return Send(d, kDisable, who, pw);
}

AtaDrive::Config BaseConfig() {
  AtaDrive::Config config;
  config.masterPassword = kFactoryMaster;
  return config;
}

// A drive protected the way the tray program protects one: master set to the
// program's value, user password at maximum level, then power-cycled (locked).
AtaDrive LockedAtMaximum(std::string_view user = "user-pw") {
  AtaDrive d(BaseConfig());
  EXPECT_TRUE(Send(d, kSetPassword, kMaster, kProgramMaster).ok);
  EXPECT_TRUE(SetUser(d, user, true).ok);
  EXPECT_TRUE(d.WriteData("precious"));
  d.PowerCycle();
  return d;
}

AtaDrive LockedAtHigh(std::string_view user = "user-pw") {
  AtaDrive d(BaseConfig());
  EXPECT_TRUE(SetUser(d, user, false).ok);
  EXPECT_TRUE(d.WriteData("precious"));
  d.PowerCycle();
  return d;
}

void ExpectAborted(const AtaResult& r) {
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.status, 0x51);
  EXPECT_EQ(r.error, 0x04);
}

void ExpectOk(const AtaResult& r) {
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.status, 0x50);
  EXPECT_EQ(r.error, 0x00);
}

std::string ModelString(const std::array<std::uint16_t, 256>& w) {
  std::string out;
  for (int i = 27; i <= 46; ++i) {
    out.push_back(static_cast<char>(w[i] >> 8));
    out.push_back(static_cast<char>(w[i] & 0xFF));
  }
  return out;
}

// ---------------------------------------------------------------- IDENTIFY

TEST(AtaDriveIdentify, FreshAtaDriveReportsFixedWordsAndDisabledSecurity) {
  AtaDrive::Config config = BaseConfig();
  config.model = "TEST MODEL 1";
  config.sectors = 0x123456789ull;
  AtaDrive d(config);
  const auto w = d.Identify();

  EXPECT_EQ(w[0] & 0x8000, 0);  // ATA, not packet
  EXPECT_EQ(ModelString(w), "TEST MODEL 1" + std::string(28, ' '));
  EXPECT_EQ(w[82] & 0x0002, 0x0002);
  EXPECT_EQ(w[85] & 0x0002, 0);
  EXPECT_EQ(w[89], 30);
  EXPECT_EQ(w[92], 0xFFFE);
  EXPECT_EQ(w[128], 0x0001);
  // 28-bit count saturates, 48-bit count is exact.
  EXPECT_EQ(w[60] | (w[61] << 16), 0x0FFFFFFF);
  EXPECT_EQ(w[100], 0x6789);
  EXPECT_EQ(w[101], 0x2345);
  EXPECT_EQ(w[102], 0x0001);
  EXPECT_EQ(w[103], 0x0000);
  // Integrity word: signature and a checksum that makes the bytes sum to 0.
  EXPECT_EQ(w[255] & 0xFF, 0xA5);
  unsigned sum = 0;
  for (auto word : w) sum += (word & 0xFF) + (word >> 8);
  EXPECT_EQ(sum & 0xFF, 0u);
}

TEST(AtaDriveIdentify, CommandFillsSectorLittleEndianLikeIdentify) {
  AtaDrive d(BaseConfig());
  ASSERT_TRUE(SetUser(d, "pw", true).ok);
  Command identify(kIdentify);
  std::memset(identify.data, 0xCC, sizeof identify.data);
  const AtaResult r = d.Execute(identify.cdb, identify.data);
  ExpectOk(r);
  const auto w = d.Identify();
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(identify.data[2 * i] | (identify.data[2 * i + 1] << 8), w[i]) << "word " << i;
  }
  EXPECT_EQ(identify.data[256], 0x03);  // word 128 low byte: supported|enabled
  EXPECT_EQ(identify.data[257], 0x01);  // high byte: maximum level
}

struct StateCase {
  const char* name;
  std::function<void(AtaDrive&)> reach;
  int state;
  std::uint16_t word128;
  bool word85Enabled;
};

TEST(AtaDriveIdentify, SecurityWordsFollowEveryState) {
  const StateCase cases[] = {
      {"SEC1", [](AtaDrive&) {}, 1, 0x0001, false},
      {"SEC2", [](AtaDrive& d) { d.FreezeLock(); }, 2, 0x0009, false},
      {"SEC5 high", [](AtaDrive& d) { SetUser(d, "u", false); }, 5, 0x0003, true},
      {"SEC5 maximum", [](AtaDrive& d) { SetUser(d, "u", true); }, 5, 0x0103, true},
      {"SEC4 high",
       [](AtaDrive& d) {
         SetUser(d, "u", false);
         d.PowerCycle();
       },
       4, 0x0007, true},
      {"SEC4 maximum",
       [](AtaDrive& d) {
         SetUser(d, "u", true);
         d.PowerCycle();
       },
       4, 0x0107, true},
      {"SEC4 expired",
       [](AtaDrive& d) {
         SetUser(d, "u", true);
         d.PowerCycle();
         for (int i = 0; i < 5; ++i) Unlock(d, "x");
       },
       4, 0x0117, true},
      {"SEC6",
       [](AtaDrive& d) {
         SetUser(d, "u", false);
         d.PowerCycle();
         Unlock(d, "u");
         d.FreezeLock();
       },
       6, 0x000B, true},
      {"SEC1 after erase",
       [](AtaDrive& d) {
         SetUser(d, "u", true);
         d.PowerCycle();
         Erase(d, kFactoryMaster, kMaster);
       },
       1, 0x0001, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AtaDrive d(BaseConfig());
    c.reach(d);
    const auto w = d.Identify();
    EXPECT_EQ(d.SecurityState(), c.state);
    EXPECT_EQ(w[128], c.word128);
    EXPECT_EQ((w[85] & 0x0002) != 0, c.word85Enabled);
    EXPECT_EQ(w[82] & 0x0002, 0x0002);  // fixed
    EXPECT_EQ(w[89], 30);               // fixed
  }
}

TEST(AtaDriveIdentify, DriveWithoutFeatureSetReportsNothingAndAbortsSecurityCommands) {
  AtaDrive::Config config = BaseConfig();
  config.securitySupported = false;
  config.eraseWord89 = 12;
  AtaDrive d(config);
  const auto w = d.Identify();
  EXPECT_EQ(w[82] & 0x0002, 0);
  EXPECT_EQ(w[128], 0);
  EXPECT_EQ(w[92], 0);
  EXPECT_EQ(w[89], 12);
  EXPECT_EQ(d.SecurityState(), 0);

  for (std::uint8_t code : {kSetPassword, kUnlock, kErasePrepare, kEraseUnit, kFreeze, kDisable}) {
    SCOPED_TRACE(static_cast<int>(code));
    ExpectAborted(Send(d, code, kUser, "pw"));
  }
  ExpectAborted(Send(d, kSetPassword, kMaster, kFactoryMaster));
  ExpectOk(Send(d, kIdentify));
  EXPECT_FALSE(d.UserPasswordSet());
  EXPECT_FALSE(d.Frozen());
}

TEST(AtaDriveIdentify, AtapiDriveAnswersOnlyIdentifyPacketDevice) {
  AtaDrive::Config config = BaseConfig();
  config.atapi = true;
  config.model = "SIM CDROM";
  AtaDrive d(config);

  Command ata(kIdentify);
  ExpectAborted(d.Execute(ata.cdb, ata.data));
  EXPECT_TRUE(std::all_of(std::begin(ata.data), std::end(ata.data), [](auto b) { return b == 0; }));

  Command packet(kIdentifyPacket);
  ExpectOk(d.Execute(packet.cdb, packet.data));
  const std::uint16_t word0 = packet.data[0] | (packet.data[1] << 8);
  EXPECT_EQ(word0 & 0xC000, 0x8000);  // packet device
  EXPECT_EQ(packet.data[2 * 128] & 0x01, 0x01);
  EXPECT_EQ(ModelString(d.Identify()).substr(0, 9), "SIM CDROM");
}

TEST(AtaDriveIdentify, AtaDriveAbortsIdentifyPacketDevice) {
  AtaDrive d(BaseConfig());
  ExpectAborted(Send(d, kIdentifyPacket));
}

// ---------------------------------------------------------------- durations

TEST(AtaDriveTiming, EraseTakesWord89TimesTwoMinutesOthersAreQuick) {
  struct Case {
    std::uint16_t word89;
    std::uint32_t eraseMs;
  };
  const Case cases[] = {{30, 30u * 120000u}, {1, 120000u}, {0, 120000u}, {255, 255u * 120000u}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word89);
    AtaDrive::Config config = BaseConfig();
    config.eraseWord89 = c.word89;
    AtaDrive d(config);
    EXPECT_EQ(d.Identify()[89], c.word89);
    EXPECT_EQ(d.CommandDurationMs(Command(kEraseUnit).cdb), c.eraseMs);
    EXPECT_EQ(d.CommandDurationMs(Command(kErasePrepare).cdb), AtaDrive::kQuickCommandMs);
    EXPECT_EQ(d.CommandDurationMs(Command(kIdentify).cdb), AtaDrive::kQuickCommandMs);

    const AtaResult erased = Erase(d, kFactoryMaster, kMaster);
    ExpectOk(erased);
    EXPECT_EQ(erased.durationMs, c.eraseMs);
  }
}

TEST(AtaDriveTiming, RefusedEraseReturnsAtOnce) {
  AtaDrive d(BaseConfig());
  const AtaResult r = Send(d, kEraseUnit, kMaster, kFactoryMaster);  // no prepare
  ExpectAborted(r);
  EXPECT_EQ(r.durationMs, AtaDrive::kQuickCommandMs);
}

// ---------------------------------------------------------------- SET PASSWORD

TEST(AtaDriveSetPassword, UserAtMaximumLocksOnlyAfterPowerCycle) {
  AtaDrive d(BaseConfig());
  ASSERT_TRUE(d.WriteData("hello"));
  ExpectOk(SetUser(d, "secret", true));
  EXPECT_TRUE(d.UserPasswordSet());
  EXPECT_EQ(d.Level(), 1);
  EXPECT_FALSE(d.Locked());
  EXPECT_EQ(d.ReadData(), "hello");

  d.PowerCycle();
  EXPECT_TRUE(d.Locked());
  EXPECT_EQ(d.SecurityState(), 4);
  EXPECT_EQ(d.ReadData(), std::nullopt);
  EXPECT_FALSE(d.WriteData("overwrite"));
  ExpectOk(Unlock(d, "secret"));
  EXPECT_EQ(d.ReadData(), "hello");
}

TEST(AtaDriveSetPassword, MasterChangesOnlyMasterAndRevision) {
  struct Case {
    std::uint16_t word17;
    std::uint16_t revision;
  };
  const Case cases[] = {{0x0001, 0x0001}, {0x1234, 0x1234}, {0x0000, 0xFFFE}, {0xFFFF, 0xFFFE}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word17);
    AtaDrive d(BaseConfig());
    ExpectOk(Send(d, kSetPassword, kMaster, "new master", c.word17));
    EXPECT_EQ(d.Identify()[92], c.revision);
    EXPECT_FALSE(d.UserPasswordSet());
    EXPECT_EQ(d.SecurityState(), 1);
    d.PowerCycle();
    EXPECT_FALSE(d.Locked());
    // The new master erases; the factory one no longer does.
    ExpectAborted(Erase(d, kFactoryMaster, kMaster));
    ExpectOk(Erase(d, "new master", kMaster));
  }
}

TEST(AtaDriveSetPassword, MasterSetDoesNotChangeUserLevel) {
  AtaDrive d(BaseConfig());
  ASSERT_TRUE(SetUser(d, "u", true).ok);
  ExpectOk(Send(d, kSetPassword, kMaster | kUserMaximum, "m"));
  EXPECT_EQ(d.Level(), 1);
  ExpectOk(SetUser(d, "u2", false));  // an unlocked drive may change its user password
  EXPECT_EQ(d.Level(), 0);
  d.PowerCycle();
  ExpectAborted(Unlock(d, "u"));
  ExpectOk(Unlock(d, "u2"));
}

TEST(AtaDriveSetPassword, AbortedWhenLockedOrFrozen) {
  AtaDrive locked = LockedAtHigh();
  ExpectAborted(SetUser(locked, "other", false));
  ExpectAborted(Send(locked, kSetPassword, kMaster, "other"));
  ExpectOk(Unlock(locked, "user-pw"));  // still the old password

  AtaDrive frozen(BaseConfig());
  frozen.FreezeLock();
  ExpectAborted(SetUser(frozen, "u", true));
  ExpectAborted(Send(frozen, kSetPassword, kMaster, "m"));
  EXPECT_FALSE(frozen.UserPasswordSet());
  EXPECT_EQ(frozen.Identify()[92], 0xFFFE);
}

TEST(AtaDriveSetPassword, DeliveredProtectedDrivePowersOnLocked) {
  AtaDrive::Config config = BaseConfig();
  config.userPassword = "preset";
  config.maximumLevel = true;
  AtaDrive d(config);
  EXPECT_TRUE(d.Locked());
  EXPECT_EQ(d.Identify()[128], 0x0107);
  ExpectOk(Unlock(d, "preset"));
}

// ---------------------------------------------------------------- UNLOCK

TEST(AtaDriveUnlock, RightUserPasswordUnlocksWrongOneCounts) {
  AtaDrive d = LockedAtMaximum("right");
  ExpectAborted(Unlock(d, "wrong"));
  EXPECT_TRUE(d.Locked());
  EXPECT_EQ(d.AttemptsLeft(), 4);
  EXPECT_EQ(d.ReadData(), std::nullopt);

  ExpectOk(Unlock(d, "right"));
  EXPECT_FALSE(d.Locked());
  EXPECT_EQ(d.SecurityState(), 5);
  EXPECT_EQ(d.ReadData(), "precious");
}

TEST(AtaDriveUnlock, ComparisonIsByteExactOverThe32ByteField) {
  const std::string stored = "Pass Word";
  struct Case {
    std::string sent;
    bool ok;
  };
  const Case cases[] = {
      {"Pass Word", true},
      {std::string("Pass Word\0", 10), true},  // zero padding is part of the field
      {"pass word", false},                    // case
      {"Pass Word ", false},                   // trailing space is a byte
      {"Pass Wor", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent);
    AtaDrive d = LockedAtHigh(stored);
    EXPECT_EQ(Unlock(d, c.sent).ok, c.ok);
    EXPECT_EQ(d.Locked(), !c.ok);
  }

  const std::string full32(32, 'z');
  std::string last_differs = full32;
  last_differs[31] = 'y';
  AtaDrive d = LockedAtHigh(full32);
  ExpectAborted(Unlock(d, last_differs));
  ExpectOk(Unlock(d, full32 + "ignored beyond 32"));  // the field holds only 32 bytes
}

TEST(AtaDriveUnlock, EmptyUserPasswordIsThirtyTwoZeroBytes) {
  AtaDrive d(BaseConfig());
  ASSERT_TRUE(SetUser(d, "", true).ok);
  d.PowerCycle();
  ASSERT_TRUE(d.Locked());
  ExpectAborted(Unlock(d, "x"));
  ExpectOk(Unlock(d, std::string(32, '\0')));
}

TEST(AtaDriveUnlock, FiveWrongTriesExpireUntilPowerCycle) {
  AtaDrive d = LockedAtMaximum("right");
  for (int i = 0; i < 5; ++i) {
    ExpectAborted(Unlock(d, "wrong"));
    EXPECT_EQ(d.AttemptsLeft(), 4 - i);
  }
  EXPECT_EQ(d.Identify()[128] & 0x0010, 0x0010);
  ExpectAborted(Unlock(d, "right"));  // even the right password
  EXPECT_TRUE(d.Locked());
  ExpectAborted(Erase(d, kProgramMaster, kMaster));  // and the erase
  EXPECT_FALSE(d.DataErased());
  ExpectAborted(Unlock(d, "wrong"));
  EXPECT_EQ(d.AttemptsLeft(), 0);  // does not go below zero

  d.PowerCycle();
  EXPECT_EQ(d.AttemptsLeft(), 5);
  EXPECT_EQ(d.Identify()[128] & 0x0010, 0);
  ExpectOk(Unlock(d, "right"));
}

TEST(AtaDriveUnlock, UserAndMasterMismatchesShareTheCounter) {
  AtaDrive d = LockedAtHigh("right");
  for (int i = 0; i < 3; ++i) ExpectAborted(Unlock(d, "wrong"));
  for (int i = 0; i < 2; ++i) ExpectAborted(Unlock(d, "wrong master", kMaster));
  EXPECT_EQ(d.AttemptsLeft(), 0);
  ExpectAborted(Unlock(d, kFactoryMaster, kMaster));
}

TEST(AtaDriveUnlock, MasterUnlocksAtHighButNeverAtMaximum) {
  AtaDrive high = LockedAtHigh();
  ExpectOk(Unlock(high, kFactoryMaster, kMaster));
  EXPECT_FALSE(high.Locked());
  EXPECT_EQ(high.ReadData(), "precious");

  AtaDrive maximum = LockedAtMaximum();
  ExpectAborted(Unlock(maximum, kProgramMaster, kMaster));
  EXPECT_TRUE(maximum.Locked());
  EXPECT_EQ(maximum.AttemptsLeft(), 5);  // refused outright, no comparison made
  ExpectOk(Unlock(maximum, "user-pw"));
}

TEST(AtaDriveUnlock, UnlockedDriveDoesNotCountMismatches) {
  AtaDrive d = LockedAtHigh("right");
  ASSERT_TRUE(Unlock(d, "right").ok);
  ExpectAborted(Unlock(d, "wrong"));
  EXPECT_EQ(d.AttemptsLeft(), 5);
  EXPECT_FALSE(d.Locked());
  ExpectOk(Unlock(d, "right"));
}

// ---------------------------------------------------------------- ERASE

TEST(AtaDriveErase, UnitMustDirectlyFollowPrepare) {
  struct Case {
    const char* name;
    std::function<void(AtaDrive&)> between;
    bool erased;
  };
  const Case cases[] = {
      {"nothing between", [](AtaDrive&) {}, true},
      {"identify", [](AtaDrive& d) { Send(d, kIdentify); }, false},
      {"aborted unlock", [](AtaDrive& d) { Unlock(d, "wrong"); }, false},
      {"unknown command", [](AtaDrive& d) { Send(d, 0x25); }, false},
      {"media read", [](AtaDrive& d) { d.ReadData(); }, false},
      {"power cycle", [](AtaDrive& d) { d.PowerCycle(); }, false},
      {"second prepare", [](AtaDrive& d) { Send(d, kErasePrepare); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AtaDrive d = LockedAtMaximum();
    ExpectOk(Send(d, kErasePrepare));
    c.between(d);
    EXPECT_EQ(Send(d, kEraseUnit, kMaster, kProgramMaster).ok, c.erased);
    EXPECT_EQ(d.DataErased(), c.erased);
    EXPECT_EQ(d.UserPasswordSet(), !c.erased);
  }

  AtaDrive d = LockedAtMaximum();
  ExpectAborted(Send(d, kEraseUnit, kMaster, kProgramMaster));  // never prepared
  ExpectAborted(Send(d, kEraseUnit, kMaster, kProgramMaster));
  EXPECT_FALSE(d.DataErased());
  EXPECT_EQ(d.AttemptsLeft(), 5);
}

TEST(AtaDriveErase, MasterAtMaximumErasesDisablesAndKeepsMaster) {
  AtaDrive d = LockedAtMaximum();
  ASSERT_TRUE(d.Locked());
  ExpectOk(Erase(d, kProgramMaster, kMaster));
  EXPECT_TRUE(d.DataErased());
  EXPECT_FALSE(d.Locked());
  EXPECT_FALSE(d.UserPasswordSet());
  EXPECT_EQ(d.Level(), 0);
  EXPECT_EQ(d.SecurityState(), 1);
  EXPECT_EQ(d.ReadData(), "");
  const auto w = d.Identify();
  EXPECT_EQ(w[128], 0x0001);
  EXPECT_EQ(w[85] & 0x0002, 0);

  d.PowerCycle();
  EXPECT_FALSE(d.Locked());
  // The master survived: protect again and erase again with the same master.
  ASSERT_TRUE(SetUser(d, "second", true).ok);
  ASSERT_TRUE(d.WriteData("more"));
  d.PowerCycle();
  ExpectOk(Erase(d, kProgramMaster, kMaster));
  EXPECT_TRUE(d.DataErased());
}

TEST(AtaDriveErase, UserPasswordErasesWrongPasswordCounts) {
  AtaDrive d = LockedAtHigh("right");
  ExpectAborted(Erase(d, "wrong", kUser));
  EXPECT_EQ(d.AttemptsLeft(), 4);
  EXPECT_FALSE(d.DataErased());
  ExpectAborted(Erase(d, "wrong master", kMaster));
  EXPECT_EQ(d.AttemptsLeft(), 3);
  EXPECT_TRUE(d.Locked());

  ExpectOk(Erase(d, "right", kUser));
  EXPECT_TRUE(d.DataErased());
  EXPECT_FALSE(d.UserPasswordSet());
}

TEST(AtaDriveErase, DisabledDriveErasesWithMasterButNotWithUserIdentifier) {
  AtaDrive d(BaseConfig());
  ASSERT_TRUE(d.WriteData("data"));
  ExpectAborted(Erase(d, "", kUser));
  EXPECT_FALSE(d.DataErased());
  ExpectOk(Erase(d, kFactoryMaster, kMaster));
  EXPECT_TRUE(d.DataErased());
}

TEST(AtaDriveErase, EnhancedEraseIsNotSupported) {
  AtaDrive d = LockedAtMaximum();
  EXPECT_EQ(d.Identify()[128] & 0x0020, 0);
  ASSERT_TRUE(Send(d, kErasePrepare).ok);
  ExpectAborted(Send(d, kEraseUnit, kMaster | 0x0002, kProgramMaster));
  EXPECT_FALSE(d.DataErased());
}

// ---------------------------------------------------------------- DISABLE

TEST(AtaDriveDisable, NeedsUnlockedDrive) {
  AtaDrive d = LockedAtHigh("right");
  ExpectAborted(Disable(d, "right"));
  EXPECT_TRUE(d.UserPasswordSet());
  EXPECT_EQ(d.AttemptsLeft(), 5);

  ASSERT_TRUE(Unlock(d, "right").ok);
  ExpectAborted(Disable(d, "wrong"));
  EXPECT_EQ(d.AttemptsLeft(), 4);
  ExpectOk(Disable(d, "right"));
  EXPECT_FALSE(d.UserPasswordSet());
  EXPECT_EQ(d.SecurityState(), 1);
  EXPECT_FALSE(d.DataErased());
  d.PowerCycle();
  EXPECT_FALSE(d.Locked());
  EXPECT_EQ(d.ReadData(), "precious");
}

TEST(AtaDriveDisable, MasterDisablesAtHighOnly) {
  AtaDrive high = LockedAtHigh();
  ASSERT_TRUE(Unlock(high, "user-pw").ok);
  ExpectOk(Disable(high, kFactoryMaster, kMaster));
  EXPECT_FALSE(high.UserPasswordSet());

  AtaDrive maximum = LockedAtMaximum();
  ASSERT_TRUE(Unlock(maximum, "user-pw").ok);
  ExpectAborted(Disable(maximum, kProgramMaster, kMaster));
  EXPECT_TRUE(maximum.UserPasswordSet());
}

TEST(AtaDriveDisable, UserIdentifierOnDisabledDriveIsAborted) {
  AtaDrive d(BaseConfig());
  ExpectAborted(Disable(d, ""));
}

// ---------------------------------------------------------------- FREEZE

TEST(AtaDriveFreeze, FrozenDriveAbortsSecurityCommands) {
  // SEC2: disabled and frozen.
  AtaDrive sec2(BaseConfig());
  ExpectOk(sec2.FreezeLock());
  EXPECT_EQ(sec2.SecurityState(), 2);
  ExpectAborted(SetUser(sec2, "u", true));
  ExpectAborted(Unlock(sec2, kFactoryMaster, kMaster));
  ExpectAborted(Send(sec2, kErasePrepare));
  ExpectAborted(Send(sec2, kEraseUnit, kMaster, kFactoryMaster));
  ExpectAborted(Disable(sec2, kFactoryMaster, kMaster));
  ExpectOk(Send(sec2, kFreeze));  // freezing again is harmless
  EXPECT_EQ(sec2.Identify()[128], 0x0009);

  // SEC6: enabled, unlocked, frozen; media stays accessible.
  AtaDrive sec6 = LockedAtHigh("right");
  ASSERT_TRUE(Unlock(sec6, "right").ok);
  ExpectOk(sec6.FreezeLock());
  EXPECT_EQ(sec6.SecurityState(), 6);
  ExpectAborted(SetUser(sec6, "other", false));
  ExpectAborted(Disable(sec6, "right"));
  ExpectAborted(Unlock(sec6, "right"));
  ExpectAborted(Send(sec6, kErasePrepare));
  EXPECT_TRUE(sec6.UserPasswordSet());
  EXPECT_EQ(sec6.AttemptsLeft(), 5);
  EXPECT_EQ(sec6.ReadData(), "precious");

  sec6.PowerCycle();
  EXPECT_FALSE(sec6.Frozen());
  EXPECT_TRUE(sec6.Locked());
}

TEST(AtaDriveFreeze, LockedDriveRefusesFreeze) {
  AtaDrive d = LockedAtHigh("right");
  ExpectAborted(d.FreezeLock());
  EXPECT_FALSE(d.Frozen());
  ExpectOk(Unlock(d, "right"));
}

TEST(AtaDriveFreeze, BiosFreezeAtPowerOnAppliesOnlyToUnlockedDrive) {
  AtaDrive::Config config = BaseConfig();
  config.frozenAtPowerOn = true;
  AtaDrive d(config);
  EXPECT_TRUE(d.Frozen());
  ExpectAborted(SetUser(d, "u", true));

  AtaDrive::Config protectedConfig = config;
  protectedConfig.userPassword = "u";
  AtaDrive locked(protectedConfig);
  EXPECT_TRUE(locked.Locked());
  EXPECT_FALSE(locked.Frozen());
  ExpectOk(Unlock(locked, "u"));
  locked.PowerCycle();  // locked again, so the BIOS freeze is refused again
  EXPECT_FALSE(locked.Frozen());
  ASSERT_TRUE(Unlock(locked, "u").ok);
  ASSERT_TRUE(Disable(locked, "u").ok);
  locked.PowerCycle();  // no user password: this time the freeze sticks
  EXPECT_TRUE(locked.Frozen());
  EXPECT_EQ(locked.SecurityState(), 2);
}

// ---------------------------------------------------------------- other commands

TEST(AtaDriveCommands, UnknownCommandIsAbortedWithoutStateChange) {
  AtaDrive d = LockedAtHigh();
  for (std::uint8_t code : {0x00, 0x25, 0xF0, 0xF7, 0xFF}) {
    SCOPED_TRACE(static_cast<int>(code));
    ExpectAborted(Send(d, code, kUser, "user-pw"));
  }
  EXPECT_TRUE(d.Locked());
  EXPECT_EQ(d.AttemptsLeft(), 5);
}

TEST(AtaDriveCommands, BlockWithoutCommandRegisterSelectReachesNothing) {
  AtaDrive d = LockedAtHigh("right");
  ASSERT_TRUE(Send(d, kErasePrepare).ok);
  Command unlock(kUnlock, kUser, "right");
  unlock.cdb[3] = 0x00;
  const AtaResult r = d.Execute(unlock.cdb, unlock.data);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.status, 0x50);
  EXPECT_EQ(r.error, 0x00);
  EXPECT_TRUE(d.Locked());
  EXPECT_TRUE(d.ErasePrepared());  // the drive saw no command at all
}

// ---------------------------------------------------------------- log

TEST(AtaDriveLog, OneLinePerCommandWithHexOnly) {
  AtaDrive d(BaseConfig());
  d.TakeLog();
  Send(d, kSetPassword, kUserMaximum, "Secret7");
  Send(d, kIdentify);
  d.PowerCycle();
  Unlock(d, "Wrong7");
  const auto log = d.TakeLog();
  ASSERT_EQ(log.size(), 4u);

  EXPECT_NE(log[0].find("cdb=123400800100000000000000F1000000"), std::string::npos) << log[0];
  EXPECT_NE(log[0].find("SET PASSWORD user maximum"), std::string::npos) << log[0];
  // Control word 0x0100, then the password bytes "Secret7" as hex, zero-padded.
  EXPECT_NE(log[0].find("data=0001" "53656372657437" + std::string(50, '0') + " "),
            std::string::npos)
      << log[0];
  EXPECT_NE(log[0].find("-> ok"), std::string::npos);
  EXPECT_NE(log[1].find("IDENTIFY DEVICE -> ok"), std::string::npos) << log[1];
  EXPECT_EQ(log[1].find("data="), std::string::npos);
  EXPECT_NE(log[2].find("POWER ON [SEC4 tries=5]"), std::string::npos) << log[2];
  EXPECT_NE(log[3].find("-> aborted: wrong password [SEC4 tries=4]"), std::string::npos)
      << log[3];
  for (const auto& line : log) {
    EXPECT_EQ(line.find("Secret7"), std::string::npos) << line;
    EXPECT_EQ(line.find("Wrong7"), std::string::npos) << line;
  }
  EXPECT_TRUE(d.TakeLog().empty());
}

}  // namespace
