#include "sim/menus.h"

#include <algorithm>
#include <cstdio>

#include "sim/machine_facets.h"

namespace sim {

using MenuAnswer = Machine::MenuAnswer;
using MenuItemInfo = Machine::MenuItemInfo;

MenuAnswer MenuAnswer::Item(std::vector<std::string> path) {
    MenuAnswer a;
    a.path = std::move(path);
    return a;
}
MenuAnswer MenuAnswer::Command(std::uint32_t command) {
    MenuAnswer a;
    a.command = command;
    return a;
}
MenuAnswer MenuAnswer::Nothing() { return MenuAnswer{}; }

namespace {

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out + "\"";
}

std::vector<MenuItemInfo> DescribeLocked(Machine& m, MenuState& st, plat::Hmenu menu, int depth) {
    std::vector<MenuItemInfo> out;
    auto it = st.menus.find(plat::Raw(menu));
    if (it == st.menus.end() || !it->second.alive || depth > 8) return out;
    for (const plat::MenuItem& item : it->second.items) {
        MenuItemInfo info;
        info.text = item.text;
        info.id = item.id;
        info.greyed = (item.state & plat::MFS_GRAYED) != 0;
        info.separator = item.separator;
        info.bitmapResource = plat::IsSet(item.bitmap) ? Machine::Facets::BitmapResourceLocked(m, item.bitmap) : 0;
        if (plat::IsSet(item.subMenu)) {
            info.opensSubMenu = true;
            info.sub = DescribeLocked(m, st, item.subMenu, depth + 1);
        }
        out.push_back(std::move(info));
    }
    return out;
}

void PrintLocked(Machine& m, const std::string& tag, const std::vector<MenuItemInfo>& items, int indent) {
    for (const MenuItemInfo& i : items) {
        std::string line = tag + std::string(static_cast<std::size_t>(indent), ' ');
        if (i.separator) {
            line += "----";
        } else {
            line += Quote(i.text);
            if (!i.opensSubMenu) line += " #" + std::to_string(i.id);
            if (i.greyed) line += " greyed";
            if (i.bitmapResource) line += " bitmap " + std::to_string(i.bitmapResource);
            if (i.opensSubMenu) line += " >";
        }
        Machine::Facets::NoteLocked(m, line);
        if (i.opensSubMenu) PrintLocked(m, tag, i.sub, indent + 2);
    }
}

const MenuItemInfo* FindCommand(const std::vector<MenuItemInfo>& items, std::uint32_t command) {
    for (const MenuItemInfo& i : items) {
        if (i.opensSubMenu) {
            if (i.greyed) continue;
            if (const MenuItemInfo* found = FindCommand(i.sub, command)) return found;
        } else if (!i.separator && i.id == command) {
            return &i;
        }
    }
    return nullptr;
}

// What the answer chooses: a command number, 0 for nothing. Notes the user's act.
std::uint32_t ChooseLocked(Machine& m, const std::vector<MenuItemInfo>& items, const MenuAnswer& a) {
    std::uint32_t result = 0;
    std::string said;
    if (!a.path.empty()) {
        const std::vector<MenuItemInfo>* level = &items;
        std::string walked;
        for (std::size_t k = 0; k < a.path.size(); ++k) {
            auto it = std::find_if(level->begin(), level->end(),
                                   [&](const MenuItemInfo& i) { return !i.separator && i.text == a.path[k]; });
            walked += (k ? " > " : "") + Quote(a.path[k]);
            if (it == level->end()) {
                said = "looks for " + walked + ", which is not there: nothing chosen";
                break;
            }
            const bool last = k + 1 == a.path.size();
            if (it->greyed) {
                said = "clicks " + walked + ", which is greyed: nothing chosen";
                break;
            }
            if (last) {
                if (it->opensSubMenu) {
                    said = "opens " + walked + " and leaves: nothing chosen";
                } else {
                    result = it->id;
                    said = "chooses " + walked + " (command " + std::to_string(result) + ")";
                }
                break;
            }
            if (!it->opensSubMenu) {
                said = "looks for a sub-menu under " + walked + ": nothing chosen";
                break;
            }
            level = &it->sub;
        }
    } else if (a.command != 0) {
        const MenuItemInfo* i = FindCommand(items, a.command);
        if (i == nullptr) {
            said = "looks for command " + std::to_string(a.command) + ", which is not there: nothing chosen";
        } else if (i->greyed) {
            said = "clicks " + Quote(i->text) + ", which is greyed: nothing chosen";
        } else {
            result = i->id;
            said = "chooses " + Quote(i->text) + " (command " + std::to_string(result) + ")";
        }
    } else {
        said = "closes the menu without choosing";
    }
    Machine::Facets::NoteLocked(m, "[user] " + said);
    return result;
}

class MenusFacet final : public plat::Menus {
public:
    MenusFacet(Machine& m, std::uint32_t pid) : m_(m), pid_(pid) {}

    plat::Hmenu CreatePopup() override {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        auto h = Machine::Facets::NewHandleLocked(m_);
        Machine::Facets::Menus(m_).menus[h] = MenuState::Menu{pid_, true, {}};
        return static_cast<plat::Hmenu>(h);
    }

