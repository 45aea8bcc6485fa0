#include "sim/machine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>

#include "common/adapter_driver.h"
#include "common/bytes.h"
#include "common/guid.h"
#include "sim/dialog_store.h"
#include "sim/exec_facet.h"
#include "sim/process_facet.h"
#include "sim/machine_facets.h"
#include "sim/menus.h"
#include "sim/message_boxes.h"

namespace sim {

namespace {

std::string Upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
std::string Hex(std::uintptr_t v) {
    char b[32];
    std::snprintf(b, sizeof b, "0x%llx", static_cast<unsigned long long>(v));
    return b;
}

}  // namespace

struct SendState {
    bool done = false;
    std::intptr_t result = 0;
};

struct ThreadRec {
    std::uint32_t id = 0;
    ProcessRec* process = nullptr;
    std::thread thread;
    std::deque<std::pair<plat::Msg, std::shared_ptr<std::vector<std::uint8_t>>>> queue;
    std::deque<std::pair<plat::Msg, std::shared_ptr<SendState>>> sent;
    bool blocked = false;
    std::function<bool()> ready;
    std::uint64_t deadline = UINT64_MAX;
    bool ended = false;
    std::uint32_t exitCode = plat::STILL_ACTIVE;
    std::uint32_t lastError = 0;
    std::shared_ptr<std::vector<std::uint8_t>> held;  // block of the message last taken
};

struct WindowRec {
    plat::Hwnd hwnd{};
    ProcessRec* process = nullptr;
    ThreadRec* thread = nullptr;
    std::string className;
    std::string title;
    std::uint32_t style = 0;
    plat::WindowProcedure* procedure = nullptr;
    bool alive = true;
};

// ---------------------------------------------------------------------------
// The facets one process sees.
// ---------------------------------------------------------------------------
class SimSystem final : public plat::System,
                        plat::Ui,
                        plat::DeviceNotifications,
                        plat::Kernel,
                        plat::SystemInfo,
                        plat::Resources,
                        plat::ShellTray,
                        plat::DeviceIo,
                        plat::TraceSink {
public:
    SimSystem(Machine& m, ProcessRec& p, std::uint32_t pid);

    plat::Ui& ui() override { return *this; }
    plat::DeviceNotifications& deviceNotifications() override { return *this; }
    plat::Kernel& kernel() override { return *this; }
    plat::Process& process() override { return *process_; }
    plat::SystemInfo& systemInfo() override { return *this; }
    plat::Resources& resources() override { return *this; }
    plat::ShellTray& shellTray() override { return *this; }
    plat::DeviceIo& deviceIo() override { return *this; }
    plat::TraceSink& trace() override { return *this; }
    plat::Registry& registry() override { return *registry_; }
    plat::DeviceTree& deviceTree() override { return *tree_; }
    plat::Files& files() override { return *files_; }
    plat::Token& token() override { return *token_; }
    plat::SetupDevices& setupDevices() override { return *setupDevices_; }
    plat::Dialogs& dialogs() override { return *dialogs_; }
    plat::Exec& exec() override { return *exec_; }
    plat::Libraries& libraries() override { return *libraries_; }
    plat::Menus& menus() override { return *menus_; }
    plat::MessageBoxes& messageBoxes() override { return *boxes_; }

    // Ui
    bool RegisterWindowClass(const std::string& name) override;
    plat::Hwnd CreateTopLevel(const plat::WindowSpec& spec, plat::WindowProcedure* procedure) override;
    bool Destroy(plat::Hwnd hwnd) override;
    bool IsWindow(plat::Hwnd hwnd) override;
    bool IsVisible(plat::Hwnd) override { return false; }
    std::intptr_t DefaultProcedure(plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t, std::intptr_t) override;
    bool Post(plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    std::intptr_t Send(plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void PostQuit(int exitCode) override;
    bool NextMessage(plat::Msg& msg) override;
    std::intptr_t Dispatch(const plat::Msg& msg) override;
    plat::Hwnd FindTopLevel(const std::string& title) override;
    bool BroadcastPost(std::uint32_t message, std::uintptr_t wParam, const void* block) override;
    bool SetForeground(plat::Hwnd hwnd) override;
    plat::Point CursorPos() override { return {1000, 740}; }
    std::uintptr_t StartTimer(plat::Hwnd hwnd, std::uintptr_t id, std::uint32_t milliseconds) override;
    bool StopTimer(plat::Hwnd hwnd, std::uintptr_t id) override;

    // DeviceNotifications
    plat::Hnotify Register(plat::Hwnd hwnd, const void* filter) override;
    bool Unregister(plat::Hnotify handle) override;

    // Kernel
    plat::Hobject CreateNamedMutex(const std::string& name, bool& alreadyExisted) override;
    plat::Hobject StartThread(std::function<std::uint32_t()> body) override;
    bool ExitCode(plat::Hobject handle, std::uint32_t& code) override;
    std::uint32_t Wait(plat::Hobject handle, std::uint32_t milliseconds) override;
    bool Close(plat::Hobject handle) override;
    std::uint32_t TickCount() override;
    std::uint32_t LastError() override;
    void SetLastError(std::uint32_t code) override;

    // SystemInfo
    plat::OsVersion Version() override { return m_.Version(); }
    std::uint32_t DefaultLcid() override { return m_.DefaultLcid(); }
    std::uint32_t AnsiCodePage() override { return m_.AnsiCodePage(); }
    std::size_t CharLength(std::string_view text, std::size_t at) override;

    // Resources
    std::string String(std::uint32_t id) override;
    plat::Hicon Icon(std::uint32_t id) override;
    plat::Hbitmap Bitmap(std::uint32_t id, bool map3dColours) override;
    bool DeleteBitmap(plat::Hbitmap bitmap) override;

    // ShellTray
    bool Notify(plat::NotifyOp op, const plat::NotifyIconData& data) override;

    // DeviceIo
    plat::Hdevice Open(const std::string& path) override;
    bool Control(plat::Hdevice device, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                 std::uint32_t outLength, std::uint32_t* returned) override;
    bool Close(plat::Hdevice device) override;

    // TraceSink
    void Write(std::string_view line) override;

private:
    // What the facets in their own files need from the machine.
    static std::function<bool()> IsNt(Machine& m) {
        return [&m] { return m.Version().nt; };
    }
    static std::function<std::vector<std::string>()> RunningImages(Machine& m);
    std::function<void(std::uint32_t)> LastErrorSetter() {
        return [this](std::uint32_t code) { SetLastError(code); };
    }
    static std::function<void(const std::string&)> NoteAs(Machine& m, std::uint32_t pid) {
        return [&m, pid](const std::string& line) {
            std::lock_guard<std::mutex> lk(m.mu_);
            m.NoteLocked(m.Tag(pid) + " " + line);
        };
    }

    bool PassThrough(std::unique_lock<std::mutex>& lk, SimAdapter& a, void* buffer, std::uint32_t length);

    Machine& m_;
    ProcessRec& p_;
    std::unique_ptr<plat::Registry> registry_;
    std::unique_ptr<plat::DeviceTree> tree_;
    std::unique_ptr<plat::Files> files_;
    std::unique_ptr<plat::Token> token_;
    std::unique_ptr<plat::SetupDevices> setupDevices_;
    std::unique_ptr<plat::Dialogs> dialogs_;
    std::unique_ptr<plat::Exec> exec_;
    std::unique_ptr<plat::Process> process_;
    std::unique_ptr<plat::Libraries> libraries_;
    std::unique_ptr<plat::Menus> menus_;
    std::unique_ptr<plat::MessageBoxes> boxes_;
};

struct ProcessRec {
    std::uint32_t pid = 0;
    std::string exe;
    std::string commandLine;
    std::string args;
    std::string modulePath;
    const trvres::Table* resources = nullptr;
    bool ended = false;
    int exitCode = static_cast<int>(plat::STILL_ACTIVE);
    std::set<std::string> classes;
    std::vector<std::string> trace;
    std::unique_ptr<SimSystem> system;
};

std::function<std::vector<std::string>()> SimSystem::RunningImages(Machine& m) {
    return [&m] {
        std::lock_guard<std::mutex> lk(m.mu_);
        std::vector<std::string> names;
        for (auto& p : m.processes_)
            if (!p->ended) names.push_back(p->exe);
        return names;
    };
}

SimSystem::SimSystem(Machine& m, ProcessRec& p, std::uint32_t pid)
    : m_(m),
      p_(p),
      registry_(MakeRegistryFacet(m.Registry(), pid, [&m] { return m.Version().nt; }, NoteAs(m, pid))),
      tree_(MakeDeviceTreeFacet(m.Devices(), pid)),
      files_(MakeFilesFacet(m.Files(), pid, IsNt(m), RunningImages(m), LastErrorSetter(), NoteAs(m, pid))),
      token_(MakeTokenFacet(m.Account(), pid, IsNt(m), LastErrorSetter(), NoteAs(m, pid))),
      setupDevices_(MakeSetupDevicesFacet(m.SetupDevices(), pid, IsNt(m), LastErrorSetter(), NoteAs(m, pid))),
      dialogs_(MakeDialogsFacet(m, pid, p.resources)),
      exec_(MakeExecFacet(m, pid, [this](plat::Hobject h) { static_cast<plat::Kernel*>(this)->Close(h); },
                          NoteAs(m, pid))),
      process_(MakeProcessFacet(m, pid, p.args, p.modulePath)),
      libraries_(MakeLibrariesFacet(m.Libraries(), pid, LastErrorSetter())),
      menus_(MakeMenusFacet(m, pid)),
      boxes_(MakeMessageBoxFacet(m, pid)) {}

// ---------------------------------------------------------------------------
// Machine: settings, programs, scheduling
// ---------------------------------------------------------------------------
namespace {
thread_local ThreadRec* tlsCurrent = nullptr;
}

Machine::Machine()
    : registry_(std::make_unique<RegistryStore>()),
      devices_(std::make_unique<DeviceStore>(*this, *registry_)),
      files_(std::make_unique<FileStore>()),
      account_(std::make_unique<TokenStore>()),
      setupDevices_(std::make_unique<SetupDeviceStore>(*registry_)),
      environment_(std::make_unique<EnvironmentTable>()),
      libraries_(std::make_unique<LibraryTable>()),
      menus_(std::make_unique<MenuState>()),
      boxes_(std::make_unique<BoxState>()),
      dialogState_(std::make_unique<DialogState>()) {
    // A property-page provider learns its device from the set and element.
    libraries_->SetElementDescriber(
        [this](plat::Hdevinfo set, std::uint32_t element) { return devices_->ElementPath(set, element); });
}

Machine::~Machine() {
    {
        std::lock_guard<std::mutex> lk(mu_);
        shutdown_ = true;
        if (token_ == 0) ScheduleLocked();
        cv_.notify_all();
    }
    for (std::size_t i = 0;; ++i) {
        std::thread* th = nullptr;
        {
            std::lock_guard<std::mutex> lk(mu_);
            if (i >= threads_.size()) break;
            th = &threads_[i]->thread;
        }
        if (th->joinable()) th->join();
    }
}

ThreadRec* Machine::Current() { return tlsCurrent; }

void Machine::SetVersion(plat::OsVersion v) {
    std::lock_guard<std::mutex> lk(mu_);
    version_ = v;
}
plat::OsVersion Machine::Version() {
    std::lock_guard<std::mutex> lk(mu_);
    return version_;
}
void Machine::SetDefaultLcid(std::uint32_t lcid) {
    std::lock_guard<std::mutex> lk(mu_);
    lcid_ = lcid;
}
std::uint32_t Machine::DefaultLcid() {
    std::lock_guard<std::mutex> lk(mu_);
    return lcid_;
}
void Machine::SetAnsiCodePage(std::uint32_t cp) {
    std::lock_guard<std::mutex> lk(mu_);
    codePage_ = cp;
}
std::uint32_t Machine::AnsiCodePage() {
    std::lock_guard<std::mutex> lk(mu_);
    return codePage_;
}

void Machine::InstallProgram(const std::string& exeName, Entry entry, const trvres::Table* resources) {
    std::lock_guard<std::mutex> lk(mu_);
    programs_[Upper(exeName)] = ProgramRec{std::move(entry), resources, Upper(exeName)};
}

bool Machine::RunnableLocked(const ThreadRec& t) {
    if (t.ended) return false;
    if (shutdown_) return true;
    return !t.blocked || (t.ready && t.ready());
}

void Machine::ScheduleLocked() {
    if (token_ != 0) return;
    const std::size_t n = threads_.size();
    std::size_t start = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (threads_[i]->id > lastRun_) {
            start = i;
            break;
        }
        start = 0;
    }
    for (std::size_t k = 0; k < n; ++k) {
        ThreadRec& t = *threads_[(start + k) % n];
        if (RunnableLocked(t)) {
            token_ = t.id;
            lastRun_ = t.id;
            break;
        }
    }
    cv_.notify_all();
}

bool Machine::ModalWaitLocked(std::unique_lock<std::mutex>& lk, const std::function<bool()>& done,
                              std::uint64_t deadline) {
    ThreadRec* t = Current();
    if (t == nullptr) return done();
    ProcessRec* p = t->process;
    bool pump = false;
    for (auto& w : windows_) pump = pump || (w->alive && w->thread == t);
    for (;;) {
        if (done()) return true;
        if (shutdown_ || (p && p->ended)) return false;
        if (pump && !t->sent.empty()) {
            auto [sentMsg, state] = t->sent.front();
            t->sent.pop_front();
            WindowRec* w = FindWindowLocked(sentMsg.hwnd);
            plat::WindowProcedure* proc = w ? w->procedure : nullptr;
            lk.unlock();
            std::intptr_t r = proc ? proc->HandleMessage(sentMsg.hwnd, sentMsg.message, sentMsg.wParam, sentMsg.lParam) : 0;
            lk.lock();
            state->result = r;
            state->done = true;
            continue;
        }
        if (pump && !t->queue.empty()) {
            if (t->queue.front().first.message == plat::WM_QUIT) return false;  // for the outer loop
            auto [m, payload] = t->queue.front();
            t->queue.pop_front();
            // The outer message's block stays valid while this one is handled.
            auto outer = t->held;
            t->held = payload;
            WindowRec* w = FindWindowLocked(m.hwnd);
            plat::WindowProcedure* proc = w ? w->procedure : nullptr;
            lk.unlock();
            if (proc) proc->HandleMessage(m.hwnd, m.message, m.wParam, m.lParam);
            lk.lock();
            t->held = outer;
            continue;
        }
        BlockLocked(lk, t, [&] {
            return done() || shutdown_ || (p && p->ended) || (pump && (!t->queue.empty() || !t->sent.empty()));
        }, deadline);
    }
}

void Machine::AcquireLocked(std::unique_lock<std::mutex>& lk, ThreadRec* t) {
    cv_.wait(lk, [&] { return token_ == t->id || (shutdown_ && token_ == 0); });
    token_ = t->id;
}

bool Machine::BlockLocked(std::unique_lock<std::mutex>& lk, ThreadRec* t, std::function<bool()> ready,
                          std::uint64_t deadline) {
    if (ready()) return true;
    if (shutdown_ || t == nullptr) return false;
    t->blocked = true;
    t->ready = ready;
    t->deadline = deadline;
    token_ = 0;
    ScheduleLocked();
    AcquireLocked(lk, t);
    t->blocked = false;
    t->ready = nullptr;
    t->deadline = UINT64_MAX;
    return ready();
}

ThreadRec* Machine::StartThreadLocked(ProcessRec* p, std::function<std::uint32_t()> body) {
    auto rec = std::make_unique<ThreadRec>();
    ThreadRec* t = rec.get();
    t->id = nextTid_++;
    t->process = p;
    threads_.push_back(std::move(rec));
    t->thread = std::thread([this, t, body = std::move(body)] {
        tlsCurrent = t;
        {
            std::unique_lock<std::mutex> lk(mu_);
            AcquireLocked(lk, t);
        }
        std::uint32_t code = body();
        std::unique_lock<std::mutex> lk(mu_);
        t->ended = true;
        t->exitCode = code;
        t->queue.clear();
        t->held.reset();
        token_ = 0;
        ScheduleLocked();
    });
    ScheduleLocked();
    return t;
}

std::uint32_t Machine::StartProcess(const std::string& commandLine) {
    std::unique_lock<std::mutex> lk(mu_);
    ProcessRec* p = StartProcessLocked(commandLine, false, nullptr);
    return p ? p->pid : 0;
}

ProcessRec* Machine::StartProcessLocked(const std::string& commandLine, bool external, ThreadRec** mainThread) {
    if (shutdown_) return nullptr;
    // First token: quoted or up to the first blank.
    std::size_t i = 0;
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    std::string first;
    if (i < commandLine.size() && commandLine[i] == '"') {
        std::size_t end = commandLine.find('"', i + 1);
        first = commandLine.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
        i = end == std::string::npos ? commandLine.size() : end + 1;
    } else {
        std::size_t end = commandLine.find_first_of(" \t", i);
        first = commandLine.substr(i, end == std::string::npos ? std::string::npos : end - i);
        i = end == std::string::npos ? commandLine.size() : end;
    }
    std::string base = first.substr(first.find_last_of("\\/") == std::string::npos ? 0 : first.find_last_of("\\/") + 1);
    std::string key = Upper(base);
    auto it = programs_.find(key);
    if (it == programs_.end()) it = programs_.find(key + ".EXE");
    if (it == programs_.end() && (!external || base.empty())) {
        NoteLocked("system: no program for \"" + commandLine + "\"");
        return nullptr;
    }
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;

    auto proc = std::make_unique<ProcessRec>();
    ProcessRec* p = proc.get();
    p->pid = nextPid_++;
    p->commandLine = commandLine;
    p->args = commandLine.substr(i);
    Entry entry;
    if (it != programs_.end()) {
        p->exe = it->second.exeName;
        p->resources = it->second.resources;
        entry = it->second.entry;
    } else {
        // A program outside the suite: it runs and ends at once.
        p->exe = key;
        entry = [](plat::System&) { return 0; };
    }
    auto path = modulePaths_.find(p->exe);
    p->modulePath = path != modulePaths_.end() ? path->second : "C:\\WINDOWS\\" + p->exe;
    p->system = std::make_unique<SimSystem>(*this, *p, p->pid);
    processes_.push_back(std::move(proc));
    NoteLocked(Tag(p->pid) + " started: " + commandLine);
    ThreadRec* t = StartThreadLocked(p, [this, p, entry] {
        int code = entry(*p->system);
        std::lock_guard<std::mutex> g(mu_);
        EndProcessLocked(p, code);
        return static_cast<std::uint32_t>(code);
    });
    if (mainThread) *mainThread = t;
    return p;
}

void Machine::SetModulePath(const std::string& exeName, const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    modulePaths_[Upper(exeName)] = path;
}

std::vector<Machine::Launch> Machine::Launches() {
    std::lock_guard<std::mutex> lk(mu_);
    return launches_;
}

void Machine::FailProcessStarts(int count) {
    std::lock_guard<std::mutex> lk(mu_);
    failProcessStarts_ = count;
}

bool Machine::StartProcessFor(std::uint32_t parentPid, const std::string& commandLine, const std::string& desktop,
                              plat::StartedProcess& started) {
    std::unique_lock<std::mutex> lk(mu_);
    started = {};
    ThreadRec* self = Current();
    NoteLocked(Tag(parentPid) + " starts \"" + commandLine + "\" on " + (desktop.empty() ? "its own desktop" : desktop));
    ProcessRec* p = nullptr;
    ThreadRec* main = nullptr;
    std::uint32_t error = plat::ERROR_SUCCESS;
    if (failProcessStarts_ > 0) {
        --failProcessStarts_;
        error = plat::ERROR_FILE_NOT_FOUND;
    } else if (commandLine.find_first_not_of(" \t") == std::string::npos) {
        error = plat::ERROR_INVALID_PARAMETER;
    } else {
        p = StartProcessLocked(commandLine, true, &main);
        if (p == nullptr) error = plat::ERROR_FILE_NOT_FOUND;
    }
    launches_.push_back(Launch{parentPid, commandLine, desktop, p ? p->pid : 0});
    if (p == nullptr) {
        NoteLocked(Tag(parentPid) + " start of \"" + commandLine + "\" failed");
        if (self) self->lastError = error;
        return false;
    }
    // Both handles follow the process's first thread: it ends when the process does.
    for (plat::Hobject* h : {&started.process, &started.thread}) {
        auto raw = NewHandleLocked();
        handles_[raw] = HandleRec{HandleRec::Thread, parentPid, {}, main};
        *h = static_cast<plat::Hobject>(raw);
    }
    return true;
}

void Machine::EndProcessLocked(ProcessRec* p, int code) {
    p->ended = true;
    p->exitCode = code;
    for (auto& w : windows_) {
        if (w->process == p && w->alive) w->alive = false;
    }
    std::erase_if(registrations_, [&](const Registration& r) { return r.pid == p->pid; });
    for (auto it = handles_.begin(); it != handles_.end();) {
        if (it->second.pid == p->pid) {
            if (it->second.kind == HandleRec::Mutex && --mutexRefs_[it->second.name] == 0) mutexRefs_.erase(it->second.name);
            it = handles_.erase(it);
        } else {
            ++it;
        }
    }
    registry_->CloseAllOf(p->pid);
    files_->CloseAllOf(p->pid);
    NoteLocked(Tag(p->pid) + " ended with exit code " + std::to_string(code));
}

void Machine::WaitIdle() {
    std::unique_lock<std::mutex> lk(mu_);
    if (token_ == 0) ScheduleLocked();
    cv_.wait(lk, [&] { return token_ == 0; });
}

bool Machine::IsRunning(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& p : processes_)
        if (p->pid == pid) return !p->ended;
    return false;
}

std::optional<int> Machine::ExitCodeOf(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& p : processes_)
        if (p->pid == pid && p->ended) return p->exitCode;
    return std::nullopt;
}

