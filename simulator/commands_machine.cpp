// Scenario commands about the machine, its programs and the system's messages.
#include <algorithm>

#include "common/device_event.h"
#include "common/guid.h"
#include "simulator/scenario.h"

namespace trvsim {
namespace {

std::string Join(const std::vector<std::string>& words, std::size_t from) {
    std::string s;
    for (std::size_t i = from; i < words.size(); ++i) s += (i > from ? " " : "") + words[i];
    return s;
}

TRVSIM_COMMAND("start", "start [as NAME] COMMAND LINE...", [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
    std::size_t from = 0;
    std::string name;
    if (a.size() >= 3 && a[0] == "as") {
        name = a[1];
        from = 2;
    }
    if (a.size() <= from) return false;
    auto pid = s.machine.StartProcess(Join(a, from));
    if (pid == 0) e = "no such program";
    if (!name.empty()) s.names[name] = pid;
    return pid != 0;
});

TRVSIM_COMMAND("version", "version MAJOR MINOR nt|9x", [](Scenario& s, const std::vector<std::string>& a, std::string&) {
    if (a.size() != 3) return false;
    s.machine.SetVersion({ParseNumber(a[0]), ParseNumber(a[1]), 0, a[2] == "nt"});
    return true;
});

TRVSIM_COMMAND("locale", "locale LCID", [](Scenario& s, const std::vector<std::string>& a, std::string&) {
    if (a.size() != 1) return false;
    s.machine.SetDefaultLcid(ParseNumber(a[0]));
    return true;
});

TRVSIM_COMMAND("shell", "shell on|off  (whether the notification area accepts icons)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.size() != 1) return false;
                   s.machine.SetShellAvailable(a[0] == "on");
                   return true;
               });

TRVSIM_COMMAND("trace", "trace on|off  (show diagnostic trace lines)", [](Scenario& s, const std::vector<std::string>& a, std::string&) {
    if (a.size() != 1) return false;
    s.machine.SetTraceInTranscript(a[0] == "on");
    return true;
});

TRVSIM_COMMAND("driver-trace", "driver-trace on|off  (show each pass-through request)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.size() != 1) return false;
                   s.machine.SetDriverTrace(a[0] == "on");
                   return true;
               });

TRVSIM_COMMAND("advance", "advance MILLISECONDS", [](Scenario& s, const std::vector<std::string>& a, std::string&) {
    if (a.size() != 1) return false;
    s.machine.AdvanceTime(ParseNumber(a[0]));
    return true;
});

TRVSIM_COMMAND("post", "post WINDOW-TITLE MESSAGE [WPARAM LPARAM]  (as another program would)",
               [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
                   if (a.size() != 2 && a.size() != 4) return false;
                   for (auto& w : s.machine.TopLevelWindows()) {
                       if (w.title != a[0]) continue;
                       s.machine.PostFromOutside(w.hwnd, ParseNumber(a[1]), a.size() == 4 ? ParseNumber(a[2]) : 0,
                                                 a.size() == 4 ? static_cast<std::intptr_t>(ParseNumber(a[3])) : 0);
                       return true;
                   }
                   e = "no window titled \"" + a[0] + "\"";
                   return false;
               });

TRVSIM_COMMAND("broadcast-event", "broadcast-event restart|refresh|eject|NUMBER PATH [ACTION]  (a \"TRV\\Event\" from another program)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.size() != 2 && a.size() != 3) return false;
                   trv::DeviceEventRecord r;
                   r.eventType = a[0] == "restart"   ? trv::ZelDeviceRestart
                                 : a[0] == "refresh" ? trv::ZelDeviceRefresh
                                 : a[0] == "eject"   ? trv::ZelDeviceEject
                                                     : ParseNumber(a[0]);
                   r.interfaceClass = trv::AdapterInterfaceGuid;
                   r.devicePath = a[1];
                   if (a.size() == 3) r.actionCode = static_cast<std::uint8_t>(ParseNumber(a[2]));
                   s.machine.BroadcastFromOutside(plat::WM_DEVICECHANGE, plat::DBT_USERDEFINED,
                                                  trv::EncodeEventBroadcast(trv::EncodeEventRecord(r)));
                   return true;
               });