    bool InsertItem(plat::Hmenu menu, std::uint32_t position, const plat::MenuItem& item) override {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        MenuState::Menu* target = Own(menu);
        if (target == nullptr) return false;
        if (plat::IsSet(item.subMenu) && (Own(item.subMenu) == nullptr || item.subMenu == menu)) return false;
        auto& items = target->items;
        const std::size_t at = std::min<std::size_t>(position, items.size());
        items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), item);
        return true;
    }

    std::uint32_t TrackPopup(plat::Hmenu menu, std::uint32_t flags, plat::Point at, plat::Hwnd owner) override {
        std::unique_lock<std::mutex> lk(Machine::Facets::Mutex(m_));
        MenuState& st = Machine::Facets::Menus(m_);
        MenuState::Menu* shown = Own(menu);
        if (shown == nullptr) return 0;
        const std::string tag = Machine::Facets::TagLocked(m_, pid_);
        if (shown->items.empty()) {
            Machine::Facets::NoteLocked(m_, tag + " popup menu with no items: nothing shown");
            return 0;
        }
        Machine::ShownMenu record;
        record.id = st.nextId++;
        record.pid = pid_;
        record.items = DescribeLocked(m_, st, menu, 0);
        Machine::Facets::NoteLocked(m_, tag + " popup menu at (" + std::to_string(at.x) + "," + std::to_string(at.y) + "):");
        PrintLocked(m_, tag + " ", record.items, 1);
        const std::size_t index = st.shown.size();
        st.shown.push_back(record);

        std::uint32_t result = 0;
        if (!st.queued.empty()) {
            MenuAnswer a = st.queued.front();
            st.queued.pop_front();
            result = ChooseLocked(m_, record.items, a);
        } else {
            MenuState::Open open{record.id, pid_, menu, std::nullopt};
            st.open.push_back(&open);
            bool answered = Machine::Facets::ModalWaitLocked(m_, lk, [&open] { return open.result.has_value(); });
            std::erase(st.open, &open);
            if (answered) {
                result = *open.result;
            } else {
                Machine::Facets::NoteLocked(m_, tag + " popup menu closed unanswered");
            }
        }
        st.shown[index].chosen = result;
        if (!(flags & plat::TPM_RETURNCMD)) {
            if (result != 0) Machine::Facets::PostLocked(m_, owner, 0x0111 /* WM_COMMAND */, result, 0);
            return result != 0 ? 1 : 0;
        }
        return result;
    }

    bool Destroy(plat::Hmenu menu) override {
        std::lock_guard<std::mutex> lk(Machine::Facets::Mutex(m_));
        if (Own(menu) == nullptr) return false;
        DestroyLocked(menu, 0);
        return true;
    }

private:
    MenuState::Menu* Own(plat::Hmenu menu) {
        auto& menus = Machine::Facets::Menus(m_).menus;
        auto it = menus.find(plat::Raw(menu));
        if (it == menus.end() || !it->second.alive || it->second.pid != pid_) return nullptr;
        return &it->second;
    }
    void DestroyLocked(plat::Hmenu menu, int depth) {
        MenuState::Menu* rec = Own(menu);
        if (rec == nullptr || depth > 8) return;  // a sub-menu destroyed before its parent
        rec->alive = false;
        for (const plat::MenuItem& item : rec->items)
            if (plat::IsSet(item.subMenu)) DestroyLocked(item.subMenu, depth + 1);
    }

    Machine& m_;
    std::uint32_t pid_;
};

}  // namespace

std::unique_ptr<plat::Menus> MakeMenusFacet(Machine& machine, std::uint32_t pid) {
    return std::make_unique<MenusFacet>(machine, pid);
}

// ---- the test's side ---------------------------------------------------------
void Machine::QueueMenuAnswer(MenuAnswer answer) {
    std::lock_guard<std::mutex> lk(mu_);
    menus_->queued.push_back(std::move(answer));
}

std::vector<Machine::ShownMenu> Machine::OpenMenus() {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<ShownMenu> out;
    for (MenuState::Open* o : menus_->open)
        for (auto& s : menus_->shown)
            if (s.id == o->id) out.push_back(s);
    return out;
}

bool Machine::AnswerMenu(std::uint32_t id, const MenuAnswer& answer) {
    std::lock_guard<std::mutex> lk(mu_);
    for (MenuState::Open* o : menus_->open) {
        if (o->id != id || o->result) continue;
        for (auto& s : menus_->shown)
            if (s.id == id) o->result = ChooseLocked(*this, s.items, answer);
        ScheduleLocked();
        return true;
    }
    return false;
}

std::vector<Machine::ShownMenu> Machine::MenusShown() {
    std::lock_guard<std::mutex> lk(mu_);
    return menus_->shown;
}

std::size_t Machine::LiveMenus(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    std::size_t n = 0;
    for (auto& [h, menu] : menus_->menus) n += menu.alive && menu.pid == pid;
    return n;
}

}  // namespace sim
