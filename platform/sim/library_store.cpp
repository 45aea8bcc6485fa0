#include "sim/library_store.h"

#include <algorithm>
#include <cctype>

namespace sim {

namespace {
std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

LibraryTable::LibraryTable() {
    libraries_[kSessionLibrary] = Library{true, {kRegisterSessionEntry, kUnregisterSessionEntry}, std::nullopt};
}

void LibraryTable::SetLibraryPresent(const std::string& name, bool present) {
    std::lock_guard<std::mutex> lk(mu_);
    libraries_[Lower(name)].present = present;
}

void LibraryTable::SetEntryPresent(const std::string& library, const std::string& entry, bool present) {
    std::lock_guard<std::mutex> lk(mu_);
    auto& lib = libraries_[Lower(library)];
    if (present)
        lib.entries.insert(entry);
    else
        lib.entries.erase(entry);
}

void LibraryTable::SetPageProvider(const std::string& library, PageProvider provider) {
    std::lock_guard<std::mutex> lk(mu_);
    auto& lib = libraries_[Lower(library)];
    lib.present = true;
    lib.entries.insert(kPageProviderEntry);
    lib.pages = std::move(provider);
}

std::vector<LibraryTable::PageRequestSeen> LibraryTable::PageRequests() {
    std::lock_guard<std::mutex> lk(mu_);
    return pageRequests_;
}

std::optional<std::string> LibraryTable::PageTitle(plat::Hpropsheetpage page) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = pageTitles_.find(plat::Raw(page));
    if (it == pageTitles_.end()) return std::nullopt;
    return it->second;
}

void LibraryTable::SetElementDescriber(std::function<std::string(plat::Hdevinfo, std::uint32_t)> describe) {
    std::lock_guard<std::mutex> lk(mu_);
    describe_ = std::move(describe);
}

void LibraryTable::FailSessionRegistrations(int count) {
    std::lock_guard<std::mutex> lk(mu_);
    failRegistrations_ = count;
}

LibraryTable::Counts LibraryTable::CountsOf(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    return counts_[pid];
}

int LibraryTable::ModulesHeld(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    return static_cast<int>(std::count_if(modules_.begin(), modules_.end(),
                                          [&](const auto& m) { return m.second.pid == pid; }));
}

std::vector<LibraryTable::SessionRegistration> LibraryTable::SessionRegistrations() {
    std::lock_guard<std::mutex> lk(mu_);
    return sessions_;
}

plat::Hmodule LibraryTable::Load(std::uint32_t pid, const std::string& name) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = libraries_.find(Lower(name));
    if (it == libraries_.end() || !it->second.present) return plat::Hmodule::None;
    auto h = next_ += 0x10;
    modules_[h] = Module{pid, it->first};
    ++counts_[pid].loads;
    return static_cast<plat::Hmodule>(h);
}

plat::Hproc LibraryTable::FindEntry(std::uint32_t pid, plat::Hmodule module, const std::string& entry) {
    std::lock_guard<std::mutex> lk(mu_);
    auto m = modules_.find(plat::Raw(module));
    if (m == modules_.end() || m->second.pid != pid) return plat::Hproc::None;
    const Library& lib = libraries_[m->second.library];
    if (!lib.entries.count(entry)) return plat::Hproc::None;
    auto h = next_ += 0x10;
    entries_[h] = Entry{plat::Raw(module), entry};
    return static_cast<plat::Hproc>(h);
}

bool LibraryTable::Free(std::uint32_t pid, plat::Hmodule module) {
    std::lock_guard<std::mutex> lk(mu_);
    auto m = modules_.find(plat::Raw(module));
    if (m == modules_.end() || m->second.pid != pid) return false;
    modules_.erase(m);
    ++counts_[pid].frees;
    return true;
}

const LibraryTable::Entry* LibraryTable::LiveEntry(std::uint32_t pid, plat::Hproc entry) {
    auto e = entries_.find(plat::Raw(entry));
    if (e == entries_.end()) return nullptr;
    auto m = modules_.find(e->second.module);
    if (m == modules_.end() || m->second.pid != pid) {
        // On a real system this call would jump into unmapped memory.
        ++counts_[pid].badCalls;
        return nullptr;
    }
    return &e->second;
}

bool LibraryTable::CallRegister(std::uint32_t pid, plat::Hproc entry, plat::Hwnd hwnd, std::uint32_t flags) {
    std::lock_guard<std::mutex> lk(mu_);
    const Entry* e = LiveEntry(pid, entry);
    if (e == nullptr || e->name != kRegisterSessionEntry) return false;
    ++counts_[pid].registerCalls;
    if (failRegistrations_ > 0) {
        --failRegistrations_;
        return false;
    }
    if (hwnd == plat::Hwnd::None) return false;
    auto it = std::find_if(sessions_.begin(), sessions_.end(), [&](const auto& s) { return s.hwnd == hwnd; });
    if (it == sessions_.end())
        sessions_.push_back({hwnd, pid, flags});
    else
        it->flags = flags;
    return true;
}

