// Requests to the adapter driver: CreateFile on the interface path and
// buffered DeviceIoControl.
#include "platform/win32/win32_api.h"

namespace plat::win32 {

namespace {

// None stands for INVALID_HANDLE_VALUE; every other handle maps one to one.
HANDLE ToFile(Hdevice d) { return d == Hdevice::None ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(Raw(d)); }
Hdevice FromFile(HANDLE h) {
    return h == INVALID_HANDLE_VALUE || h == nullptr ? Hdevice::None
                                                     : static_cast<Hdevice>(reinterpret_cast<std::uintptr_t>(h));
}

class Win32DeviceIo final : public DeviceIo {
public:
    Hdevice Open(const std::string& path) override {
        return FromFile(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    }

    bool Control(Hdevice device, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                 std::uint32_t outLength, std::uint32_t* returned) override {
        if (returned) *returned = 0;
        if (device == Hdevice::None) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        DWORD count = 0;
        const BOOL ok = DeviceIoControl(ToFile(device), code, const_cast<void*>(in), inLength, out, outLength, &count,
                                        nullptr);
        if (ok && returned) *returned = count;
        return ok != FALSE;
    }

    bool Close(Hdevice device) override { return device != Hdevice::None && CloseHandle(ToFile(device)) != FALSE; }
};

}  // namespace

std::unique_ptr<DeviceIo> MakeDeviceIo() { return std::make_unique<Win32DeviceIo>(); }

}  // namespace plat::win32
