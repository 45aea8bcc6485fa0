#include "sim/dialog_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/machine_facets.h"

namespace sim {

namespace {

using Dialog = DialogState::Dialog;
using Kind = trvres::ControlKind;

constexpr std::uint32_t kEsPassword = 0x20;      // ES_PASSWORD
constexpr std::uint32_t kWsVisible = 0x10000000;  // WS_VISIBLE
constexpr std::size_t kDefaultEditLimit = 30000;
// The desktop window: one handle for every process.
constexpr plat::Hwnd kDesktopWindow = static_cast<plat::Hwnd>(0x10000);
// Dialog units of the templates' 8-point font, and the frame the system adds
// around a dialog's client area (borders and caption).
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
constexpr int kFrameWidth = 6;
constexpr int kFrameHeight = 25;
constexpr int kSheetWidth = 420;
constexpr int kSheetHeight = 456;

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out + "\"";
}

std::string Hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

bool IsButton(Kind k) { return k == Kind::Button || k == Kind::DefButton; }

std::string Shown(const Machine::ControlInfo& c) {
    return c.password ? Quote(std::string(c.text.size(), '*')) : Quote(c.text);
}

std::string Name(const Machine::DialogInfo& d) {
    return d.propertySheet ? "property sheet " + Quote(d.caption)
                           : "dialog " + std::to_string(d.templateId) + " " + Quote(d.caption);
}

std::string ControlName(const Machine::ControlInfo& c) {
    if (IsButton(c.kind) || c.kind == Kind::CheckBox) return Quote(c.text);
    return std::to_string(c.id);
}

std::string DescribeControl(const Machine::ControlInfo& c) {
    std::string out;
    switch (c.kind) {
        case Kind::Static: out = Quote(c.text); break;
        case Kind::Edit:
            out = "[edit " + std::to_string(c.id) + " " + Shown(c) + ", limit " + std::to_string(c.limit) + "]";
            break;
        case Kind::CheckBox: out = std::string(c.checked ? "[x] " : "[ ] ") + Quote(c.text); break;
        case Kind::Button:
        case Kind::DefButton: out = "[" + c.text + "]"; break;
    }
    if (!c.enabled) out += " (greyed)";
    if (!c.visible) out += " (hidden)";
    return out;
}

std::string DescribeOwner(plat::Hwnd owner) {
    if (owner == plat::Hwnd::None) return "no owner";
    if (owner == kDesktopWindow) return "owned by the desktop";
    return "owned by window " + Hex(static_cast<std::uint32_t>(plat::Raw(owner)));
}

std::string Describe(const Machine::DialogInfo& d) {
    std::string line = Name(d) + " opens (" + DescribeOwner(d.owner);
    if (d.iconResource != 0) line += ", icon " + std::to_string(d.iconResource);
    line += ", " + std::to_string(d.rect.right - d.rect.left) + "x" + std::to_string(d.rect.bottom - d.rect.top) +
            " at " + std::to_string(d.rect.left) + "," + std::to_string(d.rect.top);
    if (d.minimized) line += ", minimised";
    if (d.foreground) line += ", foreground";
    if (d.guiFont) line += ", default GUI font";
    if (d.propertySheet) {
        line += ", flags " + Hex(d.sheetFlags) + ", " + std::to_string(d.pages.size()) + " pages";
        if (d.startPage != 0) line += ", starting at page " + std::to_string(d.startPage);
    }
    line += "):";
    for (const std::string& p : d.pages) line += " <" + p + ">";
    for (const auto& c : d.controls) line += " " + DescribeControl(c);
    return line;
}

// The static texts and the buttons, as they stand.
Machine::DialogInfo Snapshot(const Dialog& d) {
    Machine::DialogInfo info = d.info;
    info.texts.clear();
    info.buttons.clear();
    for (const auto& c : info.controls) {
        if (c.kind == Kind::Static) info.texts.push_back(c.text);
        if (IsButton(c.kind)) info.buttons.push_back(c.id);
    }
    // Closing the dialog by its system menu or Escape answers Cancel.
    if (std::find(info.buttons.begin(), info.buttons.end(), plat::IDCANCEL) == info.buttons.end())
        info.buttons.push_back(plat::IDCANCEL);
    return info;
}

// What an answer of QueueDialogAnswer or AnswerDialog is as an action: the
// button, or Escape for IDCANCEL in a dialog without a Cancel button.
Machine::DialogAction ActionForAnswer(const Dialog& d, int answer) {
    const Machine::ControlInfo* c = d.info.Control(answer);
    if (c != nullptr && IsButton(c->kind)) return Machine::DialogAction::Press(answer);
    return Machine::DialogAction::Escape();
}

bool HasAnswer(const Dialog& d, int answer) {
    const auto buttons = Snapshot(d).buttons;
    return std::find(buttons.begin(), buttons.end(), answer) != buttons.end();
}

// A dialog without behaviour of its own: OK or Cancel ends it.
class PlainProcedure final : public plat::DialogProcedure {
public:
    explicit PlainProcedure(plat::Dialogs& dialogs) : dialogs_(dialogs) {}
    bool OnDialogMessage(plat::Hwnd dialog, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) override {
        if (message == plat::WM_INITDIALOG) return true;
        const int id = static_cast<int>(wParam & 0xFFFF);
        if (message == plat::WM_COMMAND && (id == plat::IDOK || id == plat::IDCANCEL)) {
            dialogs_.EndDialog(dialog, id);
            return true;
        }
        return false;
    }

private:
    plat::Dialogs& dialogs_;
};

// A property sheet's frame: OK ends it with 1, Cancel with 0.
class SheetProcedure final : public plat::DialogProcedure {
public:
    explicit SheetProcedure(plat::Dialogs& dialogs) : dialogs_(dialogs) {}
    bool OnDialogMessage(plat::Hwnd dialog, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) override {
        if (message != plat::WM_COMMAND) return message == plat::WM_INITDIALOG;
        const int id = static_cast<int>(wParam & 0xFFFF);
        if (id == plat::IDOK || id == plat::IDCANCEL) {
            dialogs_.EndDialog(dialog, id == plat::IDOK ? 1 : 0);
            return true;
        }
        return false;
    }

private:
    plat::Dialogs& dialogs_;
};

class DialogsFacet final : public plat::Dialogs {
public:
    DialogsFacet(Machine& m, std::uint32_t pid, const trvres::Table* resources)
        : m_(m), pid_(pid), resources_(resources) {}

