// The Unprotect flow end to end on the simulated machine: dialog 154 opened
// by itself for a locked drive or from the menu, SECURITY UNLOCK and DISABLE
// PASSWORD as the drive receives them, the drive's attempt counter, the
// report, the re-enumeration and the broadcast.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/adapter_driver.h"
#include "tray_harness.h"

namespace {

using sim::AdapterSpec;
using sim::Machine;
using traytest::TrayHarness;
using tray::Family;
using Action = Machine::DialogAction;
using MenuAnswer = Machine::MenuAnswer;

constexpr std::uint32_t kUnprotect = 154;
constexpr char kCaption[] = "UnProtect Drive X";
constexpr char kPassword[] = "Open Sesame";
constexpr std::uint32_t kReportStyle = plat::MB_OK | plat::MB_SYSTEMMODAL | plat::MB_SETFOREGROUND;

AdapterSpec LockedDrive(const std::string& password = kPassword) {
    AdapterSpec spec = AdapterSpec::Disk("Drive X", {'E'});
    spec.drive.userPassword = password;
    spec.drive.maximumLevel = true;
    spec.drive.masterPassword = "KJT Plums";
    return spec;
}

// The UNLOCK and DISABLE PASSWORD commands the drive received: code and field.
std::vector<std::pair<std::uint8_t, std::string>> PasswordCommands(TrayHarness& h, const std::string& path) {
    std::vector<std::pair<std::uint8_t, std::string>> out;
    for (const auto& image : h.devices.PassThroughs(path)) {
        const std::uint8_t command = image[28 + 12];
        if (command == 0xF2 || command == 0xF6)
            out.emplace_back(command, std::string(reinterpret_cast<const char*>(image.data() + 68), 32));
    }
    return out;
}

// A notifier that has just listed a locked drive.
struct LockedSetup {
    explicit LockedSetup(AdapterSpec spec = LockedDrive()) {
        h.Start();
        mark = h.Mark();
        dev = h.Plug(spec);
        boxes = h.machine.MessageBoxesShown().size();
    }
    // The user answers the next box of the flow with OK.
    void AnswerNextBox() { h.machine.QueueBoxAnswer(kCaption, plat::IDOK); }
    sim::Machine::MessageBoxInfo LastBox() { return h.machine.MessageBoxesShown().back(); }
    TrayHarness h;
    sim::PluggedDevice dev;
    std::size_t mark = 0;
    std::size_t boxes = 0;
};

TEST(UnprotectFlow, ALockedDriveThatArrivesAsksForItsPassword) {
    LockedSetup s;
    auto d = s.h.OpenDialog(kUnprotect);
    ASSERT_TRUE(d) << s.h.Dump();
    EXPECT_EQ(d->pid, s.h.pid);
    EXPECT_EQ(d->caption, kCaption);
    EXPECT_EQ(d->texts, (std::vector<std::string>{"This drive is password protected. Enter the password to view files "
                                                   "or make changes to this drive."}));
    EXPECT_EQ(d->Control(1000)->text, "");
    EXPECT_EQ(d->Control(1000)->limit, 32u);
    EXPECT_EQ(d->Control(1002)->text, "Disable Protection");
    EXPECT_FALSE(d->Control(1002)->checked);
    EXPECT_TRUE(d->Control(1002)->enabled);
    EXPECT_EQ(d->Control(1001)->text, "I Forgot");
    EXPECT_TRUE(d->Control(1001)->visible);
    EXPECT_EQ(d->iconResource, 158u);
    EXPECT_TRUE(d->foreground);
    EXPECT_EQ(d->rect.left, 512 - (d->rect.right - d->rect.left) / 2);
    EXPECT_TRUE(TrayHarness::Contains(s.h.Since(s.mark),
                                      "dialog 154 \"UnProtect Drive X\" opens (owned by the desktop, icon 158"));
    EXPECT_TRUE(s.dev.drive->Locked());
    EXPECT_TRUE(s.h.machine.MessageBoxesShown().empty());
}

// The right password, with the box unchecked or checked, and a drive that
// refuses to give up its password: the report follows what the drive says.
TEST(UnprotectFlow, TheRightPasswordReportsWhatTheDriveNowSays) {
    struct Case {
        const char* what;
        bool disable;
        bool bridgeRefusesDisable;
        const char* report;
        bool passwordLeft;
        std::uint32_t trayIcon;
    };
    const std::vector<Case> cases = {
        {"box unchecked", false, false, "Drive is now unprotected until removal.", true, 173},
        {"box checked", true, false, "Drive is now unprotected.", false, 145},
        {"box checked, the disable fails", true, true, "Drive is now unprotected until removal.", true, 173},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LockedSetup s;
        if (c.bridgeRefusesDisable)
            s.h.machine.WithAdapter(s.dev.path, [](sim::SimAdapter& a) { a.refusedCommands.insert(0xF6); });
        s.h.devices.ClearRequests();
        s.h.Type(kUnprotect, 1000, kPassword);
        if (c.disable) s.h.Act(kUnprotect, Action::Check(1002, true));
        s.AnswerNextBox();
        s.h.Press(kUnprotect, plat::IDOK);

        EXPECT_FALSE(s.h.OpenDialog(kUnprotect));
        EXPECT_FALSE(s.dev.drive->Locked());
        EXPECT_EQ(s.dev.drive->UserPasswordSet(), c.passwordLeft);
        auto sent = PasswordCommands(s.h, s.dev.path);
        ASSERT_EQ(sent.size(), c.disable ? 2u : 1u);  // a refused disable was still sent
        EXPECT_EQ(sent[0].first, 0xF2);
        EXPECT_EQ(sent[0].second, std::string(kPassword) + std::string(32 - sizeof kPassword + 1, '\0'));
        auto shown = s.h.BoxesSince(s.boxes);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, c.report);
        EXPECT_EQ(shown[0].caption, kCaption);
        EXPECT_EQ(shown[0].style, kReportStyle | plat::MB_ICONINFORMATION);
        EXPECT_EQ(shown[0].owner, plat::Hwnd::None);
        EXPECT_EQ(s.h.Requests(sim::CmRequest::Reenumerate, s.dev.instanceId), 1u);
        EXPECT_EQ(s.h.RefreshBroadcastsSince(s.mark, s.dev.path), 1u);
        EXPECT_EQ(s.h.Icon()->iconResource, c.trayIcon);
    }
}

