#include "sim/file_store.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace sim {

namespace {

std::string Upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string ParentOf(const std::string& key) {
    std::size_t slash = key.find_last_of('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// * matches any run of characters, ? any one; letter case is ignored.
bool WildcardMatch(const std::string& pattern, const std::string& name) {
    std::size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

constexpr std::uint32_t kReadWrite = plat::GENERIC_READ | plat::GENERIC_WRITE;

}  // namespace

std::string PathKey(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c == '\\' && !out.empty() && out.back() == '\\') continue;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    while (out.size() > 1 && out.back() == '\\') out.pop_back();
    return out;
}

FileStore::FileStore() {
    for (const char* f : {"C:", "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\SYSTEM32",
                          "C:\\WINDOWS\\SYSTEM32\\DRIVERS", "C:\\WINDOWS\\INF"})
        folders_.insert(f);
}

// ---------------------------------------------------------------------------
// Tests and the simulator
// ---------------------------------------------------------------------------
void FileStore::SetWindowsDirectory(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    windowsDir_ = path;
}

void FileStore::SetSystemDirectory(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    systemDir_ = path;
}

void FileStore::FailFolderQueries(bool fail) {
    std::lock_guard<std::mutex> lk(mu_);
    failFolders_ = fail;
}

void FileStore::AddFolder(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    for (std::string k = PathKey(path); !k.empty(); k = ParentOf(k)) folders_.insert(k);
}

void FileStore::AddFile(const std::string& path, const std::string& content, std::uint32_t attributes) {
    std::lock_guard<std::mutex> lk(mu_);
    std::string key = PathKey(path);
    for (std::string k = ParentOf(key); !k.empty(); k = ParentOf(k)) folders_.insert(k);
    File& f = files_[key];
    f.path = path;
    f.content.assign(content.begin(), content.end());
    f.attributes = attributes;
}

void FileStore::RemoveFile(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    RemoveLocked(PathKey(path));
}

bool FileStore::Exists(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    return files_.count(PathKey(path)) > 0;
}

bool FileStore::FolderExists(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    return folders_.count(PathKey(path)) > 0;
}

std::optional<std::string> FileStore::Content(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    File* f = FindLocked(PathKey(path));
    if (f == nullptr) return std::nullopt;
    return std::string(f->content.begin(), f->content.end());
}

std::uint32_t FileStore::Attributes(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    File* f = FindLocked(PathKey(path));
    return f ? f->attributes : plat::INVALID_FILE_ATTRIBUTES;
}

void FileStore::SetInUse(const std::string& path, bool inUse) {
    std::lock_guard<std::mutex> lk(mu_);
    if (File* f = FindLocked(PathKey(path))) f->inUse = inUse;
}

std::vector<std::string> FileStore::FilesIn(const std::string& folder) {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<std::string> out;
    const std::string key = PathKey(folder);
    for (auto& [k, f] : files_)
        if (ParentOf(k) == key) out.push_back(f.path);
    return out;
}

std::vector<std::string> FileStore::PendingDeletions() {
    std::lock_guard<std::mutex> lk(mu_);
    return pending_;
}

void FileStore::FailMappings(int count) {
    std::lock_guard<std::mutex> lk(mu_);
    failMappings_ = count;
}

std::vector<std::string> FileStore::CarryOutRestart() {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<std::string> done;
    // Every handle and mapping ends with the processes that held them.
    handles_.clear();
    mappings_.clear();
    for (auto& [k, f] : files_) {
        f.inUse = false;
        f.mappings = 0;
    }
    for (const std::string& path : pending_) {
        std::string key = PathKey(path);
        if (files_.count(key)) {
            RemoveLocked(key);
            done.push_back("deleted at restart: " + path);
        }
    }
    pending_.clear();

    const std::string iniKey = PathKey(windowsDir_ + "\\WININIT.INI");
    File* ini = FindLocked(iniKey);
    if (ini == nullptr) return done;
    std::string text(ini->content.begin(), ini->content.end());
    text = text.substr(0, text.find('\0'));
    bool inRename = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inRename = Upper(line) == "[RENAME]";
            continue;
        }
        std::size_t eq = line.find('=');
        if (!inRename || eq == std::string::npos) continue;
        std::string target = line.substr(0, eq);
        std::string source = line.substr(eq + 1);
        std::string sourceKey = PathKey(source);
        if (!files_.count(sourceKey)) continue;
        if (Upper(target) == "NUL") {
            RemoveLocked(sourceKey);
            done.push_back("deleted at restart by WININIT.INI: " + source);
        } else {
            File moved = files_[sourceKey];
            RemoveLocked(sourceKey);
            moved.path = target;
            files_[PathKey(target)] = moved;
            done.push_back("renamed at restart by WININIT.INI: " + source + " to " + target);
        }
    }
    File* left = FindLocked(iniKey);
    if (left == nullptr) return done;
    File bak = *left;
    RemoveLocked(iniKey);
    bak.path = windowsDir_ + "\\WININIT.BAK";
    files_[PathKey(bak.path)] = bak;
    done.push_back("WININIT.INI renamed WININIT.BAK");
    return done;
}

