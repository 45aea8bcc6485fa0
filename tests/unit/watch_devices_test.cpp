// The watcher and the adapters it finds: start-up commands from "AutoLoader",
// the poll period from "ALTimer", removal and re-arrival, and the road from
// plugging an adapter in to the notifier acting on a relayed event.
#include <gtest/gtest.h>

#include "watch_fixture.h"

namespace {

using trvtest::DwordValue;
using trvtest::EventBlock;
using trvtest::TextValue;

class WatchDevices : public trvtest::WatchFixture {
protected:
    // Poll passes of the adapter at `path` so far: each pass that finds
    // nothing pending sends one event request.
    int Polls(const std::string& path) { return Requests(path, trv::IOCTL_ADAPTER_GET_EVENT); }
};

TEST_F(WatchDevices, AutoLoaderPiecesAreSplitExpandedAndStarted) {
    Plug({TextValue("AutoLoader", "%WINDIR%\\ALTOOL.EXE -a, C:\\X.EXE,,\t  Y.EXE %NoSuchVariable% ,")});
    StartWatcher();
    EXPECT_EQ(Started(), (std::vector<std::string>{"C:\\WINDOWS\\ALTOOL.EXE -a", "C:\\X.EXE",
                                                   "Y.EXE %NoSuchVariable% "}));
    for (const auto& l : machine.Launches()) {
        EXPECT_EQ(l.desktop, "WinSta0\\Default");
        EXPECT_NE(l.pid, 0u);
    }
    // Nothing waited for them: they have ended on their own, the watcher runs on.
    machine.WaitIdle();
    EXPECT_TRUE(machine.IsRunning(watcher));
}

TEST_F(WatchDevices, APresentAdapterAndOneArrivingLaterAreTreatedAlike) {
    auto early = Plug({TextValue("AutoLoader", "EARLY.EXE")});
    StartWatcher();
    EXPECT_EQ(Started(), (std::vector<std::string>{"EARLY.EXE"}));
    auto late = Plug({TextValue("AutoLoader", "LATE.EXE")});
    EXPECT_EQ(Started(), (std::vector<std::string>{"EARLY.EXE", "LATE.EXE"}));
    EXPECT_EQ(Requests(early.path, trv::IOCTL_ADAPTER_GET_INFO), 1);
    EXPECT_EQ(Requests(late.path, trv::IOCTL_ADAPTER_GET_INFO), 1);
    machine.AdvanceTime(3000);
    EXPECT_EQ(Polls(early.path), 1);
    EXPECT_EQ(Polls(late.path), 1);
}

TEST_F(WatchDevices, StartUpCommandsThatCannotBeUsed) {
    struct Case {
        const char* name;
        std::vector<sim::RegistryValueSpec> values;
        std::vector<std::string> started;
    } cases[] = {
        {"no value", {}, {}},
        {"empty", {TextValue("AutoLoader", "")}, {}},
        {"only commas", {TextValue("AutoLoader", ",,,")}, {}},
        // 259 characters and the terminator fit the value's buffer; one more does not.
        {"longest", {TextValue("AutoLoader", std::string(255, 'A') + ".EXE")}, {std::string(255, 'A') + ".EXE"}},
        {"too long", {TextValue("AutoLoader", std::string(256, 'A') + ".EXE")}, {}},
        // A piece whose expansion would not fit is not started cut short.
        {"expansion too long",
         {TextValue("AutoLoader", "OK.EXE," + std::string(100, 'B') + "%LONGDIR%,LAST.EXE")},
         {"OK.EXE", "LAST.EXE"}},
        {"without a terminator", {{"AutoLoader", plat::REG_BINARY, {'A', '.', 'E', 'X', 'E'}}}, {"A.EXE"}},
    };
    for (const Case& c : cases) {
        sim::Machine m;
        trvsim::InstallSuite(m);
        m.Environment().Set("LONGDIR", std::string(200, 'L'));
        sim::AdapterSpec spec;
        spec.values = c.values;
        m.Devices().Plug(spec);
        auto pid = m.StartProcess("TRVWATCH.EXE");
        m.WaitIdle();
        std::vector<std::string> started;
        for (const auto& l : m.Launches())
            if (l.parentPid == pid) started.push_back(l.commandLine);
        EXPECT_EQ(started, c.started) << c.name;
        EXPECT_TRUE(m.IsRunning(pid)) << c.name;
    }
}

TEST_F(WatchDevices, ThePollPeriodIsTheLastNonZeroALTimer) {
    struct Case {
        const char* name;
        std::vector<std::vector<sim::RegistryValueSpec>> devices;  // in the order they are found
        std::uint64_t period;
    } cases[] = {
        {"none", {{}}, 3000},
        {"zero", {{DwordValue("ALTimer", 0)}}, 3000},
        {"set", {{DwordValue("ALTimer", 500)}}, 500},
        {"two devices", {{DwordValue("ALTimer", 500)}, {DwordValue("ALTimer", 1200)}}, 1200},
        {"a later zero keeps it", {{DwordValue("ALTimer", 700)}, {DwordValue("ALTimer", 0)}}, 700},
        {"a later missing value keeps it", {{DwordValue("ALTimer", 700)}, {}}, 700},
        {"too large a value is not read", {{{"ALTimer", plat::REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}}}}, 3000},
        {"a short value", {{{"ALTimer", plat::REG_BINARY, {0xF4, 0x01}}}}, 500},
    };
    for (const Case& c : cases) {
        sim::Machine m;
        trvsim::InstallSuite(m);
        std::string first;
        for (const auto& values : c.devices) {
            sim::AdapterSpec spec;
            spec.values = values;
            spec.values.push_back(TextValue("AutoLoader", "LOADER.EXE"));
            spec.words.features |= trv::ADAPTER_FEATURE_EVENTS;
            auto d = m.Devices().Plug(spec);
            if (first.empty()) first = d.path;
        }
        auto pid = m.StartProcess("TRVWATCH.EXE");
        m.WaitIdle();
        auto polls = [&] {
            int n = 0;
            m.WithAdapter(first, [&](sim::SimAdapter& a) { n = a.requestCounts[trv::IOCTL_ADAPTER_GET_EVENT]; });
            return n;
        };
        m.AdvanceTime(c.period - 1);
        EXPECT_EQ(polls(), 0) << c.name;
        m.AdvanceTime(1);
        EXPECT_EQ(polls(), 1) << c.name;
        m.AdvanceTime(c.period * 2);
        EXPECT_EQ(polls(), 3) << c.name;
        // A device without "ALTimer" still has its commands started.
        std::size_t started = 0;
        for (const auto& l : m.Launches()) started += l.parentPid == pid;
        EXPECT_EQ(started, c.devices.size()) << c.name;
    }
}

