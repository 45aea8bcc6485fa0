// The Protect flow end to end on the simulated machine: the menu's Protect,
// dialog 159 on a worker thread, the SECURITY SET PASSWORD commands as the
// drive receives them, the report, the re-enumeration and the broadcast the
// notifier answers by querying its devices again.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/adapter_driver.h"
#include "tray/protect/protect_flows.h"
#include "tray/protect/status_query.h"
#include "tray/tray_icon.h"
#include "tray_harness.h"

namespace {

using sim::AdapterSpec;
using sim::Machine;
using traytest::TrayHarness;
using tray::Family;
using Action = Machine::DialogAction;
using MenuAnswer = Machine::MenuAnswer;

constexpr std::uint32_t kProtect = 159;
constexpr std::uint32_t kReportStyle = plat::MB_OK | plat::MB_SYSTEMMODAL | plat::MB_SETFOREGROUND;

// A security command as the drive received it: code, control word, field.
struct Sent {
    std::uint8_t command;
    std::uint16_t word0;
    std::string field;  // the 32 password bytes
};

std::vector<Sent> SecurityCommands(TrayHarness& h, const std::string& path) {
    std::vector<Sent> out;
    for (const auto& image : h.devices.PassThroughs(path)) {
        const std::uint8_t command = image[28 + 12];
        if (command < 0xF1 || command > 0xF6) continue;
        out.push_back({command, static_cast<std::uint16_t>(image[66] | (image[67] << 8)),
                       std::string(reinterpret_cast<const char*>(image.data() + 68), 32)});
    }
    return out;
}

std::string Field(const std::string& password) {
    std::string f = password;
    f.resize(32, '\0');
    return f;
}

// A notifier with one unprotected drive, "Drive X" on E:.
struct ProtectSetup {
    explicit ProtectSetup(Family family = Family::Nt, AdapterSpec spec = AdapterSpec::Disk("Drive X", {'E'}))
        : h(family) {
        h.Start();
        dev = h.Plug(spec);
        h.devices.ClearPassThroughs(dev.path);
        h.devices.ClearRequests();
    }
    // The user chooses Protect in the right-click menu.
    void Open() {
        h.RightClick(MenuAnswer::Item({"Drive X (E:)", "Protect"}));
        ASSERT_TRUE(h.OpenDialog(kProtect)) << h.Dump();
    }
    void Enter(const std::string& first, const std::string& second) {
        h.Type(kProtect, 1004, first);
        h.Type(kProtect, 1005, second);
    }
    TrayHarness h;
    sim::PluggedDevice dev;
};

TEST(ProtectFlow, TheDialogAsTheUserSeesIt) {
    ProtectSetup s;
    const std::size_t mark = s.h.Mark();
    s.Open();
    auto d = *s.h.OpenDialog(kProtect);
    EXPECT_EQ(d.pid, s.h.pid);
    EXPECT_EQ(d.caption, "Protect Drive X");
    EXPECT_EQ(d.texts, (std::vector<std::string>{
                           "Protection prevents anyone from reading or writing to your device until the drive is "
                           "unprotected using the correct password.",
                           "Enter Password:", "Verify Password:"}));
    for (int field : {1004, 1005}) {
        ASSERT_NE(d.Control(field), nullptr);
        EXPECT_EQ(d.Control(field)->text, "");
        EXPECT_EQ(d.Control(field)->limit, 32u);
    }
    for (int text : {1016, 1006, 1007}) EXPECT_TRUE(d.Control(text)->guiFont) << text;
    EXPECT_TRUE(d.guiFont);
    EXPECT_EQ(d.owner, plat::Hwnd::None);
    EXPECT_EQ(d.iconResource, 168u);
    EXPECT_TRUE(d.foreground);
    const int w = d.rect.right - d.rect.left, hgt = d.rect.bottom - d.rect.top;
    EXPECT_EQ(d.rect.left, 512 - w / 2);
    EXPECT_EQ(d.rect.top, 384 - hgt / 2);
    EXPECT_TRUE(TrayHarness::Contains(s.h.Since(mark), "dialog 159 \"Protect Drive X\" opens (no owner, icon 168"));
    // The tray stays usable meanwhile, and offers no second Protect.
    s.h.RightClick();
    auto menu = s.h.LastMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->items[0].sub[1].text, "Protect");
    EXPECT_TRUE(menu->items[0].sub[1].greyed);
    s.h.Press(kProtect, plat::IDCANCEL);
}

