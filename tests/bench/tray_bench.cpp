// What the notifier's walks cost as the device list grows: the tray update,
// building each menu, and one arrival, with 1, 16 and 255 devices listed.
// Every walk looks the device nodes up again (nothing is cached), so the
// cost grows with the square of the list; the complexity fit says how.
//
// Runs on the simulated machine: the measured loop runs on a sim thread of
// a program of its own. Build with the release preset for numbers.
#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/guid.h"
#include "sim/device_store.h"
#include "sim/machine.h"
#include "tray/tray_icon.h"

extern const trvres::Table kTrayResources;

namespace {

void RunInSim(sim::Machine& machine, std::function<void(plat::System&)> body) {
    machine.InstallProgram("BENCH.EXE", [body](plat::System& sys) {
        body(sys);
        return 0;
    }, &kTrayResources);
    machine.StartProcess("BENCH.EXE");
    machine.WaitIdle();
}

// `count` attached adapters, each with a disk; the first ones get letters.
std::vector<sim::PluggedDevice> PlugDevices(sim::Machine& machine, int count) {
    std::vector<sim::PluggedDevice> out;
    for (int i = 0; i < count; ++i) {
        std::vector<char> letters;
        if (i < 24) letters.push_back(static_cast<char>('C' + i));
        sim::AdapterSpec spec = sim::AdapterSpec::Disk("Drive " + std::to_string(i), letters);
        spec.notify = false;
        out.push_back(machine.Devices().Plug(spec));
    }
    return out;
}

// The DEV_BROADCAST_DEVICEINTERFACE of an arrival or removal.
std::vector<std::uint8_t> InterfaceBlock(const std::string& path) {
    std::vector<std::uint8_t> b(28 + path.size() + 1, 0);
    trv::PutU32(b, 0, static_cast<std::uint32_t>(b.size()));
    trv::PutU32(b, 4, plat::DBT_DEVTYP_DEVICEINTERFACE);
    auto g = trv::GuidToBytes(trv::AdapterInterfaceGuid);
    std::copy(g.begin(), g.end(), b.begin() + 12);
    std::copy(path.begin(), path.end(), b.begin() + 28);
    return b;
}

void BM_UpdateTray(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sim::Machine machine;
    PlugDevices(machine, n);
    RunInSim(machine, [&](plat::System& sys) {
        tray::CTrayIcon tray(sys, tray::Family::Nt);
        tray.EnumeratePresentDevices();
        for (auto _ : state) benchmark::DoNotOptimize(tray.UpdateTray());
    });
    state.SetComplexityN(n);
}

void BuildMenu(benchmark::State& state, bool removalMenu) {
    const int n = static_cast<int>(state.range(0));
    sim::Machine machine;
    PlugDevices(machine, n);
    RunInSim(machine, [&](plat::System& sys) {
        tray::CTrayIcon tray(sys, tray::Family::Nt);
        tray.EnumeratePresentDevices();
        for (auto _ : state) {
            std::vector<tray::MenuEntry> list;
            if (removalMenu)
                tray.BuildRemovalList(list);
            else
                tray.BuildDeviceList(list);
            plat::Hmenu menu{};
            tray.FillMenu(menu, list);
            tray.ReleaseMenuList(list);
            sys.menus().Destroy(menu);
        }
    });
    state.SetComplexityN(n);
}

void BM_RemovalMenu(benchmark::State& state) { BuildMenu(state, true); }
void BM_DeviceMenu(benchmark::State& state) { BuildMenu(state, false); }

// One arrival as the main window handles it (the record made, queried and
// listed, then the tray update), with `n` devices listed afterwards.
void BM_Arrival(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sim::Machine machine;
    std::vector<sim::PluggedDevice> devices = PlugDevices(machine, n);
    const std::vector<std::uint8_t> block = InterfaceBlock(devices.back().path);
    RunInSim(machine, [&](plat::System& sys) {
        tray::CTrayIcon tray(sys, tray::Family::Nt);
        tray.EnumeratePresentDevices();
        tray.OnDeviceRemoveComplete(block);
        for (auto _ : state) {
            tray.OnDeviceArrival(block);
            tray.ApplyVisibility(tray.UpdateTray());
            state.PauseTiming();
            tray.OnDeviceRemoveComplete(block);
            state.ResumeTiming();
        }
    });
    state.SetComplexityN(n);
}

}  // namespace

BENCHMARK(BM_UpdateTray)->Arg(1)->Arg(16)->Arg(255)->Complexity()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RemovalMenu)->Arg(1)->Arg(16)->Arg(255)->Complexity()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeviceMenu)->Arg(1)->Arg(16)->Arg(255)->Complexity()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Arrival)->Arg(1)->Arg(16)->Arg(255)->Complexity()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
