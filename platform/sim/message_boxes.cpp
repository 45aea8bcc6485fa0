#include "sim/message_boxes.h"

#include <algorithm>

#include "sim/machine_facets.h"

namespace sim {

std::vector<int> BoxButtons(std::uint32_t style) {
    switch (style & plat::MB_TYPEMASK) {
        case plat::MB_OK: return {plat::IDOK};
        case plat::MB_OKCANCEL: return {plat::IDOK, plat::IDCANCEL};
        case plat::MB_ABORTRETRYIGNORE: return {plat::IDABORT, plat::IDRETRY, plat::IDIGNORE};
        case plat::MB_YESNOCANCEL: return {plat::IDYES, plat::IDNO, plat::IDCANCEL};
        case plat::MB_YESNO: return {plat::IDYES, plat::IDNO};
        case plat::MB_RETRYCANCEL: return {plat::IDRETRY, plat::IDCANCEL};
        default: return {};
    }
}

namespace {

const char* ButtonName(int b) {
    switch (b) {
        case plat::IDOK: return "OK";
        case plat::IDCANCEL: return "Cancel";
        case plat::IDABORT: return "Abort";
        case plat::IDRETRY: return "Retry";
        case plat::IDIGNORE: return "Ignore";
        case plat::IDYES: return "Yes";
        case plat::IDNO: return "No";
        default: return "?";
    }
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out + "\"";
}

std::string Describe(std::uint32_t style) {
    std::string out;
    for (int b : BoxButtons(style)) out += std::string("[") + ButtonName(b) + "]";
    switch (style & plat::MB_ICONMASK) {
        case plat::MB_ICONERROR: out += " error icon"; break;
        case plat::MB_ICONQUESTION: out += " question icon"; break;
        case plat::MB_ICONWARNING: out += " warning icon"; break;
        case plat::MB_ICONINFORMATION: out += " information icon"; break;
        default: break;
    }
    if (style & plat::MB_SYSTEMMODAL) out += ", system-modal";
    if (style & plat::MB_SETFOREGROUND) out += ", foreground";
    return out;
}

class MessageBoxFacet final : public plat::MessageBoxes {
public:
    MessageBoxFacet(Machine& m, std::uint32_t pid) : m_(m), pid_(pid) {}

    int Show(plat::Hwnd owner, const std::string& text, const std::string& caption, std::uint32_t style) override {
        std::unique_lock<std::mutex> lk(Machine::Facets::Mutex(m_));
        BoxState& st = Machine::Facets::Boxes(m_);
        if (BoxButtons(style).empty()) return 0;
        Machine::MessageBoxInfo info;
        info.id = st.nextId++;
        info.pid = pid_;
        info.owner = owner;
        info.caption = caption;
        info.text = text;
        info.style = style;
        const std::string tag = Machine::Facets::TagLocked(m_, pid_);
        Machine::Facets::NoteLocked(m_, tag + " message box " + Quote(caption) + ": " + Quote(text) + " " +
                                            Describe(style));
        st.shown.push_back(info);
        const std::uint32_t id = info.id;
        auto answerOf = [&st, id]() -> std::optional<int> {
            for (auto& b : st.shown)
                if (b.id == id) return b.answer;
            return std::nullopt;
        };
        auto rule = std::find_if(st.rules.begin(), st.rules.end(),
                                 [&](const BoxState::Rule& r) { return r.caption.empty() || r.caption == caption; });
        if (rule != st.rules.end()) {
            const int answer = rule->answer;
            st.rules.erase(rule);
            for (auto& b : st.shown)
                if (b.id == id) b.answer = answer;
            Machine::Facets::NoteLocked(m_, std::string("[user] answers ") + ButtonName(answer) + " to " + Quote(caption));
            return answer;
        }
        bool answered = Machine::Facets::ModalWaitLocked(m_, lk, [&] { return answerOf().has_value(); });
        if (!answered) {
            for (auto& b : st.shown)
                if (b.id == id) b.answer = 0;
            Machine::Facets::NoteLocked(m_, tag + " message box " + Quote(caption) + " closed unanswered");
            return 0;
        }
        return *answerOf();
    }

private:
    Machine& m_;
    std::uint32_t pid_;
};

}  // namespace

std::unique_ptr<plat::MessageBoxes> MakeMessageBoxFacet(Machine& machine, std::uint32_t pid) {
    return std::make_unique<MessageBoxFacet>(machine, pid);
}

// ---- the test's side ---------------------------------------------------------
void Machine::QueueBoxAnswer(std::string caption, int answer) {
    std::lock_guard<std::mutex> lk(mu_);
    boxes_->rules.push_back({std::move(caption), answer});
}

std::vector<Machine::MessageBoxInfo> Machine::OpenMessageBoxes() {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<MessageBoxInfo> out;
    for (auto& b : boxes_->shown)
        if (!b.answer) out.push_back(b);
    return out;
}

bool Machine::AnswerMessageBox(std::uint32_t id, int answer) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& b : boxes_->shown) {
        if (b.id != id || b.answer) continue;
        auto buttons = BoxButtons(b.style);
        if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end()) return false;
        b.answer = answer;
        NoteLocked(std::string("[user] answers ") + ButtonName(answer) + " to " + Quote(b.caption));
        ScheduleLocked();
        return true;
    }
    return false;
}

std::vector<Machine::MessageBoxInfo> Machine::MessageBoxesShown() {
    std::lock_guard<std::mutex> lk(mu_);
    return boxes_->shown;
}

}  // namespace sim
