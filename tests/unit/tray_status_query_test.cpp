// The status query and the ATA security commands as the simulated adapter
// receives them and the simulated drive answers them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/adapter_driver.h"
#include "tray/protect/status_query.h"
#include "tray_harness.h"

namespace {

using sim::AdapterSpec;
using traytest::TrayHarness;
using tray::CStorageDevice;
using tray::Family;

constexpr std::array<std::uint8_t, 2> kLead{0x12, 0x34};

// One request as the documented layout has it, built byte by byte.
struct Expected {
    std::uint8_t command;
    bool dataIn;
    std::uint32_t timeout;
    std::uint16_t word0 = 0;
    std::string password;  // bytes 2.. of the sector, zero-padded

    std::vector<std::uint8_t> Image() const {
        std::vector<std::uint8_t> e(580, 0);
        auto put32 = [&](std::size_t at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i) e[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        };
        e[0] = 44;  // Length
        e[5] = 16;  // CdbLength
        e[6] = 18;  // SenseInfoLength
        e[7] = dataIn ? 1 : 0;
        put32(8, 512);       // DataTransferLength
        put32(12, timeout);  // TimeOutValue
        e[16] = 66;          // DataBufferOffset (64-bit)
        put32(24, 48);       // SenseInfoOffset
        e[28] = kLead[0];
        e[29] = kLead[1];
        e[31] = 0x80;  // only the command register
        e[32] = 1;     // one block
        e[40] = command;
        put32(44, 580);  // BufferLength
        e[66] = static_cast<std::uint8_t>(word0);
        e[67] = static_cast<std::uint8_t>(word0 >> 8);
        for (std::size_t i = 0; i < password.size(); ++i) e[68 + i] = static_cast<std::uint8_t>(password[i]);
        return e;
    }
};

const std::string kMaster("KJT Plums\0", 10);

class StatusQueryTest : public ::testing::Test {
protected:
    TrayHarness h{Family::Nt};

