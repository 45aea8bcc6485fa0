#include "watch/watch_wnd.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/adapter_driver.h"
#include "common/bytes.h"
#include "common/device_event.h"
#include "common/device_interfaces.h"
#include "common/guid.h"
#include "watch/watch_app.h"

namespace watch {

IMPLEMENT_DYNAMIC(CWatchWnd, CWnd)

namespace {

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string CutPath(const std::string& path) {
    std::string p(path.c_str());
    if (p.size() > kWatchedPathChars) p.resize(kWatchedPathChars);
    return p;
}

}  // namespace

CWatchWnd::CWatchWnd(plat::System& sys) : CWnd(sys) {}

CWatchWnd::~CWatchWnd() = default;  // the list owns its records

bool CWatchWnd::Create() {
    std::string cls = AfxRegisterWndClass(m_sys);
    if (cls.empty()) {
        PostNcDestroy();
        return false;
    }
    return CreateEx(cls, kWindowTitle, plat::WS_OVERLAPPEDWINDOW);
}

std::span<const CWnd::MessageMapEntry> CWatchWnd::GetMessageMap() const {
    static const MessageMapEntry map[] = {
        {plat::WM_CREATE, static_cast<Handler>(&CWatchWnd::OnCreate)},
        {plat::WM_DESTROY, static_cast<Handler>(&CWatchWnd::OnDestroy)},
        {plat::WM_TIMER, static_cast<Handler>(&CWatchWnd::OnTimer)},
    };
    return map;
}

std::intptr_t CWatchWnd::WindowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == plat::WM_DEVICECHANGE)
        OnDeviceChange(wParam, lParam);
    else if (message == plat::WM_WTSSESSION_CHANGE)
        OnSessionChange(wParam);
    return CWnd::WindowProc(message, wParam, lParam);
}

// ---- creation and destruction ------------------------------------------------------

std::intptr_t CWatchWnd::OnCreate(std::uintptr_t, std::intptr_t) {
    const plat::OsVersion v = m_sys.systemInfo().Version();
    m_bUnregisterOnDestroy = v.nt && v.major >= 5;
    m_bSessionNotify = v.nt && (v.major > 5 || (v.major == 5 && v.minor >= 1));

    // DEV_BROADCAST_DEVICEINTERFACE: size 32, type 5, reserved 0, class, empty name.
    std::array<std::uint8_t, 32> filter{};
    trv::PutU32(filter, 0, 32);
    trv::PutU32(filter, 4, plat::DBT_DEVTYP_DEVICEINTERFACE);
    auto cls = trv::GuidToBytes(trv::AdapterInterfaceGuid);
    std::memcpy(filter.data() + 12, cls.data(), cls.size());
    m_hDevNotify = m_sys.deviceNotifications().Register(m_hWnd, filter.data());
    if (m_hDevNotify == plat::Hnotify::None) return -1;

    if (m_bSessionNotify && !RegisterSessionNotification()) return -1;

    EnumeratePresentDevices(trv::AdapterInterfaceGuid);
    StartPollTimer();
    return 0;
}

bool CWatchWnd::RegisterSessionNotification() {
    plat::Libraries& libs = m_sys.libraries();
    plat::Hmodule lib = libs.Load(kSessionLibrary);
    if (lib == plat::Hmodule::None) return false;
    plat::Hproc reg = libs.FindEntry(lib, kRegisterSessionEntry);
    if (reg == plat::Hproc::None) {
        libs.Free(lib);
        return false;
    }
    // The service may not be ready yet early in the log-on: try again at
    // once, and after the last refusal carry on without session changes.
    for (int call = 0; call < kSessionRegistrationCalls; ++call)
        if (libs.CallRegisterSessionNotification(reg, m_hWnd, plat::NOTIFY_FOR_THIS_SESSION)) break;
    libs.Free(lib);
    return true;
}

void CWatchWnd::UnregisterSessionNotification() {
    plat::Libraries& libs = m_sys.libraries();
    plat::Hmodule lib = libs.Load(kSessionLibrary);
    if (lib == plat::Hmodule::None) return;
    plat::Hproc unreg = libs.FindEntry(lib, kUnregisterSessionEntry);
    if (unreg != plat::Hproc::None) libs.CallUnregisterSessionNotification(unreg, m_hWnd);
    libs.Free(lib);
}

