// The two password dialogs: Protect (159), which sets a password, and
// Unprotect (154), which unlocks a drive, removes its password or, through
// "I Forgot", erases it. Each works on the worker's copy of the device's
// record, given as the dialog's parameter.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/system.h"
#include "tray/storage_device.h"

namespace tray {

inline constexpr std::uint32_t IDD_UNPROTECT = 154;
inline constexpr std::uint32_t IDD_PROTECT = 159;
inline constexpr std::uint32_t IDI_UNPROTECT_DIALOG = 158;
inline constexpr std::uint32_t IDI_PROTECT_DIALOG = 168;

// Dialog 159.
inline constexpr int IDC_PROTECT_TEXT = 1016;
inline constexpr int IDC_PASSWORD_LABEL = 1006;
inline constexpr int IDC_PASSWORD = 1004;
inline constexpr int IDC_VERIFY_LABEL = 1007;
inline constexpr int IDC_VERIFY = 1005;
// Dialog 154.
inline constexpr int IDC_UNPROTECT_TEXT = 1017;
inline constexpr int IDC_UNPROTECT_PASSWORD = 1000;
inline constexpr int IDC_DISABLE_PROTECTION = 1002;
inline constexpr int IDC_I_FORGOT = 1001;

// Dialog results besides 1 (done) and 0 (cancelled).
inline constexpr std::intptr_t kErasedResult = 1001;

// A password field takes 32 characters; 31 of them and the terminator are
// read into a buffer.
inline constexpr std::size_t kPasswordFieldLimit = 32;
inline constexpr std::size_t kPasswordBuffer = 32;

// Message boxes of the flows: system-modal and brought to the foreground.
inline constexpr std::uint32_t kFlowBoxStyle = plat::MB_SYSTEMMODAL | plat::MB_SETFOREGROUND;

// The erase runs on a thread of its own; this timer of the dialog watches it
// and shows its progress in the caption.
inline constexpr std::uintptr_t kEraseTimerId = 1;
inline constexpr std::uint32_t kEraseTimerMs = 1000;

// Equal when both hold the same number of bytes and the same bytes.
bool SamePassword(const char* a, std::size_t aLength, const char* b, std::size_t bLength);

// The progress shown while an erase runs: percent of the drive's estimate,
// never 100 before the drive has finished; -1 without an estimate.
int ErasePercent(std::uint32_t elapsedMs, std::uint32_t estimateMinutes);

class CProtectDialog final : public plat::DialogProcedure {
public:
    explicit CProtectDialog(plat::System& sys);
    ~CProtectDialog();
    CProtectDialog(const CProtectDialog&) = delete;
    CProtectDialog& operator=(const CProtectDialog&) = delete;

    bool OnDialogMessage(plat::Hwnd dialog, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam) override;

private:
    void OnInitDialog(plat::Hwnd dialog, CStorageDevice* record);
    void OnOK(plat::Hwnd dialog);
    void ShowBox(plat::Hwnd dialog, std::uint32_t text, std::uint32_t icon);

    plat::System& m_sys;
    CStorageDevice* m_pRecord = nullptr;
    char m_szPassword[kPasswordBuffer] = {};
    char m_szVerify[kPasswordBuffer] = {};
};

class CUnprotectDialog final : public plat::DialogProcedure {
public:
    explicit CUnprotectDialog(plat::System& sys);
    ~CUnprotectDialog();
    CUnprotectDialog(const CUnprotectDialog&) = delete;
    CUnprotectDialog& operator=(const CUnprotectDialog&) = delete;

    bool OnDialogMessage(plat::Hwnd dialog, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam) override;

private:
    void OnInitDialog(plat::Hwnd dialog, CStorageDevice* record);
    void OnOK(plat::Hwnd dialog);
    void OnForgot(plat::Hwnd dialog);
    void OnEraseTimer(plat::Hwnd dialog);
    void EndErase(plat::Hwnd dialog);
    int ShowBox(plat::Hwnd dialog, std::uint32_t caption, const std::string& text, std::uint32_t style);

    plat::System& m_sys;
    CStorageDevice* m_pRecord = nullptr;
    char m_szPassword[kPasswordBuffer] = {};
    // While an erase runs: its thread, when it started and the percent shown.
    plat::Hobject m_hEraseThread = plat::Hobject::None;
    std::uint32_t m_dwEraseStart = 0;
    int m_nShownPercent = -1;
};

}  // namespace tray
