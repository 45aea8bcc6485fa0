// A stand-in top-level window for tests: a program "PROBE.EXE" whose one
// hidden window keeps every device event broadcast it receives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "sim/machine.h"

namespace trvtest {

class BroadcastProbe final : public plat::WindowProcedure {
public:
    // Installs "PROBE.EXE" on `machine`; start it with machine.StartProcess("PROBE.EXE").
    void Install(sim::Machine& machine) {
        machine.InstallProgram(
            "PROBE.EXE",
            [this](plat::System& sys) {
                sys.ui().RegisterWindowClass("Probe");
                sys.ui().CreateTopLevel({"Probe", "PROBE", 0}, this);
                plat::Msg msg;
                while (sys.ui().NextMessage(msg)) sys.ui().Dispatch(msg);
                return 0;
            },
            nullptr);
    }

    // The user-defined device-change blocks received, each cut to the size it claims.
    std::vector<std::vector<std::uint8_t>> blocks;

    std::intptr_t HandleMessage(plat::Hwnd, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam) override {
        if (message == plat::WM_DEVICECHANGE && wParam == plat::DBT_USERDEFINED && lParam != 0) {
            const auto* p = reinterpret_cast<const std::uint8_t*>(lParam);
            std::uint32_t size = trv::GetU32(std::span<const std::uint8_t>(p, 4), 0);
            blocks.emplace_back(p, p + size);
        }
        return 0;
    }
};

}  // namespace trvtest
