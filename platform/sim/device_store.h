// The simulated device tree: device nodes with their properties, status and
// hardware keys, device interfaces by class, volumes with their drive
// letters, removal relations, and the configuration-manager requests that
// stop, restart and re-enumerate devices. Every process sees it through its
// DeviceTree facet; tests and the simulator plug and unplug adapters here.
//
// The tree of one plugged adapter:
//
//   HTREE\ROOT\0
//     USB\ROOT_HUB\...              the hub all adapters hang off
//       USB\VID_0BF6&PID_A001\<n>   the interface node: owns the adapter's interface,
//                                   its hardware key holds "USBFlags", "AutoLoader", ...
//         USBSTOR\DISK&...\<n>&0    the storage node(s) below it ("children"),
//                                   hardware key with "CurrentDriveLetterAssignment"
//   (on a Windows 9x machine one more node sits between the interface node
//    and the storage nodes: USBSTOR\BRIDGE\<n>, the bridge's storage adapter)
//     ROOT\FTDISK\0000
//       STORAGE\VOLUME\...          one node per volume, in the storage node's removal
//                                   relations, each with a volume interface and maybe a
//                                   drive letter (a CD-ROM style storage node carries
//                                   its volume interface itself)
//
// Hardware keys live in the machine's registry under
// HKLM\SYSTEM\CurrentControlSet\Enum\<instance id>\Device Parameters, so every
// program reads the same values.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/adapter_driver.h"
#include "platform/device_tree.h"
#include "sim/ata_drive.h"

namespace sim {

class Machine;
class RegistryStore;
class SimAtaTarget;

// Status bits and problem numbers the simulated configuration manager reports.
inline constexpr std::uint32_t DN_DRIVER_LOADED = 0x002;
inline constexpr std::uint32_t DN_STARTED = 0x008;
// Every node that exists reads with DN_HAS_MARK, as the Windows 9x
// configuration manager marks the nodes it finds; a node that was pulled out
// has no status at all (or, lingering, whatever a test gives it).
inline constexpr std::uint32_t kRunningStatus = DN_DRIVER_LOADED | DN_STARTED | plat::DN_HAS_MARK;
inline constexpr std::uint32_t CM_PROB_DISABLED = 22;
inline constexpr std::uint32_t CM_PROB_HELD_FOR_EJECT = 47;
inline constexpr std::uint32_t CR_NO_SUCH_REGISTRY_KEY = 0x2E;
inline constexpr std::uint32_t CR_INVALID_FLAG = 0x04;

// The configuration-manager requests, for vetoes and the request log.
enum class CmRequest {
    QueryAndRemove,  // NT stop
    Eject,           // NT eject
    QueryRemove,     // 9x query before the remove
    Remove,          // 9x remove
    Disable,
    Enable,
    Reenumerate,
    PropertyStop,   // the class installer's DIF_PROPERTYCHANGE with DICS_STOP
    PropertyStart,  // ... with DICS_START
};
const char* CmRequestName(CmRequest r);

// A storage node below an adapter: the drive the adapter presents.
struct ChildSpec {
    std::optional<std::string> friendlyName;
    std::optional<std::string> deviceDesc = std::string("Disk drive");
    std::string instanceId;  // empty: made up
    // One volume per entry, found through the removal relations; '\0' is a
    // volume mounted without a drive letter.
    std::vector<char> letters;
    // CD-ROM style: the storage node itself carries the interface of its
    // (first) volume instead of a relation.
    bool ownVolume = false;
    std::uint32_t problem = 0;  // non-zero: the node reports DN_HAS_PROBLEM with it
    // "CurrentDriveLetterAssignment" as stored (bytes); unset: the letters
    // followed by a terminating zero (no value without letters).
    std::optional<std::vector<std::uint8_t>> driveLetterAssignment;
};

struct RegistryValueSpec {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// One adapter to plug in. The defaults give a working adapter with a disk
// drive that supports the security feature set and has no password.
struct AdapterSpec {
    std::string instanceId;  // empty: made up
    std::string path;        // interface path; empty: made up from the instance id
    std::optional<std::string> friendlyName;
    std::optional<std::string> deviceDesc = std::string("USB Mass Storage Device");
    trv::AdapterWords words{trv::ADAPTER_FLAG_USBFLAGS | trv::ADAPTER_FLAG_ATA | trv::ADAPTER_FLAG_COMMAND_BLOCKS,
                            trv::ADAPTER_FEATURE_SECURITY, 0};
    std::array<std::uint8_t, 2> commandLead{0xA1, 0x5A};
    // "USBFlags" as REG_DWORD; unset: no value. `usbFlagsRaw` stores other
    // bytes instead (a value of the wrong size).
    std::optional<std::uint32_t> usbFlags = 0;
    std::optional<std::vector<std::uint8_t>> usbFlagsRaw;
    std::vector<RegistryValueSpec> values;  // more hardware-key values (AutoLoader, ALTimer, ...)
    std::vector<ChildSpec> children{ChildSpec{}};
    bool hasDrive = true;  // false: pass-through requests fail (no drive behind the bridge)
    AtaDrive::Config drive;
    std::shared_ptr<AtaDrive> reuseDrive;  // plug this drive again (it powers on anew)
    // IDENTIFY words the bridge reports in place of the drive's own.
    std::map<int, std::uint16_t> identifyOverrides;
    // Send the system's device-change messages (interface arrival, volume
    // arrival, DBT_DEVNODES_CHANGED). False: the device is simply there.
    bool notify = true;

