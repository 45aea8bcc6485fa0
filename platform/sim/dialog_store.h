// The simulated user in front of the screen: every message box and modal
// dialog a program shows is written down with its caption and texts, and
// closed with the answer the test (or the simulator's script) gives.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "sim/resource_table.h"

namespace sim {

class DialogStore {
public:
    struct Shown {
        std::uint32_t pid = 0;
        bool messageBox = true;
        std::uint32_t templateId = 0;  // dialogs only
        std::uint32_t style = 0;
        std::string caption;
        std::vector<std::string> texts;  // the box's text; a dialog's static texts in template order
        std::vector<int> buttons;        // what the user can choose, the default first
        int answer = 0;
    };
    // The scripted user: picks the button that closes what was shown.
    using Responder = std::function<int(const Shown&)>;

    // Answers given in order to what is shown next; once they are used up
    // the responder decides, and without one the default button is taken.
    void QueueAnswers(std::vector<int> answers);
    void SetResponder(Responder responder);
    std::vector<Shown> ShownSoFar();

    // What the facet uses: the answer for `shown`, which is then recorded.
    int Answer(Shown& shown);

private:
    std::mutex mu_;
    std::deque<int> queued_;
    Responder responder_;
    std::vector<Shown> shown_;
};

std::unique_ptr<plat::Dialogs> MakeDialogsFacet(DialogStore& store, std::uint32_t pid, const trvres::Table* resources,
                                                std::function<void(const std::string&)> note);

// "Yes", "No", "OK", "Cancel" or the number.
std::string ButtonName(int id);

}  // namespace sim