TEST(ProtectFlow, SetsTheMasterPasswordThenTheUserPasswordAtMaximumLevel) {
    ProtectSetup s;
    s.Open();
    const std::size_t mark = s.h.Mark();
    const std::size_t boxes = s.h.machine.MessageBoxesShown().size();
    s.Enter("Open Sesame", "Open Sesame");
    s.h.machine.QueueBoxAnswer("Protect Drive X", plat::IDOK);
    s.h.Press(kProtect, plat::IDOK);

    auto sent = SecurityCommands(s.h, s.dev.path);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].command, 0xF1);
    EXPECT_EQ(sent[0].word0, 0x0001);
    EXPECT_EQ(sent[0].field, Field(std::string("KJT Plums\0", 10)));
    EXPECT_EQ(sent[1].command, 0xF1);
    EXPECT_EQ(sent[1].word0, 0x0100);
    EXPECT_EQ(sent[1].field, Field("Open Sesame"));
    EXPECT_TRUE(s.dev.drive->UserPasswordSet());
    EXPECT_EQ(s.dev.drive->Level(), 1);

    auto shown = s.h.BoxesSince(boxes);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Drive is now protected.");
    EXPECT_EQ(shown[0].caption, "Protect Drive X");
    EXPECT_EQ(shown[0].style, kReportStyle | plat::MB_ICONINFORMATION);
    EXPECT_EQ(shown[0].owner, plat::Hwnd::None);
    EXPECT_FALSE(s.h.OpenDialog(kProtect));
    EXPECT_EQ(s.h.Requests(sim::CmRequest::Reenumerate, s.dev.instanceId), 1u);
    EXPECT_EQ(s.h.Requests(sim::CmRequest::Disable, s.dev.instanceId), 0u);
    EXPECT_EQ(s.h.RefreshBroadcastsSince(mark, s.dev.path), 1u);
    // The broadcast came back: the list was queried again and shows the password.
    EXPECT_EQ(s.h.Icon()->iconResource, 173u);
    s.h.RightClick();
    EXPECT_EQ(s.h.LastMenu()->items[0].sub[1].text, "UnProtect");
    EXPECT_FALSE(s.h.LastMenu()->items[0].sub[1].greyed);
    // Locked from the next power-on, when the notifier asks for the password.
    s.h.devices.Suspend();
    s.h.devices.Resume();
    s.h.machine.WaitIdle();
    EXPECT_TRUE(s.dev.drive->Locked());
    EXPECT_TRUE(s.h.OpenDialog(154));
}

// What is typed, what is compared and what the drive is sent: the first 31
// characters of each field, compared byte for byte.
TEST(ProtectFlow, TypedPasswordsAreReadCutComparedAndSent) {
    const std::string s31 = "abcdefghijklmnopqrstuvwxyz01234";
    struct Case {
        const char* what;
        std::string first, second;
        bool match;
        std::string sent;  // the password bytes given to the drive
    };
    const std::vector<Case> cases = {
        {"both fields empty", "", "", true, ""},
        {"32 characters", s31 + "5", s31 + "5", true, s31},
        {"differing only in the 32nd character", s31 + "X", s31 + "Y", true, s31},
        {"differing in letter case", "Secret", "secret", false, ""},
        {"differing by a hyphen", "co-op", "coop", false, ""},
        {"one a prefix of the other", "pass", "password", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProtectSetup s;
        s.Open();
        const std::size_t boxes = s.h.machine.MessageBoxesShown().size();
        s.Enter(c.first, c.second);
        s.h.machine.QueueBoxAnswer("Protect Drive X", plat::IDOK);
        s.h.Press(kProtect, plat::IDOK);
        auto shown = s.h.BoxesSince(boxes);
        ASSERT_EQ(shown.size(), 1u);
        auto sent = SecurityCommands(s.h, s.dev.path);
        if (c.match) {
            EXPECT_EQ(shown[0].text, "Drive is now protected.");
            ASSERT_EQ(sent.size(), 2u);
            EXPECT_EQ(sent[1].field, Field(c.sent));
            EXPECT_TRUE(s.dev.drive->UserPasswordSet());
        } else {
            EXPECT_EQ(shown[0].text, "The passwords entered did not match.  Please re-enter the passwords.");
            EXPECT_EQ(shown[0].style, kReportStyle | plat::MB_ICONWARNING);
            auto d = s.h.OpenDialog(kProtect);
            ASSERT_TRUE(d) << "the dialog stays for another try";
            EXPECT_EQ(shown[0].owner, d->hwnd);
            EXPECT_EQ(d->Control(1004)->text, c.first);
            EXPECT_EQ(d->Control(1005)->text, c.second);
            EXPECT_TRUE(sent.empty()) << "nothing reaches the drive";
            s.h.Press(kProtect, plat::IDCANCEL);
        }
    }
}

TEST(ProtectFlow, AMismatchLeavesTheDialogForAnotherTry) {
    ProtectSetup s;
    s.Open();
    s.h.machine.QueueBoxAnswer("Protect Drive X", plat::IDOK);
    s.Enter("first", "frist");
    s.h.Press(kProtect, plat::IDOK);
    s.h.Type(kProtect, 1005, "first");
    s.h.machine.QueueBoxAnswer("Protect Drive X", plat::IDOK);
    s.h.Press(kProtect, plat::IDOK);
    EXPECT_FALSE(s.h.OpenDialog(kProtect));
    auto sent = SecurityCommands(s.h, s.dev.path);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].field, Field("first"));
    EXPECT_EQ(s.h.machine.MessageBoxesShown().back().text, "Drive is now protected.");
}

