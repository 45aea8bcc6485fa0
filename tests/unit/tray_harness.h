// A simulated machine with the notifier installed, and the few steps the
// notifier's end-to-end tests repeat: start, plug, click, look.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/device_event.h"
#include "common/guid.h"
#include "sim/device_store.h"
#include "sim/machine.h"
#include "simulator/suite.h"
#include "tray/family.h"
#include "tray/storage_device.h"

extern const trvres::Table kTrayResources;

namespace traytest {

inline const char* ExeFor(tray::Family f) { return f == tray::Family::Nt ? "TRVTRAY.EXE" : "TRVTRAY9X.EXE"; }
inline const char* FamilyName(tray::Family f) { return f == tray::Family::Nt ? "Nt" : "Win9x"; }

class TrayHarness {
public:
    explicit TrayHarness(tray::Family family = tray::Family::Nt) : family(family) {
        trvsim::InstallSuite(machine);
        if (family == tray::Family::Win9x) machine.SetVersion({4, 10, 2222, false});
    }

    std::uint32_t Start() {
        pid = machine.StartProcess(ExeFor(family));
        machine.WaitIdle();
        return pid;
    }
    void Stop() {
        machine.StartProcess(std::string(ExeFor(family)) + " -end");
        machine.WaitIdle();
    }
    sim::PluggedDevice Plug(const sim::AdapterSpec& spec) {
        sim::PluggedDevice d = devices.Plug(spec);
        machine.WaitIdle();
        return d;
    }
    void Unplug(const std::string& path, std::optional<std::uint32_t> lingering = std::nullopt) {
        devices.Unplug(path, lingering);
        machine.WaitIdle();
    }

    std::optional<sim::Machine::TrayIconInfo> Icon() {
        for (auto& t : machine.TrayIcons())
            if (t.pid == pid) return t;
        return std::nullopt;
    }
    std::string Tooltip() {
        auto i = Icon();
        return i ? i->tip : "<no icon>";
    }

    // The user clicks the icon and answers the menu that opens.
    void Click(std::uint32_t mouseMessage, sim::Machine::MenuAnswer answer = sim::Machine::MenuAnswer::Nothing()) {
        machine.QueueMenuAnswer(std::move(answer));
        ASSERT_TRUE(machine.ClickTrayIcon(pid, mouseMessage));
        machine.WaitIdle();
    }
    void LeftClick(sim::Machine::MenuAnswer answer = sim::Machine::MenuAnswer::Nothing()) {
        Click(plat::WM_LBUTTONUP, std::move(answer));
    }
    void RightClick(sim::Machine::MenuAnswer answer = sim::Machine::MenuAnswer::Nothing()) {
        Click(plat::WM_RBUTTONUP, std::move(answer));
    }
    std::optional<sim::Machine::ShownMenu> LastMenu() {
        auto shown = machine.MenusShown();
        if (shown.empty()) return std::nullopt;
        return shown.back();
    }

    // Another program's "TRV\Event" broadcast.
    void SendEvent(std::uint32_t type, const std::string& path) {
        trv::DeviceEventRecord r;
        r.eventType = type;
        r.interfaceClass = trv::AdapterInterfaceGuid;
        r.devicePath = path;
        auto payload = trv::EncodeEventRecord(r);
        machine.BroadcastFromOutside(plat::WM_DEVICECHANGE, plat::DBT_USERDEFINED, trv::EncodeEventBroadcast(payload));
        machine.WaitIdle();
    }

    // The open dialog of `templateId` (a property sheet for 0), if one is open.
    std::optional<sim::Machine::DialogInfo> OpenDialog(std::uint32_t templateId) {
        for (auto& d : machine.OpenDialogs())
            if (d.templateId == templateId) return d;
        return std::nullopt;
    }
    // The user acts in the open dialog of `templateId`; the machine settles.
    void Act(std::uint32_t templateId, const sim::Machine::DialogAction& action) {
        auto d = OpenDialog(templateId);
        ASSERT_TRUE(d) << "no dialog " << templateId << " open";
        ASSERT_TRUE(machine.ActOnDialog(d->id, action));
        machine.WaitIdle();
    }
    void Type(std::uint32_t templateId, int control, const std::string& text) {
        Act(templateId, sim::Machine::DialogAction::Type(control, text));
    }
    void Press(std::uint32_t templateId, int control) { Act(templateId, sim::Machine::DialogAction::Press(control)); }
    // The boxes shown since the count `from` of MessageBoxesShown().
    std::vector<sim::Machine::MessageBoxInfo> BoxesSince(std::size_t from) {
        auto all = machine.MessageBoxesShown();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
    }
    // The "TRV\Event" refresh broadcasts this notifier sent since `mark`.
    std::size_t RefreshBroadcastsSince(std::size_t mark, const std::string& path) {
        std::size_t n = 0;
        for (auto& l : Since(mark))
            n += l.find("broadcast \"TRV\\Event\" event type 1 for " + path) != std::string::npos;
        return n;
    }
    // Configuration-manager requests of one kind for a device node.
    std::size_t Requests(sim::CmRequest kind, const std::string& instanceId) {
        std::size_t n = 0;
        for (auto& r : devices.Requests()) n += r.request == kind && r.instanceId == instanceId;
        return n;
    }

    std::size_t Mark() { return machine.Transcript().size(); }
    std::vector<std::string> Since(std::size_t mark) {
        auto t = machine.Transcript();
        return {t.begin() + static_cast<std::ptrdiff_t>(std::min(mark, t.size())), t.end()};
    }
    static bool Contains(const std::vector<std::string>& lines, const std::string& part) {
        for (auto& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
    std::string Dump() {
        std::string out;
        for (auto& l : machine.Transcript()) out += l + "\n";
        return out;
    }

    // Runs `body` as a program of its own on the machine, to call the
    // notifier's operations from a sim thread.
    // Returns its process id.
    std::uint32_t RunProbe(std::function<void(plat::System&)> body) {
        const std::string exe = "PROBE" + std::to_string(++probes_) + ".EXE";
        machine.InstallProgram(exe, [body](plat::System& sys) {
            body(sys);
            return 0;
        }, &kTrayResources);
        std::uint32_t probe = machine.StartProcess(exe);
        machine.WaitIdle();
        return probe;
    }

    sim::Machine machine;
    sim::DeviceStore& devices = machine.Devices();
    tray::Family family;
    std::uint32_t pid = 0;

private:
    int probes_ = 0;
};

// A record for a plugged device, as discovery makes one.
inline tray::CStorageDevice RecordFor(const std::string& path) {
    tray::CStorageDevice r;
    r.m_nSlot = 1;
    r.m_guidInterface = trv::AdapterInterfaceGuid;
    r.m_strDevicePath = path;
    return r;
}

// The top-level texts of a shown menu.
inline std::vector<std::string> Texts(const std::vector<sim::Machine::MenuItemInfo>& items) {
    std::vector<std::string> out;
    for (auto& i : items) out.push_back(i.separator ? std::string("----") : i.text);
    return out;
}

}  // namespace traytest