std::vector<std::uint32_t> Machine::RunningProcesses(const std::string& exeName) {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<std::uint32_t> out;
    for (auto& p : processes_)
        if (!p->ended && (exeName.empty() || p->exe == Upper(exeName))) out.push_back(p->pid);
    return out;
}

std::string Machine::ExeOf(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& p : processes_)
        if (p->pid == pid) return p->exe;
    return {};
}

std::string Machine::Tag(std::uint32_t pid) {
    for (auto& p : processes_)
        if (p->pid == pid) return "[" + p->exe + " #" + std::to_string(pid) + "]";
    return "[system]";
}

void Machine::NoteLocked(const std::string& line) { transcript_.push_back(line); }

void Machine::Note(const std::string& line) {
    std::lock_guard<std::mutex> lk(mu_);
    NoteLocked(line);
}

std::vector<std::string> Machine::Transcript() {
    std::lock_guard<std::mutex> lk(mu_);
    return transcript_;
}

std::uint32_t Machine::NewHandleLocked() { return static_cast<std::uint32_t>(nextHandle_ += 4); }

// ---------------------------------------------------------------------------
// Windows and messages
// ---------------------------------------------------------------------------
WindowRec* Machine::FindWindowLocked(plat::Hwnd h) {
    for (auto& w : windows_)
        if (w->hwnd == h && w->alive) return w.get();
    return nullptr;
}

