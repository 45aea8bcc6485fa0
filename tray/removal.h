// Safe removal, device restart and the Windows 9x removal notices.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace tray {

// Message box styles of removal.
inline constexpr std::uint32_t kConfirmRemovalStyle = 0x11024;  // Yes/No, question, system-modal, foreground
inline constexpr std::uint32_t kRemovedNoticeStyle = 0x11040;   // OK, information, system-modal, foreground
inline constexpr std::uint32_t kWarningNoticeStyle = 0x11030;   // OK, exclamation, system-modal, foreground

// Windows 9x build: the unsafe-removal warning, shown without waiting.
void WarnUnsafeRemoval(plat::System& sys, const std::string& name);
// A message box on a thread of its own, with its own copies of the texts;
// returns at once. Nothing is shown when the thread cannot start.
void ShowNoticeAsync(plat::System& sys, plat::Hwnd owner, const std::string& text, const std::string& caption,
                     std::uint32_t style);
// NT family: stops and starts the device that owns the interface `path`
// through the class installer's property change. True when all four calls
// succeeded.
bool RestartThroughClassInstaller(plat::System& sys, const plat::Guid& interfaceClass, const std::string& path);

}  // namespace tray