std::size_t FileStore::OpenHandles(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    std::size_t n = 0;
    for (auto& [h, o] : handles_) n += o.pid == pid;
    for (auto& [h, m] : mappings_) n += m.pid == pid;
    return n;
}

void FileStore::CloseAllOf(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto it = mappings_.begin(); it != mappings_.end();) {
        if (it->second.pid == pid) {
            if (File* f = FindLocked(it->second.key)) --f->mappings;
            it = mappings_.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(handles_, [&](const auto& h) { return h.second.pid == pid; });
}

// ---------------------------------------------------------------------------
// The facet's operations
// ---------------------------------------------------------------------------
FileStore::File* FileStore::FindLocked(const std::string& key) {
    auto it = files_.find(key);
    return it == files_.end() ? nullptr : &it->second;
}

void FileStore::RemoveLocked(const std::string& key) { files_.erase(key); }

bool FileStore::IsImageLocked(const Caller& c, const std::string& key) {
    const std::string name = NameOf(key);
    return std::find(c.runningImages.begin(), c.runningImages.end(), name) != c.runningImages.end();
}

bool FileStore::SharingAllowsLocked(const Caller& c, const std::string& key, const File& f, std::uint32_t access,
                                    std::uint32_t share, std::uint32_t& error) {
    struct Holder {
        std::uint32_t access, share;
    };
    std::vector<Holder> holders;
    for (auto& [h, o] : handles_)
        if (o.key == key) holders.push_back({o.access, o.share});
    if (f.inUse) holders.push_back({kReadWrite, plat::FILE_SHARE_READ});
    if (IsImageLocked(c, key)) holders.push_back({plat::GENERIC_READ, plat::FILE_SHARE_READ});
    for (const Holder& h : holders) {
        bool ok = (!(access & plat::GENERIC_READ) || (h.share & plat::FILE_SHARE_READ)) &&
                  (!(access & plat::GENERIC_WRITE) || (h.share & plat::FILE_SHARE_WRITE)) &&
                  (!(h.access & plat::GENERIC_READ) || (share & plat::FILE_SHARE_READ)) &&
                  (!(h.access & plat::GENERIC_WRITE) || (share & plat::FILE_SHARE_WRITE));
        if (!ok) {
            error = plat::ERROR_SHARING_VIOLATION;
            return false;
        }
    }
    return true;
}

std::string FileStore::WindowsDirectory(const Caller&, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    if (failFolders_) {
        error = plat::ERROR_PATH_NOT_FOUND;
        return {};
    }
    return windowsDir_;
}

std::string FileStore::SystemDirectory(const Caller& c, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    if (failFolders_) {
        error = plat::ERROR_PATH_NOT_FOUND;
        return {};
    }
    if (!systemDir_.empty()) return systemDir_;
    return windowsDir_ + (c.nt ? "\\SYSTEM32" : "\\SYSTEM");
}

std::uint32_t FileStore::GetAttributes(const std::string& path, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    std::string key = PathKey(path);
    if (File* f = FindLocked(key)) return f->attributes;
    if (folders_.count(key)) return plat::FILE_ATTRIBUTE_DIRECTORY;
    error = folders_.count(ParentOf(key)) ? plat::ERROR_FILE_NOT_FOUND : plat::ERROR_PATH_NOT_FOUND;
    return plat::INVALID_FILE_ATTRIBUTES;
}

bool FileStore::SetAttributes(const std::string& path, std::uint32_t attributes, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    File* f = FindLocked(PathKey(path));
    if (f == nullptr) {
        error = plat::ERROR_FILE_NOT_FOUND;
        return false;
    }
    // FILE_ATTRIBUTE_NORMAL is valid only alone and clears the others.
    f->attributes = (attributes & ~plat::FILE_ATTRIBUTE_NORMAL) != 0 ? attributes & ~plat::FILE_ATTRIBUTE_NORMAL
                                                                    : plat::FILE_ATTRIBUTE_NORMAL;
    return true;
}

bool FileStore::DeleteNow(const Caller& c, const std::string& path, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    std::string key = PathKey(path);
    File* f = FindLocked(key);
    if (f == nullptr) {
        error = folders_.count(ParentOf(key)) ? plat::ERROR_FILE_NOT_FOUND : plat::ERROR_PATH_NOT_FOUND;
        return false;
    }
    if ((f->attributes & plat::FILE_ATTRIBUTE_READONLY) || IsImageLocked(c, key)) {
        error = plat::ERROR_ACCESS_DENIED;
        return false;
    }
    bool open = f->inUse || f->mappings > 0 ||
                std::any_of(handles_.begin(), handles_.end(), [&](const auto& h) { return h.second.key == key; });
    if (open) {
        error = plat::ERROR_SHARING_VIOLATION;
        return false;
    }
    RemoveLocked(key);
    return true;
}

bool FileStore::DeleteAtRestart(const Caller& c, const std::string& path, std::uint32_t& error) {
    if (!c.nt) {
        error = plat::ERROR_CALL_NOT_IMPLEMENTED;
        return false;
    }
    std::lock_guard<std::mutex> lk(mu_);
    // The request is only written down; the file is not looked at now.
    pending_.push_back(path);
    return true;
}

bool FileStore::FindFiles(const std::string& pattern, std::vector<std::string>& names, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    names.clear();
    std::string key = PathKey(pattern);
    std::string folder = ParentOf(key);
    std::string wanted = NameOf(key);
    if (!folders_.count(folder)) {
        error = plat::ERROR_PATH_NOT_FOUND;
        return false;
    }
    for (auto& [k, f] : files_)
        if (ParentOf(k) == folder && WildcardMatch(wanted, NameOf(k))) names.push_back(NameOf(f.path));
    if (names.empty()) {
        error = plat::ERROR_FILE_NOT_FOUND;
        return false;
    }
    return true;
}

plat::Hfile FileStore::Open(const Caller& c, const std::string& path, std::uint32_t access, std::uint32_t share,
                            std::uint32_t disposition, std::uint32_t attributes, bool& created,
                            std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    created = false;
    std::string key = PathKey(path);
    if (folders_.count(key)) {
        error = plat::ERROR_ACCESS_DENIED;
        return plat::Hfile::None;
    }
    if (!folders_.count(ParentOf(key))) {
        error = plat::ERROR_PATH_NOT_FOUND;
        return plat::Hfile::None;
    }
    File* f = FindLocked(key);
    if (f == nullptr) {
        if (disposition == plat::OPEN_EXISTING) {
            error = plat::ERROR_FILE_NOT_FOUND;
            return plat::Hfile::None;
        }
        File& nf = files_[key];
        nf.path = path;
        nf.attributes = attributes == 0 ? plat::FILE_ATTRIBUTE_NORMAL : attributes;
        f = &nf;
        created = true;
    } else {
        if (disposition == plat::CREATE_NEW) {
            error = plat::ERROR_FILE_EXISTS;
            return plat::Hfile::None;
        }
        if ((f->attributes & plat::FILE_ATTRIBUTE_READONLY) && (access & plat::GENERIC_WRITE)) {
            error = plat::ERROR_ACCESS_DENIED;
            return plat::Hfile::None;
        }
        if (!SharingAllowsLocked(c, key, *f, access, share, error)) return plat::Hfile::None;
        if (disposition == plat::CREATE_ALWAYS) {
            if (f->mappings > 0) {
                error = plat::ERROR_USER_MAPPED_FILE;
                return plat::Hfile::None;
            }
            f->content.clear();
        }
    }
    auto h = next_ += 4;
    handles_[h] = OpenFile{key, access, share, c.pid, 0};
    return static_cast<plat::Hfile>(h);
}

bool FileStore::Close(const Caller& c, plat::Hfile file, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = handles_.find(plat::Raw(file));
    if (it == handles_.end() || it->second.pid != c.pid) {
        error = plat::ERROR_INVALID_HANDLE;
        return false;
    }
    handles_.erase(it);
    return true;
}

bool FileStore::Size(plat::Hfile file, std::uint64_t& size, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = handles_.find(plat::Raw(file));
    File* f = it == handles_.end() ? nullptr : FindLocked(it->second.key);
    if (f == nullptr) {
        error = plat::ERROR_INVALID_HANDLE;
        return false;
    }
    size = f->content.size();
    return true;
}

bool FileStore::Read(plat::Hfile file, void* buffer, std::uint32_t length, std::uint32_t& read,
                     std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    read = 0;
    auto it = handles_.find(plat::Raw(file));
    File* f = it == handles_.end() ? nullptr : FindLocked(it->second.key);
    if (f == nullptr) {
        error = plat::ERROR_INVALID_HANDLE;
        return false;
    }
    if (!(it->second.access & plat::GENERIC_READ)) {
        error = plat::ERROR_ACCESS_DENIED;
        return false;
    }
    std::uint64_t pos = it->second.position;
    if (pos < f->content.size()) {
        read = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, f->content.size() - pos));
        std::memcpy(buffer, f->content.data() + pos, read);
    }
    it->second.position = pos + read;
    return true;
}

