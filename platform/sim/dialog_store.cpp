#include "sim/dialog_store.h"

#include <algorithm>

namespace sim {

std::string ButtonName(int id) {
    switch (id) {
        case plat::IDOK: return "OK";
        case plat::IDCANCEL: return "Cancel";
        case plat::IDYES: return "Yes";
        case plat::IDNO: return "No";
        default: return std::to_string(id);
    }
}

void DialogStore::QueueAnswers(std::vector<int> answers) {
    std::lock_guard<std::mutex> lk(mu_);
    queued_.insert(queued_.end(), answers.begin(), answers.end());
}

void DialogStore::SetResponder(Responder responder) {
    std::lock_guard<std::mutex> lk(mu_);
    responder_ = std::move(responder);
}

std::vector<DialogStore::Shown> DialogStore::ShownSoFar() {
    std::lock_guard<std::mutex> lk(mu_);
    return shown_;
}

int DialogStore::Answer(Shown& shown) {
    Responder responder;
    int answer = shown.buttons.empty() ? plat::IDOK : shown.buttons.front();
    bool decided = false;
    {
        std::lock_guard<std::mutex> lk(mu_);
        if (!queued_.empty()) {
            answer = queued_.front();
            queued_.pop_front();
            decided = true;
        } else {
            responder = responder_;
        }
    }
    if (!decided && responder) answer = responder(shown);
    // A user can only press a button that is there.
    if (std::find(shown.buttons.begin(), shown.buttons.end(), answer) == shown.buttons.end())
        answer = shown.buttons.empty() ? plat::IDOK : shown.buttons.front();
    shown.answer = answer;
    std::lock_guard<std::mutex> lk(mu_);
    shown_.push_back(shown);
    return answer;
}

namespace {

std::vector<int> ButtonsOf(std::uint32_t style) {
    switch (style & plat::MB_TYPEMASK) {
        case plat::MB_OKCANCEL: return {plat::IDOK, plat::IDCANCEL};
        case plat::MB_YESNO: return {plat::IDYES, plat::IDNO};
        case plat::MB_OK: return {plat::IDOK};
        default: return {plat::IDOK};
    }
}

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out + "\"";
}

class DialogsFacet final : public plat::Dialogs {
public:
    DialogsFacet(DialogStore& s, std::uint32_t pid, const trvres::Table* resources,
                 std::function<void(const std::string&)> note)
        : s_(s), pid_(pid), resources_(resources), note_(std::move(note)) {}

    int ShowMessageBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
        DialogStore::Shown shown;
        shown.pid = pid_;
        shown.messageBox = true;
        shown.style = style;
        shown.caption = caption;
        shown.texts = {text};
        shown.buttons = ButtonsOf(style);
        std::string choices;
        for (int b : shown.buttons) choices += (choices.empty() ? "" : "/") + ButtonName(b);
        int answer = s_.Answer(shown);
        note_("message box " + Quoted(caption) + ": " + Quoted(text) + " [" + choices + "] -> " + ButtonName(answer));
        return answer;
    }

    std::intptr_t ShowModalDialog(std::uint32_t templateId) override {
        const trvres::Dialog* d = nullptr;
        if (resources_ != nullptr)
            for (std::size_t i = 0; i < resources_->dialogCount; ++i)
                if (resources_->dialogs[i].id == templateId) d = &resources_->dialogs[i];
        if (d == nullptr) {
            note_("dialog " + std::to_string(templateId) + " cannot be shown: no such template");
            return -1;
        }
        DialogStore::Shown shown;
        shown.pid = pid_;
        shown.messageBox = false;
        shown.templateId = templateId;
        shown.style = d->style;
        shown.caption = d->caption ? d->caption : "";
        std::string line = "dialog " + std::to_string(templateId) + " " + Quoted(shown.caption) + ":";
        for (std::size_t i = 0; i < d->controlCount; ++i) {
            const trvres::Control& c = d->controls[i];
            const std::string text = c.text ? c.text : "";
            if (c.kind == trvres::ControlKind::Static) {
                shown.texts.push_back(text);
                line += " " + Quoted(text);
            } else if (c.kind == trvres::ControlKind::Button || c.kind == trvres::ControlKind::DefButton) {
                int id = static_cast<int>(c.id);
                if (c.kind == trvres::ControlKind::DefButton)
                    shown.buttons.insert(shown.buttons.begin(), id);
                else
                    shown.buttons.push_back(id);
                line += " [" + text + "]";
            }
        }
        // Closing the dialog by its system menu counts as Cancel.
        if (std::find(shown.buttons.begin(), shown.buttons.end(), plat::IDCANCEL) == shown.buttons.end())
            shown.buttons.push_back(plat::IDCANCEL);
        int answer = s_.Answer(shown);
        note_(line + " -> " + (answer == plat::IDCANCEL ? std::string("closed") : ButtonName(answer)));
        return answer;
    }

private:
    DialogStore& s_;
    std::uint32_t pid_;
    const trvres::Table* resources_;
    std::function<void(const std::string&)> note_;
};

}  // namespace

std::unique_ptr<plat::Dialogs> MakeDialogsFacet(DialogStore& store, std::uint32_t pid, const trvres::Table* resources,
                                                std::function<void(const std::string&)> note) {
    return std::make_unique<DialogsFacet>(store, pid, resources, std::move(note));
}

}  // namespace sim
