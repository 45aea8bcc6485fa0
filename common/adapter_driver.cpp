#include "common/adapter_driver.h"

#include <algorithm>

#include "common/bytes.h"

namespace trv {

AdapterWords ReadAdapterWords(std::span<const std::uint8_t, kAdapterInfoSize> info) {
    return {GetU32(info, kAdapterInfoFlagsOffset), GetU32(info, kAdapterInfoFeaturesOffset),
            GetU32(info, kAdapterInfoOptionsOffset)};
}

std::array<std::uint8_t, kAdapterInfoSize> MakeAdapterInfo(const AdapterWords& words) {
    std::array<std::uint8_t, kAdapterInfoSize> b{};
    PutU32(b, kAdapterInfoFlagsOffset, words.flags);
    PutU32(b, kAdapterInfoFeaturesOffset, words.features);
    PutU32(b, kAdapterInfoOptionsOffset, words.options);
    return b;
}

AtaCommandBlock MakeAtaCommandBlock(const std::array<std::uint8_t, 2>& lead, std::uint8_t command) {
    AtaCommandBlock cdb{};
    cdb[0] = lead[0];
    cdb[1] = lead[1];
    cdb[3] = kCdbRegisterSelect;
    cdb[4] = kCdbBlockCount;
    cdb[kCdbCommandOffset] = command;
    return cdb;
}

PassThroughRequest MakePassThroughRequest(const AtaCommandBlock& cdb, bool dataIn, std::uint32_t timeoutSeconds) {
    PassThroughRequest r{};
    PutU16(r, kPtLengthOffset, kPtHeaderLength);
    r[kPtCdbLengthOffset] = 16;
    r[kPtSenseInfoLengthOffset] = kPtSenseSize;
    r[kPtDataInOffset] = dataIn ? 1 : 0;
    PutU32(r, kPtDataTransferLengthOffset, kPtDataSize);
    PutU32(r, kPtTimeOutOffset, timeoutSeconds);
    PutU64(r, kPtDataBufferOffsetOffset, kPtDataOffset);
    PutU32(r, kPtSenseInfoOffsetOffset, kPtSenseOffset);
    std::copy(cdb.begin(), cdb.end(), r.begin() + kPtCdbOffset);
    PutU32(r, kPtBufferLengthOffset, kPassThroughSize);
    return r;
}

PassThroughHeader ReadPassThroughHeader(std::span<const std::uint8_t, kPassThroughSize> r) {
    PassThroughHeader h;
    h.length = GetU16(r, kPtLengthOffset);
    h.cdbLength = r[kPtCdbLengthOffset];
    h.senseInfoLength = r[kPtSenseInfoLengthOffset];
    h.dataIn = r[kPtDataInOffset];
    h.dataTransferLength = GetU32(r, kPtDataTransferLengthOffset);
    h.timeOutValue = GetU32(r, kPtTimeOutOffset);
    h.dataBufferOffset = GetU64(r, kPtDataBufferOffsetOffset);
    h.senseInfoOffset = GetU32(r, kPtSenseInfoOffsetOffset);
    std::copy(r.begin() + kPtCdbOffset, r.begin() + kPtCdbOffset + 16, h.cdb.begin());
    return h;
}

}  // namespace trv
