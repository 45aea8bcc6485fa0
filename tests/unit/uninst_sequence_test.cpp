// TRVUNINST runs on the simulated machine: its questions, what it removes or
// marks, the programs it stops, and the reboot it asks for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "uninst_fixture.h"

namespace {

using trvtest::Contains;
using trvtest::kServiceKey;
using trvtest::kUninstallKey;

constexpr std::uint32_t kQuestion = plat::MB_YESNO | plat::MB_ICONQUESTION | plat::MB_TOPMOST;
constexpr std::uint32_t kRightsStyle = plat::MB_OK | plat::MB_ICONQUESTION | plat::MB_TOPMOST;
constexpr char kConfirmText[] = "Are you sure you want to uninstall the selected device and all of its components?";
constexpr char kRightsText[] =
    "You do not have sufficient security privileges to uninstall devices or device drivers.  Please contact your site "
    "administrator, or logout and log in again as an administrator and try again.";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

const std::vector<std::string> kPackages = {"TRVADPT", "TRVBRG2", "TRVBRG1"};

class Uninstaller : public ::testing::Test {
protected:
    // A machine of `version` with the suite; `packages` installed (all when empty).
    void Machine(plat::OsVersion version, std::vector<std::string> packages = {}, bool anyPackages = true) {
        m_ = std::make_unique<sim::Machine>();
        m_->SetVersion(version);
        trvsim::InstallSuite(*m_);
        if (anyPackages) trvsim::InstallDriverPackages(*m_, packages);
    }
    sim::Machine& m() { return *m_; }

    // The notifier of the family and the watcher, running as after a log-on.
    void StartNotifierAndWatcher() {
        notifier_ = m().StartProcess(m().Version().nt ? "C:\\WINDOWS\\TRVTRAY.EXE" : "C:\\WINDOWS\\TRVTRAY9X.EXE");
        watcher_ = m().StartProcess("C:\\WINDOWS\\TRVWATCH.EXE");
        m().Registry().SetString(kRunKey, "TRVWATCH", "C:\\WINDOWS\\TRVWATCH.EXE");
        m().WaitIdle();
        ASSERT_TRUE(m().IsRunning(notifier_));
        ASSERT_TRUE(m().IsRunning(watcher_));
    }

    // Runs the uninstaller to its end; the user answers `answers` in order.
    void Run(const std::string& args, std::vector<int> answers = {}) {
        for (int a : answers) m().QueueBoxAnswer("", a);
        pid_ = m().StartProcess("TRVUNINST.EXE " + args);
        m().WaitIdle();
        ASSERT_FALSE(m().IsRunning(pid_));
        EXPECT_EQ(m().ExitCodeOf(pid_), 1);
    }

    std::vector<std::string> Captions() {
        std::vector<std::string> out;
        for (auto& s : m().MessageBoxesShown()) out.push_back(s.caption);
        return out;
    }
    bool Marked(const std::string& path) {
        auto p = m().Files().PendingDeletions();
        return std::find(p.begin(), p.end(), path) != p.end();
    }
    std::vector<std::string> Launched() {
        std::vector<std::string> out;
        for (auto& l : m().Launches())
            if (l.parentPid == pid_) out.push_back(l.commandLine + " @" + l.desktop);
        return out;
    }
    bool PackageKeysPresent(const std::string& p) {
        return m().Registry().KeyExists(kUninstallKey + p) && m().Registry().KeyExists(kServiceKey + p);
    }

