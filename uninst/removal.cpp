#include "uninst/removal.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "uninst/names.h"

namespace uninst {

namespace {

constexpr char kWinInitName[] = "\\WinInit.Ini";
constexpr char kRenameHeader[] = "[Rename]\r\n";
constexpr std::size_t kRenameHeaderLength = sizeof kRenameHeader - 1;  // 10
constexpr char kLineBreak[] = "\r\n";
constexpr std::size_t kLineBreakLength = 2;
constexpr std::size_t kSubkeyNameBuffer = 256;

// The folder path with the file name, as built in a 260-character buffer:
// empty when the folder is unknown or the whole does not fit.
std::string InFolder(const std::string& folder, const std::string& tail, const std::string& name) {
    if (folder.empty()) return {};
    std::string path = folder + tail + name;
    return path.size() < kPathBuffer ? path : std::string();
}

// The position of `text` in `content` read as text, that is, up to its first
// zero byte; npos when it is not there.
std::size_t FindInText(const std::uint8_t* content, std::size_t size, const std::string& text) {
    if (size == 0) return text.empty() ? 0 : std::string::npos;
    const void* zero = std::memchr(content, 0, size);
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - content) : size;
    std::string_view haystack(reinterpret_cast<const char*>(content), length);
    std::size_t at = haystack.find(text);
    return at == std::string_view::npos ? std::string::npos : at;
}

void DeleteSubkeys(plat::Registry& reg, plat::Hkey key) {
    std::uint32_t index = 0;
    std::string name;
    while (reg.EnumSubkey(key, index, kSubkeyNameBuffer, name)) {
        if (name.empty()) {
            ++index;
            continue;
        }
        plat::Hkey child = reg.OpenKey(key, name, true);
        if (child != plat::Hkey::None) {
            DeleteSubkeys(reg, child);
            reg.CloseKey(child);
        }
        // A deleted key makes room for the next one at the same index; one
        // that stays is stepped over, so the walk always ends.
        if (!reg.DeleteKey(key, name)) ++index;
    }
}

}  // namespace

std::string WithExtension(const std::string& path, const std::string& extension) {
    const std::size_t folderEnd = path.find_last_of("\\/:");
    const std::size_t nameStart = folderEnd == std::string::npos ? 0 : folderEnd + 1;
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) dot = path.size();
    return path.substr(0, dot) + "." + extension;
}

bool RemoveFile(plat::System& sys, const std::string& path) {
    plat::Files& files = sys.files();
    files.SetAttributes(path, plat::FILE_ATTRIBUTE_NORMAL);
    if (files.DeleteAtRestart(path)) return true;
    if (files.DeleteNow(path)) return true;
    return AddWinInitRename(sys, "NUL", path);
}

bool AddWinInitRename(plat::System& sys, const std::string& target, const std::string& source) {
    plat::Files& files = sys.files();
    const std::string path = InFolder(files.WindowsDirectory(), kWinInitName, "");
    if (path.empty()) return false;
    plat::Hfile file = files.Open(path, plat::GENERIC_READ | plat::GENERIC_WRITE, plat::FILE_SHARE_NONE,
                                  plat::OPEN_ALWAYS, plat::FILE_ATTRIBUTE_NORMAL);
    if (file == plat::Hfile::None) return false;

    const std::string line = target + "=" + source + "\r\n";
    const std::size_t lineLength = line.size();
    std::uint64_t oldSize = 0;
    if (!files.Size(file, oldSize)) {
        files.Close(file);
        return false;
    }
    std::size_t size = static_cast<std::size_t>(oldSize);
    // Room for the line, a header and a line break ending an unfinished last line.
    const std::uint64_t mappedSize = oldSize + lineLength + kRenameHeaderLength + kLineBreakLength;
    plat::Hmapping mapping = files.CreateMapping(file, mappedSize);
    std::uint8_t* view = mapping != plat::Hmapping::None ? files.MapView(mapping) : nullptr;
    if (view == nullptr) {
        if (mapping != plat::Hmapping::None) files.CloseMapping(mapping);
        files.SetEnd(file, oldSize);
        files.Close(file);
        return false;
    }

    std::size_t insertAt = std::string::npos;
    if (size != 0) {
        std::size_t header = FindInText(view, size, kRenameHeader);
        if (header != std::string::npos) {
            // The start of the line after the header.
            insertAt = header + kRenameHeaderLength;
            std::memmove(view + insertAt + lineLength, view + insertAt, size - insertAt);
        }
    }
    if (insertAt == std::string::npos) {
        // The header must start a line of its own.
        if (size != 0 && view[size - 1] != '\n') {
            std::memcpy(view + size, kLineBreak, kLineBreakLength);
            size += kLineBreakLength;
        }
        std::memcpy(view + size, kRenameHeader, kRenameHeaderLength);
        size += kRenameHeaderLength;
        insertAt = size;
    }
    std::memcpy(view + insertAt, line.data(), lineLength);
    size += lineLength;

    files.UnmapView(view);
    files.CloseMapping(mapping);
    files.SetEnd(file, size);
    files.Close(file);
    return true;
}

