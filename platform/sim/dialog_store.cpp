#include "sim/dialog_store.h"

#include <algorithm>

#include "sim/machine_facets.h"

namespace sim {

namespace {

std::string ButtonName(int id) {
    switch (id) {
        case plat::IDOK: return "OK";
        case plat::IDCANCEL: return "Cancel";
        case plat::IDYES: return "Yes";
        case plat::IDNO: return "No";
        default: return "button " + std::to_string(id);
    }
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out + "\"";
}

std::string Closing(const Machine::DialogInfo& d, int answer) {
    return (answer == plat::IDCANCEL ? std::string("[user] closes dialog ")
                                     : "[user] presses " + ButtonName(answer) + " in dialog ") +
           std::to_string(d.templateId) + " " + Quote(d.caption);
}

class DialogsFacet final : public plat::Dialogs {
public:
    DialogsFacet(Machine& m, std::uint32_t pid, const trvres::Table* resources)
        : m_(m), pid_(pid), resources_(resources) {}

    std::intptr_t ShowModalDialog(std::uint32_t templateId) override {
        std::unique_lock<std::mutex> lk(Machine::Facets::Mutex(m_));
        const std::string tag = Machine::Facets::TagLocked(m_, pid_);
        const trvres::Dialog* d = nullptr;
        if (resources_ != nullptr)
            for (std::size_t i = 0; i < resources_->dialogCount; ++i)
                if (resources_->dialogs[i].id == templateId) d = &resources_->dialogs[i];
        if (d == nullptr) {
            Machine::Facets::NoteLocked(m_, tag + " dialog " + std::to_string(templateId) + " cannot be shown: no such template");
            return -1;
        }
        DialogState& st = Machine::Facets::DialogsOf(m_);
        Machine::DialogInfo info;
        info.id = st.nextId++;
        info.pid = pid_;
        info.templateId = templateId;
        info.caption = d->caption ? d->caption : "";
        std::string line = tag + " dialog " + std::to_string(templateId) + " " + Quote(info.caption) + ":";
        for (std::size_t i = 0; i < d->controlCount; ++i) {
            const trvres::Control& c = d->controls[i];
            const std::string text = c.text ? c.text : "";
            if (c.kind == trvres::ControlKind::Static) {
                info.texts.push_back(text);
                line += " " + Quote(text);
            } else if (c.kind == trvres::ControlKind::Button || c.kind == trvres::ControlKind::DefButton) {
                info.buttons.push_back(static_cast<int>(c.id));
                line += " [" + text + "]";
            }
        }
        // Closing the dialog by its system menu or Escape answers Cancel.
        if (std::find(info.buttons.begin(), info.buttons.end(), plat::IDCANCEL) == info.buttons.end())
            info.buttons.push_back(plat::IDCANCEL);
        Machine::Facets::NoteLocked(m_, line);
        st.shown.push_back(info);
        const std::uint32_t id = info.id;
        auto entry = [&st, id]() -> Machine::DialogInfo* {
            for (auto& s : st.shown)
                if (s.id == id) return &s;
            return nullptr;
        };
        auto rule = std::find_if(st.rules.begin(), st.rules.end(), [&](const DialogState::Rule& r) {
            return (r.templateId == 0 || r.templateId == templateId) &&
                   std::find(info.buttons.begin(), info.buttons.end(), r.answer) != info.buttons.end();
        });
        if (rule != st.rules.end()) {
            const int answer = rule->answer;
            st.rules.erase(rule);
            entry()->answer = answer;
            Machine::Facets::NoteLocked(m_, Closing(info, answer));
            return answer;
        }
        if (!Machine::Facets::ModalWaitLocked(m_, lk, [&] { return entry()->answer.has_value(); })) {
            entry()->answer = plat::IDCANCEL;
            Machine::Facets::NoteLocked(m_, tag + " dialog " + std::to_string(templateId) + " closed unanswered");
            return plat::IDCANCEL;
        }
        return *entry()->answer;
    }

private:
    Machine& m_;
    std::uint32_t pid_;
    const trvres::Table* resources_;
};

}  // namespace

std::unique_ptr<plat::Dialogs> MakeDialogsFacet(Machine& machine, std::uint32_t pid, const trvres::Table* resources) {
    return std::make_unique<DialogsFacet>(machine, pid, resources);
}

// ---- the test's side ---------------------------------------------------------
void Machine::QueueDialogAnswer(std::uint32_t templateId, int answer) {
    std::lock_guard<std::mutex> lk(mu_);
    dialogState_->rules.push_back({templateId, answer});
}

std::vector<Machine::DialogInfo> Machine::OpenDialogs() {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<DialogInfo> out;
    for (auto& d : dialogState_->shown)
        if (!d.answer) out.push_back(d);
    return out;
}

bool Machine::AnswerDialog(std::uint32_t id, int answer) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& d : dialogState_->shown) {
        if (d.id != id || d.answer) continue;
        if (std::find(d.buttons.begin(), d.buttons.end(), answer) == d.buttons.end()) return false;
        d.answer = answer;
        NoteLocked(Closing(d, answer));
        ScheduleLocked();
        return true;
    }
    return false;
}

std::vector<Machine::DialogInfo> Machine::DialogsShown() {
    std::lock_guard<std::mutex> lk(mu_);
    return dialogState_->shown;
}

}  // namespace sim
