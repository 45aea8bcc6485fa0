// The uninstaller's calls into the system, run inside the simulated machine:
// the rights check, the privilege, starting and waiting, device removal.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "uninst/uninstall.h"
#include "uninst_fixture.h"

namespace {

using trvtest::RunInside;

TEST(UninstRights, AdministratorOnlyWithTheEnabledGroup) {
    struct Case {
        const char* name;
        plat::OsVersion version;
        std::vector<plat::TokenGroup> groups;
        std::uint32_t openError, lookupError;
        bool administrator;
    };
    const Case cases[] = {
        {"administrator", trvtest::kWindowsXp, sim::TokenStore::AdministratorGroups(), 0, 0, true},
        {"user", trvtest::kWindowsXp, sim::TokenStore::UserGroups(), 0, 0, false},
        {"deny-only", trvtest::kWindowsXp, sim::TokenStore::DenyOnlyAdministratorGroups(), 0, 0, false},
        {"no token", trvtest::kWindowsXp, sim::TokenStore::AdministratorGroups(), plat::ERROR_ACCESS_DENIED, 0, false},
        {"name not mapped", trvtest::kWindowsXp, sim::TokenStore::AdministratorGroups(), 0, plat::ERROR_NONE_MAPPED, true},
        {"look-up fails", trvtest::kWindowsXp, sim::TokenStore::AdministratorGroups(), 0, 1789, false},
        {"Windows 98", trvtest::kWindows98, sim::TokenStore::AdministratorGroups(), 0, 0, false},
    };
    for (const Case& c : cases) {
        sim::Machine m;
        m.SetVersion(c.version);
        m.Account().SetGroups(c.groups);
        m.Account().FailTokenOpens(c.openError);
        m.Account().FailLookups(c.lookupError);
        bool admin = !c.administrator;
        RunInside(m, [&](plat::System& sys) { admin = uninst::IsAdministrator(sys); });
        EXPECT_EQ(admin, c.administrator) << c.name;
    }
}

TEST(UninstRights, PrivilegeEnabledAsTheSystemReportsIt) {
    struct Case {
        const char* name;
        plat::OsVersion version;
        std::set<std::string> held;
        std::string privilege;
        bool result;
        bool restartAccepted;
    };
    const Case cases[] = {
        {"held", trvtest::kWindowsXp, {"SeShutdownPrivilege"}, "SeShutdownPrivilege", true, true},
        // The adjustment itself succeeds; the token just lacks the privilege.
        {"not held", trvtest::kWindowsXp, {}, "SeShutdownPrivilege", true, false},
        {"unknown name", trvtest::kWindowsXp, {"SeShutdownPrivilege"}, "SeNoSuchPrivilege", false, false},
        {"no tokens on 98", trvtest::kWindows98, {}, "SeShutdownPrivilege", true, true},
    };
    for (const Case& c : cases) {
        sim::Machine m;
        m.SetVersion(c.version);
        m.Account().SetHeldPrivileges(c.held);
        bool result = !c.result;
        RunInside(m, [&](plat::System& sys) {
            result = uninst::EnablePrivilege(sys, c.privilege);
            sys.token().RequestShutdown(plat::EWX_SHUTDOWN | plat::EWX_REBOOT, 0xFFFFFFFF);
        });
        EXPECT_EQ(result, c.result) << c.name;
        auto requests = m.Account().ShutdownRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].accepted, c.restartAccepted) << c.name;
    }
}

class RunAndWaitTest : public ::testing::Test {
protected:
    RunAndWaitTest() {
        m.InstallProgram(
            "STUCK.EXE",
            [](plat::System& sys) {
                plat::Msg msg;
                while (sys.ui().NextMessage(msg)) {
                }
                return 0;
            },
            nullptr);
    }
    // Starts the helper that runs `command`; the result arrives when it returns.
    std::uint32_t Start(const std::string& command, bool wait) {
        return RunInside(m, [this, command, wait](plat::System& sys) { result = uninst::RunAndWait(sys, command, wait); });
    }
    sim::Machine m;
    std::optional<bool> result;
};

TEST_F(RunAndWaitTest, WaitsAtMostThirtySecondsThenLeavesTheProgramRunning) {
    std::uint32_t helper = Start("STUCK.EXE", true);
    EXPECT_FALSE(result);
    m.AdvanceTime(29999);
    EXPECT_FALSE(result);
    m.AdvanceTime(1);
    ASSERT_TRUE(result);
    EXPECT_FALSE(*result);
    EXPECT_FALSE(m.IsRunning(helper));
    EXPECT_EQ(m.RunningProcesses("STUCK.EXE").size(), 1u);
}