bool RemoveSystemFile(plat::System& sys, const std::string& name) {
    std::string path = InFolder(sys.files().SystemDirectory(), "\\", name);
    return !path.empty() && RemoveFile(sys, path);
}

bool RemoveWindowsFile(plat::System& sys, const std::string& name) {
    std::string path = InFolder(sys.files().WindowsDirectory(), "\\", name);
    return !path.empty() && RemoveFile(sys, path);
}

bool RemoveDriverFile(plat::System& sys, const std::string& name) {
    std::string path = InFolder(sys.files().WindowsDirectory(), "\\SYSTEM32\\DRIVERS\\", name);
    return !path.empty() && RemoveFile(sys, path);
}

bool RemoveIosubsysFile(plat::System& sys, const std::string& name) {
    std::string path = InFolder(sys.files().WindowsDirectory(), "\\SYSTEM\\IOSUBSYS\\", name);
    return !path.empty() && RemoveFile(sys, path);
}

bool RemoveInfFile(plat::System& sys, const std::string& name) {
    std::string path = InFolder(sys.files().WindowsDirectory(), "\\INF\\", name);
    if (path.empty()) return false;
    RemoveFile(sys, path);
    RemoveFile(sys, WithExtension(path, "PNF"));
    return true;
}

bool RemoveInfCopies(plat::System& sys, const std::string& subfolder, const std::string& pattern,
                     const std::string& section) {
    plat::Files& files = sys.files();
    const std::string windows = files.WindowsDirectory();
    if (windows.empty()) return true;
    const std::string folder = windows + subfolder;
    std::vector<std::string> names;
    if (!files.FindFiles(folder + "\\" + pattern, names)) return true;
    const std::string wanted = "[" + section + "]";
    for (const std::string& name : names) {
        const std::string path = folder + "\\" + name;
        if (FileContainsText(sys, path, wanted)) {
            RemoveFile(sys, path);
            RemoveFile(sys, WithExtension(path, "PNF"));
        }
    }
    return true;
}

bool FileContainsText(plat::System& sys, const std::string& path, const std::string& text) {
    plat::Files& files = sys.files();
    plat::Hfile file = files.Open(path, plat::GENERIC_READ | plat::GENERIC_WRITE, plat::FILE_SHARE_NONE,
                                  plat::OPEN_EXISTING, plat::FILE_ATTRIBUTE_NORMAL);
    if (file == plat::Hfile::None) return false;
    std::vector<std::uint8_t> content;
    std::uint64_t size = 0;
    bool ok = files.Size(file, size);
    if (ok) {
        content.resize(static_cast<std::size_t>(size));
        std::size_t done = 0;
        while (ok && done < content.size()) {
            std::uint32_t chunk = static_cast<std::uint32_t>(std::min<std::size_t>(content.size() - done, 1u << 20));
            std::uint32_t got = 0;
            ok = files.Read(file, content.data() + done, chunk, got) && got > 0;
            done += got;
        }
    }
    files.Close(file);
    return ok && FindInText(content.data(), content.size(), text) != std::string::npos;
}

bool DeleteRegistryTree(plat::System& sys, const std::string& subkey) {
    plat::Registry& reg = sys.registry();
    plat::Hkey key = reg.OpenKey(plat::Hkey::LocalMachine, subkey, true);
    if (key != plat::Hkey::None) {
        DeleteSubkeys(reg, key);
        reg.CloseKey(key);
    }
    reg.DeleteKey(plat::Hkey::LocalMachine, subkey);
    return true;
}

bool RegistryKeyExists(plat::System& sys, const std::string& subkey) {
    plat::Registry& reg = sys.registry();
    plat::Hkey key = reg.OpenKey(plat::Hkey::LocalMachine, subkey, true);
    if (key == plat::Hkey::None) return false;
    reg.CloseKey(key);
    return true;
}

}  // namespace uninst
