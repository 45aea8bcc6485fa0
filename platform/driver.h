// Requests to a device driver through an opened device-interface path.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace plat {

class DeviceIo {
public:
    virtual ~DeviceIo() = default;
    // Opens `path` for reading and writing, sharing reading and writing, the
    // device must exist. None on failure.
    virtual Hdevice Open(const std::string& path) = 0;
    // A buffered control request. `returned`, when given, receives the byte
    // count the driver reports (0 on failure).
    virtual bool Control(Hdevice device, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                         std::uint32_t outLength, std::uint32_t* returned) = 0;
    virtual bool Close(Hdevice device) = 0;
};

}  // namespace plat
