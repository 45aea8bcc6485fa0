// The uninstaller's string table: the names of every file and key it
// removes, by string number, and the six-message blocks of its texts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace uninst {

// File names.
inline constexpr std::uint32_t IDS_ADAPTER_INF = 2;       // "TRVADPT.INF"
inline constexpr std::uint32_t IDS_BRIDGE2_INF = 4;       // "TRVBRG2.INF"
inline constexpr std::uint32_t IDS_BRIDGE1_INF = 5;       // "TRVBRG1.INF"
inline constexpr std::uint32_t IDS_PORT_INF = 6;          // "TRVIOS.INF"
inline constexpr std::uint32_t IDS_BRIDGE1_SYS = 7;       // "TRVBRG1.SYS"
inline constexpr std::uint32_t IDS_BRIDGE2_SYS = 8;       // "TRVBRG2.SYS"
inline constexpr std::uint32_t IDS_ADAPTER_SYS = 9;       // "TRVADPT.SYS"
inline constexpr std::uint32_t IDS_PORT_DRIVER = 12;      // "TRVIOS.PDR"
inline constexpr std::uint32_t IDS_MINIPORT_SYS = 13;     // "TRVMINI.SYS"
inline constexpr std::uint32_t IDS_TRAY_9X_EXE = 14;      // "TRVTRAY9X.EXE"
inline constexpr std::uint32_t IDS_TRAY_EXE = 15;         // "TRVTRAY.EXE"
inline constexpr std::uint32_t IDS_WATCH_EXE = 16;        // "TRVWATCH.EXE"
inline constexpr std::uint32_t IDS_PAGES_16_DLL = 17;     // "TRVPAGE16.DLL"
inline constexpr std::uint32_t IDS_PAGES_32_DLL = 18;     // "TRVPAGE32.DLL"
inline constexpr std::uint32_t IDS_COINSTALLER_DLL = 19;  // "TRVCOINST.DLL"
inline constexpr std::uint32_t IDS_UNINSTALLER_EXE = 20;  // "TRVUNINST.EXE"
// Key prefixes under HKEY_LOCAL_MACHINE and INF subfolders.
inline constexpr std::uint32_t IDS_UNINSTALL_KEY = 21;  // "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\"
inline constexpr std::uint32_t IDS_SERVICE_KEY = 22;    // "SYSTEM\CurrentControlSet\Services\"
inline constexpr std::uint32_t IDS_INF_OTHER = 23;      // "\INF\OTHER"
inline constexpr std::uint32_t IDS_INF = 24;            // "\INF"

// Offsets in a message block.
inline constexpr std::uint32_t MSG_CONFIRM_UNINSTALL = 0;
inline constexpr std::uint32_t MSG_CONFIRM_UNINSTALL_CAPTION = 1;
inline constexpr std::uint32_t MSG_CONFIRM_REBOOT = 2;
inline constexpr std::uint32_t MSG_CONFIRM_REBOOT_CAPTION = 3;
inline constexpr std::uint32_t MSG_NO_RIGHTS = 4;
inline constexpr std::uint32_t MSG_NO_RIGHTS_CAPTION = 5;
inline constexpr std::uint32_t kMessagesPerBlock = 6;
inline constexpr std::uint32_t kEnglishBase = 256;

// Buffer sizes of the texts shown and of the names loaded, terminator included.
inline constexpr std::size_t kTextBuffer = 1024;
inline constexpr std::size_t kCaptionBuffer = 256;
inline constexpr std::size_t kPathBuffer = 260;

}  // namespace uninst