bool Machine::PostLocked(WindowRec* w, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                         std::shared_ptr<std::vector<std::uint8_t>> payload) {
    if (w == nullptr || w->thread == nullptr || w->thread->ended) return false;
    plat::Msg msg{w->hwnd, message, wParam, lParam};
    if (payload) msg.lParam = reinterpret_cast<std::intptr_t>(payload->data());
    w->thread->queue.emplace_back(msg, std::move(payload));
    ScheduleLocked();
    return true;
}

void Machine::BroadcastLocked(std::uint32_t message, std::uintptr_t wParam, std::vector<std::uint8_t> block) {
    auto shared = std::make_shared<std::vector<std::uint8_t>>(std::move(block));
    for (auto& w : windows_) {
        if (!w->alive) continue;
        // Every receiver gets a copy of its own, as the system gives it.
        PostLocked(w.get(), message, wParam, 0, std::make_shared<std::vector<std::uint8_t>>(*shared));
    }
}

std::vector<Machine::WindowInfo> Machine::TopLevelWindows() {
    std::lock_guard<std::mutex> lk(mu_);
    std::vector<WindowInfo> out;
    for (auto& w : windows_)
        if (w->alive) out.push_back({w->hwnd, w->process->pid, w->className, w->title, w->style, false});
    return out;
}

