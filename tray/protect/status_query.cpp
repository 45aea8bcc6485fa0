#include "tray/protect/status_query.h"

#include <algorithm>
#include <array>
#include <vector>

#include "common/adapter_driver.h"
#include "common/bytes.h"
#include "tray/discovery.h"
#include "tray/protect/secure_clear.h"

namespace tray {

namespace {

constexpr std::uint16_t kControlUser = 0x0000;
constexpr std::uint16_t kControlMaster = 0x0001;         // identifier: master password
constexpr std::uint16_t kControlUserMaximum = 0x0100;    // user password, maximum level
constexpr std::size_t kPasswordOffset = 2;

using Sector = std::array<std::uint8_t, trv::kPtDataSize>;

// Sends one command on an open handle: a fresh request with the record's
// lead bytes, the sector as its data (or, for data in, filled from it).
bool SendCommand(plat::System& sys, plat::Hdevice device, const CStorageDevice& record, std::uint8_t command,
                 bool dataIn, std::uint32_t timeoutSeconds, Sector& sector) {
    trv::PassThroughRequest request =
        trv::MakePassThroughRequest(trv::MakeAtaCommandBlock(record.m_abCommandLead, command), dataIn, timeoutSeconds);
    if (!dataIn) std::copy(sector.begin(), sector.end(), request.begin() + trv::kPtDataOffset);
    const bool sent = sys.deviceIo().Control(device, trv::IOCTL_SCSI_PASS_THROUGH, request.data(),
                                             static_cast<std::uint32_t>(request.size()), request.data(),
                                             static_cast<std::uint32_t>(request.size()), nullptr);
    const bool ok = sent && request[trv::kPtSenseInfoLengthOffset] == 0;
    if (dataIn && ok)
        std::copy(request.begin() + trv::kPtDataOffset, request.begin() + trv::kPtDataOffset + trv::kPtDataSize,
                  sector.begin());
    SecureClear(request.data(), request.size());
    return ok;
}

// A security command whose sector carries the control word and a password.
bool SendPasswordCommand(plat::System& sys, plat::Hdevice device, const CStorageDevice& record, std::uint8_t command,
                         std::uint16_t control, const char* password, std::size_t length,
                         std::uint32_t timeoutSeconds) {
    Sector sector{};
    trv::PutU16(sector, 0, control);
    const std::size_t n = password ? std::min(length, kPasswordFieldBytes) : 0;
    if (n > 0) std::copy(password, password + n, sector.begin() + kPasswordOffset);
    const bool ok = SendCommand(sys, device, record, command, false, timeoutSeconds, sector);
    SecureClear(sector.data(), sector.size());
    return ok;
}

class DeviceHandle {
public:
    DeviceHandle(plat::System& sys, const std::string& path) : sys_(sys), h_(sys.deviceIo().Open(path)) {}
    ~DeviceHandle() {
        if (h_ != plat::Hdevice::None) sys_.deviceIo().Close(h_);
    }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    explicit operator bool() const { return h_ != plat::Hdevice::None; }
    plat::Hdevice get() const { return h_; }

private:
    plat::System& sys_;
    plat::Hdevice h_;
};

bool ReadAdapterInfo(plat::System& sys, plat::Hdevice device, trv::AdapterWords& words) {
    std::array<std::uint8_t, trv::kAdapterInfoSize> info{};
    if (!sys.deviceIo().Control(device, trv::IOCTL_ADAPTER_GET_INFO, nullptr, 0, info.data(),
                                static_cast<std::uint32_t>(info.size()), nullptr))
        return false;
    words = trv::ReadAdapterWords(info);
    return true;
}

bool ReadCommandLead(plat::System& sys, plat::Hdevice device, CStorageDevice& record) {
    std::array<std::uint8_t, 2> lead{};
    if (!sys.deviceIo().Control(device, trv::IOCTL_ADAPTER_GET_COMMAND_LEAD, nullptr, 0, lead.data(),
                                static_cast<std::uint32_t>(lead.size()), nullptr))
        return false;
    record.m_abCommandLead = lead;
    return true;
}

// "USBFlags" of the device node: a 4-byte value; anything else leaves the
// field as it was.
void ReadUsbFlags(plat::System& sys, CStorageDevice& record) {
    plat::DevNode node = FindDevNode(sys, record.m_guidInterface, record.m_strDevicePath);
    if (node == 0) return;
    plat::Hkey key = plat::Hkey::None;
    if (sys.deviceTree().OpenHardwareKey(node, key) != plat::CR_SUCCESS || key == plat::Hkey::None) return;
    std::vector<std::uint8_t> value;
    if (sys.registry().QueryValue(key, "USBFlags", 4, value, nullptr) && value.size() == 4)
        record.m_dwUsbFlags = trv::GetU32(value, 0);
    sys.registry().CloseKey(key);
}

}  // namespace

bool IdentifyDrive(plat::System& sys, plat::Hdevice device, CStorageDevice& record) {
    const std::uint8_t command = (record.m_dwAdapterFlags & trv::ADAPTER_FLAG_ATA) ? trv::ATA_IDENTIFY_DEVICE
                                                                                   : trv::ATA_IDENTIFY_PACKET_DEVICE;
    Sector data{};
    const bool ok = SendCommand(sys, device, record, command, true, kCommandTimeoutSeconds, data);
    std::uint32_t status = 0;
    std::uint32_t minutes = 0;
    if (ok) {
        const std::uint16_t word82 = trv::GetU16(data, 2 * 82);
        const std::uint16_t word89 = trv::GetU16(data, 2 * 89);
        const std::uint16_t word128 = trv::GetU16(data, 2 * 128);
        if ((word82 & 0x0002) && (word128 & 0x0001)) status = word128 & 0x1F;
        minutes = 2u * word89;
    }
    record.m_dwSecurityStatus = status;
    record.m_nEraseMinutes = minutes;
    return ok;
}

bool QueryDeviceStatus(plat::System& sys, Family family, CStorageDevice& record) {
    bool identified = false;
    {
        DeviceHandle device(sys, record.m_strDevicePath);
        if (device) {
            trv::AdapterWords words;
            if (ReadAdapterInfo(sys, device.get(), words)) {
                record.m_dwAdapterFlags = words.flags;
                record.m_dwAdapterFeatures = words.features;
                record.m_dwAdapterOptions = words.options;
            }
            if (record.m_dwAdapterFlags & trv::ADAPTER_FLAG_USBFLAGS) ReadUsbFlags(sys, record);
            if ((record.m_dwAdapterFlags & trv::ADAPTER_FLAG_COMMAND_BLOCKS) && ReadCommandLead(sys, device.get(), record))
                identified = IdentifyDrive(sys, device.get(), record);
            // A worker that has ended no longer counts for this record.
            if (identified && (record.m_dwSecurityStatus & SECURITY_SUPPORTED) && record.m_hWorkerThread &&
                !record.WorkerRunning())
                record.m_hWorkerThread.reset();
        }
    }
    RefreshNameAndImages(sys, family, &record);
    return identified;
}

bool RefreshSecurityStatus(plat::System& sys, CStorageDevice& record) {
    DeviceHandle device(sys, record.m_strDevicePath);
    if (!device) return false;
    trv::AdapterWords words;
    if (ReadAdapterInfo(sys, device.get(), words)) record.m_dwAdapterFlags = words.flags;
    if (!(record.m_dwAdapterFlags & trv::ADAPTER_FLAG_COMMAND_BLOCKS)) return false;
    if (!ReadCommandLead(sys, device.get(), record)) return false;
    return IdentifyDrive(sys, device.get(), record);
}

bool UnlockDrive(plat::System& sys, const CStorageDevice& record, const char* password, std::size_t length) {
    DeviceHandle device(sys, record.m_strDevicePath);
    if (!device) return false;
    return SendPasswordCommand(sys, device.get(), record, trv::ATA_SECURITY_UNLOCK, kControlUser, password, length,
                               kCommandTimeoutSeconds);
}

bool DisableDrivePassword(plat::System& sys, const CStorageDevice& record, const char* password, std::size_t length) {
    DeviceHandle device(sys, record.m_strDevicePath);
    if (!device) return false;
    return SendPasswordCommand(sys, device.get(), record, trv::ATA_SECURITY_DISABLE_PASSWORD, kControlUser, password,
                               length, kCommandTimeoutSeconds);
}

bool SetDrivePassword(plat::System& sys, const CStorageDevice& record, const char* password, std::size_t length) {
    DeviceHandle device(sys, record.m_strDevicePath);
    if (!device) return false;
    if (!SendPasswordCommand(sys, device.get(), record, trv::ATA_SECURITY_SET_PASSWORD, kControlMaster,
                             kMasterPassword, kMasterPasswordBytes, kCommandTimeoutSeconds))
        return false;
    return SendPasswordCommand(sys, device.get(), record, trv::ATA_SECURITY_SET_PASSWORD, kControlUserMaximum,
                               password, length, kCommandTimeoutSeconds);
}

bool EraseDrive(plat::System& sys, const CStorageDevice& record) {
    {
        DeviceHandle device(sys, record.m_strDevicePath);
        if (!device) return false;
        Sector zero{};
        if (!SendCommand(sys, device.get(), record, trv::ATA_SECURITY_ERASE_PREPARE, false, kCommandTimeoutSeconds,
                         zero))
            return false;
    }
    DeviceHandle device(sys, record.m_strDevicePath);
    if (!device) return false;
    return SendPasswordCommand(sys, device.get(), record, trv::ATA_SECURITY_ERASE_UNIT, kControlMaster,
                               kMasterPassword, kMasterPasswordBytes, kEraseTimeoutSeconds);
}

}  // namespace tray