    std::unique_ptr<sim::Machine> m_;
    std::uint32_t pid_ = 0, notifier_ = 0, watcher_ = 0;
};

TEST_F(Uninstaller, SilentAndRebootDecideTheQuestionsAndTheRestart) {
    struct Case {
        std::string args;
        std::vector<int> answers;
        std::vector<std::string> captions;
        bool removed;
        bool restart;
    } cases[] = {
        {"SILENT TRVBRG1", {}, {}, true, false},
        {"SILENT REBOOT TRVBRG1", {}, {}, true, true},
        {"trvbrg1 reboot silent", {}, {}, true, true},
        {"REBOOT TRVBRG1", {plat::IDYES}, {"Confirm Uninstall"}, true, true},
        {"TRVBRG1", {plat::IDYES, plat::IDYES}, {"Confirm Uninstall", "Confirm Reboot"}, true, true},
        {"TRVBRG1", {plat::IDYES, plat::IDNO}, {"Confirm Uninstall", "Confirm Reboot"}, true, false},
        {"TRVBRG1", {plat::IDNO}, {"Confirm Uninstall"}, false, false},
        {"REBOOT TRVBRG1", {plat::IDNO}, {"Confirm Uninstall"}, false, false},
        {"/SILENT TRVBRG1", {plat::IDYES, plat::IDNO}, {"Confirm Uninstall", "Confirm Reboot"}, true, false},
        {"SILENTLY TRVBRG1", {}, {}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Machine(trvtest::kWindowsXp);
        Run(c.args, c.answers);
        EXPECT_EQ(Captions(), c.captions);
        for (auto& shown : m().MessageBoxesShown()) EXPECT_EQ(shown.style, kQuestion);
        if (!c.captions.empty()) {
            EXPECT_EQ(m().MessageBoxesShown()[0].text, kConfirmText);
        }
        EXPECT_EQ(!PackageKeysPresent("TRVBRG1"), c.removed);
        EXPECT_EQ(m().Files().PendingDeletions().empty(), !c.removed);
        auto restarts = m().Account().ShutdownRequests();
        ASSERT_EQ(restarts.size(), c.restart ? 1u : 0u);
        if (c.restart) {
            EXPECT_EQ(restarts[0].flags, plat::EWX_SHUTDOWN | plat::EWX_REBOOT);
            EXPECT_EQ(restarts[0].reason, 0xFFFFFFFFu);
            EXPECT_TRUE(restarts[0].accepted);  // the shutdown privilege was enabled first
        }
    }
}

TEST_F(Uninstaller, NonAdministratorOnTheNtFamilyChangesNothing) {
    struct Case {
        plat::OsVersion version;
        std::vector<plat::TokenGroup> groups;
        std::uint32_t lookupError;
        std::string args;
        bool rightsMessage;
    };
    const Case cases[] = {
        {trvtest::kWindowsXp, sim::TokenStore::UserGroups(), 0, "TRVADPT", true},
        {trvtest::kWindowsXp, sim::TokenStore::UserGroups(), 0, "SILENT TRVADPT", false},
        {trvtest::kWindows2000, sim::TokenStore::UserGroups(), 0, "TRVADPT REBOOT", true},
        {trvtest::kWindowsXp, sim::TokenStore::DenyOnlyAdministratorGroups(), 0, "TRVADPT", true},
        {trvtest::kWindowsXp, sim::TokenStore::DenyOnlyAdministratorGroups(), 0, "silent reboot TRVADPT", false},
        // A look-up that fails for another reason than an unmapped name.
        {trvtest::kWindowsXp, sim::TokenStore::AdministratorGroups(), 1789, "TRVADPT", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Machine(c.version);
        m().Account().SetGroups(c.groups);
        m().Account().FailLookups(c.lookupError);
        Run(c.args, {plat::IDYES, plat::IDYES});
        auto shown = m().MessageBoxesShown();
        if (c.rightsMessage) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].caption, "Device Uninstall");
            EXPECT_EQ(shown[0].text, kRightsText);
            EXPECT_EQ(shown[0].style, kRightsStyle);
        } else {
            EXPECT_TRUE(shown.empty());
        }
        for (const auto& p : kPackages) EXPECT_TRUE(PackageKeysPresent(p)) << p;
        EXPECT_EQ(m().SetupDevices().DeviceIds().size(), 5u);
        EXPECT_TRUE(m().Files().PendingDeletions().empty());
        EXPECT_TRUE(Launched().empty());
        EXPECT_TRUE(m().Account().ShutdownRequests().empty());
    }
}