bool LibraryTable::CallUnregister(std::uint32_t pid, plat::Hproc entry, plat::Hwnd hwnd) {
    std::lock_guard<std::mutex> lk(mu_);
    const Entry* e = LiveEntry(pid, entry);
    if (e == nullptr || e->name != kUnregisterSessionEntry) return false;
    ++counts_[pid].unregisterCalls;
    return std::erase_if(sessions_, [&](const auto& s) { return s.hwnd == hwnd; }) > 0;
}

bool LibraryTable::CallEnumPropPages(std::uint32_t pid, plat::Hproc entry, const plat::PropSheetPageRequest& request,
                                     plat::AddPropSheetPageCallback addPage, std::intptr_t context) {
    std::vector<std::pair<plat::Hpropsheetpage, std::string>> pages;
    std::function<std::string(plat::Hdevinfo, std::uint32_t)> describe;
    bool result = false;
    {
        std::lock_guard<std::mutex> lk(mu_);
        const Entry* e = LiveEntry(pid, entry);
        if (e == nullptr || e->name != kPageProviderEntry) return false;
        const Library& lib = libraries_[modules_[e->module].library];
        if (!lib.pages) return false;
        result = lib.pages->result;
        for (const auto& title : lib.pages->pages) {
            plat::Hpropsheetpage page = plat::Hpropsheetpage::None;
            if (title) {
                const auto h = next_ += 0x10;
                pageTitles_[h] = *title;
                page = static_cast<plat::Hpropsheetpage>(h);
            }
            pages.emplace_back(page, title.value_or(""));
        }
        describe = describe_;
    }
    // The provider runs on the caller's thread and calls back before it returns.
    PageRequestSeen seen;
    seen.pid = pid;
    seen.pageRequested = request.pageRequested;
    if (describe) seen.devicePath = describe(request.set, request.element);
    seen.result = result;
    for (const auto& [page, title] : pages) {
        ++seen.offered;
        if (addPage == nullptr || !addPage(page, context)) break;
        ++seen.accepted;
    }
    std::lock_guard<std::mutex> lk(mu_);
    pageRequests_.push_back(seen);
    return result;
}

namespace {

class LibrariesFacet final : public plat::Libraries {
public:
    LibrariesFacet(LibraryTable& t, std::uint32_t pid, std::function<void(std::uint32_t)> setLastError)
        : t_(t), pid_(pid), setLastError_(std::move(setLastError)) {}
    plat::Hmodule Load(const std::string& name) override {
        plat::Hmodule m = t_.Load(pid_, name);
        if (m == plat::Hmodule::None && setLastError_) setLastError_(kErrorModNotFound);
        return m;
    }
    plat::Hproc FindEntry(plat::Hmodule module, const std::string& entry) override {
        plat::Hproc p = t_.FindEntry(pid_, module, entry);
        if (p == plat::Hproc::None && setLastError_) setLastError_(kErrorProcNotFound);
        return p;
    }
    bool Free(plat::Hmodule module) override { return t_.Free(pid_, module); }
    bool CallRegisterSessionNotification(plat::Hproc entry, plat::Hwnd hwnd, std::uint32_t flags) override {
        return t_.CallRegister(pid_, entry, hwnd, flags);
    }
    bool CallUnregisterSessionNotification(plat::Hproc entry, plat::Hwnd hwnd) override {
        return t_.CallUnregister(pid_, entry, hwnd);
    }
    bool CallEnumPropPages(plat::Hproc entry, const plat::PropSheetPageRequest& request,
                           plat::AddPropSheetPageCallback addPage, std::intptr_t context) override {
        return t_.CallEnumPropPages(pid_, entry, request, addPage, context);
    }

private:
    static constexpr std::uint32_t kErrorModNotFound = 126;
    static constexpr std::uint32_t kErrorProcNotFound = 127;
    LibraryTable& t_;
    std::uint32_t pid_;
    std::function<void(std::uint32_t)> setLastError_;
};

}  // namespace

std::unique_ptr<plat::Libraries> MakeLibrariesFacet(LibraryTable& table, std::uint32_t pid,
                                                    std::function<void(std::uint32_t)> setLastError) {
    return std::make_unique<LibrariesFacet>(table, pid, std::move(setLastError));
}

}  // namespace sim