// From the menu for a drive that is not locked: the dialog only removes the
// password, so the box is checked and greyed and "I Forgot" is hidden.
TEST(UnprotectFlow, ADriveThatIsNotLockedOnlyHasItsPasswordRemoved) {
    LockedSetup s;
    s.h.Type(kUnprotect, 1000, kPassword);
    s.AnswerNextBox();
    s.h.Press(kUnprotect, plat::IDOK);
    ASSERT_FALSE(s.dev.drive->Locked());
    ASSERT_TRUE(s.dev.drive->UserPasswordSet());

    s.h.RightClick(MenuAnswer::Item({"Drive X (E:)", "UnProtect"}));
    auto d = s.h.OpenDialog(kUnprotect);
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->Control(1002)->checked);
    EXPECT_FALSE(d->Control(1002)->enabled);
    EXPECT_FALSE(d->Control(1001)->visible);
    const std::size_t mark = s.h.Mark();
    s.h.Act(kUnprotect, Action::Check(1002, false));
    s.h.Press(kUnprotect, 1001);
    EXPECT_TRUE(TrayHarness::Contains(s.h.Since(mark), "cannot press \"I Forgot\" in dialog 154"));
    EXPECT_TRUE(s.h.OpenDialog(kUnprotect)->Control(1002)->checked);
    s.h.Type(kUnprotect, 1000, kPassword);
    s.AnswerNextBox();
    s.h.Press(kUnprotect, plat::IDOK);
    EXPECT_EQ(s.LastBox().text, "Drive is now unprotected.");
    EXPECT_FALSE(s.dev.drive->UserPasswordSet());
    EXPECT_EQ(s.h.Icon()->iconResource, 145u);
    // No password, no UnProtect: the menu offers Protect again.
    s.h.RightClick();
    EXPECT_EQ(s.h.LastMenu()->items[0].sub[1].text, "Protect");
}