bool Machine::PostFromOutside(plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard<std::mutex> lk(mu_);
    return PostLocked(FindWindowLocked(hwnd), message, wParam, lParam, nullptr);
}

void Machine::BroadcastFromOutside(std::uint32_t message, std::uintptr_t wParam, std::vector<std::uint8_t> block) {
    std::lock_guard<std::mutex> lk(mu_);
    NoteLocked("[outside] broadcast of " + std::to_string(block.size()) + " bytes");
    BroadcastLocked(message, wParam, std::move(block));
}

void Machine::DeviceInterfaceEvent(bool arrival, const plat::Guid& interfaceClass, const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    // DEV_BROADCAST_DEVICEINTERFACE: size, device type 5, reserved, class, name.
    std::vector<std::uint8_t> block(28 + path.size() + 1, 0);
    while (block.size() < 32) block.push_back(0);
    trv::PutU32(block, 0, static_cast<std::uint32_t>(block.size()));
    trv::PutU32(block, 4, plat::DBT_DEVTYP_DEVICEINTERFACE);
    auto g = trv::GuidToBytes(interfaceClass);
    std::copy(g.begin(), g.end(), block.begin() + 12);
    std::memcpy(block.data() + 28, path.c_str(), path.size() + 1);
    NoteLocked(std::string("[system] device interface ") + (arrival ? "arrival" : "removal") + ": " + path);
    for (auto& r : registrations_) {
        if (!(r.interfaceClass == interfaceClass)) continue;
        PostLocked(FindWindowLocked(r.hwnd), plat::WM_DEVICECHANGE,
                   arrival ? plat::DBT_DEVICEARRIVAL : plat::DBT_DEVICEREMOVECOMPLETE, 0,
                   std::make_shared<std::vector<std::uint8_t>>(block));
    }
}

void Machine::DeviceChangeToAll(std::uint32_t wParam, std::vector<std::uint8_t> block) {
    std::lock_guard<std::mutex> lk(mu_);
    NoteLocked("[system] device change " + Hex(wParam) + " to all windows");
    for (auto& w : windows_) {
        if (!w->alive) continue;
        PostLocked(w.get(), plat::WM_DEVICECHANGE, wParam, 0,
                   block.empty() ? nullptr : std::make_shared<std::vector<std::uint8_t>>(block));
    }
}

void Machine::PowerBroadcast(std::uint32_t event) {
    std::lock_guard<std::mutex> lk(mu_);
    NoteLocked("[system] power broadcast " + Hex(event));
    for (auto& w : windows_)
        if (w->alive) PostLocked(w.get(), plat::WM_POWERBROADCAST, event, 0, nullptr);
}

void Machine::ConsoleSessionChange(bool connect) {
    std::lock_guard<std::mutex> lk(mu_);
    NoteLocked(std::string("[system] console ") + (connect ? "connected to" : "disconnected from") + " the session");
    for (const auto& r : libraries_->SessionRegistrations())
        PostLocked(FindWindowLocked(r.hwnd), plat::WM_WTSSESSION_CHANGE,
                   connect ? plat::WTS_CONSOLE_CONNECT : plat::WTS_CONSOLE_DISCONNECT, 1, nullptr);
}

