// A simulated Windows machine in memory: processes with threads and message
// queues, top-level windows, named objects, broadcasts, the notification
// area, adapter drivers behind interface paths, and virtual time.
//
// Sim threads are real threads, but only one runs at a time: a thread keeps
// the machine until it blocks in a platform wait (a message loop, a message
// box, a wait on a handle or on virtual time), and the machine then hands
// itself to the next ready thread in a fixed round-robin order. A test acts
// from outside, then calls WaitIdle() until no sim thread can move; what
// happens in between is the same on every run.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"
#include "sim/device_store.h"
#include "sim/file_store.h"
#include "sim/environment.h"
#include "sim/library_store.h"
#include "sim/registry_store.h"
#include "sim/resource_table.h"
#include "sim/setup_device_store.h"
#include "sim/token_store.h"

namespace sim {

class SimSystem;
struct MenuState;
struct BoxState;
struct DialogState;
struct ThreadRec;
struct ProcessRec;
struct WindowRec;

// What sits behind an adapter's pass-through request: the drive.
class PassThroughTarget {
public:
    virtual ~PassThroughTarget() = default;
    // Runs one ATA command. `data` is the request's 512-byte sector: read by
    // the drive for commands that carry data out, filled for data in. On
    // failure `sense` receives the sense bytes.
    virtual bool Execute(std::span<const std::uint8_t, 16> cdb, std::span<std::uint8_t, 512> data, bool dataIn,
                         std::span<std::uint8_t, 18> sense) = 0;
    // Virtual time the command takes, in milliseconds.
    virtual std::uint64_t DurationMs(std::span<const std::uint8_t, 16> cdb) = 0;
};

// The adapter driver behind one device-interface path.
struct SimAdapter {
    std::string path;
    std::array<std::uint8_t, 512> info{};  // AdapterInfo block
    std::array<std::uint8_t, 2> commandLead{0xA1, 0x5A};
    std::deque<std::vector<std::uint8_t>> events;  // pending event blocks, oldest first
    std::shared_ptr<PassThroughTarget> drive;
    bool failOpen = false;
    bool failInfo = false;
    bool failCommandLead = false;
    bool failEvents = false;
    // Requests seen, counted by code (the watcher's and notifier's tests look at them).
    std::map<std::uint32_t, int> requestCounts;
    int opens = 0;
    // Sees every pass-through request as it arrives, before the drive runs
    // it (called under the machine's lock; it must not call the machine).
    std::function<void(std::span<const std::uint8_t>)> observePassThrough;
    // ATA command codes the bridge does not pass on: their pass-through
    // request fails and the drive never sees them.
    std::set<std::uint8_t> refusedCommands;
};

class Machine {
public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // ---- settings ----------------------------------------------------------
    void SetVersion(plat::OsVersion v);
    plat::OsVersion Version();
    void SetDefaultLcid(std::uint32_t lcid);
    std::uint32_t DefaultLcid();
    // The sim's texts are UTF-8 (code page 65001) unless a test chooses a
    // double-byte code page (932, 936, 949, 950) to check lead-byte handling.
    void SetAnsiCodePage(std::uint32_t cp);
    std::uint32_t AnsiCodePage();

    // ---- programs and processes ---------------------------------------------
    using Entry = std::function<int(plat::System&)>;
    // `exeName` like "TRVTRAY.EXE"; matched against the first token of a
    // command line by its file name, letter case ignored, ".EXE" optional.
    void InstallProgram(const std::string& exeName, Entry entry, const trvres::Table* resources);
    // Starts the program named by the command line's first token. 0 when no
    // installed program matches.
    std::uint32_t StartProcess(const std::string& commandLine);
    void WaitIdle();
    bool IsRunning(std::uint32_t pid);
    std::optional<int> ExitCodeOf(std::uint32_t pid);
    std::vector<std::uint32_t> RunningProcesses(const std::string& exeName);
    std::string ExeOf(std::uint32_t pid);
    // What GetModuleFileName reports in the program's processes started from
    // now on; "C:\WINDOWS\<exeName>" unless set. Empty: the call fails.
    void SetModulePath(const std::string& exeName, const std::string& path);

