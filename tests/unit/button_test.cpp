// TRVBUTTON: the backup application's registration, the command it starts,
// and dialog 100 when there is nothing usable to start.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "button/button.h"
#include "uninst_fixture.h"

extern const trvres::Table kButtonResources;

namespace {

constexpr char kKey[] = "SOFTWARE\\Dantz\\Retrospect\\ButtonBackup";
constexpr char kApp[] = "C:\\Program Files\\Dantz\\Retrospect\\Retrospect.exe";
constexpr char kScript[] = "C:\\Backups\\Button.rbs";

class Launcher : public ::testing::Test {
protected:
    Launcher() {
        m.SetVersion(trvtest::kWindowsXp);
        trvsim::InstallSuite(m);
        m.InstallProgram(
            "RETROSPECT.EXE",
            [this](plat::System& sys) {
                started.push_back(sys.process().CommandLine());
                plat::Msg msg;
                while (sys.ui().NextMessage(msg)) {
                }
                return 0;
            },
            nullptr);
    }
    void Register(std::optional<std::string> app, std::optional<std::string> parameter) {
        m.Registry().CreateKeyPath(kKey);
        if (app) m.Registry().SetString(kKey, "ApplicationPath", *app);
        if (parameter) m.Registry().SetString(kKey, "LaunchParameter", *parameter);
    }
    // LookUpBackupCommand inside the machine; the key is closed again.
    int LookUp(std::string& command) {
        int code = -1;
        std::size_t openKeys = 1;
        RunInside(m, [&](plat::System& sys) {
            code = button::LookUpBackupCommand(sys, command);
            openKeys = m.Registry().OpenHandles(m.RunningProcesses("HELPER.EXE").at(0));
        });
        EXPECT_EQ(openKeys, 0u);
        return code;
    }
    std::uint32_t RunButton() {
        std::uint32_t pid = m.StartProcess("C:\\WINDOWS\\TRVBUTTON.EXE");
        m.WaitIdle();
        EXPECT_FALSE(m.IsRunning(pid));
        EXPECT_EQ(m.ExitCodeOf(pid), 0);
        return pid;
    }
    static std::uint32_t RunInside(sim::Machine& machine, std::function<void(plat::System&)> body) {
        return trvtest::RunInside(machine, std::move(body));
    }

