// The simulated modal dialogs and the scripted user who closes them. Each
// dialog shown is written down with its caption, its texts and its buttons;
// a dialog that no queued answer closes stays open until the test answers it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/dialogs.h"
#include "sim/machine.h"
#include "sim/resource_table.h"

namespace sim {

struct DialogState {
    struct Rule {
        std::uint32_t templateId;  // 0: any dialog
        int answer;
    };
    std::deque<Rule> rules;
    std::vector<Machine::DialogInfo> shown;  // every dialog; open ones have no answer yet
    std::uint32_t nextId = 1;
};

std::unique_ptr<plat::Dialogs> MakeDialogsFacet(Machine& machine, std::uint32_t pid, const trvres::Table* resources);

}  // namespace sim