bool FileStore::SetEnd(plat::Hfile file, std::uint64_t size, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = handles_.find(plat::Raw(file));
    File* f = it == handles_.end() ? nullptr : FindLocked(it->second.key);
    if (f == nullptr) {
        error = plat::ERROR_INVALID_HANDLE;
        return false;
    }
    if (!(it->second.access & plat::GENERIC_WRITE)) {
        error = plat::ERROR_ACCESS_DENIED;
        return false;
    }
    if (f->mappings > 0) {
        error = plat::ERROR_USER_MAPPED_FILE;
        return false;
    }
    f->content.resize(size, 0);
    it->second.position = size;
    return true;
}

plat::Hmapping FileStore::CreateMapping(const Caller& c, plat::Hfile file, std::uint64_t size,
                                        std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = handles_.find(plat::Raw(file));
    File* f = it == handles_.end() ? nullptr : FindLocked(it->second.key);
    if (f == nullptr) {
        error = plat::ERROR_INVALID_HANDLE;
        return plat::Hmapping::None;
    }
    if ((it->second.access & kReadWrite) != kReadWrite) {
        error = plat::ERROR_ACCESS_DENIED;
        return plat::Hmapping::None;
    }
    if (size == 0 && f->content.empty()) {
        error = plat::ERROR_FILE_INVALID;
        return plat::Hmapping::None;
    }
    if (failMappings_ > 0) {
        --failMappings_;
        error = plat::ERROR_NOT_ENOUGH_MEMORY;
        return plat::Hmapping::None;
    }
    // Views point into the content, which therefore keeps its size while
    // any mapping of the file is open.
    if (size > f->content.size()) {
        if (f->mappings > 0) {
            error = plat::ERROR_USER_MAPPED_FILE;
            return plat::Hmapping::None;
        }
        f->content.resize(size, 0);
    }
    ++f->mappings;
    auto h = next_ += 4;
    mappings_[h] = Mapping{it->second.key, c.pid, nullptr, false};
    return static_cast<plat::Hmapping>(h);
}