TEST_F(WatchDevices, ALaterDevicesPeriodTakesEffectWhenTheTimerIsNextStarted) {
    auto first = Plug({});
    StartWatcher();
    machine.AdvanceTime(1000);
    Plug({DwordValue("ALTimer", 400)});
    machine.AdvanceTime(1999);
    EXPECT_EQ(Polls(first.path), 0);
    machine.AdvanceTime(1);  // the running period ends first
    EXPECT_EQ(Polls(first.path), 1);
    machine.AdvanceTime(400);
    EXPECT_EQ(Polls(first.path), 2);
}

TEST_F(WatchDevices, RemovalFreesTheRecordAndANewArrivalStartsItsCommandsAgain) {
    auto dev = Plug({TextValue("AutoLoader", "LOADER.EXE"), TextValue("2", "EJECTED.EXE")}, true, "USB\\VID_0BF6&PID_A001\\W1");
    StartWatcher();
    ASSERT_EQ(Started(), (std::vector<std::string>{"LOADER.EXE"}));
    ASSERT_TRUE(machine.Devices().Unplug(dev.path));
    machine.WaitIdle();
    machine.AdvanceTime(3000);
    EXPECT_EQ(Started(), (std::vector<std::string>{"LOADER.EXE"}));

    auto again = Plug({TextValue("AutoLoader", "LOADER.EXE"), TextValue("2", "EJECTED.EXE")}, true, "USB\\VID_0BF6&PID_A001\\W1");
    ASSERT_EQ(again.path, dev.path);
    EXPECT_EQ(Started(), (std::vector<std::string>{"LOADER.EXE", "LOADER.EXE"}));
    Queue(again.path, EventBlock(trv::ZelDeviceEject, 2));
    machine.AdvanceTime(3000);
    EXPECT_EQ(Started(), (std::vector<std::string>{"LOADER.EXE", "LOADER.EXE", "EJECTED.EXE"}));
    ASSERT_EQ(Relayed().size(), 1u);
    EXPECT_EQ(Relayed()[0].devicePath, again.path);
}

TEST_F(WatchDevices, PluggingInStartsTheNotifierWhichAsksToConfirmARelayedEject) {
    StartWatcher();
    auto dev = Plug({TextValue("AutoLoader", "%SystemRoot%\\TRVTRAY.EXE")});
    auto notifiers = machine.RunningProcesses("TRVTRAY.EXE");
    ASSERT_EQ(notifiers.size(), 1u);
    EXPECT_EQ(Started(), (std::vector<std::string>{"C:\\WINDOWS\\TRVTRAY.EXE"}));

    // A second adapter with the same commands: the notifier already runs,
    // and the copy started for it ends at once.
    Plug({TextValue("AutoLoader", "%SystemRoot%\\TRVTRAY.EXE")});
    EXPECT_EQ(machine.RunningProcesses("TRVTRAY.EXE"), notifiers);

    // The user agrees to the removal the notifier asks about.
    machine.QueueBoxAnswer("Confirm Device Removal", plat::IDYES);
    Queue(dev.path, EventBlock(trv::ZelDeviceEject, 0));
    machine.AdvanceTime(3000);
    auto trace = machine.TraceLines(notifiers[0]);
    auto has = [&](const std::string& line) { return std::find(trace.begin(), trace.end(), line) != trace.end(); };
    EXPECT_TRUE(has("TRVNOTIF - DEVICECHANGE\\DBT_USERDEFINED\\DBT_DEVTYP_OEM - TRV\\Event"));
    EXPECT_TRUE(has("TRVNOTIF - -- Event Type = ZelDeviceEject"));
    EXPECT_TRUE(has("TRVNOTIF - -    DevPath       - " + dev.path));

    auto boxes = machine.MessageBoxesShown();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].pid, notifiers[0]);
    EXPECT_EQ(boxes[0].caption, "Confirm Device Removal");
    EXPECT_EQ(boxes[0].answer, plat::IDYES);
    bool stopped = false;
    for (const auto& r : machine.Devices().Requests())
        stopped = stopped || (r.pid == notifiers[0] && r.request == sim::CmRequest::QueryAndRemove &&
                              r.instanceId == dev.instanceId && r.result == plat::CR_SUCCESS);
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(machine.Devices().IsRunning(dev.path));
}

}  // namespace
