#include "tray/discovery.h"

#include <cctype>
#include <vector>

#include "common/adapter_driver.h"
#include "common/guid.h"
#include "tray/trace.h"

namespace tray {

namespace {

constexpr std::size_t kNameBuffer = 260;      // device-node names, terminator included
constexpr std::size_t kDeviceIdBuffer = 200;  // device instance identifiers
constexpr std::size_t kLetterValueBuffer = 50;  // "CurrentDriveLetterAssignment"
// Device-tree walks follow the platform's links; a tree deeper than this is
// taken as broken rather than followed for ever.
constexpr int kMaxTreeDepth = 32;

plat::DevNode FirstChild(plat::System& sys, plat::DevNode node) {
    plat::DevNode child = 0;
    if (node == 0 || sys.deviceTree().GetChild(node, child) != plat::CR_SUCCESS) return 0;
    return child;
}

plat::DevNode NextSibling(plat::System& sys, plat::DevNode node) {
    plat::DevNode sibling = 0;
    if (node == 0 || sys.deviceTree().GetSibling(node, sibling) != plat::CR_SUCCESS) return 0;
    return sibling;
}

std::string DeviceId(plat::System& sys, plat::DevNode node, bool& ok) {
    std::string id;
    ok = node != 0 && sys.deviceTree().GetDeviceId(node, kDeviceIdBuffer, id) == plat::CR_SUCCESS;
    return ok ? id : std::string();
}

// The friendly name, else the device description, of `node` itself.
std::string OwnName(plat::System& sys, plat::DevNode node) {
    std::string name;
    if (node == 0) return name;
    if (sys.deviceTree().GetProperty(node, plat::DevProperty::FriendlyName, kNameBuffer, name) == plat::CR_SUCCESS)
        return name;
    if (sys.deviceTree().GetProperty(node, plat::DevProperty::DeviceDesc, kNameBuffer, name) == plat::CR_SUCCESS)
        return name;
    return {};
}

// The removal relations of a device: true with the ids when the list could
// be sized and is not empty; `readable` tells whether the size could be read.
bool RemovalRelations(plat::System& sys, const std::string& id, std::vector<std::string>& ids) {
    std::uint32_t size = 0;
    if (sys.deviceTree().GetDeviceIdListSize(id, plat::CM_GETIDLIST_FILTER_REMOVALRELATIONS, size) !=
            plat::CR_SUCCESS ||
        size == 0)
        return false;
    ids.clear();
    if (sys.deviceTree().GetDeviceIdList(id, plat::CM_GETIDLIST_FILTER_REMOVALRELATIONS, size, ids) !=
        plat::CR_SUCCESS)
        ids.clear();
    return true;
}

std::string LettersNt(plat::System& sys, plat::DevNode node, int depth) {
    if (node == 0 || depth > kMaxTreeDepth) return {};
    std::string own = GetVolumeLetter(sys, node);
    if (!own.empty()) {
        plat::DevNode sibling = NextSibling(sys, node);
        if (sibling != 0) {
            std::string more = LettersNt(sys, sibling, depth + 1);
            if (!more.empty()) own += ", " + more;
        }
        return own;
    }
    bool ok = false;
    std::string id = DeviceId(sys, node, ok);
    if (!ok) return {};
    std::vector<std::string> relations;
    if (RemovalRelations(sys, id, relations)) {
        std::string out;
        for (const std::string& rel : relations) {
            plat::DevNode relNode = 0;
            if (sys.deviceTree().LocateDevNode(rel, relNode) != plat::CR_SUCCESS) continue;
            std::string letter = GetVolumeLetter(sys, relNode);
            if (letter.empty()) continue;
            if (!out.empty()) out += ", ";
            out += letter;
        }
        return out;
    }
    return LettersNt(sys, FirstChild(sys, node), depth + 1);
}

unsigned CountNt(plat::System& sys, plat::DevNode node, int depth) {
    if (node == 0 || depth > kMaxTreeDepth) return 0;
    if (!GetVolumeLetter(sys, node).empty()) return 1;
    bool ok = false;
    std::string id = DeviceId(sys, node, ok);
    if (!ok) return 0;
    std::vector<std::string> relations;
    if (RemovalRelations(sys, id, relations)) {
        unsigned n = 0;
        for (const std::string& rel : relations) {
            plat::DevNode relNode = 0;
            if (sys.deviceTree().LocateDevNode(rel, relNode) == plat::CR_SUCCESS && !GetVolumeLetter(sys, relNode).empty())
                ++n;
        }
        return n;
    }
    return CountNt(sys, FirstChild(sys, node), depth + 1);
}

// Windows 9x: the drive letters the storage node below `node` was given,
// from its "CurrentDriveLetterAssignment" value (one byte a letter, the last
// byte the terminator). Reading stops at a zero byte; bytes that are not
// letters are left out, so a damaged value never puts control characters
// into a text.
std::vector<char> AssignedLetters9x(plat::System& sys, plat::DevNode node) {
    std::vector<char> letters;
    plat::DevNode child = FirstChild(sys, node);
    if (child == 0) return letters;
    plat::Hkey key = plat::Hkey::None;
    if (sys.deviceTree().OpenHardwareKey(child, key) != plat::CR_SUCCESS || key == plat::Hkey::None) return letters;
    std::vector<std::uint8_t> value;
    const bool read = sys.registry().QueryValue(key, "CurrentDriveLetterAssignment", kLetterValueBuffer, value, nullptr);
    sys.registry().CloseKey(key);
    if (!read || value.size() < 2 || value.size() > kLetterValueBuffer) return letters;
    for (std::size_t i = 0; i + 1 < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c == 0) break;
        if (std::isalpha(c) && c < 0x80) letters.push_back(static_cast<char>(c));
    }
    return letters;
}

}  // namespace

