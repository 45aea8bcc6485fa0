// The driver's information block and the 580-byte pass-through request.
#include "common/adapter_driver.h"

#include <gtest/gtest.h>

#include "common/bytes.h"

namespace {

TEST(AdapterInfo, WordsAtOffsets16To24) {
    auto info = trv::MakeAdapterInfo({0x40102, 0x180000, 0x1});
    EXPECT_EQ(trv::GetU32(info, 16), 0x40102u);
    EXPECT_EQ(trv::GetU32(info, 20), 0x180000u);
    EXPECT_EQ(trv::GetU32(info, 24), 0x1u);
    auto words = trv::ReadAdapterWords(info);
    EXPECT_EQ(words.flags, 0x40102u);
    EXPECT_EQ(words.features, 0x180000u);
    EXPECT_EQ(words.options, 1u);
}

TEST(PassThroughRequest, HeaderFieldsAndCommandBlock) {
    auto cdb = trv::MakeAtaCommandBlock({0xA1, 0x5A}, trv::ATA_SECURITY_ERASE_UNIT);
    const std::uint8_t expectedCdb[16] = {0xA1, 0x5A, 0, 0x80, 1, 0, 0, 0, 0, 0, 0, 0, 0xF4, 0, 0, 0};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(cdb[i], expectedCdb[i]) << i;

    auto r = trv::MakePassThroughRequest(cdb, false, 108000);
    ASSERT_EQ(r.size(), 580u);
    EXPECT_EQ(trv::GetU16(r, 0), 44);
    EXPECT_EQ(r[5], 16);   // CdbLength
    EXPECT_EQ(r[6], 18);   // SenseInfoLength
    EXPECT_EQ(r[7], 0);    // DataIn
    EXPECT_EQ(trv::GetU32(r, 8), 512u);
    EXPECT_EQ(trv::GetU32(r, 12), 108000u);
    EXPECT_EQ(trv::GetU64(r, 16), 66u);
    EXPECT_EQ(trv::GetU32(r, 24), 48u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(r[28 + i], expectedCdb[i]) << i;
    EXPECT_EQ(trv::GetU32(r, 44), 580u);
    for (std::size_t i = 48; i < 580; ++i) ASSERT_EQ(r[i], 0) << i;

    auto identify = trv::MakePassThroughRequest(trv::MakeAtaCommandBlock({1, 2}, trv::ATA_IDENTIFY_DEVICE), true, 20);
    EXPECT_EQ(identify[7], 1);
    EXPECT_EQ(trv::GetU32(identify, 12), 20u);
    auto header = trv::ReadPassThroughHeader(identify);
    EXPECT_EQ(header.cdb[12], 0xEC);
    EXPECT_EQ(header.dataBufferOffset, 66u);
}

}  // namespace