TEST_F(Uninstaller, UnmappedAdministratorsNameStillCountsAsAdministrator) {
    Machine(trvtest::kWindowsXp);
    m().Account().FailLookups(plat::ERROR_NONE_MAPPED);
    Run("SILENT TRVBRG1");
    EXPECT_FALSE(PackageKeysPresent("TRVBRG1"));
}

TEST_F(Uninstaller, ConfirmationAndRightsMessageSpeakTheSystemLanguage) {
    struct Case {
        std::uint32_t lcid;
        bool administrator;
        std::string caption;
        std::string text;
    } cases[] = {
        {0x040C, true, "Confirmez la d\xC3\xA9sinstallation",
         "\xC3\x8Ates-vous s\xC3\xBBr de vouloir d\xC3\xA9sinstaller le p\xC3\xA9riph\xC3\xA9rique s\xC3\xA9lectionn\xC3\xA9 "
         "ainsi que tous ses composants\xC2\xA0?"},
        {0x0416, true, "Confirm Uninstall", kConfirmText},  // Brazilian Portuguese: the block at 2048
        {0x0410, true, "Conferma disinstallazione", "Disinstallare la periferica selezionata con tutti i componenti?"},
        {0x0407, false, "Deinstallation Medium",
         "Sie verf\xC3\xBCgen nicht \xC3\xBC" "ber die erforderlichen Berechtigungen zur Deinstallation von Medien oder "
         "Medientreibern.  Bitte wenden Sie sich an den f\xC3\xBCr Sie zust\xC3\xA4ndigen Administrator oder melden Sie "
         "sich ab und als Administrator wieder an, und versuchen Sie es noch einmal."},
        {0x041F, true, "Confirm Uninstall", kConfirmText},  // an unlisted language
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lcid);
        Machine(trvtest::kWindowsXp);
        m().SetDefaultLcid(c.lcid);
        if (!c.administrator) m().Account().SetGroups(sim::TokenStore::UserGroups());
        Run("TRVBRG1", {plat::IDNO});
        auto shown = m().MessageBoxesShown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].caption, c.caption);
        EXPECT_EQ(shown[0].text, c.text);
    }
}

TEST_F(Uninstaller, LastPackageStopsNotifierAndWatcherAndRemovesTheSharedParts) {
    Machine(trvtest::kWindowsXp, {"TRVADPT"});
    StartNotifierAndWatcher();
    Run("SILENT TRVADPT");
    // The notifier and the watcher were asked to end, and did.
    EXPECT_EQ(Launched(), (std::vector<std::string>{"TRVTRAY.EXE -end @WinSta0\\Default",
                                                    "TRVWATCH.EXE -remove @WinSta0\\Default"}));
    EXPECT_FALSE(m().IsRunning(notifier_));
    EXPECT_FALSE(m().IsRunning(watcher_));
    EXPECT_FALSE(m().Registry().GetValue(kRunKey, "TRVWATCH"));
    EXPECT_FALSE(PackageKeysPresent("TRVADPT"));
    EXPECT_TRUE(m().SetupDevices().DeviceIds().empty());
    for (const char* f : {"C:\\WINDOWS\\TRVTRAY.EXE", "C:\\WINDOWS\\TRVWATCH.EXE", "C:\\WINDOWS\\SYSTEM32\\TRVPAGE32.DLL",
                          "C:\\WINDOWS\\SYSTEM32\\TRVCOINST.DLL", "C:\\WINDOWS\\SYSTEM32\\TRVUNINST.EXE",
                          "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\TRVADPT.SYS", "C:\\WINDOWS\\INF\\TRVADPT.INF",
                          "C:\\WINDOWS\\INF\\TRVADPT.PNF", "C:\\WINDOWS\\INF\\oem0.inf", "C:\\WINDOWS\\INF\\oem0.PNF",
                          // the bridges' names go too, whether they are there or not
                          "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\TRVBRG1.SYS", "C:\\WINDOWS\\INF\\TRVBRG2.INF"}) {
        EXPECT_TRUE(Marked(f)) << f;
    }
    // Marked files stay until the restart.
    EXPECT_TRUE(m().Files().Exists("C:\\WINDOWS\\TRVTRAY.EXE"));
    m().Files().CarryOutRestart();
    EXPECT_TRUE(m().Files().FilesIn("C:\\WINDOWS\\SYSTEM32\\DRIVERS").empty());
    EXPECT_FALSE(m().Files().Exists("C:\\WINDOWS\\TRVWATCH.EXE"));
    // The Windows 9x parts are no business of the NT family.
    EXPECT_FALSE(Contains(m().Files().PendingDeletions(), "TRVTRAY9X"));
    EXPECT_FALSE(Contains(m().Files().PendingDeletions(), "TRVPAGE16"));
}