std::size_t Machine::SessionRegistrations(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    std::size_t n = 0;
    for (const auto& r : libraries_->SessionRegistrations()) n += r.pid == pid && FindWindowLocked(r.hwnd) != nullptr;
    return n;
}

void Machine::FailNotificationRegistrations(int count) {
    std::lock_guard<std::mutex> lk(mu_);
    failRegistrations_ = count;
}

std::size_t Machine::NotificationRegistrations(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    return static_cast<std::size_t>(std::count_if(registrations_.begin(), registrations_.end(),
                                                  [&](const Registration& r) { return r.pid == pid; }));
}

// ---------------------------------------------------------------------------
// Notification area, resources, trace, threads, time, adapters
// ---------------------------------------------------------------------------
std::vector<Machine::TrayIconInfo> Machine::TrayIcons() {
    std::lock_guard<std::mutex> lk(mu_);
    return tray_;
}

void Machine::SetShellAvailable(bool available) {
    std::lock_guard<std::mutex> lk(mu_);
    shellAvailable_ = available;
}

bool Machine::ClickTrayIcon(std::uint32_t pid, std::uint32_t mouseMessage) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& t : tray_) {
        if (t.pid != pid) continue;
        NoteLocked("[user] mouse message " + Hex(mouseMessage) + " on the tray icon of " + Tag(pid));
        return PostLocked(FindWindowLocked(t.owner), t.callbackMessage, t.id, mouseMessage, nullptr);
    }
    return false;
}

std::uint32_t Machine::IconResource(plat::Hicon icon) {
    auto v = plat::Raw(icon);
    return v > 0x10000 && v < 0x20000 ? static_cast<std::uint32_t>(v - 0x10000) : 0;
}

Machine::BitmapCounts Machine::Bitmaps(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    return bitmapCounts_[pid];
}

std::vector<std::string> Machine::TraceLines(std::uint32_t pid) {
    std::lock_guard<std::mutex> lk(mu_);
    for (auto& p : processes_)
        if (p->pid == pid) return p->trace;
    return {};
}

void Machine::SetTraceInTranscript(bool on) {
    std::lock_guard<std::mutex> lk(mu_);
    traceInTranscript_ = on;
}

void Machine::SetDriverTrace(bool on) {
    std::lock_guard<std::mutex> lk(mu_);
    driverTrace_ = on;
}

void Machine::FailThreadStarts(int count) {
    std::lock_guard<std::mutex> lk(mu_);
    failThreadStarts_ = count;
}

std::uint64_t Machine::Now() {
    std::lock_guard<std::mutex> lk(mu_);
    return now_;
}

void Machine::AdvanceTime(std::uint64_t milliseconds) {
    WaitIdle();
    std::unique_lock<std::mutex> lk(mu_);
    const std::uint64_t target = now_ + milliseconds;
    for (;;) {
        std::uint64_t next = UINT64_MAX;
        for (auto& [key, t] : timers_) next = std::min(next, t.due);
        for (auto& t : threads_)
            if (!t->ended && t->blocked) next = std::min(next, t->deadline);
        if (next > target) break;
        now_ = std::max(now_, next);
        for (auto& [key, t] : timers_) {
            if (t.due > now_) continue;
            t.due = now_ + std::max<std::uint32_t>(t.period, 1);
            WindowRec* w = FindWindowLocked(static_cast<plat::Hwnd>(key.first));
            if (w == nullptr) continue;
            bool pending = std::any_of(w->thread->queue.begin(), w->thread->queue.end(), [&](auto& q) {
                return q.first.message == plat::WM_TIMER && q.first.hwnd == w->hwnd && q.first.wParam == key.second;
            });
            if (!pending) PostLocked(w, plat::WM_TIMER, key.second, 0, nullptr);
        }
        ScheduleLocked();
        cv_.wait(lk, [&] { return token_ == 0; });
    }
    now_ = target;
    ScheduleLocked();
    cv_.wait(lk, [&] { return token_ == 0; });
}

SimAdapter& Machine::AddAdapter(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    auto& slot = adapters_[Lower(path)];
    slot = std::make_unique<SimAdapter>();
    slot->path = path;
    return *slot;
}

SimAdapter* Machine::FindAdapter(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = adapters_.find(Lower(path));
    return it == adapters_.end() ? nullptr : it->second.get();
}

void Machine::RemoveAdapter(const std::string& path) {
    std::lock_guard<std::mutex> lk(mu_);
    adapters_.erase(Lower(path));
}

void Machine::WithAdapter(const std::string& path, const std::function<void(SimAdapter&)>& fn) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = adapters_.find(Lower(path));
    if (it != adapters_.end()) fn(*it->second);
}

// ---------------------------------------------------------------------------
// SimSystem: the facets
// ---------------------------------------------------------------------------
bool SimSystem::RegisterWindowClass(const std::string& name) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    p_.classes.insert(name);
    return true;
}

plat::Hwnd SimSystem::CreateTopLevel(const plat::WindowSpec& spec, plat::WindowProcedure* procedure) {
    plat::Hwnd h{};
    {
        std::lock_guard<std::mutex> lk(m_.mu_);
        if (!p_.classes.count(spec.className) || procedure == nullptr) {
            if (auto* t = m_.Current()) t->lastError = 1407;  // ERROR_CANNOT_FIND_WND_CLASS
            return plat::Hwnd::None;
        }
        auto w = std::make_unique<WindowRec>();
        w->hwnd = h = static_cast<plat::Hwnd>(m_.nextHwnd_ += 0x10);
        w->process = &p_;
        w->thread = m_.Current();
        w->className = spec.className;
        w->title = spec.title;
        w->style = spec.style;
        w->procedure = procedure;
        m_.windows_.push_back(std::move(w));
    }
    if (procedure->HandleMessage(h, plat::WM_CREATE, 0, 0) == -1) {
        Destroy(h);
        return plat::Hwnd::None;
    }
    m_.Note(m_.Tag(p_.pid) + " window \"" + spec.title + "\" created (hidden)");
    return h;
}

bool SimSystem::Destroy(plat::Hwnd hwnd) {
    plat::WindowProcedure* proc = nullptr;
    {
        std::lock_guard<std::mutex> lk(m_.mu_);
        WindowRec* w = m_.FindWindowLocked(hwnd);
        if (w == nullptr) return false;
        proc = w->procedure;
    }
    proc->HandleMessage(hwnd, plat::WM_DESTROY, 0, 0);
    {
        std::lock_guard<std::mutex> lk(m_.mu_);
        if (WindowRec* w = m_.FindWindowLocked(hwnd)) w->alive = false;
        for (auto it = m_.timers_.begin(); it != m_.timers_.end();)
            it = it->first.first == plat::Raw(hwnd) ? m_.timers_.erase(it) : std::next(it);
        std::erase_if(m_.registrations_, [&](const Machine::Registration& r) { return r.hwnd == hwnd; });
    }
    proc->HandleMessage(hwnd, plat::WM_NCDESTROY, 0, 0);
    return true;
}