    sim::PluggedDevice PlugDrive(AdapterSpec spec = AdapterSpec::Disk("Drive X", {'E'})) {
        spec.commandLead = kLead;
        return h.devices.Plug(spec);
    }
    // The record the notifier has after listing the device.
    CStorageDevice Listed(plat::System& sys, const std::string& path) {
        CStorageDevice r = traytest::RecordFor(path);
        tray::QueryDeviceStatus(sys, Family::Nt, r);
        sys.resources().DeleteBitmap(r.m_hBitmap);
        r.m_hBitmap = plat::Hbitmap::None;
        return r;
    }
    void ExpectRequests(const std::string& path, const std::vector<Expected>& expected) {
        auto seen = h.devices.PassThroughs(path);
        ASSERT_EQ(seen.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE("request " + std::to_string(i));
            EXPECT_EQ(seen[i], expected[i].Image());
        }
    }
};

TEST_F(StatusQueryTest, CommandsArriveByteForByte) {
    struct Case {
        const char* what;
        std::function<bool(plat::System&, const CStorageDevice&)> run;
        std::vector<Expected> requests;
    };
    const std::string pw31 = "abcdefghijklmnopqrstuvwxyz01234";
    const std::vector<Case> cases = {
        {"unlock", [](plat::System& s, const CStorageDevice& r) { return tray::UnlockDrive(s, r, "pass", 4); },
         {{0xF2, false, 20, 0x0000, "pass"}}},
        {"disable password (after the unlock it needs)",
         [](plat::System& s, const CStorageDevice& r) {
             return tray::UnlockDrive(s, r, "pass", 4) && tray::DisableDrivePassword(s, r, "pass", 4);
         },
         {{0xF2, false, 20, 0x0000, "pass"}, {0xF6, false, 20, 0x0000, "pass"}}},
        {"set an empty password: the master, then 32 zero bytes at maximum level",
         [](plat::System& s, const CStorageDevice& r) { return tray::SetDrivePassword(s, r, "", 0); },
         {{0xF1, false, 20, 0x0001, kMaster}, {0xF1, false, 20, 0x0100, ""}}},
        {"set 31 of 32 characters",
         [pw31](plat::System& s, const CStorageDevice& r) { return tray::SetDrivePassword(s, r, pw31.c_str(), 31); },
         {{0xF1, false, 20, 0x0001, kMaster}, {0xF1, false, 20, 0x0100, pw31}}},
        {"a password longer than the field is cut to its 32 bytes",
         [](plat::System& s, const CStorageDevice& r) {
             const std::string forty(40, 'p');
             return tray::SetDrivePassword(s, r, forty.c_str(), forty.size());
         },
         {{0xF1, false, 20, 0x0001, kMaster}, {0xF1, false, 20, 0x0100, std::string(32, 'p')}}},
        {"erase: prepare with a zero sector, then the unit with the master and 30 hours",
         [](plat::System& s, const CStorageDevice& r) { return tray::EraseDrive(s, r); },
         {{0xF3, false, 20, 0x0000, ""}, {0xF4, false, 108000, 0x0001, kMaster}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrayHarness fresh(Family::Nt);
        AdapterSpec spec = AdapterSpec::Disk("Drive X", {});
        spec.commandLead = kLead;
        spec.drive.eraseWord89 = 1;
        spec.drive.masterPassword = "KJT Plums";  // as if protected by the notifier before
        if (std::string(c.what).rfind("unlock", 0) == 0 || std::string(c.what).rfind("disable", 0) == 0) {
            spec.drive.userPassword = "pass";
            spec.drive.maximumLevel = true;
        }
        sim::PluggedDevice dev = fresh.devices.Plug(spec);
        bool ok = false;
        bool done = false;
        fresh.RunProbe([&](plat::System& sys) {
            CStorageDevice r = Listed(sys, dev.path);
            fresh.devices.ClearPassThroughs(dev.path);
            ok = c.run(sys, r);
            done = true;
        });
        fresh.machine.AdvanceTime(2 * 60 * 1000);  // the erase of a drive that says two minutes
        EXPECT_TRUE(done);
        EXPECT_TRUE(ok) << "the drive accepted every command";
        auto seen = fresh.devices.PassThroughs(dev.path);
        ASSERT_EQ(seen.size(), c.requests.size());
        for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], c.requests[i].Image()) << "request " << i;
    }
}

TEST_F(StatusQueryTest, IdentifyIsSentAsAtaOrPacketCommandWithDataIn) {
    sim::PluggedDevice ata = PlugDrive();
    AdapterSpec packet = AdapterSpec::Disk("CD", {});
    packet.words.flags &= ~trv::ADAPTER_FLAG_ATA;
    packet.drive.atapi = true;
    sim::PluggedDevice cd = PlugDrive(packet);
    CStorageDevice a, p;
    h.RunProbe([&](plat::System& sys) {
        a = Listed(sys, ata.path);
        p = Listed(sys, cd.path);
    });
    ExpectRequests(ata.path, {{0xEC, true, 20, 0, ""}});
    ExpectRequests(cd.path, {{0xA1, true, 20, 0, ""}});
    EXPECT_EQ(a.m_dwSecurityStatus, tray::SECURITY_SUPPORTED);
    EXPECT_EQ(a.m_nEraseMinutes, 60u) << "word 89 of 30 means 60 minutes";
    EXPECT_EQ(a.m_abCommandLead, kLead);
    EXPECT_EQ(p.m_dwSecurityStatus, tray::SECURITY_SUPPORTED) << "ATAPI data decodes the same way";
}

TEST_F(StatusQueryTest, ProtectedDriveCanBeErasedOnlyWithTheMasterThatWasSet) {
    sim::PluggedDevice dev = PlugDrive();
    bool set = false, unlockWithMaster = true, erased = false;
    h.RunProbe([&](plat::System& sys) {
        CStorageDevice r = Listed(sys, dev.path);
        set = tray::SetDrivePassword(sys, r, "secret", 6);
    });
    ASSERT_TRUE(set);
    EXPECT_TRUE(dev.drive->UserPasswordSet());
    EXPECT_EQ(dev.drive->Level(), 1) << "maximum level";
    dev.drive->PowerCycle();
    ASSERT_TRUE(dev.drive->Locked());
    bool done = false;
    h.RunProbe([&](plat::System& sys) {
        CStorageDevice r = Listed(sys, dev.path);
        EXPECT_EQ(r.m_dwSecurityStatus, tray::SECURITY_SUPPORTED | tray::SECURITY_ENABLED | tray::SECURITY_LOCKED);
        // The master unlocks nothing at maximum level ...
        unlockWithMaster = tray::UnlockDrive(sys, r, kMaster.data(), kMaster.size());
        // ... but erases.
        erased = tray::EraseDrive(sys, r);
        done = true;
    });
    EXPECT_FALSE(done) << "the erase holds its thread for the drive's time";
    h.machine.AdvanceTime(59 * 60 * 1000);
    EXPECT_FALSE(done);
    h.machine.AdvanceTime(60 * 1000);
    ASSERT_TRUE(done);
    EXPECT_FALSE(unlockWithMaster);
    EXPECT_TRUE(erased);
    EXPECT_FALSE(dev.drive->UserPasswordSet());
    EXPECT_TRUE(dev.drive->DataErased());
}

TEST_F(StatusQueryTest, AFailedFirstStepStopsSetPasswordAndErase) {
    AdapterSpec frozen = AdapterSpec::Disk("Drive X", {});
    frozen.drive.frozenAtPowerOn = true;
    sim::PluggedDevice dev = PlugDrive(frozen);
    bool set = true, erased = true;
    h.RunProbe([&](plat::System& sys) {
        CStorageDevice r = Listed(sys, dev.path);
        EXPECT_EQ(r.m_dwSecurityStatus, tray::SECURITY_SUPPORTED | tray::SECURITY_FROZEN);
        h.devices.ClearPassThroughs(dev.path);
        set = tray::SetDrivePassword(sys, r, "secret", 6);
        erased = tray::EraseDrive(sys, r);
    });
    EXPECT_FALSE(set);
    EXPECT_FALSE(erased);
    // The master step was refused: no user password went out. The prepare
    // was refused: no erase went out.
    ExpectRequests(dev.path, {{0xF1, false, 20, 0x0001, kMaster}, {0xF3, false, 20, 0x0000, ""}});
    EXPECT_FALSE(dev.drive->UserPasswordSet());
}

TEST_F(StatusQueryTest, IdentifyDataDecodesIntoStatusAndEraseTime) {
    struct Case {
        const char* what;
        std::map<int, std::uint16_t> words;
        bool atapiBehindAtaFlag;
        std::uint32_t status, minutes;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"word 82 bit 1 clear: no status whatever word 128 says", {{82, 0x4000}, {128, 0x0007}, {89, 5}}, false, 0, 10,
         true},
        {"word 128 without bit 0: no status", {{128, 0x0006}}, false, 0, 60, true},
        {"only the five status bits are kept", {{128, 0x013F}}, false, 0x1F, 60, true},
        {"word 89 of 0 is 0 minutes", {{89, 0}}, false, tray::SECURITY_SUPPORTED, 0, true},
        {"word 89 is doubled whole, 255 included", {{89, 255}}, false, tray::SECURITY_SUPPORTED, 510, true},
        {"IDENTIFY refused: both zero", {}, true, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrayHarness fresh(Family::Nt);
        AdapterSpec spec = AdapterSpec::Disk("X", {});
        spec.identifyOverrides = c.words;
        spec.drive.atapi = c.atapiBehindAtaFlag;
        sim::PluggedDevice dev = fresh.devices.Plug(spec);
        CStorageDevice r;
        bool ok = !c.ok;
        fresh.RunProbe([&](plat::System& sys) {
            r = traytest::RecordFor(dev.path);
            r.m_dwSecurityStatus = 0x03;  // left over from an earlier query
            r.m_nEraseMinutes = 7;
            ok = tray::QueryDeviceStatus(sys, Family::Nt, r);
            sys.resources().DeleteBitmap(r.m_hBitmap);
        });
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(r.m_dwSecurityStatus, c.status);
        EXPECT_EQ(r.m_nEraseMinutes, c.minutes);
    }
}

TEST_F(StatusQueryTest, WrongPasswordsUntilTheDriveGivesUpShowInTheStatus) {
    AdapterSpec locked = AdapterSpec::Disk("X", {});
    locked.drive.userPassword = "right";
    sim::PluggedDevice dev = PlugDrive(locked);
    std::vector<bool> results;
    CStorageDevice r;
    h.RunProbe([&](plat::System& sys) {
        r = Listed(sys, dev.path);
        for (int i = 0; i < 6; ++i) results.push_back(tray::UnlockDrive(sys, r, "wrong", 5));
        tray::RefreshSecurityStatus(sys, r);
    });
    EXPECT_EQ(results, std::vector<bool>(6, false));
    EXPECT_EQ(r.m_dwSecurityStatus, tray::SECURITY_SUPPORTED | tray::SECURITY_ENABLED | tray::SECURITY_LOCKED |
                                        tray::SECURITY_COUNT_EXPIRED);
}

TEST_F(StatusQueryTest, QueryReadsWhatTheAdapterOffersAndKeepsTheRestOnFailure) {
    AdapterSpec noBlocks = AdapterSpec::Disk("X", {});
    noBlocks.words = {trv::ADAPTER_FLAG_USBFLAGS, trv::ADAPTER_FEATURE_EVENTS, trv::ADAPTER_OPTION_NO_MENU};
    noBlocks.usbFlags = 1;
    sim::PluggedDevice plain = PlugDrive(noBlocks);
    AdapterSpec badFlags = AdapterSpec::Disk("Y", {});
    badFlags.usbFlagsRaw = std::vector<std::uint8_t>{1, 0};
    sim::PluggedDevice odd = PlugDrive(badFlags);
    sim::PluggedDevice failing = PlugDrive();
    h.machine.WithAdapter(failing.path, [](sim::SimAdapter& a) { a.failInfo = true; });

    CStorageDevice a, b, c, d;
    bool okA = true, okC = false, okD = true;
    h.RunProbe([&](plat::System& sys) {
        a = traytest::RecordFor(plain.path);
        a.m_dwSecurityStatus = 0x03;
        a.m_nEraseMinutes = 7;
        okA = tray::QueryDeviceStatus(sys, Family::Nt, a);
        b = traytest::RecordFor(odd.path);
        b.m_dwUsbFlags = 0x80;
        tray::QueryDeviceStatus(sys, Family::Nt, b);
        c = traytest::RecordFor(failing.path);
        c.m_dwAdapterFlags = trv::ADAPTER_FLAG_ATA | trv::ADAPTER_FLAG_COMMAND_BLOCKS;  // from an earlier query
        okC = tray::QueryDeviceStatus(sys, Family::Nt, c);
        d = traytest::RecordFor("\\\\?\\no-such-device");
        d.m_dwSecurityStatus = 0x03;
        okD = tray::QueryDeviceStatus(sys, Family::Nt, d);
        for (auto* r : {&a, &b, &c, &d}) sys.resources().DeleteBitmap(r->m_hBitmap);
    });
    // No command blocks: no lead request, no IDENTIFY, the status stays.
    EXPECT_FALSE(okA);
    EXPECT_EQ(a.m_dwAdapterFlags, trv::ADAPTER_FLAG_USBFLAGS);
    EXPECT_EQ(a.m_dwAdapterFeatures, trv::ADAPTER_FEATURE_EVENTS);
    EXPECT_EQ(a.m_dwAdapterOptions, trv::ADAPTER_OPTION_NO_MENU);
    EXPECT_EQ(a.m_dwUsbFlags, 1u);
    EXPECT_EQ(a.m_dwSecurityStatus, 0x03u);
    EXPECT_EQ(a.m_nEraseMinutes, 7u);
    EXPECT_TRUE(h.devices.PassThroughs(plain.path).empty());
    EXPECT_EQ(h.machine.FindAdapter(plain.path)->requestCounts[trv::IOCTL_ADAPTER_GET_COMMAND_LEAD], 0);
    // A "USBFlags" value of the wrong size leaves the field alone.
    EXPECT_EQ(b.m_dwUsbFlags, 0x80u);
    // The information request failed: the earlier words stay and still guide the query.
    EXPECT_TRUE(okC);
    EXPECT_EQ(c.m_dwAdapterFlags, trv::ADAPTER_FLAG_ATA | trv::ADAPTER_FLAG_COMMAND_BLOCKS);
    EXPECT_EQ(c.m_dwSecurityStatus, tray::SECURITY_SUPPORTED);
    // The path cannot be opened: nothing changes but the pictures.
    EXPECT_FALSE(okD);
    EXPECT_EQ(d.m_dwSecurityStatus, 0x03u);
    EXPECT_NE(d.m_hIcon, plat::Hicon::None);
}

TEST_F(StatusQueryTest, ShortQueryOfTheWorkersTakesOnlyFlagsAndStatus) {
    sim::PluggedDevice dev = PlugDrive();
    CStorageDevice r;
    bool ok = false;
    h.RunProbe([&](plat::System& sys) {
        r = traytest::RecordFor(dev.path);
        r.m_strDisplayName = "Kept";
        r.m_dwAdapterFeatures = 0xAAAA;
        r.m_dwAdapterOptions = 0x5555;
        r.m_dwUsbFlags = 0x80;
        ok = tray::RefreshSecurityStatus(sys, r);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(r.m_dwAdapterFlags, AdapterSpec{}.words.flags);
    EXPECT_EQ(r.m_dwAdapterFeatures, 0xAAAAu);
    EXPECT_EQ(r.m_dwAdapterOptions, 0x5555u);
    EXPECT_EQ(r.m_dwUsbFlags, 0x80u) << "no registry read";
    EXPECT_EQ(r.m_dwSecurityStatus, tray::SECURITY_SUPPORTED);
    EXPECT_EQ(r.m_strDisplayName, "Kept");
    EXPECT_EQ(r.m_hBitmap, plat::Hbitmap::None) << "no pictures loaded";
}

// The query forgets a worker only once it has ended, and only after a
// successful IDENTIFY of a drive with the feature set. It looks at the
// worker's running flag; records carry no thread handle.
TEST_F(StatusQueryTest, FinishedWorkerIsForgottenOnlyAfterASuccessfulIdentify) {
    struct Case {
        const char* what;
        bool running;
        bool failLead;
        bool securitySupported;
        bool kept;
    };
    const std::vector<Case> cases = {
        {"ended worker, drive answered", false, false, true, false},
        {"running worker stays", true, false, true, true},
        {"ended worker, IDENTIFY did not run", false, true, true, true},
        {"ended worker, drive without the feature set", false, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrayHarness fresh(Family::Nt);
        AdapterSpec spec = AdapterSpec::Disk("X", {});
        spec.drive.securitySupported = c.securitySupported;
        sim::PluggedDevice dev = fresh.devices.Plug(spec);
        if (c.failLead) fresh.machine.WithAdapter(dev.path, [](sim::SimAdapter& a) { a.failCommandLead = true; });
        bool kept = false;
        fresh.RunProbe([&](plat::System& sys) {
            CStorageDevice r = traytest::RecordFor(dev.path);
            auto worker = std::make_shared<tray::WorkerThread>();
            worker->running = c.running;
            r.m_hWorkerThread = worker;
            tray::QueryDeviceStatus(sys, Family::Nt, r);
            kept = r.m_hWorkerThread != nullptr;
            sys.resources().DeleteBitmap(r.m_hBitmap);
        });
        EXPECT_EQ(kept, c.kept);
    }
}

}  // namespace