std::intptr_t CWatchWnd::OnDestroy(std::uintptr_t wParam, std::intptr_t lParam) {
    if (m_bUnregisterOnDestroy && m_hDevNotify != plat::Hnotify::None) {
        m_sys.deviceNotifications().Unregister(m_hDevNotify);
        m_hDevNotify = plat::Hnotify::None;
    }
    if (m_bSessionNotify) UnregisterSessionNotification();
    m_sys.ui().PostQuit(0);
    return DefWindowProc(plat::WM_DESTROY, wParam, lParam);
}

// ---- the device list -----------------------------------------------------------------

void CWatchWnd::EnumeratePresentDevices(const plat::Guid& interfaceClass) {
    // A path already listed is passed over by AddWatchedDevice.
    trv::ForEachInterface(m_sys.deviceTree(), interfaceClass, true, [&](const plat::InterfaceDetail& d) {
        AddWatchedDevice(trv::AdapterInterfaceGuid, d.path);
        return true;
    });
}

void CWatchWnd::AddWatchedDevice(const plat::Guid& interfaceClass, const std::string& path) {
    const std::string kept = CutPath(path);
    for (const auto& rec : m_devices)
        if (trv::SameInterfacePath(rec->m_strDevicePath, kept)) return;

    auto rec = std::make_unique<WatchedDevice>();
    rec->m_guidInterface = interfaceClass;
    rec->m_strDevicePath = kept;

    plat::DeviceIo& io = m_sys.deviceIo();
    plat::Hdevice dev = io.Open(rec->m_strDevicePath);
    if (dev != plat::Hdevice::None) {
        std::array<std::uint8_t, trv::kAdapterInfoSize> info{};
        if (io.Control(dev, trv::IOCTL_ADAPTER_GET_INFO, nullptr, 0, info.data(), info.size(), nullptr)) {
            trv::AdapterWords w = trv::ReadAdapterWords(info);
            rec->m_dwAdapterFlags = w.flags;
            rec->m_dwAdapterFeatures = w.features;
            rec->m_dwAdapterOptions = w.options;
        }
        io.Close(dev);
    }

    StartDeviceCommands(*rec);

    std::lock_guard<std::mutex> lk(m_csList);
    m_devices.push_back(std::move(rec));
}

plat::DevNode CWatchWnd::FindDeviceInstance(const plat::Guid& interfaceClass, const std::string& path) {
    return trv::FindInterfaceDevNode(m_sys.deviceTree(), interfaceClass, path);
}

void CWatchWnd::StartDeviceCommands(const WatchedDevice& device) {
    plat::DevNode node = FindDeviceInstance(device.m_guidInterface, device.m_strDevicePath);
    if (node == 0) return;
    std::string commands;
    {
        trv::HardwareKey key(m_sys, node);
        if (!key.IsOpen()) return;
        std::uint32_t period = 0;
        if (key.ReadNumber(kPollPeriodValue, period) && period != 0) m_dwPollPeriod = period;
        if (!key.ReadText(kAutoLoaderValue, kAutoLoaderBytes, commands)) return;
    }
    std::size_t at = 0;
    while (at <= commands.size()) {
        std::size_t comma = std::min(commands.find(',', at), commands.size());
        const std::string piece = commands.substr(at, comma - at);
        at = comma + 1;
        if (piece.empty()) continue;
        std::string expanded;
        // A piece whose expansion does not fit is not started cut short.
        if (!m_sys.process().ExpandEnvironment(piece, kExpandedBytes, expanded)) continue;
        std::size_t first = 0;
        while (first < expanded.size() && IsWhiteSpace(expanded[first])) ++first;
        StartInteractiveProcess(m_sys, expanded.substr(first));
    }
}

void CWatchWnd::RemoveWatchedDevice(const std::string& path) {
    for (auto it = m_devices.begin(); it != m_devices.end(); ++it) {
        if (!trv::SameInterfacePath((*it)->m_strDevicePath, path)) continue;
        std::lock_guard<std::mutex> lk(m_csList);
        m_devices.erase(it);
        return;
    }
}

// ---- messages ----------------------------------------------------------------------

