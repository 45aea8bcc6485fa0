// The watcher's hidden window "TRVWATCH": the list of adapter interfaces
// present, their start-up commands, the session's console state, and the
// poll pass that drains the adapters' pending device events, starts the
// command registered for each and relays each as a device event broadcast.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "classlib/afxwin.h"
#include "platform/device_tree.h"

namespace watch {

inline constexpr std::uint32_t kDefaultPollPeriod = 3000;  // milliseconds
inline constexpr std::uintptr_t kPollTimerId = 1;
inline constexpr int kSessionRegistrationCalls = 40;
inline constexpr char kSessionLibrary[] = "wtsapi32.dll";
inline constexpr char kRegisterSessionEntry[] = "WTSRegisterSessionNotification";
inline constexpr char kUnregisterSessionEntry[] = "WTSUnRegisterSessionNotification";

// Hardware-key values written by the driver installation.
inline constexpr char kAutoLoaderValue[] = "AutoLoader";
inline constexpr char kPollPeriodValue[] = "ALTimer";
inline constexpr std::size_t kAutoLoaderBytes = 260;  // terminator included
inline constexpr std::size_t kExpandedBytes = 260;
inline constexpr std::size_t kEventCommandBytes = 256;
inline constexpr std::size_t kWatchedPathChars = 259;

// Bounds of one poll pass. A block must reach the action code to be used;
// a driver that keeps handing out events, or claims an absurd block size,
// cannot hold the watcher: a device gives at most kMaxEventsPerPass events
// a pass (the rest wait for the next), and a block claimed larger than
// kMaxEventBlock ends that device's part of the pass without being read.
inline constexpr std::size_t kMinEventBlock = 297;
inline constexpr std::uint32_t kMaxEventBlock = 4096;
inline constexpr std::size_t kMaxEventsPerPass = 64;

// One adapter interface as the watcher knows it.
struct WatchedDevice {
    plat::Guid m_guidInterface{};
    std::string m_strDevicePath;  // at most 259 characters; the key of the list, letter case ignored
    std::uint32_t m_dwAdapterFlags = 0;
    std::uint32_t m_dwAdapterFeatures = 0;
    std::uint32_t m_dwAdapterOptions = 0;
};

class CWatchWnd : public CWnd {
    DECLARE_DYNAMIC(CWatchWnd)
public:
    explicit CWatchWnd(plat::System& sys);
    ~CWatchWnd() override;

    // Registers the window class and creates the hidden window. On failure
    // the object has deleted itself.
    bool Create();

    std::intptr_t WindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    // Lists the present interfaces of `interfaceClass`; run once at creation.
    virtual void EnumeratePresentDevices(const plat::Guid& interfaceClass);

    void AddWatchedDevice(const plat::Guid& interfaceClass, const std::string& path);
    plat::DevNode FindDeviceInstance(const plat::Guid& interfaceClass, const std::string& path);
    void StartDeviceCommands(const WatchedDevice& device);
    void RemoveWatchedDevice(const std::string& path);
    void PollDeviceEvents();

protected:
    std::span<const MessageMapEntry> GetMessageMap() const override;
    void PostNcDestroy() override { delete this; }

private:
    using DeviceList = std::list<std::unique_ptr<WatchedDevice>>;

    std::intptr_t OnCreate(std::uintptr_t wParam, std::intptr_t lParam);
    std::intptr_t OnDestroy(std::uintptr_t wParam, std::intptr_t lParam);
    std::intptr_t OnTimer(std::uintptr_t wParam, std::intptr_t lParam);
    void OnDeviceChange(std::uintptr_t wParam, std::intptr_t lParam);
    void OnSessionChange(std::uintptr_t wParam);
    bool RegisterSessionNotification();
    void UnregisterSessionNotification();
    // One event of `device`: true to go on draining it, false to go on to
    // the next device.
    bool RelayNextEvent(const WatchedDevice& device);
    void StartEventCommand(const WatchedDevice& device, std::uint8_t actionCode);
    void StartPollTimer();

    plat::Hnotify m_hDevNotify = plat::Hnotify::None;
    std::uint32_t m_dwPollPeriod = kDefaultPollPeriod;
    bool m_bUnregisterOnDestroy = false;
    bool m_bSessionNotify = false;
    std::uintptr_t m_nTimerId = 0;
    std::mutex m_csList;
    DeviceList m_devices;
};

}  // namespace watch