    std::intptr_t ShowModalDialog(std::uint32_t templateId) override {
        PlainProcedure plain(*this);
        return RunModal(templateId, plat::Hwnd::None, plain, 0);
    }

    std::intptr_t RunModal(std::uint32_t templateId, plat::Hwnd owner, plat::DialogProcedure& procedure,
                           std::intptr_t parameter) override {
        std::unique_lock<std::mutex> lk(Machine::Facets::Mutex(m_));
        const std::string tag = Machine::Facets::TagLocked(m_, pid_);
        const trvres::Dialog* t = nullptr;
        if (resources_ != nullptr)
            for (std::size_t i = 0; i < resources_->dialogCount; ++i)
                if (resources_->dialogs[i].id == templateId) t = &resources_->dialogs[i];
        if (t == nullptr) {
            Machine::Facets::NoteLocked(m_, tag + " dialog " + std::to_string(templateId) +
                                                " cannot be shown: no such template");
            return -1;
        }
        Dialog& d = NewDialogLocked(owner, &procedure);
        d.info.templateId = templateId;
        d.info.caption = t->caption ? t->caption : "";
        const int width = t->cx * kBaseUnitX / 4 + kFrameWidth;
        const int height = t->cy * kBaseUnitY / 8 + kFrameHeight;
        const int left = t->x * kBaseUnitX / 4;
        const int top = t->y * kBaseUnitY / 8;
        d.info.rect = {left, top, left + width, top + height};
        for (std::size_t i = 0; i < t->controlCount; ++i) {
            const trvres::Control& tc = t->controls[i];
            Machine::ControlInfo c;
            c.id = static_cast<int>(tc.id);
            c.kind = tc.kind;
            c.text = tc.text ? tc.text : "";
            c.password = tc.kind == Kind::Edit && (tc.style & kEsPassword) != 0;
            c.limit = tc.kind == Kind::Edit ? kDefaultEditLimit : 0;
            c.visible = (tc.style & kWsVisible) != 0;
            d.info.controls.push_back(c);
        }
        return RunLocked(lk, d, parameter);
    }

