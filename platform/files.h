// Files and folders: the system's known folders, attributes, deletion now or
// at the next start of the system, searches by pattern, opened files with
// their sharing, and files mapped into memory for reading and writing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace plat {

enum class Hfile : std::uintptr_t { None = 0 };
enum class Hmapping : std::uintptr_t { None = 0 };

// Access, sharing, disposition and attributes, with the system's values.
inline constexpr std::uint32_t GENERIC_READ = 0x80000000;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000;
inline constexpr std::uint32_t FILE_SHARE_NONE = 0x0;
inline constexpr std::uint32_t FILE_SHARE_READ = 0x1;
inline constexpr std::uint32_t FILE_SHARE_WRITE = 0x2;
inline constexpr std::uint32_t CREATE_NEW = 1;
inline constexpr std::uint32_t CREATE_ALWAYS = 2;
inline constexpr std::uint32_t OPEN_EXISTING = 3;
inline constexpr std::uint32_t OPEN_ALWAYS = 4;
inline constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr std::uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// Errors the file operations report through Kernel::LastError.
inline constexpr std::uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
inline constexpr std::uint32_t ERROR_FILE_EXISTS = 80;
inline constexpr std::uint32_t ERROR_FILE_INVALID = 1006;
inline constexpr std::uint32_t ERROR_USER_MAPPED_FILE = 1224;

class Files {
public:
    virtual ~Files() = default;

    // GetWindowsDirectory / GetSystemDirectory, without a trailing
    // backslash; empty when the system does not return it.
    virtual std::string WindowsDirectory() = 0;
    virtual std::string SystemDirectory() = 0;

    // INVALID_FILE_ATTRIBUTES when the file does not exist.
    virtual std::uint32_t GetAttributes(const std::string& path) = 0;
    virtual bool SetAttributes(const std::string& path, std::uint32_t attributes) = 0;

    // DeleteFile: deletes the file now. Fails for a read-only file or one in
    // use. (Members avoid the names the system headers turn into macros.)
    virtual bool DeleteNow(const std::string& path) = 0;
    // MoveFileEx(path, no new name, MOVEFILE_DELAY_UNTIL_REBOOT): the file is
    // deleted at the next start of the system. The Windows 95/98/Me family
    // refuses the request.
    virtual bool DeleteAtRestart(const std::string& path) = 0;

    // The names (without folder) of the files matching `pattern`, a folder
    // followed by a file name with the wildcards * and ?, in the order the
    // system lists them. False when nothing matches.
    virtual bool FindFiles(const std::string& pattern, std::vector<std::string>& names) = 0;

    // CreateFile with the given access, sharing, disposition and attributes.
    // None on failure (the reason in Kernel::LastError).
    virtual Hfile Open(const std::string& path, std::uint32_t access, std::uint32_t share,
                       std::uint32_t disposition, std::uint32_t attributes) = 0;
    virtual bool Close(Hfile file) = 0;
    virtual bool Size(Hfile file, std::uint64_t& size) = 0;
    // Reads from the file's current position, which then moves on.
    virtual bool Read(Hfile file, void* buffer, std::uint32_t length, std::uint32_t& read) = 0;
    // Moves the file pointer to `size` and ends the file there.
    virtual bool SetEnd(Hfile file, std::uint64_t size) = 0;

    // A read-write mapping of `size` bytes of a file opened for reading and
    // writing; a file shorter than that grows, and the added bytes read as
    // zeros. While a mapping is open the file's end cannot be moved.
    virtual Hmapping CreateMapping(Hfile file, std::uint64_t size) = 0;
    // A writable view of the whole mapping; null on failure.
    virtual std::uint8_t* MapView(Hmapping mapping) = 0;
    virtual bool UnmapView(std::uint8_t* view) = 0;
    virtual bool CloseMapping(Hmapping mapping) = 0;
};

}  // namespace plat
