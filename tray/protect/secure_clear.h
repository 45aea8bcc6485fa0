// Clearing buffers that held a password. The writes go through a volatile
// pointer, so the compiler cannot drop them as dead stores.
#pragma once

#include <cstddef>

namespace tray {

inline void SecureClear(void* buffer, std::size_t length) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(buffer);
    while (length-- > 0) *p++ = 0;
}

}  // namespace tray