    std::intptr_t ShowPropertySheet(const plat::PropertySheetHeader& header) override {
        std::vector<std::string> titles;
        for (std::uint32_t i = 0; i < header.pageCount && header.pages != nullptr; ++i) {
            auto title = m_.Libraries().PageTitle(header.pages[i]);
            titles.push_back(title ? *title : "page " + Hex(static_cast<std::uint32_t>(plat::Raw(header.pages[i]))));
        }
        SheetProcedure frame(*this);
        std::unique_lock<std::mutex> lk(Machine::Facets::Mutex(m_));
        Dialog& d = NewDialogLocked(header.parent, &frame);
        d.info.propertySheet = true;
        d.info.caption = (header.flags & plat::PSH_PROPTITLE) ? header.caption + " Properties" : header.caption;
        if (header.flags & plat::PSH_USEHICON) d.info.iconResource = m_.IconResource(header.icon);
        d.info.sheetFlags = header.flags;
        d.info.startPage = header.startPage;
        d.info.pages = std::move(titles);
        d.info.rect = {0, 0, kSheetWidth, kSheetHeight};
        for (int id : {plat::IDOK, plat::IDCANCEL}) {
            Machine::ControlInfo c;
            c.id = id;
            c.kind = id == plat::IDOK ? Kind::DefButton : Kind::Button;
            c.text = id == plat::IDOK ? "OK" : "Cancel";
            d.info.controls.push_back(c);
        }
        return RunLocked(lk, d, 0);
    }

    bool EndDialog(plat::Hwnd dialog, std::intptr_t result) override {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        Dialog* d = FindLocked(dialog);
        if (d == nullptr) return false;
        d->ending = true;
        d->result = result;
        return true;
    }

    plat::Hwnd DesktopWindow() override { return kDesktopWindow; }

    bool SetItemText(plat::Hwnd dialog, int control, const std::string& text) override {
        return Change(dialog, control, [&](Machine::ControlInfo& c) {
            c.text = text;
            return "text of " + std::to_string(c.id) + " now " + Shown(c);
        });
    }

    std::size_t GetItemText(plat::Hwnd dialog, int control, char* buffer, std::size_t capacity) override {
        if (buffer == nullptr || capacity == 0) return 0;
        buffer[0] = '\0';
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        Machine::ControlInfo* c = ControlLocked(dialog, control);
        if (c == nullptr) return 0;
        const std::size_t n = std::min(c->text.size(), capacity - 1);
        std::memcpy(buffer, c->text.data(), n);
        buffer[n] = '\0';
        return n;
    }

    bool LimitText(plat::Hwnd dialog, int control, std::size_t characters) override {
        return Change(dialog, control, [&](Machine::ControlInfo& c) {
            c.limit = characters == 0 ? kDefaultEditLimit : characters;
            return "limit of " + std::to_string(c.id) + " now " + std::to_string(c.limit);
        });
    }

    bool CheckButton(plat::Hwnd dialog, int control, bool checked) override {
        return Change(dialog, control, [&](Machine::ControlInfo& c) {
            c.checked = checked;
            return ControlName(c) + (checked ? " checked" : " unchecked");
        });
    }

    bool IsButtonChecked(plat::Hwnd dialog, int control) override {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        Machine::ControlInfo* c = ControlLocked(dialog, control);
        return c != nullptr && c->checked;
    }

    bool EnableItem(plat::Hwnd dialog, int control, bool enabled) override {
        return Change(dialog, control, [&](Machine::ControlInfo& c) {
            c.enabled = enabled;
            return ControlName(c) + (enabled ? " enabled" : " greyed");
        });
    }

    bool ShowItem(plat::Hwnd dialog, int control, bool visible) override {
        return Change(dialog, control, [&](Machine::ControlInfo& c) {
            c.visible = visible;
            return ControlName(c) + (visible ? " shown" : " hidden");
        });
    }

    bool UseDefaultGuiFont(plat::Hwnd dialog, int control) override {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        Dialog* d = FindLocked(dialog);
        if (d == nullptr) return false;
        if (control == 0) {
            d->info.guiFont = true;
            return true;
        }
        Machine::ControlInfo* c = ControlLocked(dialog, control);
        if (c == nullptr) return false;
        c->guiFont = true;
        return true;
    }

    bool SetCaption(plat::Hwnd dialog, const std::string& caption) override {
        return ChangeDialog(dialog, [&](Dialog& d) {
            d.info.caption = caption;
            return "caption now " + Quote(caption);
        });
    }

    bool SetLargeIcon(plat::Hwnd dialog, plat::Hicon icon) override {
        return ChangeDialog(dialog, [&](Dialog& d) {
            d.info.iconResource = m_.IconResource(icon);
            return "icon now " + std::to_string(d.info.iconResource);
        });
    }

