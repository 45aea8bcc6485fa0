// Scenario commands for the watcher's world: adapters plugged in with the
// values their driver installation writes, events queued in their drivers,
// and the console connecting to and leaving the session.
#include <map>
#include <utility>

#include "common/adapter_driver.h"
#include "common/device_event.h"
#include "common/guid.h"
#include "sim/device_store.h"
#include "simulator/scenario.h"

namespace trvsim {
namespace {

// Adapters by the name a scenario gave them, per machine.
std::map<std::pair<const sim::Machine*, std::string>, std::string>& AdapterPaths() {
    static std::map<std::pair<const sim::Machine*, std::string>, std::string> paths;
    return paths;
}

bool PathOf(Scenario& s, const std::string& name, std::string& path, std::string& e) {
    auto it = AdapterPaths().find({&s.machine, name});
    if (it == AdapterPaths().end()) {
        e = "no adapter named \"" + name + "\"";
        return false;
    }
    path = it->second;
    return true;
}

bool PlugAdapter(Scenario& s, const std::vector<std::string>& a, std::string& e) {
    if (a.empty()) return false;
    sim::AdapterSpec spec;
    spec.instanceId = "USB\\VID_0BF6&PID_A001\\" + a[0];
    for (std::size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "events") {
            spec.words.features |= trv::ADAPTER_FEATURE_EVENTS;
            continue;
        }
        auto eq = a[i].find('=');
        if (eq == std::string::npos) return false;
        const std::string name = a[i].substr(0, eq), text = a[i].substr(eq + 1);
        if (name == "ALTimer") {
            std::uint32_t v = ParseNumber(text);
            spec.values.push_back({name, plat::REG_DWORD,
                                   {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                    static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}});
        } else {
            std::vector<std::uint8_t> data(text.begin(), text.end());
            data.push_back(0);
            spec.values.push_back({name, plat::REG_SZ, data});
        }
    }
    sim::PluggedDevice d = s.machine.Devices().Plug(spec);
    if (!d.ok()) {
        e = "the adapter is already plugged in";
        return false;
    }
    AdapterPaths()[{&s.machine, a[0]}] = d.path;
    return true;
}

TRVSIM_COMMAND("plug-adapter",
               "plug-adapter NAME [events] [VALUE=TEXT]...  (ALTimer=N is a number; AutoLoader=..., 1f=... are texts)",
               PlugAdapter);

TRVSIM_COMMAND("unplug-adapter", "unplug-adapter NAME", [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
    std::string path;
    if (a.size() != 1 || !PathOf(s, a[0], path, e)) return false;
    return s.machine.Devices().Unplug(path);
});

TRVSIM_COMMAND("queue-event",
               "queue-event NAME restart|refresh|eject|NUMBER [ACTION [SIZE]]  (an event waiting in the adapter's driver)",
               [](Scenario& s, const std::vector<std::string>& a, std::string& e) {
                   std::string path;
                   if (a.size() < 2 || a.size() > 4 || !PathOf(s, a[0], path, e)) return false;
                   trv::DeviceEventRecord r;
                   r.eventType = a[1] == "restart"   ? trv::ZelDeviceRestart
                                 : a[1] == "refresh" ? trv::ZelDeviceRefresh
                                 : a[1] == "eject"   ? trv::ZelDeviceEject
                                                     : ParseNumber(a[1]);
                   r.interfaceClass = trv::AdapterInterfaceGuid;
                   r.devicePath = "\\Device\\TrvAdapter";
                   if (a.size() >= 3) r.actionCode = static_cast<std::uint8_t>(ParseNumber(a[2]));
                   auto image = trv::EncodeEventRecord(r);
                   std::vector<std::uint8_t> block(image.begin(), image.end());
                   if (a.size() == 4) block.resize(ParseNumber(a[3]), 0);
                   s.machine.WithAdapter(path, [&](sim::SimAdapter& ad) { ad.events.push_back(block); });
                   s.machine.Note("[driver] event queued for " + a[0] + ": " + std::to_string(block.size()) + " bytes");
                   return true;
               });

TRVSIM_COMMAND("console", "console connect|disconnect  (fast user switching)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.size() != 1 || (a[0] != "connect" && a[0] != "disconnect")) return false;
                   s.machine.ConsoleSessionChange(a[0] == "connect");
                   return true;
               });

TRVSIM_COMMAND("user-answers", "user-answers CAPTION yes|no|ok|cancel  (the user's answer to the next such message box)",
               [](Scenario& s, const std::vector<std::string>& a, std::string&) {
                   if (a.size() != 2) return false;
                   const int answer = a[1] == "yes"      ? plat::IDYES
                                      : a[1] == "no"     ? plat::IDNO
                                      : a[1] == "ok"     ? plat::IDOK
                                      : a[1] == "cancel" ? plat::IDCANCEL
                                                         : 0;
                   if (answer == 0) return false;
                   s.machine.QueueBoxAnswer(a[0], answer);
                   return true;
               });

}  // namespace
}  // namespace trvsim
