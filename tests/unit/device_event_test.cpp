// The "TRV\Event" broadcast as bytes: what a sender puts on the wire and
// what a receiver may safely read from whatever arrives.
#include "common/device_event.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/guid.h"

namespace {

using trv::DecodeEventRecord;
using trv::DeviceEventRecord;
using trv::EncodeEventBroadcast;
using trv::EncodeEventRecord;

TEST(AdapterInterfaceGuid, HasTheUsualInMemoryLayout) {
    const std::uint8_t expected[16] = {0x8C, 0x91, 0xCB, 0xDB, 0x0A, 0x66, 0x4D, 0x49,
                                       0xBC, 0xE2, 0x90, 0xCD, 0x2D, 0xAA, 0x00, 0xB7};
    auto bytes = trv::GuidToBytes(trv::AdapterInterfaceGuid);
    EXPECT_EQ(0, std::memcmp(bytes.data(), expected, 16));
    EXPECT_EQ(trv::GuidToString(trv::AdapterInterfaceGuid), "{DBCB918C-660A-494D-BCE2-90CD2DAA00B7}");
    EXPECT_EQ(trv::GuidFromBytes(std::span<const std::uint8_t, 16>(expected, 16)), trv::AdapterInterfaceGuid);
}

TEST(DeviceEventRecord, ByteImageOfARefreshRecord) {
    DeviceEventRecord r;
    r.eventType = trv::ZelDeviceEject;
    r.interfaceClass = trv::AdapterInterfaceGuid;
    r.devicePath = "\\\\?\\usb#vid_0b13&pid_0001#5&1#{dbcb918c-660a-494d-bce2-90cd2daa00b7}";
    r.actionCode = 0x1F;
    auto b = EncodeEventRecord(r);
    ASSERT_EQ(b.size(), 300u);
    EXPECT_EQ(trv::GetU32(b, 0), 300u);
    EXPECT_EQ(trv::GetU32(b, 4), 1u);
    EXPECT_EQ(trv::GetU32(b, 8), 2u);
    auto g = trv::GuidToBytes(trv::AdapterInterfaceGuid);
    EXPECT_EQ(0, std::memcmp(b.data() + 12, g.data(), 16));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 28)), r.devicePath);
    for (std::size_t i = 28 + r.devicePath.size(); i < 288; ++i) ASSERT_EQ(b[i], 0) << i;
    for (std::size_t i = 288; i < 296; ++i) EXPECT_EQ(b[i], 0);
    EXPECT_EQ(b[296], 0x1F);
    EXPECT_EQ(b[297] | b[298] | b[299], 0);
}

TEST(DeviceEventRecord, PathsOf259CharactersTravelWholeLongerOnesAreCut) {
    struct Case {
        std::size_t length;
        std::size_t carried;
    } cases[] = {{0, 0}, {1, 1}, {258, 258}, {259, 259}, {260, 259}, {400, 259}};
    for (const Case& c : cases) {
        DeviceEventRecord r;
        r.devicePath = std::string(c.length, 'p');
        auto b = EncodeEventRecord(r);
        EXPECT_EQ(b[28 + 259], 0) << c.length;  // the terminator always fits
        DeviceEventRecord back = DecodeEventRecord(b);
        EXPECT_EQ(back.devicePath.size(), c.carried) << c.length;
    }
}

TEST(DeviceEventBroadcast, ByteImageOfHeaderNameAndPayload) {
    DeviceEventRecord r;
    r.devicePath = "\\\\?\\x";
    auto payload = EncodeEventRecord(r);
    auto block = EncodeEventBroadcast(payload, 1);
    ASSERT_EQ(block.size(), 357u);  // one spare byte after the 356 counted
    EXPECT_EQ(trv::GetU32(block, 0), 356u);
    EXPECT_EQ(trv::GetU32(block, 4), 0u);   // DBT_DEVTYP_OEM
    for (std::size_t i = 8; i < 20; ++i) EXPECT_EQ(block[i], 0) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data() + 20)), "TRV\\Event");
    for (std::size_t i = 20 + 10; i < 52; ++i) EXPECT_EQ(block[i], 0) << i;
    EXPECT_EQ(0, std::memcmp(block.data() + 52, payload.data(), 300));
    EXPECT_EQ(block[356], 0);
}

// What arrives from another process is only as good as its sender.
TEST(DeviceEventBroadcast, ReceiverReadsOnlyWithinTheBlock) {
    DeviceEventRecord r;
    r.eventType = trv::ZelDeviceRestart;
    r.devicePath = "\\\\?\\dev";
    auto good = EncodeEventBroadcast(EncodeEventRecord(r));

    struct Case {
        const char* what;
        std::vector<std::uint8_t> block;
        bool named;           // carries our name and device type
        std::uint32_t type;   // event type read back (0 when beyond the block)
        std::string path;
    };
    std::vector<Case> cases;
    cases.push_back({"well formed", good, true, 0, "\\\\?\\dev"});
    {
        auto b = good;
        trv::PutU32(b, 4, 5);
        cases.push_back({"other device type", b, false, 0, "\\\\?\\dev"});
    }
    {
        auto b = good;
        b[20] = 't';  // "tRV\Event"
        cases.push_back({"name in other letter case", b, false, 0, "\\\\?\\dev"});
    }
    {
        auto b = good;
        std::memset(b.data() + 20, 'N', 32);  // no terminator in the name field
        cases.push_back({"name without terminator", b, false, 0, "\\\\?\\dev"});
    }
    {
        auto b = good;
        trv::PutU32(b, 0, 56 + 10);  // claims a 10-byte payload: type readable, path not
        cases.push_back({"short claimed size", b, true, 0, ""});
    }
    {
        auto b = good;
        b.resize(26);  // delivered bytes end inside the name
        trv::PutU32(b, 0, 1000);  // and the size lies upwards
        cases.push_back({"size larger than delivered", b, false, 0, ""});
    }
    {
        auto b = good;
        std::memset(b.data() + 52 + 28, 'x', 260);  // path without terminator in its 260 bytes
        cases.push_back({"path without terminator", b, true, 0, std::string(259, 'x')});
    }
    for (const Case& c : cases) {
        auto received = trv::ReadEventBroadcast(c.block);
        ASSERT_TRUE(received) << c.what;
        EXPECT_EQ(trv::IsDeviceEventBroadcast(*received), c.named) << c.what;
        DeviceEventRecord rec = DecodeEventRecord(received->payload);
        EXPECT_EQ(rec.eventType, c.type) << c.what;
        EXPECT_EQ(rec.devicePath, c.path) << c.what;
    }
    EXPECT_FALSE(trv::ReadEventBroadcast(std::vector<std::uint8_t>{1, 2, 3}));
}

}  // namespace