TEST_F(Uninstaller, PackageRemovedWhileOthersRemainLeavesTheShared) {
    Machine(trvtest::kWindowsXp);
    StartNotifierAndWatcher();
    Run("SILENT TRVADPT");
    EXPECT_FALSE(PackageKeysPresent("TRVADPT"));
    EXPECT_TRUE(PackageKeysPresent("TRVBRG2"));
    EXPECT_TRUE(PackageKeysPresent("TRVBRG1"));
    EXPECT_EQ(m().SetupDevices().DeviceIds(),
              (std::vector<std::string>{"USB\\VID_0E21&PID_0702\\1", "USB\\VID_0E21&PID_0702\\2",
                                        "USB\\VID_0E21&PID_0703\\1"}));
    EXPECT_EQ(m().Files().PendingDeletions(),
              (std::vector<std::string>{"C:\\WINDOWS\\INF\\oem0.inf", "C:\\WINDOWS\\INF\\oem0.PNF",
                                        "C:\\WINDOWS\\INF\\oem0.inf", "C:\\WINDOWS\\INF\\oem0.PNF",
                                        "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\TRVADPT.SYS", "C:\\WINDOWS\\INF\\TRVADPT.INF",
                                        "C:\\WINDOWS\\INF\\TRVADPT.PNF"}));
    EXPECT_TRUE(Launched().empty());
    EXPECT_TRUE(m().IsRunning(notifier_));
    EXPECT_TRUE(m().IsRunning(watcher_));
    EXPECT_TRUE(m().Registry().GetValue(kRunKey, "TRVWATCH"));
}

TEST_F(Uninstaller, WithoutPackageKeywordsOnlyRemoveAllRemovesAnything) {
    // Packages still registered: nothing is removed, the reboot is still offered.
    Machine(trvtest::kWindowsXp);
    Run("", {plat::IDYES, plat::IDNO});
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Confirm Uninstall", "Confirm Reboot"}));
    for (const auto& p : kPackages) EXPECT_TRUE(PackageKeysPresent(p));
    EXPECT_EQ(m().SetupDevices().DeviceIds().size(), 5u);
    EXPECT_TRUE(m().Files().PendingDeletions().empty());

    // No package registered any more: everything goes.
    Machine(trvtest::kWindowsXp);
    for (const auto& p : kPackages) m().Registry().DeleteTree(kUninstallKey + p);
    Run("SILENT");
    EXPECT_TRUE(m().SetupDevices().DeviceIds().empty());
    for (const auto& p : kPackages) EXPECT_FALSE(m().Registry().KeyExists(kServiceKey + p));
    EXPECT_TRUE(Marked("C:\\WINDOWS\\SYSTEM32\\TRVPAGE32.DLL"));
    EXPECT_TRUE(Marked("C:\\WINDOWS\\INF\\oem2.inf"));
}