    // A disk drive named `name` with one volume per letter.
    static AdapterSpec Disk(const std::string& name, std::vector<char> letters);
};

// What Plug made: the ids a test needs to look at the device.
struct PluggedDevice {
    std::string instanceId;
    std::string path;
    plat::DevNode node = 0;                // the interface node
    plat::DevNode bridge = 0;              // Windows 9x: the node between it and the storage nodes
    std::vector<plat::DevNode> children;   // storage nodes, in order
    std::vector<plat::DevNode> volumes;    // volume nodes, in order
    std::shared_ptr<AtaDrive> drive;       // null without a drive
    std::string keyPath;                   // the interface node's hardware key, below HKLM
    bool ok() const { return node != 0; }
};

struct RequestRecord {
    std::uint32_t pid;
    CmRequest request;
    std::string instanceId;  // empty for an unknown node
    std::uint32_t result;
};

class DeviceStore {
public:
    DeviceStore(Machine& machine, RegistryStore& registry);
    ~DeviceStore();
    DeviceStore(const DeviceStore&) = delete;
    DeviceStore& operator=(const DeviceStore&) = delete;

    // ---- plugging -------------------------------------------------------------
    // Plugs an adapter in: nodes, keys, volumes, the adapter driver and its
    // drive, and the arrival messages. Refused (ok() false) while a device
    // with the same instance id is attached.
    PluggedDevice Plug(const AdapterSpec& spec);
    // Pulls the adapter out without stopping it. Its nodes leave the tree and
    // their status can no longer be read, unless `lingeringStatus` is given:
    // the interface node then still reads with that status.
    bool Unplug(const std::string& path, std::optional<std::uint32_t> lingeringStatus = std::nullopt);
    // Whether the adapter at `path` is attached and its driver running.
    bool IsRunning(const std::string& path);
    bool IsAttached(const std::string& path);
    // The device plugged with this interface path (letter case ignored).
    std::optional<PluggedDevice> Find(const std::string& path);
    // Interfaces of devices that were attached once and are gone: members of
    // every set of `interfaceClass` that is not limited to present devices.
    void AddStaleInterfaces(const plat::Guid& interfaceClass, int count);

