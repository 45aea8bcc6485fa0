#include "sim/ata_target.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {
constexpr std::uint8_t kIdentifyDevice = 0xEC;
constexpr std::uint8_t kIdentifyPacketDevice = 0xA1;
constexpr std::uint8_t kSecurityEraseUnit = 0xF4;
}  // namespace

SimAtaTarget::SimAtaTarget(std::shared_ptr<AtaDrive> drive, std::map<int, std::uint16_t> identifyOverrides)
    : drive_(std::move(drive)), overrides_(std::move(identifyOverrides)) {}

bool SimAtaTarget::Execute(std::span<const std::uint8_t, 16> cdb, std::span<std::uint8_t, 512> data, bool,
                           std::span<std::uint8_t, 18> sense) {
    std::lock_guard<std::mutex> lk(mu_);
    std::uint8_t block[16];
    std::uint8_t sector[512];
    std::copy(cdb.begin(), cdb.end(), block);
    std::copy(data.begin(), data.end(), sector);
    AtaResult r = drive_->Execute(block, sector);
    const std::uint8_t command = block[12];
    if (r.ok && (command == kIdentifyDevice || command == kIdentifyPacketDevice)) {
        for (auto [word, value] : overrides_) {
            if (word < 0 || word > 255) continue;
            sector[2 * word] = static_cast<std::uint8_t>(value & 0xFF);
            sector[2 * word + 1] = static_cast<std::uint8_t>(value >> 8);
        }
    }
    std::copy(sector, sector + 512, data.begin());
    std::memset(sector, 0, sizeof sector);
    // Only the erase holds the caller for the drive's time; every other
    // command is over at once, so a test need not move the clock for it.
    lastDurationMs_ = command == kSecurityEraseUnit ? r.durationMs : 0;
    if (!r.ok) {
        // Fixed-format sense: ABORTED COMMAND, the ATA status and error in the
        // information bytes.
        std::fill(sense.begin(), sense.end(), std::uint8_t{0});
        sense[0] = 0x70;
        sense[2] = 0x0B;
        sense[3] = r.status;
        sense[4] = r.error;
        sense[7] = 10;
    }
    return r.ok;
}

std::uint64_t SimAtaTarget::DurationMs(std::span<const std::uint8_t, 16>) {
    std::lock_guard<std::mutex> lk(mu_);
    return lastDurationMs_;
}

}  // namespace sim
