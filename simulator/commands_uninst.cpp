// Scenario commands for the uninstaller and the backup-button launcher: the
// driver installation, the user's account, the file system and registry as
// they look afterwards, the restart, and the backup application.
#include <algorithm>
#include <cstdio>

#include "simulator/scenario.h"
#include "simulator/suite.h"

namespace trvsim {
namespace {

std::string Visible(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\0')
            out += "\\0";
        else
            out += c;
    }
    return out;
}

std::string Hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", v);
    return b;
}

TRVSIM_COMMAND("install-packages", "install-packages [TRVADPT|TRVBRG2|TRVBRG1...]  (the driver installation, for the version set now)",
               [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
                   for (const auto& p : a)
                       if (p != "TRVADPT" && p != "TRVBRG2" && p != "TRVBRG1") {
                           e = "no package \"" + p + "\"";
                           return false;
                       }
                   PlaceSuiteFiles(s.machine);
                   InstallDriverPackages(s.machine, a);
                   std::string what = a.empty() ? std::string("all three packages") : std::string();
                   for (const auto& p : a) what += (what.empty() ? "" : " ") + p;
                   s.out << "  = installed " << what << " for Windows " << s.machine.Version().major << "." << s.machine.Version().minor << "\n";
                   return true;
               });

TRVSIM_COMMAND("account", "account administrator|user|deny-only  (the groups of the logged-on user)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.size() != 1) return false;
                   if (a[0] == "administrator")
                       s.machine.Account().SetGroups(sim::TokenStore::AdministratorGroups());
                   else if (a[0] == "user")
                       s.machine.Account().SetGroups(sim::TokenStore::UserGroups());
                   else if (a[0] == "deny-only")
                       s.machine.Account().SetGroups(sim::TokenStore::DenyOnlyAdministratorGroups());
                   else
                       return false;
                   return true;
               });

TRVSIM_COMMAND("dialog-answers", "dialog-answers TEMPLATE ok|cancel  (the user's answer to the next such dialog)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.size() != 2 || (a[1] != "ok" && a[1] != "cancel")) return false;
                   s.machine.QueueDialogAnswer(ParseNumber(a[0]), a[1] == "ok" ? plat::IDOK : plat::IDCANCEL);
                   return true;
               });

TRVSIM_COMMAND("register-backup", "register-backup APPLICATION [PARAMETER]  (the backup application's button registration)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.empty() || a.size() > 2) return false;
                   RegisterBackupApplication(s.machine, a[0], a.size() == 2 ? a[1] : std::string());
                   return true;
               });

TRVSIM_COMMAND("file", "file PATH [TEXT]  (creates the file, or replaces its text)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.empty() || a.size() > 2) return false;
                   s.machine.Files().AddFile(a[0], a.size() == 2 ? a[1] : std::string());
                   return true;
               });

TRVSIM_COMMAND("in-use", "in-use PATH on|off  (another program holds the file open)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.size() != 2) return false;
                   s.machine.Files().SetInUse(a[0], a[1] == "on");
                   return true;
               });

TRVSIM_COMMAND("restart", "restart  (the system starts again: deletions marked for the restart and WININIT.INI are carried out)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (!a.empty()) return false;
                   auto done = s.machine.Files().CarryOutRestart();
                   if (done.empty()) s.out << "  = nothing to do at the restart\n";
                   for (auto& l : done) s.out << "  = " << l << "\n";
                   return true;
               });

TRVSIM_COMMAND("list", "list files FOLDER | list text PATH | list marked | list devices | list keys KEY | list restart-requests",
               [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
                   if (a.empty()) return false;
                   if (a[0] == "files" && a.size() == 2) {
                       auto files = s.machine.Files().FilesIn(a[1]);
                       if (files.empty()) s.out << "  = no files in " << a[1] << "\n";
                       for (auto& f : files) s.out << "  = " << f << "\n";
                   } else if (a[0] == "text" && a.size() == 2) {
                       auto text = s.machine.Files().Content(a[1]);
                       if (!text) {
                           e = "no file " + a[1];
                           return false;
                       }
                       s.out << "  = \"" << Visible(*text) << "\"\n";
                   } else if (a[0] == "marked" && a.size() == 1) {
                       auto marked = s.machine.Files().PendingDeletions();
                       if (marked.empty()) s.out << "  = nothing marked for deletion at the restart\n";
                       for (auto& f : marked) s.out << "  = marked: " << f << "\n";
                   } else if (a[0] == "devices" && a.size() == 1) {
                       auto ids = s.machine.SetupDevices().DeviceIds();
                       if (ids.empty()) s.out << "  = no devices\n";
                       for (auto& id : ids) s.out << "  = device " << id << "\n";
                   } else if (a[0] == "keys" && a.size() == 2) {
                       if (!s.machine.Registry().KeyExists(a[1])) {
                           s.out << "  = no key " << a[1] << "\n";
                       } else {
                           for (auto& k : s.machine.Registry().SubkeyNames(a[1])) s.out << "  = " << a[1] << "\\" << k << "\n";
                       }
                   } else if (a[0] == "restart-requests" && a.size() == 1) {
                       auto requests = s.machine.Account().ShutdownRequests();
                       if (requests.empty()) s.out << "  = no restart was asked for\n";
                       for (auto& r : requests)
                           s.out << "  = " << s.machine.ExeOf(r.pid) << " asked: flags " << Hex(r.flags) << ", reason "
                                 << Hex(r.reason) << (r.accepted ? ", accepted" : ", refused") << "\n";
                   } else {
                       return false;
                   }
                   return true;
               });

TRVSIM_COMMAND("expect-file", "expect-file present|absent|marked PATH",
               [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
                   if (a.size() != 2) return false;
                   bool ok = false;
                   if (a[0] == "present" || a[0] == "absent") {
                       ok = s.machine.Files().Exists(a[1]) == (a[0] == "present");
                   } else if (a[0] == "marked") {
                       auto m = s.machine.Files().PendingDeletions();
                       ok = std::any_of(m.begin(), m.end(), [&](const std::string& p) { return sim::PathKey(p) == sim::PathKey(a[1]); });
                   } else {
                       return false;
                   }
                   if (!ok) e = "expectation not met";
                   s.out << "  " << (ok ? "ok" : "NOT MET") << ": expect-file " << a[0] << " " << a[1] << "\n";
                   return ok;
               });

TRVSIM_COMMAND("expect-key", "expect-key present|absent KEY  (under HKEY_LOCAL_MACHINE)",
               [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
                   if (a.size() != 2 || (a[0] != "present" && a[0] != "absent")) return false;
                   bool ok = s.machine.Registry().KeyExists(a[1]) == (a[0] == "present");
                   if (!ok) e = "expectation not met";
                   s.out << "  " << (ok ? "ok" : "NOT MET") << ": expect-key " << a[0] << " " << a[1] << "\n";
                   return ok;
               });

TRVSIM_COMMAND("expect-restart", "expect-restart requested|none",
               [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
                   if (a.size() != 1 || (a[0] != "requested" && a[0] != "none")) return false;
                   bool ok = s.machine.Account().ShutdownRequests().empty() == (a[0] == "none");
                   if (!ok) e = "expectation not met";
                   s.out << "  " << (ok ? "ok" : "NOT MET") << ": expect-restart " << a[0] << "\n";
                   return ok;
               });

}  // namespace
}  // namespace trvsim