TEST_F(Uninstaller, Windows98DeletesAtOnceSearchesInfOtherAndRemovesThePortDevices) {
    Machine(trvtest::kWindows98);
    m().Account().SetGroups(sim::TokenStore::UserGroups());  // no rights check on this family
    StartNotifierAndWatcher();
    const std::string adapterKey = m().SetupDevices().DriverKeyOf("USB\\VID_0E21&PID_0701\\1");
    ASSERT_TRUE(m().Registry().KeyExists(adapterKey));
    Run("SILENT TRVADPT TRVBRG2 TRVBRG1");
    EXPECT_EQ(Launched(), (std::vector<std::string>{"TRVTRAY9X.EXE -end @WinSta0\\Default",
                                                    "TRVWATCH.EXE -remove @WinSta0\\Default"}));
    EXPECT_FALSE(m().IsRunning(notifier_));
    EXPECT_FALSE(m().IsRunning(watcher_));
    EXPECT_TRUE(m().Files().PendingDeletions().empty());
    // Deleted at once: the port driver's device went although no section named it.
    EXPECT_TRUE(m().SetupDevices().DeviceIds().empty());
    EXPECT_FALSE(m().Registry().KeyExists(adapterKey));
    EXPECT_TRUE(m().Files().FilesIn("C:\\WINDOWS\\INF\\OTHER").empty());
    EXPECT_TRUE(m().Files().FilesIn("C:\\WINDOWS\\SYSTEM32\\DRIVERS").empty());
    EXPECT_TRUE(m().Files().FilesIn("C:\\WINDOWS\\SYSTEM\\IOSUBSYS").empty());
    for (const char* f : {"C:\\WINDOWS\\TRVTRAY9X.EXE", "C:\\WINDOWS\\TRVWATCH.EXE", "C:\\WINDOWS\\SYSTEM\\TRVPAGE16.DLL",
                          "C:\\WINDOWS\\SYSTEM\\TRVPAGE32.DLL", "C:\\WINDOWS\\INF\\TRVIOS.INF", "C:\\WINDOWS\\INF\\TRVIOS.PNF"})
        EXPECT_FALSE(m().Files().Exists(f)) << f;
    // The uninstaller's own file is in use while it runs: it waits for the restart.
    const std::string winInit = m().Files().Content("C:\\WINDOWS\\WinInit.Ini").value_or("");
    EXPECT_EQ(winInit.rfind("[Rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\TRVUNINST.EXE\r\n", 0), 0u) << winInit;
    m().Files().CarryOutRestart();
    EXPECT_FALSE(m().Files().Exists("C:\\WINDOWS\\SYSTEM\\TRVUNINST.EXE"));
}

TEST_F(Uninstaller, VersionsOutsideTheFamiliesAreTreatedAsWindows98) {
    for (plat::OsVersion v : {trvtest::kWindowsNt4, trvtest::kWindowsVista, trvtest::kWindowsMe, trvtest::kWindows95}) {
        SCOPED_TRACE(std::to_string(v.major) + "." + std::to_string(v.minor));
        Machine(v);
        m().Account().SetGroups(sim::TokenStore::UserGroups());  // not asked on these families
        m().Files().AddFile("C:\\WINDOWS\\INF\\OTHER\\Copy.INF", "[TRVBRG1]\r\n");
        Run("SILENT TRVADPT TRVBRG2 TRVBRG1");
        EXPECT_EQ(Launched(), (std::vector<std::string>{"TRVTRAY9X.EXE -end @WinSta0\\Default",
                                                        "TRVWATCH.EXE -remove @WinSta0\\Default"}));
        EXPECT_TRUE(m().SetupDevices().DeviceIds().empty());
        // The other INF folder is searched, and the system's deletion at the
        // restart is asked for first where the system offers it.
        EXPECT_TRUE(v.nt ? Marked("C:\\WINDOWS\\INF\\OTHER\\Copy.INF")
                         : !m().Files().Exists("C:\\WINDOWS\\INF\\OTHER\\Copy.INF"));
        EXPECT_TRUE(v.nt ? Marked("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\TRVMINI.SYS")
                         : !m().Files().Exists("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\TRVMINI.SYS"));
    }
}

