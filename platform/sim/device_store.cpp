#include "sim/device_store.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <span>

#include "common/bytes.h"
#include "common/guid.h"
#include "sim/ata_target.h"
#include "sim/machine.h"
#include "sim/registry_store.h"

namespace sim {

namespace {

std::string Upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
bool SameText(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

// "USB\VID_0BF6&PID_A001\SIM0001" -> "usb#vid_0bf6&pid_a001#sim0001"
std::string IdAsPathPart(const std::string& id) {
    std::string s = Lower(id);
    std::replace(s.begin(), s.end(), '\\', '#');
    return s;
}
std::string LastPart(const std::string& id) {
    auto at = id.find_last_of('\\');
    return at == std::string::npos ? id : id.substr(at + 1);
}
std::string InterfacePath(const std::string& id, const plat::Guid& cls) {
    return "\\\\?\\" + IdAsPathPart(id) + "#" + Lower(trv::GuidToString(cls));
}

std::string Hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

std::uint32_t LetterBit(char letter) {
    const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    return up >= 'A' && up <= 'Z' ? 1u << (up - 'A') : 0;
}

// The id lists of the configuration manager are double-zero terminated:
// the size counts every id with its terminator and the final one; an empty
// relation list has no size at all.
std::uint32_t RelationListSize(const std::vector<std::string>& ids) {
    if (ids.empty()) return 0;
    std::uint32_t n = 1;
    for (auto& id : ids) n += static_cast<std::uint32_t>(id.size() + 1);
    return n;
}
std::uint32_t InterfaceListSize(const std::vector<std::string>& paths) {
    std::uint32_t n = 1;
    for (auto& p : paths) n += static_cast<std::uint32_t>(p.size() + 1);
    return n;
}

// The pass-through requests one adapter received, bounded.
struct PassLog {
    std::mutex mu;
    std::deque<std::vector<std::uint8_t>> images;
    void Add(std::span<const std::uint8_t> request) {
        std::lock_guard<std::mutex> lk(mu);
        images.emplace_back(request.begin(), request.end());
        while (images.size() > 256) images.pop_front();
    }
};

}  // namespace

const char* CmRequestName(CmRequest r) {
    switch (r) {
        case CmRequest::QueryAndRemove: return "query-and-remove";
        case CmRequest::Eject: return "eject";
        case CmRequest::QueryRemove: return "query-remove";
        case CmRequest::Remove: return "remove";
        case CmRequest::Disable: return "disable";
        case CmRequest::Enable: return "enable";
        case CmRequest::Reenumerate: return "re-enumerate";
        case CmRequest::PropertyStop: return "class-installer stop";
        case CmRequest::PropertyStart: return "class-installer start";
    }
    return "?";
}

AdapterSpec AdapterSpec::Disk(const std::string& name, std::vector<char> letters) {
    AdapterSpec s;
    s.children[0].friendlyName = name;
    s.children[0].letters = std::move(letters);
    return s;
}

struct DeviceStore::Node {
    plat::DevNode id = 0;
    std::string instanceId;
    plat::DevNode parent = 0;
    std::vector<plat::DevNode> children;
    std::optional<std::string> friendlyName;
    std::optional<std::string> deviceDesc;
    bool present = false;                    // in the tree
    std::optional<std::uint32_t> lingering;  // gone, but its status still reads so
    bool statusReadable = true;
    std::uint32_t status = kRunningStatus;
    std::uint32_t problem = 0;
    std::vector<std::string> removalRelations;
    std::set<CmRequest> vetoes;
};

struct DeviceStore::Interface {
    plat::Guid cls;
    std::string path;
    plat::DevNode node = 0;
    bool present = false;
    bool failDetail = false;
};

struct DeviceStore::Volume {
    std::string uniqueName;     // "\\?\Volume{...}\"
    std::string interfacePath;  // the volume interface
    char letter = 0;
    plat::DevNode node = 0;     // owner of the volume interface
    plat::DevNode storage = 0;  // the storage node it belongs to
    bool mounted = false;
};

struct DeviceStore::Device {
    enum State { Running, Stopped, Unplugged };
    AdapterSpec spec;
    PluggedDevice ids;
    std::shared_ptr<SimAtaTarget> target;
    std::shared_ptr<PassLog> log = std::make_shared<PassLog>();
    State state = Unplugged;
};

struct DeviceStore::Set {
    std::uint32_t pid = 0;
    plat::Guid cls{};
    std::vector<std::size_t> members;               // indexes into interfaces_
    std::map<std::uint32_t, std::uint32_t> change;  // element -> DICS_* state set for it
};

struct DeviceStore::Effects {
    struct AdapterUp {
        std::string path;
        std::array<std::uint8_t, trv::kAdapterInfoSize> info{};
        std::array<std::uint8_t, 2> lead{};
        std::shared_ptr<PassThroughTarget> drive;
        std::shared_ptr<PassLog> log;
    };
    struct InterfaceEvent {
        bool arrival;
        plat::Guid cls;
        std::string path;
    };
    bool notify = true;
    std::vector<std::string> notes;
    std::vector<std::pair<std::uint32_t, std::string>> programNotes;  // pid, text
    std::vector<std::string> down;
    std::vector<AdapterUp> up;
    std::uint32_t volumesRemoved = 0;  // unit masks
    std::uint32_t volumesArrived = 0;
    std::vector<InterfaceEvent> interfaceEvents;
    bool devnodesChanged = false;
    std::vector<std::uint32_t> power;
    std::vector<std::shared_ptr<AtaDrive>> powerOn;
};

// ---------------------------------------------------------------------------
// The store
// ---------------------------------------------------------------------------
DeviceStore::DeviceStore(Machine& machine, RegistryStore& registry) : machine_(machine), registry_(registry) {
    Node& root = NewNodeLocked("HTREE\\ROOT\\0", 0);
    root.present = true;
    root.deviceDesc = "Computer";
    root_ = root.id;
    Node& hub = NewNodeLocked("USB\\ROOT_HUB20\\4&2B5C5A5&0", root_);
    hub.present = true;
    hub.deviceDesc = "USB Root Hub";
    hub_ = hub.id;
    Node& vm = NewNodeLocked("ROOT\\FTDISK\\0000", root_);
    vm.present = true;
    vm.deviceDesc = "Logical Disk Manager";
    volumeManager_ = vm.id;
}

DeviceStore::~DeviceStore() = default;

std::string DeviceStore::HardwareKeyPath(const std::string& instanceId) {
    return "SYSTEM\\CurrentControlSet\\Enum\\" + instanceId + "\\Device Parameters";
}

DeviceStore::Node* DeviceStore::NodeLocked(plat::DevNode id) {
    auto it = nodes_.find(id);
    return it == nodes_.end() ? nullptr : it->second.get();
}

DeviceStore::Node* DeviceStore::NodeByIdLocked(const std::string& instanceId) {
    auto it = byId_.find(Upper(instanceId));
    return it == byId_.end() ? nullptr : NodeLocked(it->second);
}

DeviceStore::Node& DeviceStore::NewNodeLocked(const std::string& instanceId, plat::DevNode parent) {
    auto n = std::make_unique<Node>();
    n->id = nextNode_++;
    n->instanceId = instanceId;
    n->parent = parent;
    Node& ref = *n;
    byId_[Upper(instanceId)] = n->id;
    nodes_[n->id] = std::move(n);
    if (Node* p = NodeLocked(parent)) AttachChildLocked(*p, ref.id);
    return ref;
}

void DeviceStore::AttachChildLocked(Node& parent, plat::DevNode child) {
    if (std::find(parent.children.begin(), parent.children.end(), child) == parent.children.end())
        parent.children.push_back(child);
}

DeviceStore::Device* DeviceStore::DeviceOfNodeLocked(plat::DevNode id) {
    for (auto& d : devices_)
        if (d->ids.node == id) return d.get();
    return nullptr;
}

DeviceStore::Device* DeviceStore::DeviceByPathLocked(const std::string& path) {
    for (auto& d : devices_)
        if (SameText(d->ids.path, path)) return d.get();
    return nullptr;
}

void DeviceStore::MountVolumesLocked(plat::DevNode storage, Effects& fx) {
    for (auto& v : volumes_) {
        if (v.storage != storage || v.mounted) continue;
        v.mounted = true;
        if (Node* n = NodeLocked(v.node); n && v.node != storage) {
            n->present = true;
            n->lingering.reset();
            n->status = kRunningStatus;
            n->problem = 0;
        }
        for (auto& i : interfaces_)
            if (SameText(i.path, v.interfacePath)) i.present = true;
        fx.volumesArrived |= LetterBit(v.letter);
    }
}

void DeviceStore::UnmountVolumesLocked(plat::DevNode storage, Effects& fx) {
    for (auto& v : volumes_) {
        if (v.storage != storage || !v.mounted) continue;
        v.mounted = false;
        if (Node* n = NodeLocked(v.node); n && v.node != storage) n->present = false;
        for (auto& i : interfaces_)
            if (SameText(i.path, v.interfacePath)) i.present = false;
        fx.volumesRemoved |= LetterBit(v.letter);
    }
}

std::vector<plat::DevNode> DeviceStore::DescendantsLocked(const Node& n) {
    std::vector<plat::DevNode> out;
    std::vector<const Node*> todo{&n};
    while (!todo.empty() && out.size() < nodes_.size()) {
        const Node* at = todo.back();
        todo.pop_back();
        for (plat::DevNode id : at->children) {
            Node* c = NodeLocked(id);
            if (c == nullptr || c->parent != at->id) continue;  // moved elsewhere since
            out.push_back(id);
            todo.push_back(c);
        }
    }
    return out;
}

void DeviceStore::DisableSubtreeLocked(Node& n, Effects& fx) {
    UnmountVolumesLocked(n.id, fx);
    for (plat::DevNode id : DescendantsLocked(n)) {
        UnmountVolumesLocked(id, fx);
        if (Node* c = NodeLocked(id)) c->present = false;
    }
    fx.devnodesChanged = true;
}

void DeviceStore::EnableSubtreeLocked(Node& n, Effects& fx) {
    for (plat::DevNode id : DescendantsLocked(n)) {
        if (Node* c = NodeLocked(id)) c->present = true;
    }
    MountVolumesLocked(n.id, fx);
    for (plat::DevNode id : DescendantsLocked(n)) MountVolumesLocked(id, fx);
    fx.devnodesChanged = true;
}

void DeviceStore::StartDeviceLocked(Device& d, Effects& fx) {
    Node* n = NodeLocked(d.ids.node);
    if (n == nullptr) return;
    n->present = true;
    n->lingering.reset();
    n->status = kRunningStatus;
    n->problem = 0;
    if (Node* b = NodeLocked(d.ids.bridge)) {
        b->present = true;
        b->status = kRunningStatus;
        b->problem = 0;
    }
    for (std::size_t i = 0; i < d.ids.children.size(); ++i) {
        Node* c = NodeLocked(d.ids.children[i]);
        if (c == nullptr) continue;
        c->present = true;
        c->lingering.reset();
        c->status = kRunningStatus;
        c->problem = i < d.spec.children.size() ? d.spec.children[i].problem : 0;
        MountVolumesLocked(c->id, fx);
    }
    for (auto& i : interfaces_)
        if (SameText(i.path, d.ids.path)) i.present = true;
    Effects::AdapterUp up;
    up.path = d.ids.path;
    up.info = trv::MakeAdapterInfo(d.spec.words);
    up.lead = d.spec.commandLead;
    up.drive = d.target;
    up.log = d.log;
    fx.up.push_back(std::move(up));
    fx.interfaceEvents.push_back({true, trv::AdapterInterfaceGuid, d.ids.path});
    fx.devnodesChanged = true;
    d.state = Device::Running;
}

void DeviceStore::StopDeviceLocked(Device& d, std::uint32_t problem, std::uint32_t extraStatus, Effects& fx) {
    if (d.state != Device::Running) return;
    for (plat::DevNode id : d.ids.children) {
        UnmountVolumesLocked(id, fx);
        if (Node* c = NodeLocked(id)) {
            c->problem = problem;
            c->status |= extraStatus;
        }
    }
    for (plat::DevNode id : {d.ids.node, d.ids.bridge}) {
        if (Node* n = NodeLocked(id)) {
            n->problem = problem;
            n->status |= extraStatus;
        }
    }
    for (auto& i : interfaces_)
        if (SameText(i.path, d.ids.path)) i.present = false;
    fx.down.push_back(d.ids.path);
    fx.interfaceEvents.push_back({false, trv::AdapterInterfaceGuid, d.ids.path});
    fx.devnodesChanged = true;
    d.state = Device::Stopped;
}

PluggedDevice DeviceStore::Plug(const AdapterSpec& spec) {
    const bool nineX = !machine_.Version().nt;
    Effects fx;
    fx.notify = spec.notify;
    PluggedDevice ids;
    {
        std::lock_guard<std::mutex> lk(mu_);
        std::string instanceId = spec.instanceId;
        if (instanceId.empty()) {
            do {
                char b[48];
                std::snprintf(b, sizeof b, "USB\\VID_0BF6&PID_A001\\SIM%04d", ++serial_);
                instanceId = b;
            } while (NodeByIdLocked(instanceId) != nullptr);
        }
        Device* d = nullptr;
        for (auto& dev : devices_)
            if (SameText(dev->ids.instanceId, instanceId)) d = dev.get();
        if (d != nullptr && d->state != Device::Unplugged) return {};
        const std::string path = spec.path.empty() ? InterfacePath(instanceId, trv::AdapterInterfaceGuid) : spec.path;
        if (Device* other = DeviceByPathLocked(path); other && other != d && other->state != Device::Unplugged)
            return {};
        if (d == nullptr) {
            devices_.push_back(std::make_unique<Device>());
            d = devices_.back().get();
        }

        Node* n = NodeByIdLocked(instanceId);
        if (n == nullptr) n = &NewNodeLocked(instanceId, hub_);
        n->friendlyName = spec.friendlyName;
        n->deviceDesc = spec.deviceDesc;
        n->statusReadable = true;
        n->vetoes.clear();

        ids = PluggedDevice{};
        ids.instanceId = instanceId;
        ids.path = path;
        ids.node = n->id;
        ids.keyPath = HardwareKeyPath(instanceId);

        // The hardware key of the interface node, written as the driver
        // installation writes it.
        registry_.CreateKeyPath(ids.keyPath);
        if (spec.usbFlagsRaw)
            registry_.SetValue(ids.keyPath, "USBFlags", plat::REG_DWORD, *spec.usbFlagsRaw);
        else if (spec.usbFlags)
            registry_.SetDword(ids.keyPath, "USBFlags", *spec.usbFlags);
        for (auto& v : spec.values) registry_.SetValue(ids.keyPath, v.name, v.type, v.data);

        // Storage nodes and their volumes; the same instance ids on every plug.
        const std::string tail = LastPart(instanceId);
        Node* storageParent = n;
        if (nineX && !spec.children.empty()) {
            const std::string bid = "USBSTOR\\BRIDGE\\" + tail;
            Node* b = NodeByIdLocked(bid);
            if (b == nullptr) b = &NewNodeLocked(bid, n->id);
            b->deviceDesc = "USB Storage Adapter";
            b->statusReadable = true;
            b->vetoes.clear();
            ids.bridge = b->id;
            storageParent = b;
        }
        for (std::size_t i = 0; i < spec.children.size(); ++i) {
            const ChildSpec& cs = spec.children[i];
            std::string cid = cs.instanceId;
            if (cid.empty()) {
                cid = std::string(spec.drive.atapi ? "USBSTOR\\CDROM&VEN_SIM&PROD_CDROM&REV_1.0\\"
                                                   : "USBSTOR\\DISK&VEN_SIM&PROD_DRIVE&REV_1.0\\") +
                      tail + "&" + std::to_string(i);
            }
            Node* c = NodeByIdLocked(cid);
            if (c == nullptr) c = &NewNodeLocked(cid, storageParent->id);
            AttachChildLocked(*storageParent, c->id);
            c->parent = storageParent->id;
            c->friendlyName = cs.friendlyName;
            c->deviceDesc = cs.deviceDesc;
            c->statusReadable = true;
            c->vetoes.clear();
            c->removalRelations.clear();
            ids.children.push_back(c->id);

            const std::string ckey = HardwareKeyPath(cid);
            registry_.CreateKeyPath(ckey);
            if (cs.driveLetterAssignment) {
                registry_.SetValue(ckey, "CurrentDriveLetterAssignment", plat::REG_BINARY, *cs.driveLetterAssignment);
            } else if (!cs.letters.empty()) {
                std::vector<std::uint8_t> assignment;
                for (char l : cs.letters)
                    if (l != 0) assignment.push_back(static_cast<std::uint8_t>(l));
                assignment.push_back(0);
                registry_.SetValue(ckey, "CurrentDriveLetterAssignment", plat::REG_BINARY, assignment);
            }

            std::erase_if(volumes_, [&](const Volume& v) { return v.storage == c->id; });
            for (std::size_t j = 0; j < cs.letters.size(); ++j) {
                Volume v;
                v.letter = cs.letters[j];
                v.storage = c->id;
                char guid[64];
                std::snprintf(guid, sizeof guid, "{5eed%04x-%04x-11d9-8000-%012x}", static_cast<unsigned>(c->id),
                              static_cast<unsigned>(j), static_cast<unsigned>(n->id));
                v.uniqueName = std::string("\\\\?\\Volume") + guid + "\\";
                std::string owner;
                if (cs.ownVolume && j == 0) {
                    v.node = c->id;
                    owner = cid;
                } else {
                    owner = "STORAGE\\VOLUME\\1&30A96598&0&" + tail + "_" + std::to_string(i) + "_" + std::to_string(j);
                    Node* vn = NodeByIdLocked(owner);
                    if (vn == nullptr) vn = &NewNodeLocked(owner, volumeManager_);
                    vn->deviceDesc = "Generic volume";
                    vn->statusReadable = true;
                    vn->present = false;
                    v.node = vn->id;
                    c->removalRelations.push_back(owner);
                    ids.volumes.push_back(vn->id);
                }
                v.interfacePath = InterfacePath(owner, trv::VolumeInterfaceGuid);
                bool known = false;
                for (auto& itf : interfaces_)
                    if (SameText(itf.path, v.interfacePath)) known = true;
                if (!known) interfaces_.push_back({trv::VolumeInterfaceGuid, v.interfacePath, v.node, false, false});
                volumes_.push_back(std::move(v));
            }
        }

        bool known = false;
        for (auto& itf : interfaces_) {
            if (SameText(itf.path, path)) {
                known = true;
                itf.node = n->id;
                itf.failDetail = false;
            }
        }
        if (!known) interfaces_.push_back({trv::AdapterInterfaceGuid, path, n->id, false, false});

        std::shared_ptr<AtaDrive> drive;
        if (spec.reuseDrive) {
            drive = spec.reuseDrive;
            fx.powerOn.push_back(drive);
        } else if (spec.hasDrive) {
            drive = std::make_shared<AtaDrive>(spec.drive);
        }
        ids.drive = drive;
        d->spec = spec;
        d->spec.reuseDrive.reset();
        d->ids = ids;
        d->target = drive ? std::make_shared<SimAtaTarget>(drive, spec.identifyOverrides) : nullptr;
        d->state = Device::Unplugged;
        StartDeviceLocked(*d, fx);
        fx.notes.push_back("[system] adapter plugged in: " + path);
    }
    Apply(fx);
    return ids;
}

bool DeviceStore::Unplug(const std::string& path, std::optional<std::uint32_t> lingeringStatus) {
    Effects fx;
    {
        std::lock_guard<std::mutex> lk(mu_);
        Device* d = DeviceByPathLocked(path);
        if (d == nullptr || d->state == Device::Unplugged) return false;
        if (d->state == Device::Running) {
            for (plat::DevNode id : d->ids.children) UnmountVolumesLocked(id, fx);
            for (auto& i : interfaces_)
                if (SameText(i.path, d->ids.path)) i.present = false;
            fx.down.push_back(d->ids.path);
            fx.interfaceEvents.push_back({false, trv::AdapterInterfaceGuid, d->ids.path});
        }
        std::vector<plat::DevNode> below = d->ids.children;
        below.push_back(d->ids.bridge);
        for (plat::DevNode id : below)
            if (Node* c = NodeLocked(id)) {
                c->present = false;
                c->lingering.reset();
            }
        if (Node* n = NodeLocked(d->ids.node)) {
            n->present = false;
            n->lingering = lingeringStatus;
        }
        fx.devnodesChanged = true;
        d->state = Device::Unplugged;
        fx.notes.push_back("[system] adapter pulled out: " + d->ids.path);
    }
    Apply(fx);
    return true;
}

bool DeviceStore::IsRunning(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    Device* d = DeviceByPathLocked(path);
    return d && d->state == Device::Running;
}

bool DeviceStore::IsAttached(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    Device* d = DeviceByPathLocked(path);
    return d && d->state != Device::Unplugged;
}

std::optional<PluggedDevice> DeviceStore::Find(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    Device* d = DeviceByPathLocked(path);
    if (d == nullptr) return std::nullopt;
    return d->ids;
}

void DeviceStore::AddStaleInterfaces(const plat::Guid& interfaceClass, int count) {
    std::lock_guard<std::mutex> lk(mu_);
    for (int k = 0; k < count; ++k) {
        char b[48];
        std::snprintf(b, sizeof b, "USB\\VID_0BF6&PID_A001\\OLD%05d", ++serial_);
        Node& n = NewNodeLocked(b, hub_);
        n.present = false;
        n.deviceDesc = "USB Mass Storage Device";
        interfaces_.push_back({interfaceClass, InterfacePath(b, interfaceClass), n.id, false, false});
    }
}

void DeviceStore::Suspend() {
    Effects fx;
    fx.notes.push_back("[system] the computer suspends");
    fx.power = {plat::PBT_APMQUERYSUSPEND, plat::PBT_APMSUSPEND};
    Apply(fx);
}

void DeviceStore::Resume() {
    Effects fx;
    {
        std::lock_guard<std::mutex> lk(mu_);
        for (auto& d : devices_)
            if (d->state != Device::Unplugged && d->ids.drive) fx.powerOn.push_back(d->ids.drive);
    }
    fx.notes.push_back("[system] the computer resumes");
    fx.power = {plat::PBT_APMRESUMEAUTOMATIC, plat::PBT_APMRESUMESUSPEND};
    Apply(fx);
}

void DeviceStore::SetVeto(plat::DevNode node, CmRequest request, bool veto) {
    std::lock_guard<std::mutex> lk(mu_);
    if (Node* n = NodeLocked(node)) {
        if (veto)
            n->vetoes.insert(request);
        else
            n->vetoes.erase(request);
    }
}

void DeviceStore::SetProblem(plat::DevNode node, std::uint32_t problem) {
    std::lock_guard<std::mutex> lk(mu_);
    if (Node* n = NodeLocked(node)) n->problem = problem;
}

void DeviceStore::SetStatusReadable(plat::DevNode node, bool readable) {
    std::lock_guard<std::mutex> lk(mu_);
    if (Node* n = NodeLocked(node)) n->statusReadable = readable;
}

void DeviceStore::SetProperty(plat::DevNode node, plat::DevProperty property, std::optional<std::string> value) {
    std::lock_guard<std::mutex> lk(mu_);
    if (Node* n = NodeLocked(node)) {
        if (property == plat::DevProperty::FriendlyName)
            n->friendlyName = std::move(value);
        else
            n->deviceDesc = std::move(value);
    }
}

void DeviceStore::SetDetailFails(const std::string& path, bool fails) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& i : interfaces_)
        if (SameText(i.path, path)) i.failDetail = fails;
}