plat::DevNode FindDevNode(plat::System& sys, const plat::Guid& interfaceClass, const std::string& path) {
    plat::DeviceTree& tree = sys.deviceTree();
    plat::Hdevinfo set = tree.GetInterfaceSet(interfaceClass, false);
    if (set == plat::Hdevinfo::None) return 0;
    plat::DevNode node = 0;
    for (std::uint32_t index = 0; index < kMaxInterfaceMembers; ++index) {
        plat::InterfaceDetail detail;
        plat::EnumResult r = tree.EnumInterface(set, interfaceClass, index, detail);
        if (r == plat::EnumResult::NoMore) break;
        if (r == plat::EnumResult::Ok && SamePath(detail.path, path)) {
            node = detail.devNode;
            break;
        }
    }
    tree.DestroySet(set);
    return node;
}

bool ReadDevNodeName(plat::System& sys, Family family, plat::DevNode node, std::string& name) {
    plat::DevNode target = node;
    if (family == Family::Win9x) {
        plat::DevNode child = FirstChild(sys, node);
        if (child != 0) target = child;
    }
    name = OwnName(sys, target);
    return true;
}

std::uint32_t GetDevNodeProblem(plat::System& sys, plat::DevNode node) {
    std::uint32_t status = 0, problem = 0;
    if (node == 0 || sys.deviceTree().GetStatus(node, status, problem) != plat::CR_SUCCESS) return 0xFFFF;
    return (status & plat::DN_HAS_PROBLEM) ? problem : 0;
}

bool GetDevNodeStatus(plat::System& sys, plat::DevNode node, std::uint32_t* status, std::uint32_t* problem) {
    std::uint32_t s = 0, p = 0;
    if (node == 0 || sys.deviceTree().GetStatus(node, s, p) != plat::CR_SUCCESS) {
        TRAY_TRACE(sys, "Get DevNode Status failed!!!\n");
        return false;
    }
    if (status) *status = s;
    if (problem) *problem = p;
    TRAY_TRACE(sys, "DevNode Status = 0x%x, Problem = 0x%x\n", s, p);
    return true;
}

std::string GetVolumeLetter(plat::System& sys, plat::DevNode node) {
    plat::DeviceTree& tree = sys.deviceTree();
    bool ok = false;
    std::string id = DeviceId(sys, node, ok);
    if (!ok) return {};
    std::uint32_t size = 0;
    if (tree.GetInterfaceListSize(trv::VolumeInterfaceGuid, id, size) != plat::CR_SUCCESS || size <= 1) return {};
    std::vector<std::string> paths;
    if (tree.GetInterfaceList(trv::VolumeInterfaceGuid, id, size, paths) != plat::CR_SUCCESS || paths.empty() ||
        paths.front().empty())
        return {};
    // The mount point: the path up to and with its first backslash after the
    // leading "\\?\", or the whole path with a backslash added.
    std::string mountPoint = paths.front();
    const std::size_t slash = mountPoint.size() > 4 ? mountPoint.find('\\', 4) : std::string::npos;
    if (slash == std::string::npos)
        mountPoint += '\\';
    else
        mountPoint.resize(slash + 1);
    std::string volume;
    if (!tree.VolumeNameForMountPoint(mountPoint, volume) || volume.empty()) return {};
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::string root{letter, ':', '\\'};
        std::string name;
        if (tree.VolumeNameForMountPoint(root, name) && SamePath(name, volume)) return std::string{letter, ':'};
    }
    return {};
}

