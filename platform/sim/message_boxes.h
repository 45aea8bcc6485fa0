// The simulated message boxes and the scripted user who answers them.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "sim/machine.h"

namespace sim {

struct BoxState {
    struct Rule {
        std::string caption;
        int answer = 0;
    };
    std::deque<Rule> rules;
    std::vector<Machine::MessageBoxInfo> shown;  // every box; open ones have no answer yet
    std::uint32_t nextId = 1;
};

std::unique_ptr<plat::MessageBoxes> MakeMessageBoxFacet(Machine& machine, std::uint32_t pid);

// The buttons a box style offers, as answers.
std::vector<int> BoxButtons(std::uint32_t style);

}  // namespace sim