bool SimSystem::IsWindow(plat::Hwnd hwnd) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    return m_.FindWindowLocked(hwnd) != nullptr;
}

std::intptr_t SimSystem::DefaultProcedure(plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t, std::intptr_t) {
    if (message == plat::WM_CLOSE) Destroy(hwnd);
    return 0;
}

bool SimSystem::Post(plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    WindowRec* w = m_.FindWindowLocked(hwnd);
    if (w == nullptr) return false;
    if (message == plat::WM_QUIT && w->process != &p_)
        m_.NoteLocked(m_.Tag(p_.pid) + " posts WM_QUIT to \"" + w->title + "\" of " + m_.Tag(w->process->pid));
    return m_.PostLocked(w, message, wParam, lParam, nullptr);
}

std::intptr_t SimSystem::Send(plat::Hwnd hwnd, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::unique_lock<std::mutex> lk(m_.mu_);
    WindowRec* w = m_.FindWindowLocked(hwnd);
    if (w == nullptr) return 0;
    ThreadRec* self = m_.Current();
    if (w->thread == self) {
        plat::WindowProcedure* proc = w->procedure;
        lk.unlock();
        return proc->HandleMessage(hwnd, message, wParam, lParam);
    }
    auto state = std::make_shared<SendState>();
    w->thread->sent.emplace_back(plat::Msg{hwnd, message, wParam, lParam}, state);
    m_.ScheduleLocked();
    m_.BlockLocked(lk, self, [state] { return state->done; });
    return state->result;
}

void SimSystem::PostQuit(int exitCode) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    if (ThreadRec* t = m_.Current()) t->queue.emplace_back(plat::Msg{plat::Hwnd::None, plat::WM_QUIT, static_cast<std::uintptr_t>(exitCode), 0}, nullptr);
}

bool SimSystem::NextMessage(plat::Msg& msg) {
    std::unique_lock<std::mutex> lk(m_.mu_);
    ThreadRec* t = m_.Current();
    for (;;) {
        bool ok = m_.BlockLocked(lk, t, [t] { return !t->queue.empty() || !t->sent.empty(); });
        if (!ok || t == nullptr) {
            msg = plat::Msg{plat::Hwnd::None, plat::WM_QUIT, 0, 0};
            return false;
        }
        if (!t->sent.empty()) {
            auto [sentMsg, state] = t->sent.front();
            t->sent.pop_front();
            WindowRec* w = m_.FindWindowLocked(sentMsg.hwnd);
            plat::WindowProcedure* proc = w ? w->procedure : nullptr;
            lk.unlock();
            std::intptr_t r = proc ? proc->HandleMessage(sentMsg.hwnd, sentMsg.message, sentMsg.wParam, sentMsg.lParam) : 0;
            lk.lock();
            state->result = r;
            state->done = true;
            continue;
        }
        auto [m, payload] = t->queue.front();
        t->queue.pop_front();
        t->held = payload;
        msg = m;
        return msg.message != plat::WM_QUIT;
    }
}

std::intptr_t SimSystem::Dispatch(const plat::Msg& msg) {
    plat::WindowProcedure* proc = nullptr;
    {
        std::lock_guard<std::mutex> lk(m_.mu_);
        WindowRec* w = m_.FindWindowLocked(msg.hwnd);
        if (w == nullptr) return 0;
        proc = w->procedure;
    }
    return proc->HandleMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

plat::Hwnd SimSystem::FindTopLevel(const std::string& title) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    for (auto& w : m_.windows_)
        if (w->alive && w->title == title) return w->hwnd;
    return plat::Hwnd::None;
}

bool SimSystem::BroadcastPost(std::uint32_t message, std::uintptr_t wParam, const void* block) {
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    std::uint32_t size = trv::GetU32(std::span<const std::uint8_t>(bytes, 4), 0);
    std::vector<std::uint8_t> copy(bytes, bytes + size);
    std::lock_guard<std::mutex> lk(m_.mu_);
    std::string what = "broadcast of " + std::to_string(size) + " bytes";
    if (size >= 52) {
        std::string name(reinterpret_cast<const char*>(bytes + 20), strnlen(reinterpret_cast<const char*>(bytes + 20), 32));
        what = "broadcast \"" + name + "\"";
        if (size >= 52 + 12) what += " event type " + std::to_string(trv::GetU32(copy, 52 + 8));
        if (size > 52 + 28) {
            std::string path(reinterpret_cast<const char*>(copy.data() + 80), strnlen(reinterpret_cast<const char*>(copy.data() + 80), std::min<std::size_t>(259, size - 80)));
            what += " for " + path;
        }
    }
    m_.NoteLocked(m_.Tag(p_.pid) + " " + what);
    m_.BroadcastLocked(message, wParam, std::move(copy));
    return true;
}

bool SimSystem::SetForeground(plat::Hwnd hwnd) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    return m_.FindWindowLocked(hwnd) != nullptr;
}

std::uintptr_t SimSystem::StartTimer(plat::Hwnd hwnd, std::uintptr_t id, std::uint32_t milliseconds) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    if (m_.FindWindowLocked(hwnd) == nullptr) return 0;
    m_.timers_[{plat::Raw(hwnd), id}] = Machine::TimerRec{milliseconds, m_.now_ + milliseconds};
    return id;
}

bool SimSystem::StopTimer(plat::Hwnd hwnd, std::uintptr_t id) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    return m_.timers_.erase({plat::Raw(hwnd), id}) > 0;
}

plat::Hnotify SimSystem::Register(plat::Hwnd hwnd, const void* filter) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    ThreadRec* t = m_.Current();
    const auto* b = static_cast<const std::uint8_t*>(filter);
    std::span<const std::uint8_t> f(b, 32);
    if (m_.failRegistrations_ > 0) {
        --m_.failRegistrations_;
        if (t) t->lastError = 1066;  // the service-specific error a refused registration reports
        return plat::Hnotify::None;
    }
    if (m_.FindWindowLocked(hwnd) == nullptr || trv::GetU32(f, 0) < 32 ||
        trv::GetU32(f, 4) != plat::DBT_DEVTYP_DEVICEINTERFACE) {
        if (t) t->lastError = plat::ERROR_INVALID_PARAMETER;
        return plat::Hnotify::None;
    }
    auto h = static_cast<plat::Hnotify>(m_.NewHandleLocked());
    m_.registrations_.push_back({h, hwnd, trv::GuidFromBytes(f.subspan(12).first<16>()), p_.pid});
    m_.handles_[plat::Raw(h)] = Machine::HandleRec{Machine::HandleRec::Notify, p_.pid, {}, nullptr};
    return h;
}

bool SimSystem::Unregister(plat::Hnotify handle) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    auto n = std::erase_if(m_.registrations_, [&](const Machine::Registration& r) { return r.handle == handle; });
    m_.handles_.erase(plat::Raw(handle));
    return n > 0;
}