    bool WindowRect(plat::Hwnd window, plat::Rect& rect) override {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        if (window == kDesktopWindow) {
            rect = Machine::Facets::DesktopLocked(m_);
            return true;
        }
        Dialog* d = FindLocked(window);
        if (d == nullptr) return false;
        rect = d->info.rect;
        return true;
    }

    bool MoveWindow(plat::Hwnd window, int x, int y, int width, int height, bool) override {
        return ChangeDialog(window, [&](Dialog& d) {
            d.info.rect = {x, y, x + width, y + height};
            return "moved to " + std::to_string(x) + "," + std::to_string(y);
        });
    }

    bool Minimize(plat::Hwnd dialog) override {
        return ChangeDialog(dialog, [&](Dialog& d) {
            d.info.minimized = true;
            return std::string("minimised");
        });
    }

    bool BringToForeground(plat::Hwnd dialog) override {
        return ChangeDialog(dialog, [&](Dialog& d) {
            d.info.foreground = true;
            return std::string("brought to the foreground");
        });
    }

    bool StartTimer(plat::Hwnd dialog, std::uintptr_t id, std::uint32_t milliseconds) override {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        Dialog* d = FindLocked(dialog);
        if (d == nullptr) return false;
        const std::uint32_t period = std::max<std::uint32_t>(milliseconds, 1);
        d->timers[id] = DialogState::Timer{period, Machine::Facets::NowLocked(m_) + period};
        return true;
    }

    bool StopTimer(plat::Hwnd dialog, std::uintptr_t id) override {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        Dialog* d = FindLocked(dialog);
        return d != nullptr && d->timers.erase(id) > 0;
    }

private:
    DialogState& St() { return Machine::Facets::DialogsOf(m_); }

    Dialog& NewDialogLocked(plat::Hwnd owner, plat::DialogProcedure* procedure) {
        auto d = std::make_unique<Dialog>();
        d->info.id = St().nextId++;
        d->info.pid = pid_;
        d->info.hwnd = static_cast<plat::Hwnd>(Machine::Facets::NewHandleLocked(m_));
        d->info.owner = owner;
        d->procedure = procedure;
        St().dialogs.push_back(std::move(d));
        return *St().dialogs.back();
    }

    // An open dialog of this process.
    Dialog* FindLocked(plat::Hwnd hwnd) {
        for (auto& d : St().dialogs)
            if (d->info.hwnd == hwnd && d->info.pid == pid_ && !d->info.answer) return d.get();
        return nullptr;
    }

    Machine::ControlInfo* ControlLocked(plat::Hwnd dialog, int control) {
        Dialog* d = FindLocked(dialog);
        if (d == nullptr) return nullptr;
        for (auto& c : d->info.controls)
            if (c.id == control) return &c;
        return nullptr;
    }

    void NoteChangeLocked(const Dialog& d, const std::string& what) {
        if (d.initialising) return;  // the opening line shows it
        Machine::Facets::NoteLocked(m_, Machine::Facets::TagLocked(m_, pid_) + " " + Name(d.info) + ": " + what);
    }

    template <class Fn>
    bool Change(plat::Hwnd dialog, int control, Fn fn) {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        Dialog* d = FindLocked(dialog);
        Machine::ControlInfo* c = ControlLocked(dialog, control);
        if (d == nullptr || c == nullptr) return false;
        NoteChangeLocked(*d, fn(*c));
        return true;
    }

    template <class Fn>
    bool ChangeDialog(plat::Hwnd dialog, Fn fn) {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        Dialog* d = FindLocked(dialog);
        if (d == nullptr) return false;
        const std::string before = Name(d->info);
        const std::string what = fn(*d);
        if (!d->initialising)
            Machine::Facets::NoteLocked(m_, Machine::Facets::TagLocked(m_, pid_) + " " + before + ": " + what);
        return true;
    }

    bool SendLocked(std::unique_lock<std::mutex>& lk, Dialog& d, std::uint32_t message, std::uintptr_t wParam,
                    std::intptr_t lParam) {
        plat::DialogProcedure* proc = d.procedure;
        const plat::Hwnd hwnd = d.info.hwnd;
        lk.unlock();
        const bool handled = proc->OnDialogMessage(hwnd, message, wParam, lParam);
        lk.lock();
        return handled;
    }

    void UserNoteLocked(const std::string& line) { Machine::Facets::NoteLocked(m_, "[user] " + line); }

