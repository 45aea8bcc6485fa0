// The simulated modal dialogs and property sheets, and the scripted user who
// works them. A dialog is made from its template: its controls keep their
// texts, limits, check, enabled and visible states; its procedure gets
// WM_INITDIALOG, WM_COMMAND, WM_CLOSE and WM_TIMER on the thread that opened
// it, which waits in the dialog's own loop (a platform wait: the thread's
// windows keep their messages, and virtual time drives the dialog's timers).
// Each dialog shown is written down as it stands once initialised, then
// every change the program makes to it after that and every action of the
// user; a dialog that no queued rule closes stays open until the test acts.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/dialogs.h"
#include "sim/machine.h"
#include "sim/resource_table.h"

namespace sim {

struct DialogState {
    struct Rule {
        std::uint32_t templateId = 0;  // 0: any dialog
        std::vector<Machine::DialogAction> actions;
        // From QueueDialogAnswer: used only by a dialog that has this answer.
        std::optional<int> answer;
    };
    struct Timer {
        std::uint32_t period = 0;
        std::uint64_t due = 0;
    };
    struct Dialog {
        Machine::DialogInfo info;
        plat::DialogProcedure* procedure = nullptr;
        std::deque<Machine::DialogAction> pending;  // the user's actions not yet carried out
        std::map<std::uintptr_t, Timer> timers;
        bool initialising = true;  // changes are part of the opening line
        bool ending = false;       // EndDialog was called
        std::intptr_t result = 0;
    };
    std::deque<Rule> rules;
    std::vector<std::unique_ptr<Dialog>> dialogs;  // every dialog shown, oldest first
    std::uint32_t nextId = 1;
};

std::unique_ptr<plat::Dialogs> MakeDialogsFacet(Machine& machine, std::uint32_t pid, const trvres::Table* resources);

}  // namespace sim