void DeviceStore::FailInterfaceSets(int count) {
    std::lock_guard<std::mutex> lk(mu_);
    failSets_ = count;
}

std::vector<RequestRecord> DeviceStore::Requests() {
    std::lock_guard<std::mutex> lk(mu_);
    return requests_;
}

void DeviceStore::ClearRequests() {
    std::lock_guard<std::mutex> lk(mu_);
    requests_.clear();
}

std::vector<std::vector<std::uint8_t>> DeviceStore::PassThroughs(const std::string& path) {
    std::shared_ptr<PassLog> log;
    {
        std::lock_guard<std::mutex> lk(mu_);
        Device* d = DeviceByPathLocked(path);
        if (d == nullptr) return {};
        log = d->log;
    }
    std::lock_guard<std::mutex> lk(log->mu);
    return {log->images.begin(), log->images.end()};
}

void DeviceStore::ClearPassThroughs(const std::string& path) {
    std::shared_ptr<PassLog> log;
    {
        std::lock_guard<std::mutex> lk(mu_);
        Device* d = DeviceByPathLocked(path);
        if (d == nullptr) return;
        log = d->log;
    }
    std::lock_guard<std::mutex> lk(log->mu);
    log->images.clear();
}

std::optional<std::uint32_t> DeviceStore::Status(plat::DevNode node) {
    std::lock_guard<std::mutex> lk(mu_);
    Node* n = NodeLocked(node);
    if (n == nullptr || !n->statusReadable) return std::nullopt;
    if (n->present) return n->status | (n->problem ? plat::DN_HAS_PROBLEM : 0);
    return n->lingering;
}

