// The device status query and the ATA security commands, sent through the
// adapter driver's pass-through request. Every operation opens its own
// handle to the interface path and closes it before returning, except
// IdentifyDrive, which runs on the caller's handle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/system.h"
#include "tray/family.h"
#include "tray/storage_device.h"

namespace tray {

// The fixed master password: its nine characters and the terminator.
inline constexpr char kMasterPassword[] = "KJT Plums";
inline constexpr std::size_t kMasterPasswordBytes = 10;
// The password field of the password sector.
inline constexpr std::size_t kPasswordFieldBytes = 32;
// Pass-through time-outs in seconds.
inline constexpr std::uint32_t kCommandTimeoutSeconds = 20;
inline constexpr std::uint32_t kEraseTimeoutSeconds = 108000;

// The full query of the main thread: adapter words, "USBFlags", lead bytes,
// IDENTIFY, the finished-worker check, then the name and pictures. True
// when IDENTIFY succeeded.
bool QueryDeviceStatus(plat::System& sys, Family family, CStorageDevice& record);
// The short query of the workers: adapter flags, lead bytes and IDENTIFY.
bool RefreshSecurityStatus(plat::System& sys, CStorageDevice& record);
// IDENTIFY (PACKET) DEVICE on an open handle, decoded into the record's
// security status and erase time (both 0 on failure).
bool IdentifyDrive(plat::System& sys, plat::Hdevice device, CStorageDevice& record);

// The security commands. A password is `length` bytes (at most 32 are sent;
// the field holds no more), zero-padded to the 32-byte field.
bool UnlockDrive(plat::System& sys, const CStorageDevice& record, const char* password, std::size_t length);
bool DisableDrivePassword(plat::System& sys, const CStorageDevice& record, const char* password, std::size_t length);
// The master password first, then the user password at maximum level.
bool SetDrivePassword(plat::System& sys, const CStorageDevice& record, const char* password, std::size_t length);
// SECURITY ERASE PREPARE, then SECURITY ERASE UNIT with the master password.
bool EraseDrive(plat::System& sys, const CStorageDevice& record);

}  // namespace tray