plat::Hobject SimSystem::CreateNamedMutex(const std::string& name, bool& alreadyExisted) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    int& refs = m_.mutexRefs_[name];
    alreadyExisted = refs > 0;
    ++refs;
    auto h = m_.NewHandleLocked();
    m_.handles_[h] = Machine::HandleRec{Machine::HandleRec::Mutex, p_.pid, name, nullptr};
    if (ThreadRec* t = m_.Current()) t->lastError = alreadyExisted ? plat::ERROR_ALREADY_EXISTS : 0;
    return static_cast<plat::Hobject>(h);
}

plat::Hobject SimSystem::StartThread(std::function<std::uint32_t()> body) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    if (m_.shutdown_) return plat::Hobject::None;
    if (m_.failThreadStarts_ > 0) {
        --m_.failThreadStarts_;
        if (ThreadRec* t = m_.Current()) t->lastError = plat::ERROR_NOT_ENOUGH_MEMORY;
        return plat::Hobject::None;
    }
    ThreadRec* t = m_.StartThreadLocked(&p_, std::move(body));
    auto h = m_.NewHandleLocked();
    m_.handles_[h] = Machine::HandleRec{Machine::HandleRec::Thread, p_.pid, {}, t};
    return static_cast<plat::Hobject>(h);
}

bool SimSystem::ExitCode(plat::Hobject handle, std::uint32_t& code) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    auto it = m_.handles_.find(plat::Raw(handle));
    if (it == m_.handles_.end() || it->second.kind != Machine::HandleRec::Thread) {
        if (ThreadRec* t = m_.Current()) t->lastError = 6;  // ERROR_INVALID_HANDLE
        return false;
    }
    code = it->second.thread->ended ? it->second.thread->exitCode : plat::STILL_ACTIVE;
    return true;
}

std::uint32_t SimSystem::Wait(plat::Hobject handle, std::uint32_t milliseconds) {
    std::unique_lock<std::mutex> lk(m_.mu_);
    auto it = m_.handles_.find(plat::Raw(handle));
    if (it == m_.handles_.end() || it->second.kind != Machine::HandleRec::Thread) return plat::WAIT_FAILED;
    ThreadRec* target = it->second.thread;
    std::uint64_t deadline = milliseconds == plat::INFINITE_WAIT ? UINT64_MAX : m_.now_ + milliseconds;
    Machine* m = &m_;
    m_.BlockLocked(lk, m_.Current(), [target, m, deadline] { return target->ended || m->now_ >= deadline; }, deadline);
    return target->ended ? plat::WAIT_OBJECT_0 : plat::WAIT_TIMEOUT;
}

bool SimSystem::Close(plat::Hobject handle) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    auto it = m_.handles_.find(plat::Raw(handle));
    if (it == m_.handles_.end() || it->second.pid != p_.pid) return false;
    if (it->second.kind == Machine::HandleRec::Mutex && --m_.mutexRefs_[it->second.name] == 0)
        m_.mutexRefs_.erase(it->second.name);
    m_.handles_.erase(it);
    return true;
}

std::uint32_t SimSystem::TickCount() {
    std::lock_guard<std::mutex> lk(m_.mu_);
    return static_cast<std::uint32_t>(m_.now_);
}

std::uint32_t SimSystem::LastError() {
    std::lock_guard<std::mutex> lk(m_.mu_);
    ThreadRec* t = m_.Current();
    return t ? t->lastError : m_.externalLastError_;
}

void SimSystem::SetLastError(std::uint32_t code) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    if (ThreadRec* t = m_.Current())
        t->lastError = code;
    else
        m_.externalLastError_ = code;
}

std::size_t SimSystem::CharLength(std::string_view text, std::size_t at) {
    if (at >= text.size()) return 0;
    const auto b = static_cast<std::uint8_t>(text[at]);
    std::size_t n = 1;
    switch (m_.AnsiCodePage()) {
        case 932: n = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 2 : 1; break;
        case 936:
        case 949:
        case 950: n = (b >= 0x81 && b <= 0xFE) ? 2 : 1; break;
        case 65001:  // the sim's own texts: one UTF-8 sequence
            n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            break;
        default: break;
    }
    return std::min(n, text.size() - at);
}

std::string SimSystem::String(std::uint32_t id) {
    const trvres::Table* t = p_.resources;
    if (t == nullptr) return {};
    auto* begin = t->strings;
    auto* end = t->strings + t->stringCount;
    auto* it = std::lower_bound(begin, end, id, [](const trvres::String& s, std::uint32_t v) { return s.id < v; });
    return it != end && it->id == id && it->utf8 ? std::string(it->utf8) : std::string();
}

plat::Hicon SimSystem::Icon(std::uint32_t id) {
    const trvres::Table* t = p_.resources;
    if (t == nullptr) return plat::Hicon::None;
    for (std::size_t i = 0; i < t->iconCount; ++i)
        if (t->icons[i].id == id) return static_cast<plat::Hicon>(0x10000 + id);
    return plat::Hicon::None;
}

plat::Hbitmap SimSystem::Bitmap(std::uint32_t id, bool) {
    const trvres::Table* t = p_.resources;
    if (t == nullptr) return plat::Hbitmap::None;
    bool found = false;
    for (std::size_t i = 0; i < t->bitmapCount; ++i) found = found || t->bitmaps[i].id == id;
    if (!found) return plat::Hbitmap::None;
    std::lock_guard<std::mutex> lk(m_.mu_);
    auto h = m_.NewHandleLocked();
    m_.bitmaps_[h] = Machine::BitmapRec{p_.pid, id, true};
    ++m_.bitmapCounts_[p_.pid].loaded;
    return static_cast<plat::Hbitmap>(h);
}

bool SimSystem::DeleteBitmap(plat::Hbitmap bitmap) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    auto it = m_.bitmaps_.find(plat::Raw(bitmap));
    if (it == m_.bitmaps_.end() || !it->second.live) {
        ++m_.bitmapCounts_[p_.pid].badDeletes;
        return false;
    }
    it->second.live = false;
    ++m_.bitmapCounts_[p_.pid].deleted;
    return true;
}