std::uint32_t DeviceStore::Problem(plat::DevNode node) {
    std::lock_guard<std::mutex> lk(mu_);
    Node* n = NodeLocked(node);
    return n ? n->problem : 0;
}

std::string DeviceStore::ElementPath(plat::Hdevinfo set, std::uint32_t element) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = sets_.find(plat::Raw(set));
    if (it == sets_.end() || element >= it->second->members.size()) return {};
    return interfaces_[it->second->members[element]].path;
}

std::size_t DeviceStore::OpenSets(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    std::size_t k = 0;
    for (auto& [h, s] : sets_) k += s->pid == pid;
    return k;
}

std::uint32_t DeviceStore::CheckRequestLocked(std::uint32_t, CmRequest request, plat::DevNode node) {
    Node* n = NodeLocked(node);
    if (node == 0 || n == nullptr) return plat::CR_INVALID_DEVNODE;
    if (!n->present) return plat::CR_NO_SUCH_DEVNODE;
    if (n->vetoes.count(request)) return request == CmRequest::Reenumerate || request == CmRequest::Enable
                                              ? plat::CR_FAILURE
                                              : plat::CR_REMOVE_VETOED;
    return plat::CR_SUCCESS;
}

void DeviceStore::LogLocked(std::uint32_t pid, CmRequest request, plat::DevNode node, std::uint32_t result) {
    Node* n = NodeLocked(node);
    requests_.push_back({pid, request, n ? n->instanceId : std::string(), result});
}

