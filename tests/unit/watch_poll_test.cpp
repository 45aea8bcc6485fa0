// The watcher's poll pass: draining each adapter's pending events in the
// driver's order, the command named by each event's action code, the relay
// of every event as a device event broadcast, and the bounds that keep a
// misbehaving driver from holding the watcher.
#include <gtest/gtest.h>

#include "watch_fixture.h"

namespace {

using trvtest::DwordValue;
using trvtest::EventBlock;
using trvtest::TextValue;

class WatchPoll : public trvtest::WatchFixture {};

TEST_F(WatchPoll, ThreeEventsGiveThreeCommandsAndThreeBroadcastsInTheDriversOrder) {
    auto dev = Plug({TextValue("1", "C:\\TOOLS\\ONE.EXE /restart"), TextValue("2", "TWO.EXE"),
                     TextValue("3", "THREE.EXE")});
    StartWatcher();
    Queue(dev.path, EventBlock(trv::ZelDeviceRestart, 1));
    Queue(dev.path, EventBlock(trv::ZelDeviceRefresh, 2));
    Queue(dev.path, EventBlock(trv::ZelDeviceEject, 3));

    machine.AdvanceTime(2999);
    EXPECT_TRUE(probe.blocks.empty());
    EXPECT_TRUE(Started().empty());

    machine.AdvanceTime(1);
    ASSERT_EQ(probe.blocks.size(), 3u);
    const std::uint32_t types[] = {trv::ZelDeviceRestart, trv::ZelDeviceRefresh, trv::ZelDeviceEject};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& b = probe.blocks[i];
        SCOPED_TRACE(i);
        ASSERT_EQ(b.size(), 356u);
        EXPECT_EQ(trv::GetU32(b, 0), 356u);
        EXPECT_EQ(trv::GetU32(b, 4), 0u);  // DBT_DEVTYP_OEM
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 20)), "TRV\\Event");
        auto r = trv::DecodeEventRecord(std::span<const std::uint8_t>(b).subspan(52));
        EXPECT_EQ(r.size, 300u);
        EXPECT_EQ(r.version, 1u);
        EXPECT_EQ(r.eventType, types[i]);
        EXPECT_EQ(r.interfaceClass, trv::AdapterInterfaceGuid);
        EXPECT_EQ(r.devicePath, dev.path);  // the watched path, not the driver's
        EXPECT_EQ(r.actionCode, i + 1);
    }
    EXPECT_EQ(Started(), (std::vector<std::string>{"C:\\TOOLS\\ONE.EXE /restart", "TWO.EXE", "THREE.EXE"}));
    EXPECT_EQ(Pending(dev.path), 0u);
    // Two requests per event and the one that found nothing more.
    EXPECT_EQ(Requests(dev.path, trv::IOCTL_ADAPTER_GET_EVENT), 7);

    // Each event's command is started before that event is broadcast.
    std::vector<std::string> order;
    const std::string tag = "[TRVWATCH.EXE #" + std::to_string(watcher) + "] ";
    for (const auto& line : machine.Transcript()) {
        if (line.rfind(tag + "starts \"", 0) == 0) order.push_back("start");
        if (line.rfind(tag + "broadcast \"TRV\\Event\"", 0) == 0) order.push_back("broadcast");
    }
    EXPECT_EQ(order, (std::vector<std::string>{"start", "broadcast", "start", "broadcast", "start", "broadcast"}));
}

TEST_F(WatchPoll, TheActionCodeNamesItsCommandInSmallHexadecimal) {
    struct Case {
        std::uint8_t code;
        const char* expected;  // nullptr: no command
    } cases[] = {{0x00, "ZERO.EXE"}, {0x1F, "ONE-F.EXE"}, {0xAB, "AB.EXE"}, {0x10, "TEN.EXE"}, {0x07, nullptr}};
    auto dev = Plug({TextValue("0", "ZERO.EXE"), TextValue("00", "WRONG-00.EXE"), TextValue("1f", "ONE-F.EXE"),
                     TextValue("01f", "WRONG-01F.EXE"), TextValue("0x1f", "WRONG-0X1F.EXE"),
                     TextValue("ab", "AB.EXE"), TextValue("10", "TEN.EXE"), TextValue("07", "WRONG-07.EXE")});
    StartWatcher();
    for (const Case& c : cases) {
        probe.blocks.clear();
        const auto before = Started().size();
        Queue(dev.path, EventBlock(trv::ZelDeviceRefresh, c.code));
        machine.AdvanceTime(3000);
        SCOPED_TRACE(static_cast<int>(c.code));
        auto started = Started();
        if (c.expected) {
            ASSERT_EQ(started.size(), before + 1);
            EXPECT_EQ(started.back(), c.expected);
        } else {
            EXPECT_EQ(started.size(), before);
        }
        // Broadcast whether or not a command was registered.
        ASSERT_EQ(Relayed().size(), 1u);
        EXPECT_EQ(Relayed()[0].actionCode, c.code);
    }
}

