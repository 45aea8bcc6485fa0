// The simulated drive as the simulated adapter's pass-through sees it: the
// command block and sector go to an AtaDrive, an aborted command comes back
// as sense data.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "sim/ata_drive.h"
#include "sim/machine.h"

namespace sim {

class SimAtaTarget final : public PassThroughTarget {
public:
    // `identifyOverrides`: IDENTIFY words the bridge reports in place of the
    // drive's own (a bridge that mangles the data, a drive that lies).
    explicit SimAtaTarget(std::shared_ptr<AtaDrive> drive, std::map<int, std::uint16_t> identifyOverrides = {});

    bool Execute(std::span<const std::uint8_t, 16> cdb, std::span<std::uint8_t, 512> data, bool dataIn,
                 std::span<std::uint8_t, 18> sense) override;
    // The time the last command took (the machine asks right after Execute):
    // the erase's time, 0 for every other command.
    std::uint64_t DurationMs(std::span<const std::uint8_t, 16> cdb) override;

    const std::shared_ptr<AtaDrive>& drive() const { return drive_; }

private:
    std::shared_ptr<AtaDrive> drive_;
    std::map<int, std::uint16_t> overrides_;
    std::mutex mu_;
    std::uint64_t lastDurationMs_ = 0;
};

}  // namespace sim