TEST_F(RunAndWaitTest, ProgramThatEndsOrIsNotWaitedForCountsAsRun) {
    Start("OUTSIDE.EXE /x", true);  // a program outside the suite, ending at once
    ASSERT_TRUE(result);
    EXPECT_TRUE(*result);
    result.reset();
    Start("STUCK.EXE", false);
    ASSERT_TRUE(result);
    EXPECT_TRUE(*result);
    auto launches = m.Launches();
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[0].commandLine, "OUTSIDE.EXE /x");
    EXPECT_EQ(launches[1].desktop, "WinSta0\\Default");
}

TEST_F(RunAndWaitTest, StartThatFailsIsReported) {
    m.FailProcessStarts(1);
    Start("OUTSIDE.EXE", true);
    ASSERT_TRUE(result);
    EXPECT_FALSE(*result);
}

class DeviceRemoval : public ::testing::Test {
protected:
    // A fresh machine of version `v`.
    void Use(plat::OsVersion v) {
        machine_ = std::make_unique<sim::Machine>();
        machine_->SetVersion(v);
    }
    std::string Add(const std::string& id, const std::optional<std::string>& section,
                    const plat::Guid& cls = plat::GUID_DEVCLASS_USB) {
        return m().SetupDevices().AddDevice(id, cls, section);
    }
    void Remove(const std::optional<plat::Guid>& cls, const std::optional<std::string>& enumerator,
                std::uint32_t flags, const std::string& section, bool force) {
        const uninst::Family family = uninst::FamilyOf(m().Version());
        RunInside(m(), [&](plat::System& sys) {
            uninst::RemoveDevicesBySection(sys, cls, enumerator, flags, section, family, force);
        });
    }
    sim::Machine& m() { return *machine_; }
    std::unique_ptr<sim::Machine> machine_ = std::make_unique<sim::Machine>();
};

TEST_F(DeviceRemoval, SectionMatchesInAnyLetterCaseAndOnlyWhole) {
    for (plat::OsVersion v : {trvtest::kWindowsXp, trvtest::kWindows98}) {
        Use(v);
        std::vector<std::string> keys = {
            Add("USB\\A\\1", "TRVADPT"),  Add("USB\\A\\2", "trvadpt"), Add("USB\\A\\3", "TRVADPTI"),
            Add("USB\\A\\4", std::nullopt), Add("USB\\A\\5", std::string(70, 'T')), Add("USB\\A\\6", "TRVADPT"),
        };
        Add("USB\\A\\7", "TRVADPT", {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}});
        Remove(plat::GUID_DEVCLASS_USB, std::nullopt, plat::DIGCF_NONE, "TRVADPT", false);
        // Neighbours in the set are all visited; other classes are not in it.
        EXPECT_EQ(m().SetupDevices().DeviceIds(),
                  (std::vector<std::string>{"USB\\A\\3", "USB\\A\\4", "USB\\A\\5", "USB\\A\\7"}));
        for (std::size_t i : {0u, 1u, 5u}) EXPECT_FALSE(m().Registry().KeyExists(keys[i])) << i;
        EXPECT_TRUE(m().Registry().KeyExists(keys[2]));
    }
}

TEST_F(DeviceRemoval, ForceTakesEveryDeviceOfTheEnumeratorInAllClasses) {
    Use(trvtest::kWindows98);
    Add("TRVIOS\\DISK\\0", "DiskInstall", {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}});
    Add("trvios\\CDROM\\0", std::nullopt, {0x4D36E965, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}});
    Add("USB\\TRVIOS\\0", "TRVIOS");
    Remove(std::nullopt, std::string("TRVIOS"), plat::DIGCF_ALLCLASSES, "TRVIOS", true);
    EXPECT_EQ(m().SetupDevices().DeviceIds(), (std::vector<std::string>{"USB\\TRVIOS\\0"}));
}

TEST_F(DeviceRemoval, ARefusedRemovalDoesNotStopTheOthers) {
    Use(trvtest::kWindowsXp);
    Add("USB\\A\\1", "TRVBRG1");
    std::string refusedKey = Add("USB\\A\\2", "TRVBRG1");
    Add("USB\\A\\3", "TRVBRG1");
    m().SetupDevices().RefuseRemoval("USB\\A\\2", true);
    Remove(plat::GUID_DEVCLASS_USB, std::nullopt, plat::DIGCF_NONE, "TRVBRG1", false);
    EXPECT_EQ(m().SetupDevices().DeviceIds(), (std::vector<std::string>{"USB\\A\\2"}));
    EXPECT_TRUE(m().Registry().KeyExists(refusedKey));  // the NT family keeps the key with the device
}

}  // namespace