    // One action of the user, as the dialog's thread takes it.
    void ActLocked(std::unique_lock<std::mutex>& lk, Dialog& d, const Machine::DialogAction& a) {
        using K = Machine::DialogAction::Kind;
        const std::string in = " in " + Name(d.info);
        Machine::ControlInfo* c = nullptr;
        for (auto& x : d.info.controls)
            if (x.id == a.control) c = &x;
        auto refused = [&](const std::string& what, const std::string& why) {
            UserNoteLocked("cannot " + what + in + ": " + why);
        };
        auto usable = [&](const std::string& what) {
            if (!c->enabled) {
                refused(what, "it is greyed");
                return false;
            }
            if (!c->visible) {
                refused(what, "it is hidden");
                return false;
            }
            return true;
        };
        switch (a.kind) {
            case K::Type: {
                const std::string what = "type into " + std::to_string(a.control);
                if (c == nullptr || c->kind != Kind::Edit) return refused(what, "there is no such field");
                if (!usable(what)) return;
                c->text = a.text.substr(0, c->limit);
                std::string line = "types " + std::to_string(a.text.size()) + " characters into " +
                                   std::to_string(c->id) + in + ": " + Shown(*c);
                if (c->text.size() < a.text.size()) line += " (the field takes " + std::to_string(c->text.size()) + ")";
                UserNoteLocked(line);
                return;
            }
            case K::Check: {
                const std::string what = std::string(a.checked ? "check " : "uncheck ") + std::to_string(a.control);
                if (c == nullptr || c->kind != Kind::CheckBox) return refused(what, "there is no such check box");
                if (!usable(what)) return;
                UserNoteLocked(std::string(a.checked ? "checks " : "unchecks ") + Quote(c->text) + in);
                if (c->checked == a.checked) return;
                c->checked = a.checked;
                SendLocked(lk, d, plat::WM_COMMAND, static_cast<std::uintptr_t>(a.control), 0);
                return;
            }
            case K::Press: {
                const std::string what = "press " + std::to_string(a.control);
                if (c == nullptr || !IsButton(c->kind)) return refused(what, "there is no such button");
                if (!usable("press " + Quote(c->text))) return;
                UserNoteLocked("presses " + c->text + in);
                SendLocked(lk, d, plat::WM_COMMAND, static_cast<std::uintptr_t>(a.control), 0);
                return;
            }
            case K::Escape: {
                UserNoteLocked("presses Escape" + in);
                for (auto& x : d.info.controls)
                    if (x.id == plat::IDCANCEL && !x.enabled) return;  // a greyed Cancel takes no Escape
                SendLocked(lk, d, plat::WM_COMMAND, plat::IDCANCEL, 0);
                return;
            }
            case K::Close: {
                UserNoteLocked("closes" + in + " from its caption");
                if (!SendLocked(lk, d, plat::WM_CLOSE, 0, 0))
                    SendLocked(lk, d, plat::WM_COMMAND, plat::IDCANCEL, 0);
                return;
            }
        }
    }

    // From WM_INITDIALOG to the end: the dialog's own loop on the calling thread.
    std::intptr_t RunLocked(std::unique_lock<std::mutex>& lk, Dialog& d, std::intptr_t parameter) {
        const std::string tag = Machine::Facets::TagLocked(m_, pid_);
        SendLocked(lk, d, plat::WM_INITDIALOG, 0, parameter);
        d.initialising = false;
        Machine::Facets::NoteLocked(m_, tag + " " + Describe(d.info));

        auto& rules = St().rules;
        auto rule = std::find_if(rules.begin(), rules.end(), [&](const DialogState::Rule& r) {
            const bool matches = r.templateId == 0 || (!d.info.propertySheet && r.templateId == d.info.templateId);
            return matches && (!r.answer || HasAnswer(d, *r.answer));
        });
        if (rule != rules.end()) {
            if (rule->answer) d.pending.push_back(ActionForAnswer(d, *rule->answer));
            for (const auto& a : rule->actions) d.pending.push_back(a);
            rules.erase(rule);
        }

        bool aborted = false;
        while (!d.ending) {
            if (!d.pending.empty()) {
                const Machine::DialogAction a = d.pending.front();
                d.pending.pop_front();
                ActLocked(lk, d, a);
                continue;
            }
            const std::uint64_t now = Machine::Facets::NowLocked(m_);
            std::uint64_t due = UINT64_MAX;
            std::uintptr_t timer = 0;
            for (const auto& [id, t] : d.timers) {
                if (t.due < due) {
                    due = t.due;
                    timer = id;
                }
            }
            if (due <= now) {
                d.timers[timer].due = now + d.timers[timer].period;
                SendLocked(lk, d, plat::WM_TIMER, timer, 0);
                continue;
            }
            Dialog* self = &d;
            Machine* m = &m_;
            const bool woken = Machine::Facets::ModalWaitLocked(
                m_, lk,
                [self, m, due] {
                    return self->ending || !self->pending.empty() || Machine::Facets::NowLocked(*m) >= due;
                },
                due);
            if (!woken) {
                aborted = true;
                break;
            }
        }
        d.timers.clear();
        d.pending.clear();
        if (aborted) {
            d.result = plat::IDCANCEL;
            Machine::Facets::NoteLocked(m_, tag + " " + Name(d.info) + " closed unanswered");
        } else {
            Machine::Facets::NoteLocked(m_, tag + " " + Name(d.info) + " ends with " + std::to_string(d.result));
        }
        d.info.answer = d.result;
        return d.result;
    }