void DeviceStore::Apply(Effects& fx) {
    for (auto& line : fx.notes) machine_.Note(line);
    for (auto& [pid, text] : fx.programNotes)
        machine_.Note("[" + machine_.ExeOf(pid) + " #" + std::to_string(pid) + "] " + text);
    for (auto& drive : fx.powerOn) drive->PowerCycle();
    for (auto& path : fx.down) machine_.RemoveAdapter(path);
    for (auto& up : fx.up) {
        machine_.AddAdapter(up.path);
        machine_.WithAdapter(up.path, [&](SimAdapter& a) {
            a.info = up.info;
            a.commandLead = up.lead;
            a.drive = up.drive;
            std::shared_ptr<PassLog> log = up.log;
            a.observePassThrough = [log](std::span<const std::uint8_t> request) { log->Add(request); };
        });
    }
    if (!fx.notify) return;
    auto volumeBlock = [](std::uint32_t mask) {
        // DEV_BROADCAST_VOLUME: size, device type 2, reserved, unit mask, flags.
        std::vector<std::uint8_t> b(20, 0);
        trv::PutU32(b, 0, 20);
        trv::PutU32(b, 4, plat::DBT_DEVTYP_VOLUME);
        trv::PutU32(b, 12, mask);
        return b;
    };
    if (fx.volumesRemoved) machine_.DeviceChangeToAll(plat::DBT_DEVICEREMOVECOMPLETE, volumeBlock(fx.volumesRemoved));
    for (auto& e : fx.interfaceEvents) machine_.DeviceInterfaceEvent(e.arrival, e.cls, e.path);
    if (fx.volumesArrived) machine_.DeviceChangeToAll(plat::DBT_DEVICEARRIVAL, volumeBlock(fx.volumesArrived));
    if (fx.devnodesChanged) machine_.DeviceChangeToAll(plat::DBT_DEVNODES_CHANGED);
    for (std::uint32_t event : fx.power) machine_.PowerBroadcast(event);
}