// A drive the BIOS froze refuses the master password: no user password is
// sent, the dialog says so and stays; Cancel then neither reports nor
// re-enumerates, but still broadcasts.
TEST(ProtectFlow, AFailingMasterStepSendsNoUserPassword) {
    AdapterSpec spec = AdapterSpec::Disk("Drive X", {'E'});
    spec.drive.frozenAtPowerOn = true;
    ProtectSetup s(Family::Nt, spec);
    s.Open();
    const std::size_t boxes = s.h.machine.MessageBoxesShown().size();
    s.Enter("secret", "secret");
    s.h.machine.QueueBoxAnswer("Protect Drive X", plat::IDOK);
    s.h.Press(kProtect, plat::IDOK);
    auto sent = SecurityCommands(s.h, s.dev.path);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].word0, 0x0001);
    auto shown = s.h.BoxesSince(boxes);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Unable to protect drive.  Please retry");
    EXPECT_EQ(shown[0].style, kReportStyle | plat::MB_ICONERROR);
    auto d = s.h.OpenDialog(kProtect);
    ASSERT_TRUE(d);
    EXPECT_EQ(shown[0].owner, d->hwnd);
    const std::size_t mark = s.h.Mark();
    s.h.Press(kProtect, plat::IDCANCEL);
    EXPECT_EQ(s.h.BoxesSince(boxes).size(), 1u);
    EXPECT_EQ(s.h.Requests(sim::CmRequest::Reenumerate, s.dev.instanceId), 0u);
    EXPECT_EQ(s.h.RefreshBroadcastsSince(mark, s.dev.path), 1u);
    EXPECT_FALSE(s.dev.drive->UserPasswordSet());
}

TEST(ProtectFlow, CancelBroadcastsButNeitherReportsNorReenumerates) {
    for (bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Cancel");
        ProtectSetup s;
        s.Open();
        const std::size_t boxes = s.h.machine.MessageBoxesShown().size();
        const std::size_t mark = s.h.Mark();
        s.Enter("secret", "secret");
        // The caption's close box does nothing here.
        s.h.Act(kProtect, Action::Close());
        ASSERT_TRUE(s.h.OpenDialog(kProtect));
        s.h.Act(kProtect, escape ? Action::Escape() : Action::Press(plat::IDCANCEL));
        EXPECT_FALSE(s.h.OpenDialog(kProtect));
        EXPECT_TRUE(s.h.BoxesSince(boxes).empty());
        EXPECT_TRUE(SecurityCommands(s.h, s.dev.path).empty());
        EXPECT_EQ(s.h.Requests(sim::CmRequest::Reenumerate, s.dev.instanceId), 0u);
        EXPECT_EQ(s.h.RefreshBroadcastsSince(mark, s.dev.path), 1u);
        // The worker has ended: Protect is offered again.
        s.h.RightClick();
        EXPECT_FALSE(s.h.LastMenu()->items[0].sub[1].greyed);
    }
}