std::uint8_t* FileStore::MapView(plat::Hmapping mapping, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = mappings_.find(plat::Raw(mapping));
    File* f = it == mappings_.end() ? nullptr : FindLocked(it->second.key);
    if (f == nullptr || it->second.view != nullptr) {
        error = plat::ERROR_INVALID_HANDLE;
        return nullptr;
    }
    it->second.view = f->content.data();
    it->second.written = true;
    return it->second.view;
}

bool FileStore::UnmapView(std::uint8_t* view, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& [h, m] : mappings_) {
        if (m.view == view && view != nullptr) {
            m.view = nullptr;
            return true;
        }
    }
    error = plat::ERROR_INVALID_PARAMETER;
    return false;
}

bool FileStore::CloseMapping(plat::Hmapping mapping, std::string& writtenPath, std::uint32_t& error) {
    std::lock_guard<std::mutex> lk(mu_);
    writtenPath.clear();
    auto it = mappings_.find(plat::Raw(mapping));
    if (it == mappings_.end()) {
        error = plat::ERROR_INVALID_HANDLE;
        return false;
    }
    if (File* f = FindLocked(it->second.key)) {
        --f->mappings;
        if (it->second.written) writtenPath = f->path;
    }
    mappings_.erase(it);
    return true;
}

// ---------------------------------------------------------------------------
// The facet
// ---------------------------------------------------------------------------
namespace {

class FilesFacet final : public plat::Files {
public:
    FilesFacet(FileStore& s, std::uint32_t pid, std::function<bool()> isNt,
               std::function<std::vector<std::string>()> running, std::function<void(std::uint32_t)> setLastError,
               std::function<void(const std::string&)> note)
        : s_(s),
          pid_(pid),
          isNt_(std::move(isNt)),
          running_(std::move(running)),
          setLastError_(std::move(setLastError)),
          note_(std::move(note)) {}