TEST_F(WatchPoll, TheEventCommandIsUsedAsRead) {
    auto dev = Plug({TextValue("5", "%WINDIR%\\A.EXE x, y")});
    StartWatcher();
    Queue(dev.path, EventBlock(trv::ZelDeviceRefresh, 5));
    machine.AdvanceTime(3000);
    EXPECT_EQ(Started(), (std::vector<std::string>{"%WINDIR%\\A.EXE x, y"}));
}

TEST_F(WatchPoll, BlocksTooShortForTheActionCodeAreDroppedAndDrainingGoesOn) {
    auto dev = Plug({TextValue("1", "ONE.EXE"), TextValue("2", "TWO.EXE"), TextValue("3", "THREE.EXE")});
    StartWatcher();
    Queue(dev.path, EventBlock(trv::ZelDeviceEject, 1));
    Queue(dev.path, EventBlock(trv::ZelDeviceEject, 2, 296));  // ends just before the action code
    Queue(dev.path, EventBlock(trv::ZelDeviceRestart, 9, 10));
    Queue(dev.path, EventBlock(trv::ZelDeviceRefresh, 3, 297));  // the shortest block that carries it
    machine.AdvanceTime(3000);
    EXPECT_EQ(Pending(dev.path), 0u);
    ASSERT_EQ(probe.blocks.size(), 2u);
    EXPECT_EQ(probe.blocks[0].size(), 356u);
    EXPECT_EQ(probe.blocks[1].size(), 297u + 56u);
    EXPECT_EQ(Relayed()[1].eventType, trv::ZelDeviceRefresh);
    EXPECT_EQ(Relayed()[1].actionCode, 3);
    EXPECT_EQ(Relayed()[1].devicePath, dev.path);
    EXPECT_EQ(Started(), (std::vector<std::string>{"ONE.EXE", "THREE.EXE"}));
}

TEST_F(WatchPoll, ADriverThatKeepsReportingGivesABoundedNumberAPass) {
    auto dev = Plug({});
    StartWatcher();
    for (int i = 0; i < 150; ++i) Queue(dev.path, EventBlock(trv::ZelDeviceRefresh, 0));
    machine.AdvanceTime(3000);
    EXPECT_EQ(probe.blocks.size(), 64u);
    machine.AdvanceTime(3000);
    EXPECT_EQ(probe.blocks.size(), 128u);
    machine.AdvanceTime(3000);
    EXPECT_EQ(probe.blocks.size(), 150u);
    EXPECT_EQ(Pending(dev.path), 0u);
}

TEST_F(WatchPoll, AnAbsurdBlockSizeIsNotReadAndOtherAdaptersGoOn) {
    auto big = Plug({});
    auto other = Plug({});
    StartWatcher();
    Queue(big.path, std::vector<std::uint8_t>(64 * 1024, 0));
    Queue(big.path, EventBlock(trv::ZelDeviceEject, 0));
    Queue(other.path, EventBlock(trv::ZelDeviceEject, 0));
    machine.AdvanceTime(3000);
    ASSERT_EQ(Relayed().size(), 1u);
    EXPECT_EQ(Relayed()[0].devicePath, other.path);
    // The block stays with its driver; the watcher asks again next time.
    EXPECT_EQ(Pending(big.path), 2u);
    EXPECT_EQ(Requests(big.path, trv::IOCTL_ADAPTER_GET_EVENT), 1);
    machine.AdvanceTime(3000);
    EXPECT_EQ(Requests(big.path, trv::IOCTL_ADAPTER_GET_EVENT), 2);
    EXPECT_TRUE(machine.IsRunning(watcher));
    // The largest block taken is still relayed whole.
    Queue(other.path, EventBlock(trv::ZelDeviceEject, 0, 4096));
    machine.AdvanceTime(3000);
    ASSERT_EQ(probe.blocks.size(), 2u);
    EXPECT_EQ(probe.blocks[1].size(), 4096u + 56u);
}