// The launchers called directly, as the menu and discovery call them: one
// worker per device whichever flow is asked for, none for an adapter without
// the security feature, none when no thread can be made.
TEST(ProtectFlow, LaunchersStartAtMostOneWorkerAndOnlyForASecurityAdapter) {
    struct Case {
        const char* what;
        bool feature;
        int failThreads;
        std::size_t dialogs;
    };
    const std::vector<Case> cases = {
        {"a worker runs already", true, 0, 1},
        {"no ADAPTER_FEATURE_SECURITY", false, 0, 0},
        {"no thread can be made", true, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrayHarness h;
        AdapterSpec spec = AdapterSpec::Disk("Drive X", {'E'});
        if (!c.feature) spec.words.features = 0;
        auto dev = h.Plug(spec);
        std::string upper = dev.path;
        for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        bool runningAfterLaunch = false;
        bool runningAtEnd = true;
        h.machine.FailThreadStarts(c.failThreads);
        h.RunProbe([&](plat::System& sys) {
            tray::CTrayIcon tray(sys, Family::Nt);
            auto rec = std::make_unique<tray::CStorageDevice>(traytest::RecordFor(dev.path));
            tray::QueryDeviceStatus(sys, Family::Nt, *rec);
            tray.m_devices.AddDevice(std::move(rec));
            tray::StartProtect(tray, upper);  // letter case does not matter
            tray::StartProtect(tray, dev.path);
            tray::StartUnprotect(tray, dev.path);
            runningAfterLaunch = tray.m_devices.FindCopyBySlot(1)->WorkerRunning();
            // Held here while the worker's dialog is up.
            sys.messageBoxes().Show(plat::Hwnd::None, "hold", "probe", plat::MB_OK);
            runningAtEnd = tray.m_devices.FindCopyBySlot(1)->WorkerRunning();
        });
        EXPECT_EQ(h.machine.OpenDialogs().size(), c.dialogs);
        EXPECT_EQ(runningAfterLaunch, c.dialogs == 1);
        if (auto d = h.OpenDialog(kProtect)) h.Press(kProtect, plat::IDCANCEL);
        h.machine.QueueBoxAnswer("probe", plat::IDOK);
        for (auto& b : h.machine.OpenMessageBoxes()) h.machine.AnswerMessageBox(b.id, plat::IDOK);
        h.machine.WaitIdle();
        EXPECT_FALSE(runningAtEnd);
        EXPECT_EQ(h.machine.DialogsShown().size(), c.dialogs);
    }
}

// Through the notifier: a thread that cannot be made opens no dialog and
// leaves no running worker behind, so the next Protect works.
TEST(ProtectFlow, NoThreadNoDialogAndTheNextProtectWorks) {
    ProtectSetup s;
    s.h.machine.FailThreadStarts(1);
    s.h.RightClick(MenuAnswer::Item({"Drive X (E:)", "Protect"}));
    EXPECT_TRUE(s.h.machine.OpenDialogs().empty());
    s.Open();
    s.h.Press(kProtect, plat::IDCANCEL);
}

TEST(ProtectFlow, TheWindows9xBuildRestartsTheDrivesNodeAfterTheWork) {
    for (Family family : {Family::Nt, Family::Win9x}) {
        SCOPED_TRACE(traytest::FamilyName(family));
        ProtectSetup s(family);
        s.Open();
        s.Enter("secret", "secret");
        s.h.machine.QueueBoxAnswer("Protect Drive X", plat::IDOK);
        s.h.Press(kProtect, plat::IDOK);
        EXPECT_EQ(s.h.Requests(sim::CmRequest::Reenumerate, s.dev.instanceId), 1u);
        // On Windows 9x the node below the adapter's is disabled and enabled again.
        const plat::DevNode below = family == Family::Win9x ? s.dev.bridge : s.dev.children.at(0);
        std::size_t disables = 0, enables = 0;
        for (auto& r : s.h.devices.Requests()) {
            if (r.result != plat::CR_SUCCESS) continue;
            disables += r.request == sim::CmRequest::Disable;
            enables += r.request == sim::CmRequest::Enable;
        }
        EXPECT_NE(below, 0u);
        EXPECT_EQ(disables, family == Family::Win9x ? 1u : 0u);
        EXPECT_EQ(enables, family == Family::Win9x ? 1u : 0u);
        EXPECT_TRUE(s.dev.drive->UserPasswordSet());
    }
}

}  // namespace
