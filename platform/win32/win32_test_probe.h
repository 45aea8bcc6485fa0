// What the Wine tests' helper needs beyond plat::System: waiting, and
// messages delivered synchronously. Free of <windows.h>.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace plat::win32::probe {

void SleepMs(std::uint32_t milliseconds);

// BroadcastSystemMessage to every top-level window, sent to each in turn
// (hung windows are skipped after a short wait). The system copies a device-change block of the size in its
// first word for each receiver. False when the broadcast failed.
bool BroadcastSent(std::uint32_t message, std::uintptr_t wParam, const void* block);

// SendMessageTimeout to one window; false when it failed or timed out.
bool SendWithTimeout(Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                     std::uint32_t timeoutMs, std::intptr_t* result);

}  // namespace plat::win32::probe