    // ---- suspend and resume ----------------------------------------------------
    // The power broadcasts of a suspend; the drives lose power.
    void Suspend();
    // Drives power on again (a drive with a password is locked once more),
    // then the resume broadcasts.
    void Resume();

    // ---- faults and vetoes --------------------------------------------------------
    void SetVeto(plat::DevNode node, CmRequest request, bool veto);
    void SetProblem(plat::DevNode node, std::uint32_t problem);
    void SetStatusReadable(plat::DevNode node, bool readable);
    void SetProperty(plat::DevNode node, plat::DevProperty property, std::optional<std::string> value);
    void SetDetailFails(const std::string& path, bool fails);
    void FailInterfaceSets(int count);

    // ---- observation ----------------------------------------------------------------
    std::vector<RequestRecord> Requests();
    void ClearRequests();
    // The pass-through requests the adapter at `path` received, as 580-byte
    // images taken before the drive ran them, oldest first (the last 256).
    std::vector<std::vector<std::uint8_t>> PassThroughs(const std::string& path);
    void ClearPassThroughs(const std::string& path);
    std::optional<std::uint32_t> Status(plat::DevNode node);
    std::uint32_t Problem(plat::DevNode node);
    std::size_t OpenSets(std::uint32_t pid);
    // The interface path of element `element` of an open interface set;
    // empty when there is no such set or element.
    std::string ElementPath(plat::Hdevinfo set, std::uint32_t element);
    static std::string HardwareKeyPath(const std::string& instanceId);

private:
    friend class DeviceTreeFacet;
    struct Node;
    struct Interface;
    struct Volume;
    struct Device;
    struct Set;
    struct Effects;

    // under mu_
    Node* NodeLocked(plat::DevNode id);
    Node* NodeByIdLocked(const std::string& instanceId);
    Node& NewNodeLocked(const std::string& instanceId, plat::DevNode parent);
    Device* DeviceOfNodeLocked(plat::DevNode id);
    Device* DeviceByPathLocked(const std::string& path);
    void AttachChildLocked(Node& parent, plat::DevNode child);
    void MountVolumesLocked(plat::DevNode storage, Effects& fx);
    void UnmountVolumesLocked(plat::DevNode storage, Effects& fx);
    // A node below an adapter disabled or enabled on its own: the nodes
    // below it leave or rejoin the tree, their volumes go or come.
    void DisableSubtreeLocked(Node& n, Effects& fx);
    void EnableSubtreeLocked(Node& n, Effects& fx);
    std::vector<plat::DevNode> DescendantsLocked(const Node& n);
    void StartDeviceLocked(Device& d, Effects& fx);
    void StopDeviceLocked(Device& d, std::uint32_t problem, std::uint32_t extraStatus, Effects& fx);
    std::uint32_t CheckRequestLocked(std::uint32_t pid, CmRequest request, plat::DevNode node);
    void LogLocked(std::uint32_t pid, CmRequest request, plat::DevNode node, std::uint32_t result);
    // outside mu_: carries the effects out on the machine
    void Apply(Effects& fx);

    Machine& machine_;
    RegistryStore& registry_;
    std::mutex mu_;
    std::map<plat::DevNode, std::unique_ptr<Node>> nodes_;
    std::map<std::string, plat::DevNode> byId_;  // upper-case instance id
    std::vector<Interface> interfaces_;          // registration order; never shrinks
    std::vector<Volume> volumes_;
    std::vector<std::unique_ptr<Device>> devices_;
    std::map<std::uintptr_t, std::unique_ptr<Set>> sets_;
    std::vector<RequestRecord> requests_;
    plat::DevNode nextNode_ = 1;
    std::uintptr_t nextSet_ = 0x5000;
    int serial_ = 0;
    int failSets_ = 0;
    plat::DevNode root_ = 0, hub_ = 0, volumeManager_ = 0;
};

std::unique_ptr<plat::DeviceTree> MakeDeviceTreeFacet(DeviceStore& store, std::uint32_t pid);

}  // namespace sim