    sim::Machine m;
    std::vector<std::string> started;
};

TEST_F(Launcher, ResultCodesFollowTheRegistrationAndItsFiles) {
    struct Case {
        const char* name;
        bool key;
        std::optional<std::string> app, parameter;
        std::uint32_t appAttributes;
        bool appRunning;
        bool parameterFile;
        int code;
        std::string command;
    };
    const std::string quotedApp = std::string("\"") + kApp + "\"";
    const Case cases[] = {
        {"not installed", false, std::nullopt, std::nullopt, plat::FILE_ATTRIBUTE_NORMAL, false, true, 3, ""},
        {"no application path", true, std::nullopt, std::string(kScript), plat::FILE_ATTRIBUTE_NORMAL, false, true, 1, ""},
        {"empty application path", true, std::string(), std::string(kScript), plat::FILE_ATTRIBUTE_NORMAL, false, true, 5,
         ""},
        {"application missing", true, std::string("C:\\Gone\\Retrospect.exe"), std::string(kScript),
         plat::FILE_ATTRIBUTE_NORMAL, false, true, 5, ""},
        {"application read-only", true, std::string(kApp), std::string(kScript), plat::FILE_ATTRIBUTE_READONLY, false,
         true, 5, ""},
        {"no parameter", true, std::string(kApp), std::nullopt, plat::FILE_ATTRIBUTE_NORMAL, false, true, 2, quotedApp},
        {"empty parameter", true, std::string(kApp), std::string(), plat::FILE_ATTRIBUTE_NORMAL, false, true, 5, ""},
        {"parameter file missing", true, std::string(kApp), std::string(kScript), plat::FILE_ATTRIBUTE_NORMAL, false,
         false, 5, ""},
        {"application and parameter", true, std::string(kApp), std::string(kScript), plat::FILE_ATTRIBUTE_NORMAL, false,
         true, 0, quotedApp + " " + kScript},
        // Last: the running copy stays.
        {"application already running", true, std::string(kApp), std::string(kScript), plat::FILE_ATTRIBUTE_NORMAL, true,
         true, 5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m.Registry().DeleteTree("SOFTWARE\\Dantz");
        m.Files().RemoveFile(kApp);
        m.Files().RemoveFile(kScript);
        if (c.key) Register(c.app, c.parameter);
        m.Files().AddFile(kApp, "MZ", c.appAttributes);
        if (c.parameterFile) m.Files().AddFile(kScript, "script");
        std::uint32_t running = c.appRunning ? m.StartProcess(std::string("\"") + kApp + "\"") : 0;
        m.WaitIdle();
        std::string command = "<unchanged>";
        EXPECT_EQ(LookUp(command), c.code);
        EXPECT_EQ(command, c.command);
        EXPECT_EQ(running != 0, c.appRunning);
    }
}

TEST_F(Launcher, PathsWithBlanksAreQuotedAndOverlongCommandsUnusable) {
    m.Files().AddFile(kApp, "MZ");
    const std::string spaced = "C:\\My Backups\\Button script.rbs";
    m.Files().AddFile(spaced, "script");
    Register(std::string(kApp), spaced);
    std::string command;
    EXPECT_EQ(LookUp(command), 0);
    EXPECT_EQ(command, std::string("\"") + kApp + "\" \"" + spaced + "\"");

    // Exactly 259 characters fit the buffer; one more does not.
    const std::string quotedApp = std::string("\"") + kApp + "\" ";
    for (std::size_t total : {259u, 260u}) {
        std::string name = "C:\\" + std::string(total - quotedApp.size() - 3, 'p');
        m.Files().AddFile(name, "script");
        m.Registry().SetString(kKey, "LaunchParameter", name);
        EXPECT_EQ(LookUp(command), total == 259 ? 0 : 5) << total;
        EXPECT_EQ(command.size(), total == 259 ? 259u : 0u);
    }
}

TEST_F(Launcher, StartsTheApplicationAndNotAProgramNamedByAShorterPath) {
    // "C:\Program" followed by the rest would start this one.
    m.Files().AddFile("C:\\Program.exe", "MZ");
    m.InstallProgram("PROGRAM.EXE", [this](plat::System&) { started.push_back("<wrong program>"); return 0; }, nullptr);
    m.Files().AddFile(kApp, "MZ");
    m.Files().AddFile(kScript, "script");
    Register(std::string(kApp), std::string(kScript));
    RunButton();
    EXPECT_EQ(started, (std::vector<std::string>{kScript}));
    EXPECT_TRUE(m.DialogsShown().empty());
    EXPECT_EQ(m.RunningProcesses("RETROSPECT.EXE").size(), 1u);
}

TEST_F(Launcher, StartsTheApplicationAloneWithoutParameter) {
    m.Files().AddFile(kApp, "MZ");
    Register(std::string(kApp), std::nullopt);
    RunButton();
    EXPECT_EQ(started, (std::vector<std::string>{""}));
    EXPECT_TRUE(m.DialogsShown().empty());
}

TEST(LauncherOnTheSuite, RegisteredApplicationIsStartedWithItsScript) {
    sim::Machine m;
    trvsim::InstallSuite(m);
    trvsim::RegisterBackupApplication(m, "C:\\Program Files\\Retrospect\\Retrospect.exe", "C:\\Backups\\B.rbs");
    std::uint32_t pid = m.StartProcess("C:\\WINDOWS\\TRVBUTTON.EXE");
    m.WaitIdle();
    EXPECT_EQ(m.ExitCodeOf(pid), 0);
    auto running = m.RunningProcesses("RETROSPECT.EXE");
    ASSERT_EQ(running.size(), 1u);
    EXPECT_TRUE(trvtest::Contains(m.Transcript(),
                                  "WinExec \"\"C:\\Program Files\\Retrospect\\Retrospect.exe\" C:\\Backups\\B.rbs\""));
    EXPECT_TRUE(m.DialogsShown().empty());
}

TEST_F(Launcher, NothingUsableShowsDialog100AndStartsNothing) {
    for (bool registered : {false, true}) {
        if (registered) Register(std::string(kApp), std::string());  // an empty parameter
        m.Files().AddFile(kApp, "MZ");
        std::size_t before = m.DialogsShown().size();
        m.QueueDialogAnswer(100, plat::IDOK);
        RunButton();
        auto shown = m.DialogsShown();
        ASSERT_EQ(shown.size(), before + 1);
        const auto& d = shown.back();
        EXPECT_EQ(d.templateId, 100u);
        EXPECT_EQ(d.caption, "Pushlaunch");
        EXPECT_EQ(d.texts, (std::vector<std::string>{
                               "A compatible Retrospect version could not be found on your system.",
                               "Please check your installation and re-install or contact tech support."}));
        EXPECT_EQ(d.buttons, (std::vector<int>{plat::IDOK, plat::IDCANCEL}));
        EXPECT_TRUE(started.empty());
    }
    EXPECT_TRUE(trvtest::Contains(m.Transcript(), "dialog 100 \"Pushlaunch\""));
}

TEST_F(Launcher, DialogStaysUntilTheUserClosesIt) {
    for (int button : {plat::IDOK, plat::IDCANCEL}) {
        std::uint32_t pid = m.StartProcess("C:\\WINDOWS\\TRVBUTTON.EXE");
        m.WaitIdle();
        auto open = m.OpenDialogs();
        ASSERT_EQ(open.size(), 1u);
        EXPECT_TRUE(m.IsRunning(pid));
        EXPECT_FALSE(m.AnswerDialog(open[0].id, plat::IDYES));  // there is no such button
        ASSERT_TRUE(m.AnswerDialog(open[0].id, button));
        m.WaitIdle();
        EXPECT_FALSE(m.IsRunning(pid));
        EXPECT_EQ(m.ExitCodeOf(pid), 0);
        EXPECT_TRUE(m.OpenDialogs().empty());
    }
}

TEST(LauncherResources, Dialog100AsLaidOut) {
    ASSERT_EQ(kButtonResources.dialogCount, 1u);
    const trvres::Dialog& d = kButtonResources.dialogs[0];
    EXPECT_EQ(d.id, 100u);
    EXPECT_EQ(std::string(d.font), "MS Shell Dlg");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.cx, 253);
    EXPECT_EQ(d.cy, 71);
    // DS_MODALFRAME, WS_CAPTION and WS_SYSMENU.
    EXPECT_EQ(d.style & 0x00C80080u, 0x00C80080u);
    ASSERT_EQ(d.controlCount, 3u);
    EXPECT_EQ(d.controls[0].style & 0x80u, 0x80u);  // SS_NOPREFIX on the first text
    EXPECT_EQ(d.controls[2].kind, trvres::ControlKind::DefButton);
    EXPECT_EQ(d.controls[2].id, 1u);
    EXPECT_EQ(std::string(d.controls[2].text), "OK");
    EXPECT_EQ((std::vector<int>{d.controls[2].x, d.controls[2].y, d.controls[2].cx, d.controls[2].cy}),
              (std::vector<int>{103, 42, 50, 16}));
}

}  // namespace
