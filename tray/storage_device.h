// One adapter device as the notifier knows it, and the locked list of them.
#pragma once

#include <array>
#include <functional>
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "platform/resources.h"
#include "platform/types.h"

namespace tray {

// The protect or unprotect worker of a device. Records hold it by pointer, so
// a copy shares it, as copies share the other handles. The worker clears
// `running` as its very last step. No record carries the thread's handle:
// the launcher closes it as soon as the thread has started, so the running
// check never meets a closed handle.
struct WorkerThread {
    std::atomic<bool> running{true};
};

class CStorageDevice {
public:
    std::uint8_t m_nSlot = 0;
    plat::Guid m_guidInterface{};
    std::string m_strDevicePath;
    std::string m_strDisplayName;
    std::uint32_t m_dwAdapterFlags = 0;
    std::uint32_t m_dwAdapterFeatures = 0;
    std::uint32_t m_dwAdapterOptions = 0;
    std::uint32_t m_dwUsbFlags = 0;
    std::array<std::uint8_t, 2> m_abCommandLead{};
    std::uint32_t m_dwSecurityStatus = 0;
    std::uint32_t m_nEraseMinutes = 0;
    std::shared_ptr<WorkerThread> m_hWorkerThread;
    plat::Hicon m_hIcon = plat::Hicon::None;
    plat::Hbitmap m_hBitmap = plat::Hbitmap::None;

    // Whether a worker is set for this record and has not ended.
    bool WorkerRunning() const { return m_hWorkerThread && m_hWorkerThread->running.load(); }
};

// Letter case is ignored for ASCII letters, as the system compares paths.
bool SamePath(const std::string& a, const std::string& b);

// The notifier's device list. Every operation takes the list's lock for its
// own duration only; none calls another while holding it.
class CDeviceList {
public:
    using Position = const void*;  // opaque; null at the end

    explicit CDeviceList(plat::Resources& resources) : m_resources(resources) {}
    ~CDeviceList();
    CDeviceList(const CDeviceList&) = delete;
    CDeviceList& operator=(const CDeviceList&) = delete;

    Position GetHeadPosition();
    CStorageDevice* GetAt(Position pos);
    CStorageDevice* GetNext(Position& pos);
    std::unique_ptr<CStorageDevice> CopyAt(Position pos);
    void UpdateFrom(const CStorageDevice* copy);
    std::uint8_t GetSlotAt(Position pos);
    std::string GetNameAt(Position pos);
    bool ContainsPath(const std::string& path);
    std::unique_ptr<CStorageDevice> FindCopyBySlot(unsigned slot);
    // The smallest slot not in use, 1..255; 0 when all 255 are taken (no
    // record may be listed then).
    unsigned NextFreeSlot();
    // Takes ownership. A record without a slot in 1..255 is refused: its
    // bitmap is released, it is deleted and false returned.
    bool AddDevice(std::unique_ptr<CStorageDevice> record);
    // Releases the record's bitmap, unlinks and deletes it.
    void RemoveDeviceAt(Position pos);
    void RemoveAllDevices();
    // Looks up the device node of the record's path while the lock is held.
    using NodeFinder = std::function<std::uint32_t(const plat::Guid&, const std::string&)>;
    std::uint32_t GetDevNodeAt(Position pos, const NodeFinder& find);
    std::size_t GetCount();

private:
    std::list<std::unique_ptr<CStorageDevice>>::iterator Locate(Position pos);
    CStorageDevice* Find(Position pos);
    void ReleaseBitmapOf(CStorageDevice& rec);

    std::list<std::unique_ptr<CStorageDevice>> m_list;
    plat::Resources& m_resources;
    std::mutex m_cs;
};

}  // namespace tray

namespace tray {
// Security state bits of m_dwSecurityStatus (IDENTIFY word 128, bits 0-4).
inline constexpr std::uint32_t SECURITY_SUPPORTED = 0x01;
inline constexpr std::uint32_t SECURITY_ENABLED = 0x02;
inline constexpr std::uint32_t SECURITY_LOCKED = 0x04;
inline constexpr std::uint32_t SECURITY_FROZEN = 0x08;
inline constexpr std::uint32_t SECURITY_COUNT_EXPIRED = 0x10;
}  // namespace tray
