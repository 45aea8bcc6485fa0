// The simulated machine's run-time libraries: which libraries can be loaded
// and which entries they have, the modules each process holds, and the
// session-notification service behind "wtsapi32.dll".
#pragma once

#include <cstdint>
#include <map>
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

private:
    struct Library {
        bool present = true;
        std::set<std::string> entries;  // exact names
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
    int failRegistrations_ = 0;
    std::uintptr_t next_ = 0x7000;
};

std::unique_ptr<plat::Libraries> MakeLibrariesFacet(LibraryTable& table, std::uint32_t pid);

}  // namespace sim