// Each wrong password costs one of the drive's five attempts; the fifth
// closes the dialog by itself and the report says the counter expired.
TEST(UnprotectFlow, WrongPasswordsUntilTheCounterExpires) {
    LockedSetup s;
    for (int attempt = 1; attempt <= 5; ++attempt) {
        SCOPED_TRACE("attempt " + std::to_string(attempt));
        s.AnswerNextBox();
        s.h.Type(kUnprotect, 1000, "guess " + std::to_string(attempt));
        s.h.Press(kUnprotect, plat::IDOK);
        EXPECT_EQ(s.dev.drive->AttemptsLeft(), 5 - attempt);
        auto shown = s.h.BoxesSince(s.boxes);
        ASSERT_EQ(shown.size(), static_cast<std::size_t>(attempt));
        if (attempt < 5) {
            EXPECT_EQ(shown.back().text,
                      "The password is not correct.  Please enter the right password.  Remember, passwords are case "
                      "sensitive.");
            EXPECT_EQ(shown.back().style, kReportStyle | plat::MB_ICONWARNING);
            auto d = s.h.OpenDialog(kUnprotect);
            ASSERT_TRUE(d);
            EXPECT_EQ(shown.back().owner, d->hwnd);
            EXPECT_EQ(d->Control(1000)->text, "guess " + std::to_string(attempt)) << "the field is left as it was";
        } else {
            EXPECT_FALSE(s.h.OpenDialog(kUnprotect));
            EXPECT_EQ(shown.back().text,
                      "The password retry counter has expired.  Please reset the drive to try again.");
            EXPECT_EQ(shown.back().style, kReportStyle | plat::MB_ICONERROR);
            EXPECT_EQ(shown.back().owner, plat::Hwnd::None);
        }
    }
    EXPECT_TRUE(s.dev.drive->Locked());
    EXPECT_EQ(PasswordCommands(s.h, s.dev.path).size(), 5u);
}

// A status that cannot be read again: after a wrong password the dialog
// closes without a word; after an accepted unlock the report says it failed.
TEST(UnprotectFlow, AStatusThatCannotBeReadAgain) {
    for (bool rightPassword : {false, true}) {
        SCOPED_TRACE(rightPassword ? "accepted unlock" : "wrong password");
        LockedSetup s;
        s.h.devices.ClearRequests();
        s.h.machine.WithAdapter(s.dev.path, [](sim::SimAdapter& a) { a.failCommandLead = true; });
        s.h.Type(kUnprotect, 1000, rightPassword ? kPassword : "wrong");
        s.AnswerNextBox();
        s.h.Press(kUnprotect, plat::IDOK);
        EXPECT_FALSE(s.h.OpenDialog(kUnprotect));
        auto shown = s.h.BoxesSince(s.boxes);
        if (rightPassword) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].text, "Failed to unprotect drive.  Please reset the drive to try again.");
            EXPECT_EQ(s.h.Requests(sim::CmRequest::Reenumerate, s.dev.instanceId), 1u);
        } else {
            EXPECT_TRUE(shown.empty());
            EXPECT_EQ(s.h.Requests(sim::CmRequest::Reenumerate, s.dev.instanceId), 0u);
        }
        EXPECT_EQ(s.h.RefreshBroadcastsSince(s.mark, s.dev.path), 1u);
    }
}