TEST_F(Uninstaller, EveryRemovalRunsWhateverFailedBefore) {
    Machine(trvtest::kWindows98);
    auto& devices = m().SetupDevices();
    devices.FailSets(1);                                        // the first row's device set
    devices.RefuseRemoval("USB\\VID_0E21&PID_0702\\1", true);  // a device that refuses
    m().Files().SetInUse("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\TRVBRG1.SYS", true);
    m().Files().AddFile("C:\\WINDOWS\\INF\\TRVBRG2.INF", "x", plat::FILE_ATTRIBUTE_READONLY);
    m().Registry().SetDenyDelete(std::string(kServiceKey) + "TRVBRG2\\Enum", true);
    m().FailProcessStarts(1);                                   // the notifier's stop request
    Run("SILENT TRVADPT TRVBRG2 TRVBRG1");

    EXPECT_EQ(devices.DeviceIds(),
              (std::vector<std::string>{"USB\\VID_0E21&PID_0701\\1", "USB\\VID_0E21&PID_0702\\1"}));
    EXPECT_TRUE(Contains(m().Transcript(), "start of \"TRVTRAY9X.EXE -end\" failed"));
    EXPECT_EQ(Launched().back(), "TRVWATCH.EXE -remove @WinSta0\\Default");
    EXPECT_TRUE(m().Registry().KeyExists(std::string(kServiceKey) + "TRVBRG2\\Enum"));
    EXPECT_FALSE(m().Registry().KeyExists(std::string(kServiceKey) + "TRVBRG1"));
    EXPECT_FALSE(m().Registry().KeyExists(std::string(kServiceKey) + "TRVADPT"));
    const std::string winInit = m().Files().Content("C:\\WINDOWS\\WinInit.Ini").value_or("");
    EXPECT_NE(winInit.find("NUL=C:\\WINDOWS\\SYSTEM32\\DRIVERS\\TRVBRG1.SYS\r\n"), std::string::npos);
    for (const char* f : {"C:\\WINDOWS\\INF\\TRVBRG2.INF", "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\TRVADPT.SYS",
                          "C:\\WINDOWS\\TRVTRAY9X.EXE", "C:\\WINDOWS\\TRVWATCH.EXE", "C:\\WINDOWS\\SYSTEM\\TRVPAGE32.DLL"})
        EXPECT_FALSE(m().Files().Exists(f)) << f;
}

TEST_F(Uninstaller, NotifierThatDoesNotEndInTimeIsLeftAndItsFileWaitsForTheRestart) {
    Machine(trvtest::kWindows98);
    // A notifier that never ends, not even for "-end".
    m().InstallProgram(
        "TRVTRAY9X.EXE",
        [](plat::System& sys) {
            plat::Msg msg;
            while (sys.ui().NextMessage(msg)) {
            }
            return 0;
        },
        nullptr);
    std::uint32_t stuck = m().StartProcess("C:\\WINDOWS\\TRVTRAY9X.EXE");
    pid_ = m().StartProcess("TRVUNINST.EXE SILENT TRVADPT TRVBRG2 TRVBRG1");
    m().WaitIdle();
    ASSERT_TRUE(m().IsRunning(pid_));
    m().AdvanceTime(29999);
    EXPECT_TRUE(m().IsRunning(pid_));
    EXPECT_TRUE(m().Files().Exists("C:\\WINDOWS\\TRVTRAY9X.EXE"));
    EXPECT_FALSE(Contains(m().Transcript(), "TRVWATCH.EXE -remove"));
    m().AdvanceTime(1);
    EXPECT_FALSE(m().IsRunning(pid_));
    EXPECT_TRUE(m().IsRunning(stuck));
    EXPECT_TRUE(Contains(m().Transcript(), "TRVWATCH.EXE -remove"));
    EXPECT_TRUE(m().Files().Exists("C:\\WINDOWS\\TRVTRAY9X.EXE"));
    const std::string winInit = m().Files().Content("C:\\WINDOWS\\WinInit.Ini").value_or("");
    EXPECT_NE(winInit.find("NUL=C:\\WINDOWS\\TRVTRAY9X.EXE\r\n"), std::string::npos) << winInit;
}

}  // namespace