TEST_F(WatchPoll, AnAdapterWithoutEventsIsNeverOpenedByThePoll) {
    auto quiet = Plug({}, false);
    auto busy = Plug({});
    StartWatcher();
    Queue(quiet.path, EventBlock(trv::ZelDeviceEject, 0));
    ASSERT_EQ(Opens(quiet.path), 1);  // the adapter query when it was listed
    machine.AdvanceTime(9000);
    EXPECT_EQ(Opens(quiet.path), 1);
    EXPECT_EQ(Requests(quiet.path, trv::IOCTL_ADAPTER_GET_EVENT), 0);
    EXPECT_EQ(Pending(quiet.path), 1u);
    EXPECT_TRUE(probe.blocks.empty());
    // The other one is polled every period.
    EXPECT_EQ(Requests(busy.path, trv::IOCTL_ADAPTER_GET_EVENT), 3);
}

TEST_F(WatchPoll, FailingRequestsSkipTheDeviceUntilTheNextPass) {
    auto dev = Plug({});
    StartWatcher();
    Queue(dev.path, EventBlock(trv::ZelDeviceEject, 0));
    machine.WithAdapter(dev.path, [](sim::SimAdapter& a) { a.failEvents = true; });
    machine.AdvanceTime(3000);
    machine.WithAdapter(dev.path, [](sim::SimAdapter& a) {
        a.failEvents = false;
        a.failOpen = true;
    });
    machine.AdvanceTime(3000);
    EXPECT_TRUE(probe.blocks.empty());
    EXPECT_EQ(Pending(dev.path), 1u);
    machine.WithAdapter(dev.path, [](sim::SimAdapter& a) { a.failOpen = false; });
    machine.AdvanceTime(3000);
    EXPECT_EQ(Relayed().size(), 1u);
}

TEST_F(WatchPoll, AnAdapterWhoseQueryFailedIsNotPolled) {
    sim::AdapterSpec spec;
    spec.words.features |= trv::ADAPTER_FEATURE_EVENTS;
    spec.notify = false;
    auto dev = machine.Devices().Plug(spec);
    machine.WithAdapter(dev.path, [](sim::SimAdapter& a) { a.failInfo = true; });
    StartWatcher();
    Queue(dev.path, EventBlock(trv::ZelDeviceEject, 0));
    machine.AdvanceTime(6000);
    EXPECT_EQ(Requests(dev.path, trv::IOCTL_ADAPTER_GET_EVENT), 0);
    EXPECT_TRUE(probe.blocks.empty());
}

TEST_F(WatchPoll, ARemovedDeviceIsNoLongerPolled) {
    auto dev = Plug({});
    StartWatcher();
    machine.AdvanceTime(3000);
    ASSERT_EQ(Requests(dev.path, trv::IOCTL_ADAPTER_GET_EVENT), 1);
    // The removal names the path in other letters; the driver still answers.
    std::string upper = dev.path;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    machine.DeviceInterfaceEvent(false, trv::AdapterInterfaceGuid, upper);
    machine.WaitIdle();
    Queue(dev.path, EventBlock(trv::ZelDeviceEject, 0));
    machine.AdvanceTime(9000);
    EXPECT_EQ(Requests(dev.path, trv::IOCTL_ADAPTER_GET_EVENT), 1);
    EXPECT_TRUE(probe.blocks.empty());
    EXPECT_TRUE(machine.IsRunning(watcher));
}

TEST_F(WatchPoll, ArrivalsOfAListedPathListItOnce) {
    StartWatcher();
    auto dev = Plug({TextValue("AutoLoader", "LOADER.EXE")});
    std::string upper = dev.path;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    machine.DeviceInterfaceEvent(true, trv::AdapterInterfaceGuid, upper);
    machine.DeviceInterfaceEvent(true, trv::AdapterInterfaceGuid, dev.path);
    machine.WaitIdle();
    EXPECT_EQ(Requests(dev.path, trv::IOCTL_ADAPTER_GET_INFO), 1);
    EXPECT_EQ(Started(), (std::vector<std::string>{"LOADER.EXE"}));
    Queue(dev.path, EventBlock(trv::ZelDeviceEject, 0));
    machine.AdvanceTime(3000);
    EXPECT_EQ(Relayed().size(), 1u);  // one record, polled once
}

}  // namespace