void CWatchWnd::OnDeviceChange(std::uintptr_t wParam, std::intptr_t lParam) {
    if (wParam != plat::DBT_DEVICEARRIVAL && wParam != plat::DBT_DEVICEREMOVECOMPLETE) return;
    if (lParam == 0) return;
    // DEV_BROADCAST_DEVICEINTERFACE, read within the size it gives itself.
    const auto* p = reinterpret_cast<const std::uint8_t*>(lParam);
    std::span<const std::uint8_t> block(p, trv::GetU32(std::span<const std::uint8_t>(p, 4), 0));
    if (block.size() < 28 || trv::GetU32(block, 4) != plat::DBT_DEVTYP_DEVICEINTERFACE) return;
    const plat::Guid cls = trv::GuidFromBytes(block.subspan(12).first<16>());
    auto name = block.subspan(28);
    const std::string path(name.begin(), std::find(name.begin(), name.end(), std::uint8_t{0}));
    if (wParam == plat::DBT_DEVICEARRIVAL)
        AddWatchedDevice(cls, path);
    else
        RemoveWatchedDevice(path);
}

void CWatchWnd::OnSessionChange(std::uintptr_t wParam) {
    if (wParam == plat::WTS_CONSOLE_CONNECT)
        StartPollTimer();
    else if (wParam == plat::WTS_CONSOLE_DISCONNECT)
        m_sys.ui().StopTimer(m_hWnd, m_nTimerId);
}

std::intptr_t CWatchWnd::OnTimer(std::uintptr_t wParam, std::intptr_t) {
    m_sys.ui().StopTimer(m_hWnd, wParam);
    PollDeviceEvents();
    StartPollTimer();
    return 0;
}

void CWatchWnd::StartPollTimer() { m_nTimerId = m_sys.ui().StartTimer(m_hWnd, kPollTimerId, m_dwPollPeriod); }

// ---- the poll pass -------------------------------------------------------------------

void CWatchWnd::PollDeviceEvents() {
    DeviceList::iterator pos;
    {
        std::lock_guard<std::mutex> lk(m_csList);
        pos = m_devices.begin();
    }
    for (;;) {
        WatchedDevice copy;
        {
            std::lock_guard<std::mutex> lk(m_csList);
            if (pos == m_devices.end()) break;
            copy = **pos;
            ++pos;
        }
        if (!(copy.m_dwAdapterFeatures & trv::ADAPTER_FEATURE_EVENTS)) continue;
        for (std::size_t n = 0; n < kMaxEventsPerPass; ++n)
            if (!RelayNextEvent(copy)) break;
    }
}

bool CWatchWnd::RelayNextEvent(const WatchedDevice& device) {
    plat::DeviceIo& io = m_sys.deviceIo();
    plat::Hdevice dev = io.Open(device.m_strDevicePath);
    if (dev == plat::Hdevice::None) return false;

    std::uint32_t size = 0;
    if (!io.Control(dev, trv::IOCTL_ADAPTER_GET_EVENT, nullptr, 0, nullptr, 0, &size) || size == 0 ||
        size > kMaxEventBlock) {
        io.Close(dev);
        return false;
    }
    std::vector<std::uint8_t> record(std::size_t{size} + 1, 0);
    std::uint32_t got = 0;
    if (!io.Control(dev, trv::IOCTL_ADAPTER_GET_EVENT, nullptr, 0, record.data(), size, &got)) {
        io.Close(dev);
        return false;
    }
    // Only what the driver wrote is the event.
    record.resize(std::min(got, size));
    if (record.size() < kMinEventBlock) {
        // Too short to carry the device path and the action code: dropped.
        io.Close(dev);
        return true;
    }
    trv::WriteRecordPath(record, device.m_strDevicePath);
    std::vector<std::uint8_t> message = trv::EncodeEventBroadcast(record, 1);
    io.Close(dev);

    StartEventCommand(device, record[trv::kRecordActionOffset]);

    m_sys.ui().BroadcastPost(plat::WM_DEVICECHANGE, plat::DBT_USERDEFINED, message.data());
    return true;
}

void CWatchWnd::StartEventCommand(const WatchedDevice& device, std::uint8_t actionCode) {
    char name[4];
    std::snprintf(name, sizeof name, "%x", static_cast<unsigned>(actionCode));
    plat::DevNode node = FindDeviceInstance(device.m_guidInterface, device.m_strDevicePath);
    std::string command;
    {
        trv::HardwareKey key(m_sys, node);
        if (!key.ReadText(name, kEventCommandBytes, command)) return;
    }
    StartInteractiveProcess(m_sys, command);
}

}  // namespace watch