    Machine& m_;
    std::uint32_t pid_;
    const trvres::Table* resources_;
};

}  // namespace

std::unique_ptr<plat::Dialogs> MakeDialogsFacet(Machine& machine, std::uint32_t pid, const trvres::Table* resources) {
    return std::make_unique<DialogsFacet>(machine, pid, resources);
}

// ---- the test's side ---------------------------------------------------------
const Machine::ControlInfo* Machine::DialogInfo::Control(int control) const {
    for (const auto& c : controls)
        if (c.id == control) return &c;
    return nullptr;
}

Machine::DialogAction Machine::DialogAction::Type(int control, std::string text) {
    DialogAction a;
    a.kind = Kind::Type;
    a.control = control;
    a.text = std::move(text);
    return a;
}
Machine::DialogAction Machine::DialogAction::Check(int control, bool checked) {
    DialogAction a;
    a.kind = Kind::Check;
    a.control = control;
    a.checked = checked;
    return a;
}
Machine::DialogAction Machine::DialogAction::Press(int control) {
    DialogAction a;
    a.kind = Kind::Press;
    a.control = control;
    return a;
}
Machine::DialogAction Machine::DialogAction::Close() {
    DialogAction a;
    a.kind = Kind::Close;
    return a;
}
Machine::DialogAction Machine::DialogAction::Escape() {
    DialogAction a;
    a.kind = Kind::Escape;
    return a;
}

void Machine::QueueDialogAnswer(std::uint32_t templateId, int answer) {
    std::lock_guard<std::mutex> lk(mu_);
    DialogState::Rule r;
    r.templateId = templateId;
    r.answer = answer;
    dialogState_->rules.push_back(std::move(r));
}

void Machine::QueueDialogActions(std::uint32_t templateId, std::vector<DialogAction> actions) {
    std::lock_guard<std::mutex> lk(mu_);
    DialogState::Rule r;
    r.templateId = templateId;
    r.actions = std::move(actions);
    dialogState_->rules.push_back(std::move(r));
}

std::vector<Machine::DialogInfo> Machine::OpenDialogs() {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<DialogInfo> out;
    for (auto& d : dialogState_->dialogs)
        if (!d->info.answer) out.push_back(Snapshot(*d));
    return out;
}

bool Machine::AnswerDialog(std::uint32_t id, int answer) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& d : dialogState_->dialogs) {
        if (d->info.id != id || d->info.answer) continue;
        if (!HasAnswer(*d, answer)) return false;
        d->pending.push_back(ActionForAnswer(*d, answer));
        ScheduleLocked();
        return true;
    }
    return false;
}

bool Machine::ActOnDialog(std::uint32_t id, DialogAction action) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& d : dialogState_->dialogs) {
        if (d->info.id != id || d->info.answer) continue;
        d->pending.push_back(std::move(action));
        ScheduleLocked();
        return true;
    }
    return false;
}

std::vector<Machine::DialogInfo> Machine::DialogsShown() {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<DialogInfo> out;
    for (auto& d : dialogState_->dialogs) out.push_back(Snapshot(*d));
    return out;
}

void Machine::SetDesktopSize(int width, int height) {
    std::lock_guard<std::mutex> lk(mu_);
    desktopWidth_ = width;
    desktopHeight_ = height;
}

}  // namespace sim
