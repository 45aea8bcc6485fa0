// The simulated machine's run-time libraries: which libraries can be loaded
// and which entries they have, the modules each process holds, the
// session-notification service behind "wtsapi32.dll", and property-page
// providers behind an "EnumPropPages" entry.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/libraries.h"

namespace sim {

inline constexpr char kSessionLibrary[] = "wtsapi32.dll";
inline constexpr char kRegisterSessionEntry[] = "WTSRegisterSessionNotification";
inline constexpr char kUnregisterSessionEntry[] = "WTSUnRegisterSessionNotification";
inline constexpr char kPageProviderLibrary[] = "TRVPAGE32.DLL";
inline constexpr char kPageProviderEntry[] = "EnumPropPages";

class LibraryTable {
public:
    // Starts with "wtsapi32.dll" and its two session-notification entries.
    LibraryTable();

    // ---- for tests and the simulator -------------------------------------------
    // A library that is not present cannot be loaded (as on Windows 2000
    // without terminal services, or a damaged system).
    void SetLibraryPresent(const std::string& name, bool present);
    void SetEntryPresent(const std::string& library, const std::string& entry, bool present);
    // The next `count` session registrations return false.
    void FailSessionRegistrations(int count);
    // What a property-page provider's "EnumPropPages" does when it is called:
    // it offers its pages in order (a page without a title is a null page
    // handle), stops at the first one refused, and returns `result`.
    struct PageProvider {
        std::vector<std::optional<std::string>> pages;
        bool result = true;
    };
    // Makes `library` present with the entry "EnumPropPages" behaving so.
    void SetPageProvider(const std::string& library, PageProvider provider);
    // One call of a provider's entry, as the provider saw it.
    struct PageRequestSeen {
        std::uint32_t pid = 0;
        std::uint32_t pageRequested = 0;
        std::string devicePath;  // the interface of the element it was given; empty if none
        int offered = 0;         // pages handed to the callback
        int accepted = 0;        // ... that it took
        bool result = false;
    };
    std::vector<PageRequestSeen> PageRequests();
    // The title of a page a provider made; nullopt for a handle it did not make.
    std::optional<std::string> PageTitle(plat::Hpropsheetpage page);
    // How a provider learns the device behind a set and element (the
    // machine's device store answers).
    void SetElementDescriber(std::function<std::string(plat::Hdevinfo, std::uint32_t)> describe);
    struct Counts {
        int loads = 0;             // successful loads
        int frees = 0;             // successful frees
        int registerCalls = 0;     // calls of the register entry, failed ones included
        int unregisterCalls = 0;
        int badCalls = 0;          // calls through an entry of a library no longer loaded
    };
    Counts CountsOf(std::uint32_t pid);
    // Modules a process has loaded and not freed.
    int ModulesHeld(std::uint32_t pid);
    // Windows registered for session notifications (the machine posts to the
    // live ones).
    struct SessionRegistration {
        plat::Hwnd hwnd;
        std::uint32_t pid;
        std::uint32_t flags;
    };
    std::vector<SessionRegistration> SessionRegistrations();

    // ---- what the facet uses ------------------------------------------------------
    plat::Hmodule Load(std::uint32_t pid, const std::string& name);
    plat::Hproc FindEntry(std::uint32_t pid, plat::Hmodule module, const std::string& entry);
    bool Free(std::uint32_t pid, plat::Hmodule module);
    bool CallRegister(std::uint32_t pid, plat::Hproc entry, plat::Hwnd hwnd, std::uint32_t flags);
    bool CallUnregister(std::uint32_t pid, plat::Hproc entry, plat::Hwnd hwnd);
    bool CallEnumPropPages(std::uint32_t pid, plat::Hproc entry, const plat::PropSheetPageRequest& request,
                           plat::AddPropSheetPageCallback addPage, std::intptr_t context);

private:
    struct Library {
        bool present = true;
        std::set<std::string> entries;  // exact names
        std::optional<PageProvider> pages;
    };
    struct Module {
        std::uint32_t pid;
        std::string library;  // lower-case key
    };
    struct Entry {
        std::uintptr_t module;
        std::string name;
    };
    // The library and entry behind `entry`, when its module is still loaded by `pid`.
    const Entry* LiveEntry(std::uint32_t pid, plat::Hproc entry);

    std::mutex mu_;
    std::map<std::string, Library> libraries_;  // lower-case name
    std::map<std::uintptr_t, Module> modules_;
    std::map<std::uintptr_t, Entry> entries_;
    std::map<std::uint32_t, Counts> counts_;
    std::vector<SessionRegistration> sessions_;
    std::vector<PageRequestSeen> pageRequests_;
    std::map<std::uintptr_t, std::string> pageTitles_;
    std::function<std::string(plat::Hdevinfo, std::uint32_t)> describe_;
    int failRegistrations_ = 0;
    std::uintptr_t next_ = 0x7000;
};

// `setLastError` receives ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND when a
// load or a look-up fails, as the system reports them.
std::unique_ptr<plat::Libraries> MakeLibrariesFacet(LibraryTable& table, std::uint32_t pid,
                                                    std::function<void(std::uint32_t)> setLastError = {});

}  // namespace sim
