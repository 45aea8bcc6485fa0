// The simulated file system: one tree of folders and files shared by every
// process of the machine, the handles and mappings each process opens on it,
// the deletions waiting for the next start of the system, and that start.
//
// Paths are compared without regard to letter case. A file is in use while
// another program holds it open (SetInUse) or while a running program's
// image has its name (the sim places each program's image by file name).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

namespace sim {

class FileStore {
public:
    FileStore();

    // ---- for tests and the simulator ---------------------------------------------
    void SetWindowsDirectory(const std::string& path);
    // Empty: the family's usual folder (SYSTEM32 on the NT family, SYSTEM on 9x).
    void SetSystemDirectory(const std::string& path);
    // While set, the system gives neither the Windows nor the system folder.
    void FailFolderQueries(bool fail);
    void AddFolder(const std::string& path);
    // Creates or replaces a file, and the folders it lies in.
    void AddFile(const std::string& path, const std::string& content,
                 std::uint32_t attributes = plat::FILE_ATTRIBUTE_NORMAL);
    void RemoveFile(const std::string& path);
    bool Exists(const std::string& path);
    bool FolderExists(const std::string& path);
    std::optional<std::string> Content(const std::string& path);
    std::uint32_t Attributes(const std::string& path);
    // Another program holds the file open for reading and writing, sharing
    // reading only: it can neither be deleted nor opened for writing.
    void SetInUse(const std::string& path, bool inUse);
    // The full paths of the files directly in `folder`, in listing order.
    std::vector<std::string> FilesIn(const std::string& folder);
    // Files marked for deletion at the next start, in the order marked.
    std::vector<std::string> PendingDeletions();
    // The next `count` file mappings cannot be made.
    void FailMappings(int count);
    // The start of the system: carries out the marked deletions and the
    // "[Rename]" section of WININIT.INI in the Windows folder (which is then
    // renamed WININIT.BAK). Every open handle is dropped, as if the programs
    // holding them had ended; call it when none of them needs its files any
    // more. Returns what was done, one line each.
    std::vector<std::string> CarryOutRestart();

    std::size_t OpenHandles(std::uint32_t pid);
    void CloseAllOf(std::uint32_t pid);

    // ---- what the facet uses ----------------------------------------------------
    struct Caller {
        std::uint32_t pid = 0;
        bool nt = true;
        std::vector<std::string> runningImages;  // upper-case file names of running programs
    };
    std::string WindowsDirectory(const Caller& c, std::uint32_t& error);
    std::string SystemDirectory(const Caller& c, std::uint32_t& error);
    std::uint32_t GetAttributes(const std::string& path, std::uint32_t& error);
    bool SetAttributes(const std::string& path, std::uint32_t attributes, std::uint32_t& error);
    bool DeleteNow(const Caller& c, const std::string& path, std::uint32_t& error);
    bool DeleteAtRestart(const Caller& c, const std::string& path, std::uint32_t& error);
    bool FindFiles(const std::string& pattern, std::vector<std::string>& names, std::uint32_t& error);
    plat::Hfile Open(const Caller& c, const std::string& path, std::uint32_t access, std::uint32_t share,
                     std::uint32_t disposition, std::uint32_t attributes, bool& created, std::uint32_t& error);
    bool Close(const Caller& c, plat::Hfile file, std::uint32_t& error);
    bool Size(plat::Hfile file, std::uint64_t& size, std::uint32_t& error);
    bool Read(plat::Hfile file, void* buffer, std::uint32_t length, std::uint32_t& read, std::uint32_t& error);
    bool SetEnd(plat::Hfile file, std::uint64_t size, std::uint32_t& error);
    plat::Hmapping CreateMapping(const Caller& c, plat::Hfile file, std::uint64_t size, std::uint32_t& error);
    std::uint8_t* MapView(plat::Hmapping mapping, std::uint32_t& error);
    bool UnmapView(std::uint8_t* view, std::uint32_t& error);
    // The path of the mapped file when its content was written through the mapping.
    bool CloseMapping(plat::Hmapping mapping, std::string& writtenPath, std::uint32_t& error);

private:
    struct File {
        std::string path;  // as created
        std::vector<std::uint8_t> content;
        std::uint32_t attributes = plat::FILE_ATTRIBUTE_NORMAL;
        bool inUse = false;
        int mappings = 0;
    };
    struct OpenFile {
        std::string key;
        std::uint32_t access;
        std::uint32_t share;
        std::uint32_t pid;
        std::uint64_t position = 0;
    };
    struct Mapping {
        std::string key;
        std::uint32_t pid;
        std::uint8_t* view = nullptr;
        bool written = false;
    };

    File* FindLocked(const std::string& key);
    bool SharingAllowsLocked(const Caller& c, const std::string& key, const File& f, std::uint32_t access,
                             std::uint32_t share, std::uint32_t& error);
    bool IsImageLocked(const Caller& c, const std::string& key);
    void RemoveLocked(const std::string& key);

    std::mutex mu_;
    std::string windowsDir_ = "C:\\WINDOWS";
    std::string systemDir_;
    bool failFolders_ = false;
    int failMappings_ = 0;
    std::set<std::string> folders_;       // upper-case keys
    std::map<std::string, File> files_;   // upper-case key
    std::vector<std::string> pending_;    // marked for deletion at restart
    std::map<std::uintptr_t, OpenFile> handles_;
    std::map<std::uintptr_t, Mapping> mappings_;
    std::uintptr_t next_ = 0x2000;
};

// The facet one process sees. `running` lists the upper-case file names of
// the running programs; `note` writes a line of the machine's transcript.
std::unique_ptr<plat::Files> MakeFilesFacet(FileStore& store, std::uint32_t pid, std::function<bool()> isNt,
                                            std::function<std::vector<std::string>()> running,
                                            std::function<void(std::uint32_t)> setLastError,
                                            std::function<void(const std::string&)> note);

// Upper-case, backslash-separated form of a path, without doubled or
// trailing separators: the key the store files a path under.
std::string PathKey(const std::string& path);

}  // namespace sim
