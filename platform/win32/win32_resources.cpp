// The program's own resources: strings in the ANSI code page, shared
// 16 x 16 icons and bitmaps owned by the caller.
#include "platform/win32/win32_api.h"

namespace plat::win32 {

namespace {

class Win32Resources final : public Resources {
public:
    std::string String(std::uint32_t id) override {
        // With no buffer, LoadStringW hands out the resource's own text,
        // which is not zero-terminated, and its length.
        const wchar_t* text = nullptr;
        const int length = LoadStringW(Module(), id, reinterpret_cast<LPWSTR>(&text), 0);
        if (length <= 0 || text == nullptr) return {};
        const int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return {};
        std::string out(static_cast<std::size_t>(bytes), '\0');
        WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), bytes, nullptr, nullptr);
        return out;
    }

    Hicon Icon(std::uint32_t id) override {
        HANDLE h = LoadImageA(Module(), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, LR_SHARED);
        return static_cast<Hicon>(reinterpret_cast<std::uintptr_t>(h));
    }

    Hbitmap Bitmap(std::uint32_t id, bool map3dColours) override {
        HANDLE h = LoadImageA(Module(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                              map3dColours ? LR_LOADMAP3DCOLORS : 0);
        return static_cast<Hbitmap>(reinterpret_cast<std::uintptr_t>(h));
    }

    bool DeleteBitmap(Hbitmap bitmap) override {
        return bitmap != Hbitmap::None && DeleteObject(reinterpret_cast<HGDIOBJ>(Raw(bitmap))) != FALSE;
    }

private:
    static HINSTANCE Module() { return GetModuleHandleA(nullptr); }
};

}  // namespace

std::unique_ptr<Resources> MakeResources() { return std::make_unique<Win32Resources>(); }

}  // namespace plat::win32