    std::string WindowsDirectory() override {
        std::uint32_t e = 0;
        std::string d = s_.WindowsDirectory(Me(), e);
        return Done(d, e);
    }
    std::string SystemDirectory() override {
        std::uint32_t e = 0;
        std::string d = s_.SystemDirectory(Me(), e);
        return Done(d, e);
    }
    std::uint32_t GetAttributes(const std::string& path) override {
        std::uint32_t e = 0;
        std::uint32_t a = s_.GetAttributes(path, e);
        if (a == plat::INVALID_FILE_ATTRIBUTES) setLastError_(e);
        return a;
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        std::uint32_t e = 0;
        return Done(s_.SetAttributes(path, attributes, e), e);
    }
    bool DeleteNow(const std::string& path) override {
        std::uint32_t e = 0;
        bool ok = s_.DeleteNow(Me(), path, e);
        if (ok) note_("file deleted: " + path);
        return Done(ok, e);
    }
    bool DeleteAtRestart(const std::string& path) override {
        std::uint32_t e = 0;
        bool ok = s_.DeleteAtRestart(Me(), path, e);
        if (ok) note_("file marked for deletion at restart: " + path);
        return Done(ok, e);
    }
    bool FindFiles(const std::string& pattern, std::vector<std::string>& names) override {
        std::uint32_t e = 0;
        return Done(s_.FindFiles(pattern, names, e), e);
    }
    plat::Hfile Open(const std::string& path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                     std::uint32_t attributes) override {
        std::uint32_t e = 0;
        bool created = false;
        plat::Hfile h = s_.Open(Me(), path, access, share, disposition, attributes, created, e);
        if (created) note_("file created: " + path);
        if (h == plat::Hfile::None) setLastError_(e);
        return h;
    }
    bool Close(plat::Hfile file) override {
        std::uint32_t e = 0;
        return Done(s_.Close(Me(), file, e), e);
    }
    bool Size(plat::Hfile file, std::uint64_t& size) override {
        std::uint32_t e = 0;
        return Done(s_.Size(file, size, e), e);
    }
    bool Read(plat::Hfile file, void* buffer, std::uint32_t length, std::uint32_t& read) override {
        std::uint32_t e = 0;
        return Done(s_.Read(file, buffer, length, read, e), e);
    }
    bool SetEnd(plat::Hfile file, std::uint64_t size) override {
        std::uint32_t e = 0;
        return Done(s_.SetEnd(file, size, e), e);
    }
    plat::Hmapping CreateMapping(plat::Hfile file, std::uint64_t size) override {
        std::uint32_t e = 0;
        plat::Hmapping m = s_.CreateMapping(Me(), file, size, e);
        if (m == plat::Hmapping::None) setLastError_(e);
        return m;
    }
    std::uint8_t* MapView(plat::Hmapping mapping) override {
        std::uint32_t e = 0;
        std::uint8_t* v = s_.MapView(mapping, e);
        if (v == nullptr) setLastError_(e);
        return v;
    }
    bool UnmapView(std::uint8_t* view) override {
        std::uint32_t e = 0;
        return Done(s_.UnmapView(view, e), e);
    }
    bool CloseMapping(plat::Hmapping mapping) override {
        std::uint32_t e = 0;
        std::string written;
        bool ok = s_.CloseMapping(mapping, written, e);
        if (!written.empty()) note_("file written: " + written);
        return Done(ok, e);
    }

private:
    FileStore::Caller Me() {
        FileStore::Caller c;
        c.pid = pid_;
        c.nt = isNt_();
        c.runningImages = running_();
        return c;
    }
    bool Done(bool ok, std::uint32_t error) {
        if (!ok) setLastError_(error);
        return ok;
    }
    std::string Done(const std::string& s, std::uint32_t error) {
        if (s.empty()) setLastError_(error);
        return s;
    }

    FileStore& s_;
    std::uint32_t pid_;
    std::function<bool()> isNt_;
    std::function<std::vector<std::string>()> running_;
    std::function<void(std::uint32_t)> setLastError_;
    std::function<void(const std::string&)> note_;
};

}  // namespace

std::unique_ptr<plat::Files> MakeFilesFacet(FileStore& store, std::uint32_t pid, std::function<bool()> isNt,
                                            std::function<std::vector<std::string>()> running,
                                            std::function<void(std::uint32_t)> setLastError,
                                            std::function<void(const std::string&)> note) {
    return std::make_unique<FilesFacet>(store, pid, std::move(isNt), std::move(running), std::move(setLastError),
                                        std::move(note));
}

}  // namespace sim
