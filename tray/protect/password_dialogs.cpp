#include "tray/protect/password_dialogs.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "tray/message_catalogue.h"
#include "tray/protect/protect_flows.h"
#include "tray/protect/secure_clear.h"
#include "tray/protect/status_query.h"

namespace tray {

namespace {

int ControlOf(std::uintptr_t wParam) { return static_cast<int>(wParam & 0xFFFF); }

std::string Caption(plat::System& sys, std::uint32_t message, const CStorageDevice& record) {
    return FormatText(MessageCatalogue::LoadMessage(sys, message).c_str(), record.m_strDisplayName.c_str());
}

// The texts a dialog takes from the catalogue at start, each control with
// the dialog's font.
void SetTexts(plat::System& sys, plat::Hwnd dialog, std::initializer_list<std::pair<int, std::uint32_t>> texts) {
    plat::Dialogs& d = sys.dialogs();
    for (auto [control, message] : texts) {
        const std::string text = MessageCatalogue::LoadMessage(sys, message);
        if (!text.empty()) d.SetItemText(dialog, control, text);
        d.UseDefaultGuiFont(dialog, control);
    }
}

void ClearField(plat::Dialogs& d, plat::Hwnd dialog, int control) {
    d.SetItemText(dialog, control, "");
    d.LimitText(dialog, control, kPasswordFieldLimit);
}

}  // namespace

bool SamePassword(const char* a, std::size_t aLength, const char* b, std::size_t bLength) {
    return aLength == bLength && (aLength == 0 || std::memcmp(a, b, aLength) == 0);
}

int ErasePercent(std::uint32_t elapsedMs, std::uint32_t estimateMinutes) {
    if (estimateMinutes == 0) return -1;
    const std::uint64_t estimateMs = std::uint64_t{estimateMinutes} * 60000u;
    return static_cast<int>(std::min<std::uint64_t>(std::uint64_t{elapsedMs} * 100u / estimateMs, 99u));
}

// ---------------------------------------------------------------------------
// Protect (159)
// ---------------------------------------------------------------------------
CProtectDialog::CProtectDialog(plat::System& sys) : m_sys(sys) {}

CProtectDialog::~CProtectDialog() {
    SecureClear(m_szPassword, sizeof m_szPassword);
    SecureClear(m_szVerify, sizeof m_szVerify);
}

bool CProtectDialog::OnDialogMessage(plat::Hwnd dialog, std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
    switch (message) {
        case plat::WM_INITDIALOG: OnInitDialog(dialog, reinterpret_cast<CStorageDevice*>(lParam)); return true;
        case plat::WM_COMMAND:
            if (ControlOf(wParam) == plat::IDOK) {
                OnOK(dialog);
                return true;
            }
            if (ControlOf(wParam) == plat::IDCANCEL) {
                m_sys.dialogs().EndDialog(dialog, 0);
                return true;
            }
            return false;
        case plat::WM_CLOSE: return true;  // only OK or Cancel end it
        default: return false;
    }
}

void CProtectDialog::OnInitDialog(plat::Hwnd dialog, CStorageDevice* record) {
    plat::Dialogs& d = m_sys.dialogs();
    m_pRecord = record;
    SecureClear(m_szPassword, sizeof m_szPassword);
    SecureClear(m_szVerify, sizeof m_szVerify);
    d.UseDefaultGuiFont(dialog, 0);
    SetTexts(m_sys, dialog,
             {{IDC_PROTECT_TEXT, MSG_PROTECT_EXPLANATION},
              {IDC_PASSWORD_LABEL, MSG_ENTER_PASSWORD},
              {IDC_VERIFY_LABEL, MSG_VERIFY_PASSWORD}});
    ClearField(d, dialog, IDC_PASSWORD);
    ClearField(d, dialog, IDC_VERIFY);
    if (m_pRecord) d.SetCaption(dialog, Caption(m_sys, MSG_PROTECT_CAPTION, *m_pRecord));
    d.SetLargeIcon(dialog, m_sys.resources().Icon(IDI_PROTECT_DIALOG));
    CentreOnDesktop(m_sys, dialog);
    d.BringToForeground(dialog);
}

void CProtectDialog::OnOK(plat::Hwnd dialog) {
    plat::Dialogs& d = m_sys.dialogs();
    if (m_pRecord == nullptr) {
        d.EndDialog(dialog, 0);
        return;
    }
    const std::size_t n = d.GetItemText(dialog, IDC_PASSWORD, m_szPassword, sizeof m_szPassword);
    const std::size_t nVerify = d.GetItemText(dialog, IDC_VERIFY, m_szVerify, sizeof m_szVerify);
    const bool same = SamePassword(m_szPassword, n, m_szVerify, nVerify);
    SecureClear(m_szVerify, sizeof m_szVerify);
    if (!same) {
        SecureClear(m_szPassword, sizeof m_szPassword);
        ShowBox(dialog, MSG_PASSWORDS_DIFFER, plat::MB_ICONWARNING);
        return;
    }
    const bool set = SetDrivePassword(m_sys, *m_pRecord, m_szPassword, n);
    SecureClear(m_szPassword, sizeof m_szPassword);
    if (set) {
        d.EndDialog(dialog, 1);
        return;
    }
    ShowBox(dialog, MSG_UNABLE_TO_PROTECT, plat::MB_ICONERROR);
}

void CProtectDialog::ShowBox(plat::Hwnd dialog, std::uint32_t text, std::uint32_t icon) {
    m_sys.messageBoxes().Show(dialog, MessageCatalogue::LoadMessage(m_sys, text),
                              Caption(m_sys, MSG_PROTECT_CAPTION, *m_pRecord), plat::MB_OK | icon | kFlowBoxStyle);
}

// ---------------------------------------------------------------------------
// Unprotect (154)
// ---------------------------------------------------------------------------
CUnprotectDialog::CUnprotectDialog(plat::System& sys) : m_sys(sys) {}

CUnprotectDialog::~CUnprotectDialog() {
    SecureClear(m_szPassword, sizeof m_szPassword);
    // A dialog torn down while its erase runs: the thread goes on with its own copy.
    if (m_hEraseThread != plat::Hobject::None) m_sys.kernel().Close(m_hEraseThread);
}

bool CUnprotectDialog::OnDialogMessage(plat::Hwnd dialog, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
    switch (message) {
        case plat::WM_INITDIALOG: OnInitDialog(dialog, reinterpret_cast<CStorageDevice*>(lParam)); return true;
        case plat::WM_TIMER:
            if (wParam != kEraseTimerId) return false;
            OnEraseTimer(dialog);
            return true;
        case plat::WM_COMMAND:
            // While the drive is being erased the dialog only waits for it.
            if (m_hEraseThread != plat::Hobject::None) return true;
            switch (ControlOf(wParam)) {
                case plat::IDOK: OnOK(dialog); return true;
                case plat::IDCANCEL: m_sys.dialogs().EndDialog(dialog, 0); return true;
                case IDC_I_FORGOT: OnForgot(dialog); return true;
                default: return false;
            }
        case plat::WM_CLOSE: return true;  // only OK, Cancel or an erase end it
        default: return false;
    }
}

void CUnprotectDialog::OnInitDialog(plat::Hwnd dialog, CStorageDevice* record) {
    plat::Dialogs& d = m_sys.dialogs();
    m_pRecord = record;
    SecureClear(m_szPassword, sizeof m_szPassword);
    d.UseDefaultGuiFont(dialog, 0);
    SetTexts(m_sys, dialog,
             {{IDC_UNPROTECT_TEXT, MSG_UNPROTECT_EXPLANATION},
              {IDC_DISABLE_PROTECTION, MSG_DISABLE_PROTECTION},
              {IDC_I_FORGOT, MSG_I_FORGOT}});
    ClearField(d, dialog, IDC_UNPROTECT_PASSWORD);
    if (m_pRecord && !(m_pRecord->m_dwSecurityStatus & SECURITY_LOCKED)) {
        // A drive that is not locked can only have its password removed.
        d.CheckButton(dialog, IDC_DISABLE_PROTECTION, true);
        d.EnableItem(dialog, IDC_DISABLE_PROTECTION, false);
        d.ShowItem(dialog, IDC_I_FORGOT, false);
    }
    if (m_pRecord) d.SetCaption(dialog, Caption(m_sys, MSG_UNPROTECT_CAPTION, *m_pRecord));
    d.SetLargeIcon(dialog, m_sys.resources().Icon(IDI_UNPROTECT_DIALOG));
    CentreOnDesktop(m_sys, dialog);
    d.BringToForeground(dialog);
}

void CUnprotectDialog::OnOK(plat::Hwnd dialog) {
    plat::Dialogs& d = m_sys.dialogs();
    if (m_pRecord == nullptr) {
        d.EndDialog(dialog, 0);
        return;
    }
    const std::size_t n = d.GetItemText(dialog, IDC_UNPROTECT_PASSWORD, m_szPassword, sizeof m_szPassword);
    if (UnlockDrive(m_sys, *m_pRecord, m_szPassword, n)) {
        // Whether the password went is for the worker's re-read to tell.
        if (d.IsButtonChecked(dialog, IDC_DISABLE_PROTECTION)) DisableDrivePassword(m_sys, *m_pRecord, m_szPassword, n);
        SecureClear(m_szPassword, sizeof m_szPassword);
        d.EndDialog(dialog, 1);
        return;
    }
    SecureClear(m_szPassword, sizeof m_szPassword);
    if (!RefreshSecurityStatus(m_sys, *m_pRecord)) {
        d.EndDialog(dialog, 0);
        return;
    }
    if (m_pRecord->m_dwSecurityStatus & SECURITY_COUNT_EXPIRED) {
        d.EndDialog(dialog, 1);  // the worker reports the expired counter
        return;
    }
    ShowBox(dialog, MSG_UNPROTECT_CAPTION, MessageCatalogue::LoadMessage(m_sys, MSG_WRONG_PASSWORD),
            plat::MB_OK | plat::MB_ICONWARNING);
}

void CUnprotectDialog::OnForgot(plat::Hwnd dialog) {
    if (m_pRecord == nullptr) return;
    if (ShowBox(dialog, MSG_FORGOT_CAPTION, MessageCatalogue::LoadMessage(m_sys, MSG_FORGOT_TEXT),
                plat::MB_YESNO | plat::MB_ICONQUESTION) != plat::IDYES)
        return;
    const std::string warning = FormatText(MessageCatalogue::LoadMessage(m_sys, MSG_ERASE_WARNING).c_str(),
                                           static_cast<int>(m_pRecord->m_nEraseMinutes));
    if (ShowBox(dialog, MSG_ERASE_CAPTION, warning, plat::MB_YESNO | plat::MB_ICONWARNING) != plat::IDYES) return;

    plat::Dialogs& d = m_sys.dialogs();
    d.SetCaption(dialog, Caption(m_sys, MSG_ERASE_CAPTION, *m_pRecord));
    d.Minimize(dialog);
    // SECURITY ERASE UNIT holds its thread for as long as the drive takes, up
    // to 30 hours: it gets a thread of its own, with a copy of the record, so
    // that this dialog keeps taking its messages.
    auto eraseCopy = std::make_shared<CStorageDevice>(*m_pRecord);
    plat::System* sys = &m_sys;
    m_hEraseThread = m_sys.kernel().StartThread([sys, eraseCopy]() -> std::uint32_t {
        EraseDrive(*sys, *eraseCopy);
        return 0;
    });
    if (m_hEraseThread == plat::Hobject::None) {
        // Nothing was sent; the report finds the drive as it was.
        d.EndDialog(dialog, kErasedResult);
        return;
    }
    m_dwEraseStart = m_sys.kernel().TickCount();
    m_nShownPercent = -1;
    if (!d.StartTimer(dialog, kEraseTimerId, kEraseTimerMs)) {
        // Without a timer to watch it, wait for the erase here.
        m_sys.kernel().Wait(m_hEraseThread, plat::INFINITE_WAIT);
        EndErase(dialog);
    }
}

void CUnprotectDialog::OnEraseTimer(plat::Hwnd dialog) {
    if (m_hEraseThread == plat::Hobject::None) return;
    if (m_sys.kernel().Wait(m_hEraseThread, 0) == plat::WAIT_OBJECT_0) {
        m_sys.dialogs().StopTimer(dialog, kEraseTimerId);
        EndErase(dialog);
        return;
    }
    const int percent = ErasePercent(m_sys.kernel().TickCount() - m_dwEraseStart, m_pRecord->m_nEraseMinutes);
    if (percent < 0 || percent == m_nShownPercent) return;
    m_nShownPercent = percent;
    m_sys.dialogs().SetCaption(
        dialog, FormatText("%s - %d%%", Caption(m_sys, MSG_ERASE_CAPTION, *m_pRecord).c_str(), percent));
}

void CUnprotectDialog::EndErase(plat::Hwnd dialog) {
    m_sys.kernel().Close(m_hEraseThread);
    m_hEraseThread = plat::Hobject::None;
    m_sys.dialogs().EndDialog(dialog, kErasedResult);
}

int CUnprotectDialog::ShowBox(plat::Hwnd dialog, std::uint32_t caption, const std::string& text, std::uint32_t style) {
    return m_sys.messageBoxes().Show(dialog, text, Caption(m_sys, caption, *m_pRecord), style | kFlowBoxStyle);
}

}  // namespace tray
