#include "common/device_interfaces.h"

#include <algorithm>

namespace trv {

namespace {
char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool SameInterfacePath(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

bool ForEachInterface(plat::DeviceTree& tree, const plat::Guid& interfaceClass, bool presentOnly,
                      const std::function<bool(const plat::InterfaceDetail&)>& visit) {
    plat::Hdevinfo set = tree.GetInterfaceSet(interfaceClass, presentOnly);
    if (set == plat::Hdevinfo::None) return false;
    for (std::uint32_t index = 0;; ++index) {
        plat::InterfaceDetail detail;
        plat::EnumResult r = tree.EnumInterface(set, interfaceClass, index, detail);
        if (r == plat::EnumResult::NoMore) break;
        if (r == plat::EnumResult::Ok && !visit(detail)) break;
    }
    tree.DestroySet(set);
    return true;
}

plat::DevNode FindInterfaceDevNode(plat::DeviceTree& tree, const plat::Guid& interfaceClass,
                                   const std::string& path) {
    plat::DevNode found = 0;
    ForEachInterface(tree, interfaceClass, false, [&](const plat::InterfaceDetail& d) {
        if (!SameInterfacePath(d.path, path)) return true;
        found = d.devNode;
        return false;
    });
    return found;
}

HardwareKey::HardwareKey(plat::System& sys, plat::DevNode node) : sys_(sys) {
    plat::Hkey key = plat::Hkey::None;
    if (node != 0 && sys.deviceTree().OpenHardwareKey(node, key) == plat::CR_SUCCESS) key_ = key;
}

HardwareKey::~HardwareKey() {
    if (key_ != plat::Hkey::None) sys_.registry().CloseKey(key_);
}

bool HardwareKey::ReadBytes(const std::string& name, std::size_t capacity, std::vector<std::uint8_t>& data) {
    data.clear();
    if (key_ == plat::Hkey::None) return false;
    if (!sys_.registry().QueryValue(key_, name, capacity, data, nullptr)) return false;
    if (data.size() > capacity) data.resize(capacity);
    return true;
}

bool HardwareKey::ReadText(const std::string& name, std::size_t capacity, std::string& text) {
    text.clear();
    std::vector<std::uint8_t> data;
    if (capacity == 0 || !ReadBytes(name, capacity, data)) return false;
    auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
    text.assign(data.begin(), end);
    if (text.size() > capacity - 1) text.resize(capacity - 1);
    return true;
}

bool HardwareKey::ReadNumber(const std::string& name, std::uint32_t& value) {
    std::vector<std::uint8_t> data;
    if (!ReadBytes(name, 4, data)) return false;
    value = 0;
    for (std::size_t i = data.size(); i > 0; --i) value = (value << 8) | data[i - 1];
    return true;
}

}  // namespace trv