TEST(UnprotectFlow, A32CharacterPasswordIsCutToItsFirst31) {
    const std::string s31 = "abcdefghijklmnopqrstuvwxyz01234";
    LockedSetup s(LockedDrive(s31));
    s.h.Type(kUnprotect, 1000, s31 + "5");
    EXPECT_EQ(s.h.OpenDialog(kUnprotect)->Control(1000)->text, s31 + "5") << "the field takes 32";
    s.AnswerNextBox();
    s.h.Press(kUnprotect, plat::IDOK);
    auto sent = PasswordCommands(s.h, s.dev.path);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].second, s31 + std::string(1, '\0'));
    EXPECT_FALSE(s.dev.drive->Locked());
}

// Cancel leaves the drive locked and reports nothing; the dialog opens again
// when the drive next arrives, when the notifier starts and after a resume.
TEST(UnprotectFlow, CancelLeavesTheDriveLockedAndTheDialogComesBack) {
    for (const char* trigger : {"arrival", "start-up", "resume"}) {
        SCOPED_TRACE(trigger);
        LockedSetup s;
        s.h.devices.ClearRequests();
        s.h.Press(kUnprotect, plat::IDCANCEL);
        EXPECT_FALSE(s.h.OpenDialog(kUnprotect));
        EXPECT_TRUE(s.dev.drive->Locked());
        EXPECT_TRUE(s.h.BoxesSince(s.boxes).empty());
        EXPECT_EQ(s.h.Requests(sim::CmRequest::Reenumerate, s.dev.instanceId), 0u);
        EXPECT_EQ(s.h.RefreshBroadcastsSince(s.mark, s.dev.path), 1u);
        const std::string what = trigger;
        if (what == "arrival") {
            s.h.Unplug(s.dev.path);
            AdapterSpec again = LockedDrive();
            again.instanceId = s.dev.instanceId;
            again.reuseDrive = s.dev.drive;
            s.h.Plug(again);
        } else if (what == "start-up") {
            s.h.Stop();
            s.h.Start();
        } else {
            s.h.devices.Suspend();
            s.h.devices.Resume();
            s.h.machine.WaitIdle();
        }
        auto d = s.h.OpenDialog(kUnprotect);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->pid, s.h.pid);
        EXPECT_EQ(s.h.machine.DialogsShown().size(), 2u);
    }
}

// While a worker runs for the device nothing starts a second one: not a
// resume, not the menu, whose item is greyed.
TEST(UnprotectFlow, ASecondLaunchWhileTheDialogIsOpenDoesNothing) {
    LockedSetup s;
    s.h.devices.Suspend();
    s.h.devices.Resume();
    s.h.machine.WaitIdle();
    s.h.SendEvent(trv::ZelDeviceRefresh, s.dev.path);
    EXPECT_EQ(s.h.machine.DialogsShown().size(), 1u);
    s.h.RightClick(MenuAnswer::Item({"Drive X (E:)", "UnProtect"}));
    EXPECT_TRUE(s.h.LastMenu()->items[0].sub[1].greyed);
    EXPECT_EQ(s.h.machine.DialogsShown().size(), 1u);
    s.h.Press(kUnprotect, plat::IDCANCEL);
    s.h.RightClick();
    EXPECT_FALSE(s.h.LastMenu()->items[0].sub[1].greyed);
}

// An adapter without the security feature: no dialog for its locked drive,
// and no protection item in its menu.
TEST(UnprotectFlow, NoDialogForAnAdapterWithoutTheSecurityFeature) {
    AdapterSpec spec = LockedDrive();
    spec.words.features = 0;
    LockedSetup s(spec);
    EXPECT_TRUE(s.h.machine.OpenDialogs().empty());
    s.h.RightClick();
    EXPECT_EQ(traytest::Texts(s.h.LastMenu()->items[0].sub),
              (std::vector<std::string>{"Safely Remove", "----", "Properties"}));
}

}  // namespace
