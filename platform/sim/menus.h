// The simulated popup menus: each process's menus, and the scripted user
// who answers them.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "platform/menus.h"
#include "sim/machine.h"

namespace sim {

struct MenuState {
    struct Menu {
        std::uint32_t pid = 0;
        bool alive = true;
        std::vector<plat::MenuItem> items;
    };
    struct Open {
        std::uint32_t id = 0;
        std::uint32_t pid = 0;
        plat::Hmenu menu{};
        std::optional<std::uint32_t> result;
    };
    std::map<std::uintptr_t, Menu> menus;  // by handle
    std::deque<Machine::MenuAnswer> queued;
    std::vector<Open*> open;  // menus being shown, waiting for the user
    std::vector<Machine::ShownMenu> shown;
    std::uint32_t nextId = 1;
};

std::unique_ptr<plat::Menus> MakeMenusFacet(Machine& machine, std::uint32_t pid);

}  // namespace sim
