// Scenario commands for drives behind the adapter and the user at the tray icon.
#include <algorithm>

#include "simulator/scenario.h"

namespace trvsim {
namespace {

std::map<std::string, sim::PluggedDevice>& Drives() {
    static std::map<std::string, sim::PluggedDevice> drives;
    return drives;
}

// plug-drive NAME LETTERS [locked PASSWORD] [9x]: a disk with one volume per letter ("-" for none).
TRVSIM_COMMAND("plug-drive", "plug-drive NAME LETTERS|- [locked PASSWORD]  (a disk behind the adapter)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.size() != 2 && a.size() != 4) return false;
                   std::vector<char> letters;
                   if (a[1] != "-")
                       for (char c : a[1])
                           if (c != ',') letters.push_back(c);
                   auto spec = sim::AdapterSpec::Disk(a[0], letters);
                   spec.instanceId = "USB\\VID_0BF6&PID_A001\\" + a[0];
                   if (a.size() == 4 && a[2] == "locked") {
                       spec.drive.userPassword = a[3];
                       spec.drive.maximumLevel = true;
                   }
                   auto d = s.machine.Devices().Plug(spec);
                   Drives()[a[0]] = d;
                   return d.ok();
               });

TRVSIM_COMMAND("unplug-drive", "unplug-drive NAME", [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
    if (a.size() != 1) return false;
    auto it = Drives().find(a[0]);
    if (it == Drives().end()) {
        e = "no drive " + a[0];
        return false;
    }
    return s.machine.Devices().Unplug(it->second.path);
});

TRVSIM_COMMAND("veto", "veto NAME stop|eject|all on|off  (the system refuses to stop the drive)",
               [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
                   if (a.size() != 3) return false;
                   auto it = Drives().find(a[0]);
                   if (it == Drives().end()) {
                       e = "no drive " + a[0];
                       return false;
                   }
                   bool on = a[2] == "on";
                   std::vector<sim::CmRequest> requests;
                   if (a[1] == "stop" || a[1] == "all")
                       requests.insert(requests.end(), {sim::CmRequest::QueryAndRemove, sim::CmRequest::QueryRemove});
                   if (a[1] == "eject" || a[1] == "all")
                       requests.insert(requests.end(), {sim::CmRequest::Eject, sim::CmRequest::Remove});
                   for (auto r : requests) s.machine.Devices().SetVeto(it->second.node, r, on);
                   return !requests.empty();
               });

TRVSIM_COMMAND("click-tray", "click-tray left|right PROGRAM  (the user releases a button on the tray icon)",
               [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
                   if (a.size() != 2) return false;
                   std::uint32_t message = a[0] == "left" ? plat::WM_LBUTTONUP : plat::WM_RBUTTONUP;
                   if (!s.machine.ClickTrayIcon(s.Pid(a[1]), message)) e = "no tray icon";
                   return e.empty();
               });

TRVSIM_COMMAND("menu-answer", "menu-answer nothing | menu-answer ITEM [SUB-ITEM]  (the user's choice in the next menu)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.empty()) return false;
                   if (a.size() == 1 && a[0] == "nothing")
                       s.machine.QueueMenuAnswer(sim::Machine::MenuAnswer::Nothing());
                   else
                       s.machine.QueueMenuAnswer(sim::Machine::MenuAnswer::Item(a));
                   return true;
               });

}  // namespace
}  // namespace trvsim