    // ---- programs started by programs ------------------------------------------
    // Every process start a program asked for, in order. A command line that
    // names an installed program starts it; any other starts a process that
    // ends at once with exit code 0 (a program outside the suite).
    struct Launch {
        std::uint32_t parentPid;
        std::string commandLine;
        std::string desktop;
        std::uint32_t pid;  // 0 when the start failed
    };
    std::vector<Launch> Launches();
    // Fails the next `count` process starts requested by programs.
    void FailProcessStarts(int count);
    EnvironmentTable& Environment() { return *environment_; }

    // ---- session notifications -----------------------------------------------------
    LibraryTable& Libraries() { return *libraries_; }
    // The console is connected to (WTS_CONSOLE_CONNECT) or disconnected from
    // (WTS_CONSOLE_DISCONNECT) the session: WM_WTSSESSION_CHANGE to every
    // live window registered for session notifications.
    void ConsoleSessionChange(bool connect);
    // Live windows of `pid` registered for session notifications.
    std::size_t SessionRegistrations(std::uint32_t pid);

    // ---- windows -------------------------------------------------------------
    struct WindowInfo {
        plat::Hwnd hwnd;
        std::uint32_t pid;
        std::string className;
        std::string title;
        std::uint32_t style;
        bool visible;
    };
    std::vector<WindowInfo> TopLevelWindows();
    // What another process would do: post to a window, or broadcast a block
    // of which `delivered` bytes really exist (the claimed size is the
    // block's first word; the sim copies no more than exists).
    bool PostFromOutside(plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
    void BroadcastFromOutside(std::uint32_t message, std::uintptr_t wParam, std::vector<std::uint8_t> block);

    // ---- the system's device-change and power messages ------------------------
    // Arrival (DBT_DEVICEARRIVAL) or removal (DBT_DEVICEREMOVECOMPLETE) of a
    // device interface, sent to every window registered for its class.
    void DeviceInterfaceEvent(bool arrival, const plat::Guid& interfaceClass, const std::string& path);
    // A device-change message with the given code to every top-level window.
    void DeviceChangeToAll(std::uint32_t wParam, std::vector<std::uint8_t> block = {});
    void PowerBroadcast(std::uint32_t event);
    // Fails the next `count` notification registrations.
    void FailNotificationRegistrations(int count);
    std::size_t NotificationRegistrations(std::uint32_t pid);

    // ---- notification area ------------------------------------------------------
    struct TrayIconInfo {
        std::uint32_t pid;
        plat::Hwnd owner;
        std::uint32_t id;
        std::uint32_t callbackMessage;
        std::uint32_t iconResource;  // resource number of the icon shown, 0 if none
        std::string tip;
    };
    std::vector<TrayIconInfo> TrayIcons();
    // While the shell is not available every add request fails.
    void SetShellAvailable(bool available);
    // The user clicks a tray icon: its owner gets the callback message with
    // wParam the icon id and lParam the mouse message.
    bool ClickTrayIcon(std::uint32_t pid, std::uint32_t mouseMessage);

    // ---- resources observed --------------------------------------------------------
    std::uint32_t IconResource(plat::Hicon icon);
    struct BitmapCounts {
        std::size_t loaded = 0;
        std::size_t deleted = 0;
        std::size_t badDeletes = 0;  // deletes of a bitmap already deleted or never loaded
    };
    BitmapCounts Bitmaps(std::uint32_t pid);

    // ---- trace and transcript --------------------------------------------------------
    std::vector<std::string> TraceLines(std::uint32_t pid);
    void SetTraceInTranscript(bool on);
    void SetDriverTrace(bool on);
    // The machine's transcript: what a user would see and what the programs did.
    std::vector<std::string> Transcript();
    void Note(const std::string& line);

    // ---- the user at popup menus -----------------------------------------------------
    // How the user answers a popup menu: the item reached by its texts, top
    // level first ({"Drive X (E:)", "Safely Remove"}), the item with a command
    // number, or nothing (a click elsewhere, Escape). An answer that names no
    // enabled item chooses nothing.
    struct MenuAnswer {
        std::vector<std::string> path;
        std::uint32_t command = 0;
        static MenuAnswer Item(std::vector<std::string> path);
        static MenuAnswer Command(std::uint32_t command);
        static MenuAnswer Nothing();
    };
    struct MenuItemInfo {
        std::string text;
        std::uint32_t id = 0;
        bool greyed = false;
        bool separator = false;
        std::uint32_t bitmapResource = 0;  // resource number of the item bitmap, 0 if none
        std::vector<MenuItemInfo> sub;     // the items of the sub-menu it opens
        bool opensSubMenu = false;
    };
    struct ShownMenu {
        std::uint32_t id = 0;  // for AnswerMenu while it is open
        std::uint32_t pid = 0;
        std::vector<MenuItemInfo> items;
        std::optional<std::uint32_t> chosen;  // the command returned, once closed
    };
    // Answers for the next menus any program shows, in order. A menu shown
    // while none is queued stays open until AnswerMenu.
    void QueueMenuAnswer(MenuAnswer answer);
    std::vector<ShownMenu> OpenMenus();
    bool AnswerMenu(std::uint32_t id, const MenuAnswer& answer);
    // Every menu shown so far, oldest first.
    std::vector<ShownMenu> MenusShown();
    // Popup menus of the process that exist (created and not destroyed).
    std::size_t LiveMenus(std::uint32_t pid);

    // ---- the user at message boxes ---------------------------------------------------
    struct MessageBoxInfo {
        std::uint32_t id = 0;
        std::uint32_t pid = 0;
        plat::Hwnd owner = plat::Hwnd::None;
        std::string caption;
        std::string text;
        std::uint32_t style = 0;
        std::optional<int> answer;  // once closed: the button, 0 if it closed unanswered
    };
    // Answers the next box whose caption is `caption` (any box when empty)
    // with `answer`, the moment it opens. Rules are used once, in order.
    void QueueBoxAnswer(std::string caption, int answer);
    std::vector<MessageBoxInfo> OpenMessageBoxes();
    // Presses `answer` on an open box; false when the box is not open or has
    // no such button.
    bool AnswerMessageBox(std::uint32_t id, int answer);
    // Every box shown so far, oldest first.
    std::vector<MessageBoxInfo> MessageBoxesShown();

    // ---- the user at modal dialogs ----------------------------------------------------
    struct ControlInfo {
        int id = 0;
        trvres::ControlKind kind = trvres::ControlKind::Static;
        std::string text;          // what the control shows (a password field's text too)
        bool password = false;     // an edit field that shows its text as asterisks
        std::size_t limit = 0;     // edit fields: the most characters the user can type
        bool checked = false;
        bool enabled = true;
        bool visible = true;
        bool guiFont = false;      // given the stock default GUI font
    };
    struct DialogInfo {
        std::uint32_t id = 0;
        std::uint32_t pid = 0;
        std::uint32_t templateId = 0;    // 0 for a property sheet
        plat::Hwnd hwnd = plat::Hwnd::None;
        plat::Hwnd owner = plat::Hwnd::None;  // None, the desktop window or a window
        std::string caption;
        std::vector<std::string> texts;  // the static texts, in template order
        std::vector<int> buttons;        // the push buttons' ids, and IDCANCEL for closing it
        std::vector<ControlInfo> controls;
        std::uint32_t iconResource = 0;  // the large icon set on it, 0 if none
        plat::Rect rect;                 // screen coordinates
        bool minimized = false;
        bool foreground = false;
        bool guiFont = false;
        // Property sheets: the header's flags and start page, and the title of
        // each page shown.
        bool propertySheet = false;
        std::uint32_t sheetFlags = 0;
        std::uint32_t startPage = 0;
        std::vector<std::string> pages;
        std::optional<std::intptr_t> answer;  // once closed: the dialog's result
        const ControlInfo* Control(int control) const;
    };
    // What the scripted user does in a dialog. Type replaces a field's text
    // with what is typed, as far as the field's limit lets it; Press clicks a
    // button (refused unless it is enabled and visible); Check sets a check
    // box; Close uses the caption's close box; Escape presses the Escape key.
    struct DialogAction {
        enum class Kind { Type, Check, Press, Close, Escape } kind = Kind::Press;
        int control = 0;
        std::string text;
        bool checked = true;
        static DialogAction Type(int control, std::string text);
        static DialogAction Check(int control, bool checked);
        static DialogAction Press(int control);
        static DialogAction Close();
        static DialogAction Escape();
    };
    // Closes the next dialog of `templateId` (any dialog when 0) with
    // `answer` (a button it has, or IDCANCEL) the moment it opens. Rules are
    // used once, in order, and shared with QueueDialogActions.
    void QueueDialogAnswer(std::uint32_t templateId, int answer);
    // The user's actions in the next dialog of `templateId` (any when 0),
    // carried out one after another once it has opened.
    void QueueDialogActions(std::uint32_t templateId, std::vector<DialogAction> actions);
    std::vector<DialogInfo> OpenDialogs();
    // Presses `answer` in an open dialog; false when it is not open or has no such button.
    bool AnswerDialog(std::uint32_t id, int answer);
    // Does `action` in an open dialog as soon as its thread takes its
    // messages again; false when the dialog is not open.
    bool ActOnDialog(std::uint32_t id, DialogAction action);
    // Every dialog shown so far, oldest first.
    std::vector<DialogInfo> DialogsShown();
    // The desktop's size in pixels (1024 x 768 unless set).
    void SetDesktopSize(int width, int height);

    // ---- threads -------------------------------------------------------------------
    void FailThreadStarts(int count);

    // ---- virtual time ----------------------------------------------------------------
    std::uint64_t Now();
    // Moves virtual time forward, firing timers and ending timed waits in
    // order, settling the machine after each.
    void AdvanceTime(std::uint64_t milliseconds);

    // ---- adapter drivers -----------------------------------------------------------------
    SimAdapter& AddAdapter(const std::string& path);
    SimAdapter* FindAdapter(const std::string& path);
    void RemoveAdapter(const std::string& path);
    // Runs `fn` on an adapter under the machine's lock (to change it safely while sim threads run).
    void WithAdapter(const std::string& path, const std::function<void(SimAdapter&)>& fn);

    // ---- shared stores -------------------------------------------------------------------
    RegistryStore& Registry() { return *registry_; }
    DeviceStore& Devices() { return *devices_; }
    FileStore& Files() { return *files_; }
    TokenStore& Account() { return *account_; }
    SetupDeviceStore& SetupDevices() { return *setupDevices_; }

    // ---- used by the facet implementations ---------------------------------------------
    class Facets;
    friend class Facets;
    friend class SimSystem;
    // CreateProcess for process `parentPid`: records the start and hands the
    // parent a process and a thread handle.
    bool StartProcessFor(std::uint32_t parentPid, const std::string& commandLine, const std::string& desktop,
                         plat::StartedProcess& started);

private:
    struct QueuedMsg {
        plat::Msg msg;
        std::shared_ptr<std::vector<std::uint8_t>> payload;
    };
    struct HandleRec {
        enum Kind { Mutex, Thread, Notify, Device } kind;
        std::uint32_t pid;
        std::string name;  // mutex name, device path
        ThreadRec* thread = nullptr;
    };
    struct Registration {
        plat::Hnotify handle;
        plat::Hwnd hwnd;
        plat::Guid interfaceClass;
        std::uint32_t pid;
    };
    struct TimerRec {
        std::uint32_t period;
        std::uint64_t due;
    };
    struct BitmapRec {
        std::uint32_t pid;
        std::uint32_t id;
        bool live;
    };
    struct ProgramRec {
        Entry entry;
        const trvres::Table* resources;
        std::string exeName;
    };

    // Blocks the calling sim thread until `done` (checked under the lock). A
    // thread that owns windows dispatches their messages meanwhile, as a
    // modal loop does. False when the wait ended without `done`: a WM_QUIT
    // arrived (it stays queued), the process ended or the machine shuts down.
    // A `deadline` in virtual time lets AdvanceTime wake the thread then:
    // `done` must become true by that time.
    bool ModalWaitLocked(std::unique_lock<std::mutex>& lk, const std::function<bool()>& done,
                         std::uint64_t deadline = UINT64_MAX);

    // scheduling
    bool RunnableLocked(const ThreadRec& t);
    void ScheduleLocked();
    void AcquireLocked(std::unique_lock<std::mutex>& lk, ThreadRec* t);
    bool BlockLocked(std::unique_lock<std::mutex>& lk, ThreadRec* t, std::function<bool()> ready,
                     std::uint64_t deadline = UINT64_MAX);
    ThreadRec* StartThreadLocked(ProcessRec* p, std::function<std::uint32_t()> body);
    // `external`: a command line naming no installed program starts a process
    // that ends at once. `mainThread` receives the process's first thread.
    ProcessRec* StartProcessLocked(const std::string& commandLine, bool external, ThreadRec** mainThread);
    void EndProcessLocked(ProcessRec* p, int code);
    ThreadRec* Current();

    // windows and messages
    WindowRec* FindWindowLocked(plat::Hwnd h);
    bool PostLocked(WindowRec* w, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                    std::shared_ptr<std::vector<std::uint8_t>> payload);
    void BroadcastLocked(std::uint32_t message, std::uintptr_t wParam, std::vector<std::uint8_t> block);
    std::string Tag(std::uint32_t pid);
    void NoteLocked(const std::string& line);
    std::uint32_t NewHandleLocked();

    std::mutex mu_;
    std::condition_variable cv_;
    std::uint32_t token_ = 0;  // id of the thread that may run; 0 while the machine is idle
    std::uint32_t lastRun_ = 0;
    bool shutdown_ = false;

    plat::OsVersion version_{};
    std::uint32_t lcid_ = 0x0409;
    std::uint32_t codePage_ = 65001;
    std::uint64_t now_ = 0;

    std::map<std::string, ProgramRec> programs_;  // key: upper-case exe name
    std::map<std::string, std::string> modulePaths_;  // key: upper-case exe name
    std::vector<std::unique_ptr<ProcessRec>> processes_;
    std::vector<std::unique_ptr<ThreadRec>> threads_;
    std::vector<std::unique_ptr<WindowRec>> windows_;
    std::map<std::string, int> mutexRefs_;
    std::map<std::uintptr_t, HandleRec> handles_;
    std::vector<Registration> registrations_;
    std::map<std::pair<std::uintptr_t, std::uintptr_t>, TimerRec> timers_;
    std::vector<TrayIconInfo> tray_;
    std::map<std::uintptr_t, BitmapRec> bitmaps_;
    std::map<std::uint32_t, BitmapCounts> bitmapCounts_;
    std::map<std::string, std::unique_ptr<SimAdapter>> adapters_;  // key: lower-case path
    std::vector<std::string> transcript_;
    std::unique_ptr<RegistryStore> registry_;
    std::unique_ptr<DeviceStore> devices_;
    std::unique_ptr<FileStore> files_;
    std::unique_ptr<TokenStore> account_;
    std::unique_ptr<SetupDeviceStore> setupDevices_;
    std::unique_ptr<EnvironmentTable> environment_;
    std::unique_ptr<LibraryTable> libraries_;
    std::vector<Launch> launches_;
    int failProcessStarts_ = 0;
    std::unique_ptr<MenuState> menus_;
    std::unique_ptr<BoxState> boxes_;
    std::unique_ptr<DialogState> dialogState_;
    int desktopWidth_ = 1024;
    int desktopHeight_ = 768;

    bool shellAvailable_ = true;
    bool traceInTranscript_ = false;
    bool driverTrace_ = false;
    int failRegistrations_ = 0;
    int failThreadStarts_ = 0;
    std::uint32_t nextPid_ = 1;
    std::uint32_t nextTid_ = 1;
    std::uintptr_t nextHandle_ = 0x100;
    std::uintptr_t nextHwnd_ = 0x10010;
    std::uint32_t externalLastError_ = 0;
};

}  // namespace sim
