// What the facet implementations in their own files may use of the machine:
// its lock, transcript, handles, the modal wait and the scripted user's state.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "sim/machine.h"

namespace sim {

class Machine::Facets {
public:
    static std::mutex& Mutex(Machine& m) { return m.mu_; }
    static void NoteLocked(Machine& m, const std::string& line) { m.NoteLocked(line); }
    static std::string TagLocked(Machine& m, std::uint32_t pid) { return m.Tag(pid); }
    static std::uint32_t NewHandleLocked(Machine& m) { return m.NewHandleLocked(); }
    // Lets the scheduler look at blocked threads again (their wait may be over).
    static void WakeLocked(Machine& m) { m.ScheduleLocked(); }
    static bool ModalWaitLocked(Machine& m, std::unique_lock<std::mutex>& lk, const std::function<bool()>& done,
                                std::uint64_t deadline = UINT64_MAX) {
        return m.ModalWaitLocked(lk, done, deadline);
    }
    static std::uint64_t NowLocked(Machine& m) { return m.now_; }
    static plat::Rect DesktopLocked(Machine& m) { return {0, 0, m.desktopWidth_, m.desktopHeight_}; }
    // The resource number a bitmap handle was loaded from, 0 if none.
    static std::uint32_t BitmapResourceLocked(Machine& m, plat::Hbitmap bitmap) {
        auto it = m.bitmaps_.find(plat::Raw(bitmap));
        return it == m.bitmaps_.end() ? 0 : it->second.id;
    }
    static bool PostLocked(Machine& m, plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam,
                           std::intptr_t lParam) {
        return m.PostLocked(m.FindWindowLocked(hwnd), message, wParam, lParam, nullptr);
    }
    static MenuState& Menus(Machine& m) { return *m.menus_; }
    static BoxState& Boxes(Machine& m) { return *m.boxes_; }
    static DialogState& DialogsOf(Machine& m) { return *m.dialogState_; }
};

}  // namespace sim
