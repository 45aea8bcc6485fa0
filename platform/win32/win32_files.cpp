// Files and folders over kernel32: known folders, attributes, deletion now
// or at the next start, searches, opened and mapped files.
#include "platform/win32/win32_files.h"

#include "platform/win32/win32_api.h"

#include <vector>

namespace plat::win32 {

namespace {

HANDLE ToFile(Hfile f) { return reinterpret_cast<HANDLE>(Raw(f)); }
HANDLE ToMapping(Hmapping m) { return reinterpret_cast<HANDLE>(Raw(m)); }

// A folder the system names into a MAX_PATH buffer, without a trailing
// backslash (a drive's root keeps none either: "C:").
template <class Query>
std::string Folder(Query query) {
    char buffer[MAX_PATH] = {};
    const UINT n = query(buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::string path(buffer, n);
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

class Win32Files final : public Files {
public:
    std::string WindowsDirectory() override { return Folder([](LPSTR b, UINT n) { return GetWindowsDirectoryA(b, n); }); }
    std::string SystemDirectory() override { return Folder([](LPSTR b, UINT n) { return GetSystemDirectoryA(b, n); }); }

    std::uint32_t GetAttributes(const std::string& path) override { return GetFileAttributesA(path.c_str()); }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return SetFileAttributesA(path.c_str(), attributes) != FALSE;
    }

    bool DeleteNow(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }
    bool DeleteAtRestart(const std::string& path) override {
        return MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    }

    bool FindFiles(const std::string& pattern, std::vector<std::string>& names) override {
        names.clear();
        WIN32_FIND_DATAA found{};
        HANDLE search = FindFirstFileA(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return false;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        if (names.empty()) ::SetLastError(ERROR_FILE_NOT_FOUND);
        return !names.empty();
    }

    Hfile Open(const std::string& path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
               std::uint32_t attributes) override {
        HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
        return h == INVALID_HANDLE_VALUE ? Hfile::None : static_cast<Hfile>(reinterpret_cast<std::uintptr_t>(h));
    }
    bool Close(Hfile file) override { return CloseHandle(ToFile(file)) != FALSE; }

    bool Size(Hfile file, std::uint64_t& size) override {
        // GetFileSize rather than GetFileSizeEx: the 95/98/Me family lacks the latter.
        DWORD high = 0;
        const DWORD low = GetFileSize(ToFile(file), &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
        size = (std::uint64_t{high} << 32) | low;
        return true;
    }

    bool Read(Hfile file, void* buffer, std::uint32_t length, std::uint32_t& read) override {
        DWORD got = 0;
        const BOOL ok = ReadFile(ToFile(file), buffer, length, &got, nullptr);
        read = got;
        return ok != FALSE;
    }

    bool SetEnd(Hfile file, std::uint64_t size) override {
        LONG high = static_cast<LONG>(size >> 32);
        ::SetLastError(NO_ERROR);
        const DWORD low = SetFilePointer(ToFile(file), static_cast<LONG>(size & 0xFFFFFFFF), &high, FILE_BEGIN);
        if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
        return SetEndOfFile(ToFile(file)) != FALSE;
    }

    Hmapping CreateMapping(Hfile file, std::uint64_t size) override {
        HANDLE m = CreateFileMappingA(ToFile(file), nullptr, PAGE_READWRITE, static_cast<DWORD>(size >> 32),
                                      static_cast<DWORD>(size & 0xFFFFFFFF), nullptr);
        return m == nullptr ? Hmapping::None : static_cast<Hmapping>(reinterpret_cast<std::uintptr_t>(m));
    }
    std::uint8_t* MapView(Hmapping mapping) override {
        return static_cast<std::uint8_t*>(MapViewOfFile(ToMapping(mapping), FILE_MAP_WRITE, 0, 0, 0));
    }
    bool UnmapView(std::uint8_t* view) override { return UnmapViewOfFile(view) != FALSE; }
    bool CloseMapping(Hmapping mapping) override { return CloseHandle(ToMapping(mapping)) != FALSE; }
};

}  // namespace

std::unique_ptr<Files> MakeFiles() { return std::make_unique<Win32Files>(); }

}  // namespace plat::win32