std::string GetDriveLetters(plat::System& sys, Family family, plat::DevNode node) {
    if (family == Family::Nt) return LettersNt(sys, node, 0);
    std::string out;
    for (char letter : AssignedLetters9x(sys, node)) {
        if (!out.empty()) out += ", ";
        out += letter;
        out += ':';
    }
    return out;
}

unsigned CountDriveLetters(plat::System& sys, Family family, plat::DevNode node) {
    if (family == Family::Nt) return CountNt(sys, node, 0);
    return static_cast<unsigned>(AssignedLetters9x(sys, node).size());
}

std::string GetFriendlyName(plat::System& sys, Family family, const plat::Guid& interfaceClass,
                            const std::string& path) {
    plat::DevNode node = FindDevNode(sys, interfaceClass, path);
    plat::DevNode child = FirstChild(sys, node);
    std::string name;
    if (child == 0) {
        ReadDevNodeName(sys, family, node, name);
        return name.empty() ? std::string("Unknown Device") : "\\" + name;
    }
    ReadDevNodeName(sys, family, child, name);
    if (name.empty()) ReadDevNodeName(sys, family, node, name);
    plat::DevNode sibling = NextSibling(sys, child);
    if (sibling != 0) {
        std::string other;
        ReadDevNodeName(sys, family, sibling, other);
        if (!other.empty()) name += " AND " + other;
    }
    return name;
}

PictureChoice ChoosePictures(const CStorageDevice& r) {
    const std::uint32_t s = r.m_dwSecurityStatus;
    const bool enabled = (s & SECURITY_ENABLED) != 0;
    if ((s & SECURITY_SUPPORTED) && enabled && (s & SECURITY_LOCKED)) return {168, 163};
    if (r.m_dwAdapterFlags & trv::ADAPTER_FLAG_USBFLAGS) {
        if (r.m_dwUsbFlags & 1) return enabled ? PictureChoice{172, 174} : PictureChoice{170, 172};
        return enabled ? PictureChoice{171, 173} : PictureChoice{169, 171};
    }
    return enabled ? PictureChoice{173, 175} : PictureChoice{145, 164};
}

void RefreshNameAndImages(plat::System& sys, Family family, CStorageDevice* record) {
    if (record == nullptr) return;
    plat::DevNode node = FindDevNode(sys, record->m_guidInterface, record->m_strDevicePath);
    plat::DevNode child = FirstChild(sys, node);
    std::string name;
    if (child != 0) {
        ReadDevNodeName(sys, family, child, name);
        if (name.empty()) ReadDevNodeName(sys, family, node, name);
    } else if (record->m_strDisplayName.empty()) {
        ReadDevNodeName(sys, family, node, name);
    }
    if (!name.empty()) record->m_strDisplayName = name;

    record->m_hIcon = plat::Hicon::None;
    if (record->m_hBitmap != plat::Hbitmap::None) {
        sys.resources().DeleteBitmap(record->m_hBitmap);
        record->m_hBitmap = plat::Hbitmap::None;
    }
    const PictureChoice pictures = ChoosePictures(*record);
    record->m_hIcon = sys.resources().Icon(pictures.icon);
    record->m_hBitmap = sys.resources().Bitmap(pictures.bitmap, true);
}

bool RefreshDevNode(plat::System& sys, Family family, const CStorageDevice& record) {
    plat::DevNode node = FindDevNode(sys, record.m_guidInterface, record.m_strDevicePath);
    std::uint32_t cr = sys.deviceTree().ReenumerateDevNode(node);
    if (cr != plat::CR_SUCCESS) {
        TRAY_TRACE(sys, "Unable to re-fresh dev node 0x%x - 0x%x\n", node, cr);
        return false;
    }
    if (family == Family::Nt) return true;
    // Windows 9x: restart the storage node so that the drive is read anew.
    plat::DevNode child = FirstChild(sys, node);
    if (child == 0) return false;
    TRAY_TRACE(sys, "Disable dev node 0x%x\n", child);
    if (sys.deviceTree().DisableDevNode(child) != plat::CR_SUCCESS) return false;
    TRAY_TRACE(sys, "Enable dev node 0x%x\n", child);
    cr = sys.deviceTree().EnableDevNode(child);
    if (cr != plat::CR_SUCCESS) {
        TRAY_TRACE(sys, "Unable to enable dev node 0x%x - 0x%x\n", child, cr);
        return false;
    }
    return true;
}

}  // namespace tray