TRVSIM_COMMAND("devnodes-changed", "devnodes-changed  (DBT_DEVNODES_CHANGED to every window)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (!a.empty()) return false;
                   s.machine.DeviceChangeToAll(plat::DBT_DEVNODES_CHANGED);
                   return true;
               });

TRVSIM_COMMAND("power", "power suspend|resume|resume-automatic", [](Scenario& s, const std::vector<std::string>& a, std::string&) {
    if (a.size() != 1) return false;
    if (a[0] == "suspend") {
        s.machine.PowerBroadcast(plat::PBT_APMSUSPEND);
    } else if (a[0] == "resume") {
        s.machine.PowerBroadcast(plat::PBT_APMRESUMESUSPEND);
    } else if (a[0] == "resume-automatic") {
        s.machine.PowerBroadcast(plat::PBT_APMRESUMEAUTOMATIC);
    } else {
        return false;
    }
    return true;
});

TRVSIM_COMMAND("show", "show windows|processes|tray|trace NAME", [](Scenario& s, const std::vector<std::string>& a, std::string&) {
    if (a.empty()) return false;
    if (a[0] == "windows") {
        for (auto& w : s.machine.TopLevelWindows())
            s.out << "  = window \"" << w.title << "\" of " << s.machine.ExeOf(w.pid) << " #" << w.pid
                  << (w.visible ? ", visible" : ", hidden") << "\n";
    } else if (a[0] == "processes") {
        for (auto pid : s.machine.RunningProcesses("")) s.out << "  = running " << s.machine.ExeOf(pid) << " #" << pid << "\n";
    } else if (a[0] == "tray") {
        auto icons = s.machine.TrayIcons();
        if (icons.empty()) s.out << "  = no icon in the notification area\n";
        for (auto& t : icons)
            s.out << "  = tray icon of " << s.machine.ExeOf(t.pid) << ": icon " << t.iconResource << ", tooltip \""
                  << t.tip << "\"\n";
    } else if (a[0] == "trace" && a.size() == 2) {
        for (auto& l : s.machine.TraceLines(s.Pid(a[1]))) s.out << "  = " << l << "\n";
    } else {
        return false;
    }
    return true;
});

// Checks, so that a scenario also says what it expects.
TRVSIM_COMMAND("expect", "expect running|ended NAME | expect tray-icons N | expect exit NAME CODE | expect window TITLE | expect no-window TITLE",
               [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
                   if (a.size() < 2) return false;
                   bool ok = false;
                   if (a[0] == "running" || a[0] == "ended") {
                       bool running = s.machine.IsRunning(s.Pid(a[1]));
                       ok = (a[0] == "running") == running;
                   } else if (a[0] == "tray-icons") {
                       ok = s.machine.TrayIcons().size() == ParseNumber(a[1]);
                   } else if (a[0] == "exit" && a.size() == 3) {
                       auto code = s.machine.ExitCodeOf(s.Pid(a[1]));
                       ok = code && static_cast<std::uint32_t>(*code) == ParseNumber(a[2]);
                   } else if (a[0] == "window" || a[0] == "no-window") {
                       auto w = s.machine.TopLevelWindows();
                       bool found = std::any_of(w.begin(), w.end(), [&](auto& x) { return x.title == a[1]; });
                       ok = (a[0] == "window") == found;
                   } else {
                       return false;
                   }
                   if (!ok) e = "expectation not met";
                   s.out << "  " << (ok ? "ok" : "NOT MET") << ": expect " << Join(a, 0) << "\n";
                   return ok;
               });

}  // namespace
}  // namespace trvsim
