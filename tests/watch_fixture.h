// A simulated machine with the suite installed, a probe window that keeps
// the device event broadcasts, and helpers to plug adapters for the watcher
// and queue events in their drivers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/adapter_driver.h"
#include "common/device_event.h"
#include "common/guid.h"
#include "sim/device_store.h"
#include "sim/machine.h"
#include "sim_probe.h"
#include "simulator/suite.h"

namespace trvtest {

inline sim::RegistryValueSpec TextValue(const std::string& name, const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return {name, plat::REG_SZ, data};
}

inline sim::RegistryValueSpec DwordValue(const std::string& name, std::uint32_t v) {
    return {name, plat::REG_DWORD,
            {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
             static_cast<std::uint8_t>(v >> 24)}};
}

// An event block as a driver hands it out; the driver's own path field is
// not the interface path (the watcher writes that in).
inline std::vector<std::uint8_t> EventBlock(std::uint32_t type, std::uint8_t action, std::size_t size = 300) {
    trv::DeviceEventRecord r;
    r.eventType = type;
    r.interfaceClass = trv::AdapterInterfaceGuid;
    r.devicePath = "\\Device\\TrvAdapter0";
    r.actionCode = action;
    auto full = trv::EncodeEventRecord(r);
    std::vector<std::uint8_t> b(full.begin(), full.end());
    b.resize(size, 0);
    return b;
}

class WatchFixture : public ::testing::Test {
protected:
    WatchFixture() {
        trvsim::InstallSuite(machine);
        probe.Install(machine);
        machine.StartProcess("PROBE.EXE");
        machine.WaitIdle();
    }

    std::uint32_t StartWatcher() {
        watcher = machine.StartProcess("TRVWATCH.EXE");
        machine.WaitIdle();
        return watcher;
    }

    sim::PluggedDevice Plug(std::vector<sim::RegistryValueSpec> values, bool events = true,
                            const std::string& instanceId = "") {
        sim::AdapterSpec spec;
        spec.instanceId = instanceId;
        spec.values = std::move(values);
        if (events) spec.words.features |= trv::ADAPTER_FEATURE_EVENTS;
        sim::PluggedDevice d = machine.Devices().Plug(spec);
        machine.WaitIdle();
        EXPECT_TRUE(d.ok());
        return d;
    }

    void Queue(const std::string& path, std::vector<std::uint8_t> block) {
        machine.WithAdapter(path, [&](sim::SimAdapter& a) { a.events.push_back(std::move(block)); });
    }
    std::size_t Pending(const std::string& path) {
        std::size_t n = 0;
        machine.WithAdapter(path, [&](sim::SimAdapter& a) { n = a.events.size(); });
        return n;
    }
    int Requests(const std::string& path, std::uint32_t code) {
        int n = 0;
        machine.WithAdapter(path, [&](sim::SimAdapter& a) { n = a.requestCounts[code]; });
        return n;
    }
    int Opens(const std::string& path) {
        int n = 0;
        machine.WithAdapter(path, [&](sim::SimAdapter& a) { n = a.opens; });
        return n;
    }

    // The command lines the watcher asked to start, in order.
    std::vector<std::string> Started() {
        std::vector<std::string> out;
        for (const auto& l : machine.Launches())
            if (l.parentPid == watcher) out.push_back(l.commandLine);
        return out;
    }

    // The event broadcasts the probe received, as records.
    std::vector<trv::DeviceEventRecord> Relayed() {
        std::vector<trv::DeviceEventRecord> out;
        for (const auto& b : probe.blocks) {
            auto r = trv::ReadEventBroadcast(b);
            if (r && trv::IsDeviceEventBroadcast(*r)) out.push_back(trv::DecodeEventRecord(r->payload));
        }
        return out;
    }

    BroadcastProbe probe;  // outlives the machine, whose threads may still call it while it shuts down
    sim::Machine machine;
    std::uint32_t watcher = 0;
};

}  // namespace trvtest
