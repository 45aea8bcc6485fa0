#include "tray/protect/protect_flows.h"

#include "common/adapter_driver.h"
#include "tray/device_event_broadcast.h"
#include "tray/discovery.h"
#include "tray/message_catalogue.h"
#include "tray/protect/password_dialogs.h"
#include "tray/protect/status_query.h"
#include "tray/tray_icon.h"

namespace tray {

namespace {

using Worker = std::uint32_t (*)(plat::System&, Family, std::shared_ptr<CStorageDevice>);

// The launcher of both flows, on the main thread.
void StartWorker(CTrayIcon& tray, const std::string& devicePath, Worker worker) {
    plat::System& sys = tray.sys();
    CDeviceList& devices = tray.m_devices;
    CDeviceList::Position pos = devices.GetHeadPosition();
    for (; pos != nullptr; devices.GetNext(pos)) {
        CStorageDevice* rec = devices.GetAt(pos);
        if (rec && SamePath(rec->m_strDevicePath, devicePath)) break;
    }
    if (pos == nullptr) return;
    std::unique_ptr<CStorageDevice> copy = devices.CopyAt(pos);
    if (!copy) return;
    if (!(copy->m_dwAdapterFeatures & trv::ADAPTER_FEATURE_SECURITY)) return;
    if (copy->m_hWorkerThread && !copy->WorkerRunning()) copy->m_hWorkerThread.reset();
    if (copy->m_hWorkerThread) return;  // one worker per device, whichever flow it serves
    RefreshNameAndImages(sys, tray.family(), copy.get());

    // The worker gets a copy of its own, so that writing this one back
    // below never meets the worker changing it: both share only the running
    // flag. The thread's handle is closed here once the thread runs; no
    // record carries it, so nobody can read it after it is closed.
    copy->m_hWorkerThread = std::make_shared<WorkerThread>();
    auto workerCopy = std::make_shared<CStorageDevice>(*copy);
    plat::System* system = &sys;
    const Family family = tray.family();
    plat::Hobject thread = sys.kernel().StartThread([system, family, worker, workerCopy]() mutable {
        return worker(*system, family, std::move(workerCopy));
    });
    if (thread == plat::Hobject::None) {
        // No worker: the record keeps its new pictures and no running worker.
        copy->m_hWorkerThread.reset();
        devices.UpdateFrom(copy.get());
        return;
    }
    devices.UpdateFrom(copy.get());
    sys.kernel().Close(thread);
}

void Report(plat::System& sys, const CStorageDevice& copy, std::uint32_t caption, std::uint32_t text,
            std::uint32_t icon) {
    sys.messageBoxes().Show(
        plat::Hwnd::None, MessageCatalogue::LoadMessage(sys, text),
        FormatText(MessageCatalogue::LoadMessage(sys, caption).c_str(), copy.m_strDisplayName.c_str()),
        plat::MB_OK | icon | kFlowBoxStyle);
}

// The end of every worker: the broadcast, the copy released, and then, as
// the very last step, the running flag cleared.
void FinishWorker(plat::System& sys, std::shared_ptr<CStorageDevice> copy) {
    SendRefreshEvent(sys, *copy);
    std::shared_ptr<WorkerThread> self = copy->m_hWorkerThread;
    copy.reset();
    if (self) self->running.store(false);
}

}  // namespace

void StartProtect(CTrayIcon& tray, const std::string& devicePath) { StartWorker(tray, devicePath, &ProtectWorker); }

void StartUnprotect(CTrayIcon& tray, const std::string& devicePath) {
    StartWorker(tray, devicePath, &UnprotectWorker);
}

std::uint32_t ProtectWorker(plat::System& sys, Family family, std::shared_ptr<CStorageDevice> copy) {
    std::intptr_t result = 0;
    {
        CProtectDialog dialog(sys);
        result = sys.dialogs().RunModal(IDD_PROTECT, plat::Hwnd::None, dialog, reinterpret_cast<std::intptr_t>(copy.get()));
    }
    if (result == 1) {
        // A status that cannot be read again counts as protected.
        const bool read = RefreshSecurityStatus(sys, *copy);
        if (!read || (copy->m_dwSecurityStatus & SECURITY_ENABLED))
            Report(sys, *copy, MSG_PROTECT_CAPTION, MSG_NOW_PROTECTED, plat::MB_ICONINFORMATION);
        else
            Report(sys, *copy, MSG_PROTECT_CAPTION, MSG_UNABLE_TO_PROTECT, plat::MB_ICONERROR);
        RefreshDevNode(sys, family, *copy);
    }
    FinishWorker(sys, std::move(copy));
    return 0;
}

std::uint32_t UnprotectWorker(plat::System& sys, Family family, std::shared_ptr<CStorageDevice> copy) {
    std::intptr_t result = 0;
    {
        CUnprotectDialog dialog(sys);
        result = sys.dialogs().RunModal(IDD_UNPROTECT, sys.dialogs().DesktopWindow(), dialog,
                                        reinterpret_cast<std::intptr_t>(copy.get()));
    }
    if (result == 1) {
        const bool read = RefreshSecurityStatus(sys, *copy);
        const std::uint32_t s = copy->m_dwSecurityStatus;
        if (!read || (s & SECURITY_LOCKED))
            Report(sys, *copy, MSG_UNPROTECT_CAPTION,
                   (s & SECURITY_COUNT_EXPIRED) ? MSG_COUNTER_EXPIRED : MSG_FAILED_TO_UNPROTECT, plat::MB_ICONERROR);
        else if (s & SECURITY_ENABLED)
            Report(sys, *copy, MSG_UNPROTECT_CAPTION, MSG_UNPROTECTED_UNTIL_REMOVAL, plat::MB_ICONINFORMATION);
        else
            Report(sys, *copy, MSG_UNPROTECT_CAPTION, MSG_NOW_UNPROTECTED, plat::MB_ICONINFORMATION);
        RefreshDevNode(sys, family, *copy);
    } else if (result == kErasedResult) {
        const bool read = RefreshSecurityStatus(sys, *copy);
        if (!read || (copy->m_dwSecurityStatus & SECURITY_ENABLED))
            Report(sys, *copy, MSG_ERASE_CAPTION, MSG_UNABLE_TO_ERASE, plat::MB_ICONERROR);
        else
            Report(sys, *copy, MSG_ERASE_CAPTION, MSG_ERASED, plat::MB_ICONINFORMATION);
        RefreshDevNode(sys, family, *copy);
    }
    FinishWorker(sys, std::move(copy));
    return 0;
}

void CentreOnDesktop(plat::System& sys, plat::Hwnd window) {
    plat::Dialogs& d = sys.dialogs();
    plat::Rect r{}, desktop{};
    if (!d.WindowRect(window, r) || !d.WindowRect(d.DesktopWindow(), desktop)) return;
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    int x = (desktop.right - desktop.left) / 2 - w / 2;
    int y = (desktop.bottom - desktop.top) / 2 - h / 2;
    if (x + w > desktop.right) x = desktop.right - w;
    if (y + h > desktop.bottom) y = desktop.bottom - h;
    d.MoveWindow(window, x, y, w, h, false);
}

}  // namespace tray