// ---------------------------------------------------------------------------
// One process's view
// ---------------------------------------------------------------------------
class DeviceTreeFacet final : public plat::DeviceTree {
public:
    DeviceTreeFacet(DeviceStore& s, std::uint32_t pid) : s_(s), pid_(pid) {}

    plat::Hdevinfo GetInterfaceSet(const plat::Guid& cls, bool presentOnly) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        if (s_.failSets_ > 0) {
            --s_.failSets_;
            return plat::Hdevinfo::None;
        }
        auto set = std::make_unique<DeviceStore::Set>();
        set->pid = pid_;
        set->cls = cls;
        for (std::size_t i = 0; i < s_.interfaces_.size(); ++i) {
            const auto& itf = s_.interfaces_[i];
            if (itf.cls == cls && (itf.present || !presentOnly)) set->members.push_back(i);
        }
        auto h = s_.nextSet_ += 4;
        s_.sets_[h] = std::move(set);
        return static_cast<plat::Hdevinfo>(h);
    }

    plat::EnumResult EnumInterface(plat::Hdevinfo set, const plat::Guid& cls, std::uint32_t index,
                                   plat::InterfaceDetail& detail) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        DeviceStore::Set* s = SetLocked(set);
        if (s == nullptr || !(s->cls == cls) || index >= s->members.size()) return plat::EnumResult::NoMore;
        const auto& itf = s_.interfaces_[s->members[index]];
        if (itf.failDetail) return plat::EnumResult::DetailFailed;
        detail.path = itf.path;
        detail.devNode = itf.node;
        detail.element = index;
        return plat::EnumResult::Ok;
    }

    void DestroySet(plat::Hdevinfo set) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        auto it = s_.sets_.find(plat::Raw(set));
        if (it != s_.sets_.end() && it->second->pid == pid_) s_.sets_.erase(it);
    }

    bool SetPropertyChangeParams(plat::Hdevinfo set, std::uint32_t element, std::uint32_t stateChange) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        DeviceStore::Set* s = SetLocked(set);
        if (s == nullptr || element >= s->members.size()) return false;
        s->change[element] = stateChange;
        return true;
    }

    bool CallPropertyChangeInstaller(plat::Hdevinfo set, std::uint32_t element) override {
        DeviceStore::Effects fx;
        bool ok = false;
        {
            std::lock_guard<std::mutex> lk(s_.mu_);
            DeviceStore::Set* s = SetLocked(set);
            if (s == nullptr || element >= s->members.size() || !s->change.count(element)) return false;
            const std::uint32_t state = s->change[element];
            if (state != plat::DICS_STOP && state != plat::DICS_START) return false;
            const CmRequest request = state == plat::DICS_STOP ? CmRequest::PropertyStop : CmRequest::PropertyStart;
            const plat::DevNode node = s_.interfaces_[s->members[element]].node;
            std::uint32_t cr = s_.CheckRequestLocked(pid_, request, node);
            s_.LogLocked(pid_, request, node, cr);
            ok = cr == plat::CR_SUCCESS;
            if (ok) {
                if (DeviceStore::Device* d = s_.DeviceOfNodeLocked(node)) {
                    if (request == CmRequest::PropertyStop)
                        s_.StopDeviceLocked(*d, CM_PROB_DISABLED, 0, fx);
                    else if (d->state == DeviceStore::Device::Stopped)
                        s_.StartDeviceLocked(*d, fx);
                }
            }
            NoteRequestLocked(fx, request, node, cr);
        }
        s_.Apply(fx);
        return ok;
    }

    std::uint32_t GetChild(plat::DevNode node, plat::DevNode& child) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        DeviceStore::Node* n = s_.NodeLocked(node);
        if (n == nullptr || !n->present) return plat::CR_INVALID_DEVNODE;
        for (plat::DevNode c : n->children) {
            DeviceStore::Node* cn = s_.NodeLocked(c);
            if (cn && cn->present && cn->parent == node) {
                child = c;
                return plat::CR_SUCCESS;
            }
        }
        return plat::CR_NO_SUCH_DEVNODE;
    }

    std::uint32_t GetSibling(plat::DevNode node, plat::DevNode& sibling) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        DeviceStore::Node* n = s_.NodeLocked(node);
        if (n == nullptr || !n->present) return plat::CR_INVALID_DEVNODE;
        DeviceStore::Node* p = s_.NodeLocked(n->parent);
        if (p == nullptr) return plat::CR_NO_SUCH_DEVNODE;
        auto it = std::find(p->children.begin(), p->children.end(), node);
        if (it == p->children.end()) return plat::CR_NO_SUCH_DEVNODE;
        for (++it; it != p->children.end(); ++it) {
            DeviceStore::Node* sn = s_.NodeLocked(*it);
            if (sn && sn->present && sn->parent == n->parent) {
                sibling = *it;
                return plat::CR_SUCCESS;
            }
        }
        return plat::CR_NO_SUCH_DEVNODE;
    }

    std::uint32_t GetProperty(plat::DevNode node, plat::DevProperty property, std::size_t capacity,
                              std::string& value) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        value.clear();
        DeviceStore::Node* n = s_.NodeLocked(node);
        if (n == nullptr || !n->present) return plat::CR_NO_SUCH_DEVNODE;
        const std::optional<std::string>& v =
            property == plat::DevProperty::FriendlyName ? n->friendlyName : n->deviceDesc;
        if (!v) return plat::CR_NO_SUCH_VALUE;
        if (v->size() + 1 > capacity) return plat::CR_BUFFER_SMALL;
        value = *v;
        return plat::CR_SUCCESS;
    }

    std::uint32_t GetStatus(plat::DevNode node, std::uint32_t& status, std::uint32_t& problem) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        DeviceStore::Node* n = s_.NodeLocked(node);
        if (n == nullptr) return plat::CR_INVALID_DEVNODE;
        if (!n->statusReadable) return plat::CR_FAILURE;
        if (n->present) {
            status = n->status | (n->problem ? plat::DN_HAS_PROBLEM : 0);
            problem = n->problem;
            return plat::CR_SUCCESS;
        }
        if (n->lingering) {
            status = *n->lingering;
            problem = 0;
            return plat::CR_SUCCESS;
        }
        return plat::CR_NO_SUCH_DEVNODE;
    }

    std::uint32_t GetDeviceId(plat::DevNode node, std::size_t capacity, std::string& id) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        id.clear();
        DeviceStore::Node* n = s_.NodeLocked(node);
        if (n == nullptr) return plat::CR_INVALID_DEVNODE;
        if (n->instanceId.size() + 1 > capacity) return plat::CR_BUFFER_SMALL;
        id = n->instanceId;
        return plat::CR_SUCCESS;
    }

    std::uint32_t LocateDevNode(const std::string& deviceId, plat::DevNode& node) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        DeviceStore::Node* n = s_.NodeByIdLocked(deviceId);
        if (n == nullptr || !n->present) return plat::CR_NO_SUCH_DEVNODE;
        node = n->id;
        return plat::CR_SUCCESS;
    }

    std::uint32_t GetDeviceIdListSize(const std::string& deviceId, std::uint32_t filter,
                                      std::uint32_t& size) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        std::vector<std::string> ids;
        std::uint32_t cr = RelationsLocked(deviceId, filter, ids);
        if (cr == plat::CR_SUCCESS) size = RelationListSize(ids);
        return cr;
    }

    std::uint32_t GetDeviceIdList(const std::string& deviceId, std::uint32_t filter, std::uint32_t size,
                                  std::vector<std::string>& out) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        out.clear();
        std::vector<std::string> ids;
        std::uint32_t cr = RelationsLocked(deviceId, filter, ids);
        if (cr != plat::CR_SUCCESS) return cr;
        if (RelationListSize(ids) > size) return plat::CR_BUFFER_SMALL;
        out = std::move(ids);
        return plat::CR_SUCCESS;
    }

    std::uint32_t OpenHardwareKey(plat::DevNode node, plat::Hkey& key) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        key = plat::Hkey::None;
        DeviceStore::Node* n = s_.NodeLocked(node);
        if (n == nullptr || !n->present) return plat::CR_INVALID_DEVNODE;
        key = s_.registry_.Open(pid_, plat::Hkey::LocalMachine, DeviceStore::HardwareKeyPath(n->instanceId), true,
                                false);
        return key == plat::Hkey::None ? CR_NO_SUCH_REGISTRY_KEY : plat::CR_SUCCESS;
    }

    std::uint32_t GetInterfaceListSize(const plat::Guid& cls, const std::string& deviceId,
                                       std::uint32_t& size) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        std::vector<std::string> paths;
        std::uint32_t cr = InterfacesOfLocked(cls, deviceId, paths);
        if (cr == plat::CR_SUCCESS) size = InterfaceListSize(paths);
        return cr;
    }

    std::uint32_t GetInterfaceList(const plat::Guid& cls, const std::string& deviceId, std::uint32_t size,
                                   std::vector<std::string>& out) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        out.clear();
        std::vector<std::string> paths;
        std::uint32_t cr = InterfacesOfLocked(cls, deviceId, paths);
        if (cr != plat::CR_SUCCESS) return cr;
        if (InterfaceListSize(paths) > size) return plat::CR_BUFFER_SMALL;
        out = std::move(paths);
        return plat::CR_SUCCESS;
    }

    bool VolumeNameForMountPoint(const std::string& mountPoint, std::string& volumeName) override {
        std::lock_guard<std::mutex> lk(s_.mu_);
        volumeName.clear();
        const bool root = mountPoint.size() == 3 && std::isalpha(static_cast<unsigned char>(mountPoint[0])) &&
                          mountPoint[1] == ':' && mountPoint[2] == '\\';
        for (const auto& v : s_.volumes_) {
            if (!v.mounted) continue;
            const bool match = root ? v.letter != 0 && LetterBit(v.letter) == LetterBit(mountPoint[0])
                                    : SameText(v.interfacePath + "\\", mountPoint);
            if (match) {
                volumeName = v.uniqueName;
                return true;
            }
        }
        return false;
    }

    std::uint32_t QueryAndRemoveSubTree(plat::DevNode node) override {
        return Stop(CmRequest::QueryAndRemove, node, CM_PROB_HELD_FOR_EJECT, 0);
    }
    std::uint32_t RequestDeviceEject(plat::DevNode node) override {
        return Stop(CmRequest::Eject, node, CM_PROB_HELD_FOR_EJECT, 0);
    }
    std::uint32_t QueryRemoveSubTree(plat::DevNode node) override {
        DeviceStore::Effects fx;
        std::uint32_t cr;
        {
            std::lock_guard<std::mutex> lk(s_.mu_);
            cr = s_.CheckRequestLocked(pid_, CmRequest::QueryRemove, node);
            s_.LogLocked(pid_, CmRequest::QueryRemove, node, cr);
            NoteRequestLocked(fx, CmRequest::QueryRemove, node, cr);
        }
        s_.Apply(fx);
        return cr;
    }
    // A device removed on request stays known, with its mark.
    std::uint32_t RemoveSubTree(plat::DevNode node) override {
        return Stop(CmRequest::Remove, node, CM_PROB_HELD_FOR_EJECT, 0);
    }

    std::uint32_t DisableDevNode(plat::DevNode node) override {
        DeviceStore::Effects fx;
        std::uint32_t cr;
        {
            std::lock_guard<std::mutex> lk(s_.mu_);
            cr = s_.CheckRequestLocked(pid_, CmRequest::Disable, node);
            s_.LogLocked(pid_, CmRequest::Disable, node, cr);
            if (cr == plat::CR_SUCCESS) {
                if (DeviceStore::Device* d = s_.DeviceOfNodeLocked(node)) {
                    s_.StopDeviceLocked(*d, CM_PROB_DISABLED, 0, fx);
                } else if (DeviceStore::Node* n = s_.NodeLocked(node)) {
                    n->problem = CM_PROB_DISABLED;
                    s_.DisableSubtreeLocked(*n, fx);
                }
            }
            NoteRequestLocked(fx, CmRequest::Disable, node, cr);
        }
        s_.Apply(fx);
        return cr;
    }

    std::uint32_t EnableDevNode(plat::DevNode node) override {
        DeviceStore::Effects fx;
        std::uint32_t cr;
        {
            std::lock_guard<std::mutex> lk(s_.mu_);
            cr = s_.CheckRequestLocked(pid_, CmRequest::Enable, node);
            s_.LogLocked(pid_, CmRequest::Enable, node, cr);
            if (cr == plat::CR_SUCCESS) {
                if (DeviceStore::Device* d = s_.DeviceOfNodeLocked(node)) {
                    if (d->state == DeviceStore::Device::Stopped) s_.StartDeviceLocked(*d, fx);
                } else if (DeviceStore::Node* n = s_.NodeLocked(node); n && n->problem == CM_PROB_DISABLED) {
                    n->problem = 0;
                    n->status = kRunningStatus;
                    s_.EnableSubtreeLocked(*n, fx);
                }
            }
            NoteRequestLocked(fx, CmRequest::Enable, node, cr);
        }
        s_.Apply(fx);
        return cr;
    }

    std::uint32_t ReenumerateDevNode(plat::DevNode node) override {
        DeviceStore::Effects fx;
        std::uint32_t cr;
        {
            std::lock_guard<std::mutex> lk(s_.mu_);
            cr = s_.CheckRequestLocked(pid_, CmRequest::Reenumerate, node);
            s_.LogLocked(pid_, CmRequest::Reenumerate, node, cr);
            NoteRequestLocked(fx, CmRequest::Reenumerate, node, cr);
        }
        s_.Apply(fx);
        return cr;
    }

