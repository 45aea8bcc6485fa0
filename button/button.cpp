#include "button/button.h"

#include <vector>

namespace button {

IMPLEMENT_DYNAMIC(CButtonApp, CWinApp)

namespace {

// A value read as text into a 260-byte buffer: false when it is missing or
// has no room for its terminator there.
bool ReadText(plat::Registry& reg, plat::Hkey key, const char* name, std::string& text) {
    std::vector<std::uint8_t> data;
    std::uint32_t type = 0;
    text.clear();
    if (!reg.QueryValue(key, name, kValueBuffer, data, &type)) return false;
    std::string raw(data.begin(), data.end());
    std::size_t zero = raw.find('\0');
    if (zero == std::string::npos && raw.size() >= kValueBuffer) return false;
    text = raw.substr(0, zero);
    return true;
}

bool CanOpen(plat::System& sys, const std::string& path, std::uint32_t access, std::uint32_t share) {
    plat::Hfile f = sys.files().Open(path, access, share, plat::OPEN_EXISTING, plat::FILE_ATTRIBUTE_NORMAL);
    if (f == plat::Hfile::None) return false;
    sys.files().Close(f);
    return true;
}

// The command line for the application and, if any, its parameter.
std::string Compose(const std::string& application, const std::string* parameter) {
    std::string command = "\"" + application + "\"";
    if (parameter != nullptr) {
        bool blank = parameter->find_first_of(" \t") != std::string::npos;
        command += " " + (blank ? "\"" + *parameter + "\"" : *parameter);
    }
    return command;
}

int Finish(plat::Registry& reg, plat::Hkey key, int code) {
    reg.CloseKey(key);
    return code;
}

}  // namespace

int LookUpBackupCommand(plat::System& sys, std::string& command) {
    command.clear();
    plat::Registry& reg = sys.registry();
    plat::Hkey key = reg.OpenKey(plat::Hkey::LocalMachine, kButtonBackupKey, false);
    if (key == plat::Hkey::None) return BACKUP_NO_KEY;

    std::string application;
    if (!ReadText(reg, key, kApplicationPathValue, application)) return Finish(reg, key, BACKUP_NO_APPLICATION_PATH);
    // An executable that is read-only, or locked by a running program, is unusable.
    if (application.empty() ||
        !CanOpen(sys, application, plat::GENERIC_READ | plat::GENERIC_WRITE,
                 plat::FILE_SHARE_READ | plat::FILE_SHARE_WRITE))
        return Finish(reg, key, BACKUP_UNUSABLE);

    std::string parameter;
    int code = BACKUP_COMMAND_WITH_PARAMETER;
    std::string composed;
    if (!ReadText(reg, key, kLaunchParameterValue, parameter)) {
        composed = Compose(application, nullptr);
        code = BACKUP_COMMAND_ALONE;
    } else {
        if (parameter.empty() || !CanOpen(sys, parameter, plat::GENERIC_READ, plat::FILE_SHARE_READ))
            return Finish(reg, key, BACKUP_UNUSABLE);
        composed = Compose(application, &parameter);
    }
    if (composed.size() > kCommandBuffer - 1) return Finish(reg, key, BACKUP_UNUSABLE);
    command = composed;
    return Finish(reg, key, code);
}

bool CButtonApp::InitInstance() {
    std::string command;
    int code = LookUpBackupCommand(m_sys, command);
    if (code == BACKUP_COMMAND_WITH_PARAMETER || code == BACKUP_COMMAND_ALONE)
        m_sys.exec().WinExec(command, plat::SW_SHOW);
    else
        m_sys.dialogs().ShowModalDialog(IDD_NO_BACKUP_APPLICATION);
    return false;
}

int ButtonProgram(plat::System& sys) {
    CButtonApp app(sys);
    app.RunApplication();
    return 0;
}

}  // namespace button