bool SimSystem::Notify(plat::NotifyOp op, const plat::NotifyIconData& data) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    auto& tray = m_.tray_;
    auto it = std::find_if(tray.begin(), tray.end(), [&](const Machine::TrayIconInfo& t) {
        return t.owner == data.owner && t.id == data.id;
    });
    const std::string tag = m_.Tag(p_.pid);
    auto apply = [&](Machine::TrayIconInfo& t) {
        if (data.flags & plat::NIF_MESSAGE) t.callbackMessage = data.callbackMessage;
        if (data.flags & plat::NIF_ICON) t.iconResource = m_.IconResource(data.icon);
        if (data.flags & plat::NIF_TIP) t.tip.assign(data.tip, strnlen(data.tip, sizeof data.tip));
    };
    if (data.size != plat::kNotifyIconDataSize) return false;
    switch (op) {
        case plat::NotifyOp::Add: {
            if (!m_.shellAvailable_ || it != tray.end()) {
                m_.NoteLocked(tag + " tray icon add refused");
                return false;
            }
            Machine::TrayIconInfo t{p_.pid, data.owner, data.id, 0, 0, {}};
            apply(t);
            tray.push_back(t);
            m_.NoteLocked(tag + " tray icon shown: icon " + std::to_string(t.iconResource) + ", tooltip \"" + t.tip + "\"");
            return true;
        }
        case plat::NotifyOp::Modify: {
            if (it == tray.end()) return false;
            auto before = *it;
            apply(*it);
            if (before.iconResource != it->iconResource)
                m_.NoteLocked(tag + " tray icon picture: icon " + std::to_string(it->iconResource));
            if (before.tip != it->tip) m_.NoteLocked(tag + " tray tooltip: \"" + it->tip + "\"");
            return true;
        }
        case plat::NotifyOp::Delete: {
            if (it == tray.end()) return false;
            tray.erase(it);
            m_.NoteLocked(tag + " tray icon removed");
            return true;
        }
    }
    return false;
}

plat::Hdevice SimSystem::Open(const std::string& path) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    auto it = m_.adapters_.find(Lower(path));
    if (it == m_.adapters_.end() || it->second->failOpen) {
        if (ThreadRec* t = m_.Current()) t->lastError = plat::ERROR_FILE_NOT_FOUND;
        return plat::Hdevice::None;
    }
    ++it->second->opens;
    auto h = m_.NewHandleLocked();
    m_.handles_[h] = Machine::HandleRec{Machine::HandleRec::Device, p_.pid, Lower(path), nullptr};
    return static_cast<plat::Hdevice>(h);
}

bool SimSystem::Close(plat::Hdevice device) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    auto it = m_.handles_.find(plat::Raw(device));
    if (it == m_.handles_.end() || it->second.kind != Machine::HandleRec::Device) return false;
    m_.handles_.erase(it);
    return true;
}

bool SimSystem::Control(plat::Hdevice device, std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                        std::uint32_t outLength, std::uint32_t* returned) {
    std::unique_lock<std::mutex> lk(m_.mu_);
    if (returned) *returned = 0;
    auto h = m_.handles_.find(plat::Raw(device));
    if (h == m_.handles_.end() || h->second.kind != Machine::HandleRec::Device) return false;
    auto a = m_.adapters_.find(h->second.name);
    if (a == m_.adapters_.end()) return false;  // the device has gone
    SimAdapter& ad = *a->second;
    ++ad.requestCounts[code];
    auto* o = static_cast<std::uint8_t*>(out);
    switch (code) {
        case trv::IOCTL_ADAPTER_GET_INFO: {
            if (ad.failInfo || o == nullptr) return false;
            std::uint32_t n = std::min<std::uint32_t>(outLength, ad.info.size());
            std::memcpy(o, ad.info.data(), n);
            if (returned) *returned = n;
            return true;
        }
        case trv::IOCTL_ADAPTER_GET_COMMAND_LEAD: {
            if (ad.failCommandLead || o == nullptr || outLength < 2) return false;
            o[0] = ad.commandLead[0];
            o[1] = ad.commandLead[1];
            if (returned) *returned = 2;
            return true;
        }
        case trv::IOCTL_ADAPTER_GET_EVENT: {
            if (ad.failEvents) return false;
            if (ad.events.empty()) return true;  // nothing pending: success with a count of 0
            auto& front = ad.events.front();
            if (o == nullptr || outLength == 0) {
                if (returned) *returned = static_cast<std::uint32_t>(front.size());
                return true;
            }
            std::uint32_t n = std::min<std::uint32_t>(outLength, static_cast<std::uint32_t>(front.size()));
            std::memcpy(o, front.data(), n);
            if (returned) *returned = n;
            ad.events.pop_front();
            return true;
        }
        case trv::IOCTL_SCSI_PASS_THROUGH: {
            if (in != out || inLength != outLength) return false;
            return PassThrough(lk, ad, out, outLength);
        }
        default: return false;
    }
}

bool SimSystem::PassThrough(std::unique_lock<std::mutex>& lk, SimAdapter& ad, void* buffer, std::uint32_t length) {
    auto* b = static_cast<std::uint8_t*>(buffer);
    if (ad.observePassThrough) ad.observePassThrough(std::span<const std::uint8_t>(b, length));
    if (length < trv::kPassThroughSize || ad.drive == nullptr) return false;
    if (ad.refusedCommands.count(b[trv::kPtCdbOffset + 12])) return false;
    std::span<std::uint8_t, trv::kPassThroughSize> req(b, trv::kPassThroughSize);
    trv::PassThroughHeader hdr = trv::ReadPassThroughHeader(req);
    if (hdr.length != trv::kPtHeaderLength || hdr.cdbLength != 16 || hdr.dataTransferLength > trv::kPtDataSize ||
        hdr.dataBufferOffset + trv::kPtDataSize > length || hdr.senseInfoOffset + trv::kPtSenseSize > length)
        return false;
    std::span<std::uint8_t, 512> data(b + hdr.dataBufferOffset, 512);
    std::array<std::uint8_t, 18> sense{};
    std::shared_ptr<PassThroughTarget> drive = ad.drive;
    std::string path = ad.path;
    std::span<const std::uint8_t, 16> cdb(hdr.cdb.data(), 16);
    bool ok = drive->Execute(cdb, data, hdr.dataIn != 0, sense);
    std::uint64_t duration = drive->DurationMs(cdb);
    const std::uint64_t limit = std::uint64_t{hdr.timeOutValue} * 1000;
    bool timedOut = duration > limit;
    if (duration > 0) {
        // The request holds the calling thread for the command's virtual time.
        const std::uint64_t until = m_.now_ + std::min(duration, limit);
        Machine* m = &m_;
        m_.BlockLocked(lk, m_.Current(), [m, until] { return m->now_ >= until; }, until);
    }
    if (m_.driverTrace_) {
        char line[160];
        std::snprintf(line, sizeof line, " pass-through cdb %02X %02X %02X %02X %02X .. cmd %02X, word0 %04X, %s",
                      cdb[0], cdb[1], cdb[2], cdb[3], cdb[4], cdb[12], data[0] | (data[1] << 8),
                      timedOut ? "timed out" : ok ? "ok" : "aborted (sense data)");
        m_.NoteLocked(m_.Tag(p_.pid) + line);
    }
    if (timedOut) return false;
    if (ok) {
        b[trv::kPtSenseInfoLengthOffset] = 0;
    } else {
        std::memcpy(b + hdr.senseInfoOffset, sense.data(), sense.size());
        b[trv::kPtSenseInfoLengthOffset] = static_cast<std::uint8_t>(sense.size());
    }
    return true;
}

void SimSystem::Write(std::string_view line) {
    std::lock_guard<std::mutex> lk(m_.mu_);
    p_.trace.emplace_back(line);
    if (m_.traceInTranscript_) m_.NoteLocked(m_.Tag(p_.pid) + " trace: " + std::string(line));
}

}  // namespace sim