private:
    DeviceStore::Set* SetLocked(plat::Hdevinfo set) {
        auto it = s_.sets_.find(plat::Raw(set));
        return it == s_.sets_.end() || it->second->pid != pid_ ? nullptr : it->second.get();
    }

    std::uint32_t RelationsLocked(const std::string& deviceId, std::uint32_t filter, std::vector<std::string>& ids) {
        if (filter != plat::CM_GETIDLIST_FILTER_REMOVALRELATIONS) return CR_INVALID_FLAG;
        DeviceStore::Node* n = s_.NodeByIdLocked(deviceId);
        if (n == nullptr || !n->present) return plat::CR_NO_SUCH_DEVNODE;
        for (const auto& id : n->removalRelations) {
            DeviceStore::Node* r = s_.NodeByIdLocked(id);
            if (r && r->present) ids.push_back(r->instanceId);
        }
        return plat::CR_SUCCESS;
    }

    std::uint32_t InterfacesOfLocked(const plat::Guid& cls, const std::string& deviceId,
                                     std::vector<std::string>& paths) {
        DeviceStore::Node* n = s_.NodeByIdLocked(deviceId);
        if (n == nullptr || !n->present) return plat::CR_NO_SUCH_DEVNODE;
        for (const auto& itf : s_.interfaces_)
            if (itf.cls == cls && itf.present && itf.node == n->id) paths.push_back(itf.path);
        return plat::CR_SUCCESS;
    }

    void NoteRequestLocked(DeviceStore::Effects& fx, CmRequest request, plat::DevNode node, std::uint32_t cr) {
        DeviceStore::Node* n = s_.NodeLocked(node);
        std::string what = std::string("configuration manager: ") + CmRequestName(request) + " " +
                           (n ? n->instanceId : "node " + std::to_string(node)) + " -> ";
        what += cr == plat::CR_SUCCESS ? "accepted" : cr == plat::CR_REMOVE_VETOED ? "vetoed" : "refused (" + Hex(cr) + ")";
        fx.programNotes.emplace_back(pid_, what);
    }

    std::uint32_t Stop(CmRequest request, plat::DevNode node, std::uint32_t problem, std::uint32_t mark) {
        DeviceStore::Effects fx;
        std::uint32_t cr;
        {
            std::lock_guard<std::mutex> lk(s_.mu_);
            cr = s_.CheckRequestLocked(pid_, request, node);
            s_.LogLocked(pid_, request, node, cr);
            if (cr == plat::CR_SUCCESS) {
                if (DeviceStore::Device* d = s_.DeviceOfNodeLocked(node)) {
                    s_.StopDeviceLocked(*d, problem, mark, fx);
                } else if (DeviceStore::Node* n = s_.NodeLocked(node)) {
                    // A node below an adapter stopped on its own.
                    n->problem = problem;
                    n->status |= mark;
                    s_.DisableSubtreeLocked(*n, fx);
                }
            }
            NoteRequestLocked(fx, request, node, cr);
        }
        s_.Apply(fx);
        return cr;
    }

    DeviceStore& s_;
    std::uint32_t pid_;
};

std::unique_ptr<plat::DeviceTree> MakeDeviceTreeFacet(DeviceStore& store, std::uint32_t pid) {
    return std::make_unique<DeviceTreeFacet>(store, pid);
}

}  // namespace sim
