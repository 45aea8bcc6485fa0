#include "sim/exec_facet.h"

#include <string>
#include <vector>

#include "sim/machine.h"

namespace sim {

namespace {

constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kStarted = 33;

bool HasExtension(const std::string& path) {
    std::size_t slash = path.find_last_of("\\/:");
    std::size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

class ExecFacet final : public plat::Exec {
public:
    ExecFacet(Machine& m, std::uint32_t pid, std::function<void(plat::Hobject)> closeHandle,
              std::function<void(const std::string&)> note)
        : m_(m), pid_(pid), closeHandle_(std::move(closeHandle)), note_(std::move(note)) {}

    std::uint32_t WinExec(const std::string& commandLine, std::uint32_t showCommand) override {
        // The candidates for the program: a quoted path, or else every run of
        // words up to a blank, shortest first, as the system tries them.
        std::size_t i = commandLine.find_first_not_of(" \t");
        std::vector<std::pair<std::string, std::string>> candidates;  // program, the rest of the line
        if (i != std::string::npos && commandLine[i] == '"') {
            std::size_t end = commandLine.find('"', i + 1);
            std::string program = commandLine.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            candidates.emplace_back(program, end == std::string::npos ? std::string() : commandLine.substr(end + 1));
        } else if (i != std::string::npos) {
            for (std::size_t at = i;;) {
                std::size_t blank = commandLine.find_first_of(" \t", at);
                candidates.emplace_back(commandLine.substr(i, blank == std::string::npos ? std::string::npos : blank - i),
                                        blank == std::string::npos ? std::string() : commandLine.substr(blank));
                if (blank == std::string::npos) break;
                at = commandLine.find_first_not_of(" \t", blank);
                if (at == std::string::npos) break;
            }
        }
        for (auto& [program, rest] : candidates) {
            std::string found = Locate(program);
            if (found.empty()) continue;
            note_("WinExec \"" + commandLine + "\" (show " + std::to_string(showCommand) + "): runs " + found);
            plat::StartedProcess started;
            if (!m_.StartProcessFor(pid_, "\"" + found + "\"" + rest, "", started)) return kFileNotFound;
            closeHandle_(started.process);
            closeHandle_(started.thread);
            return kStarted;
        }
        note_("WinExec \"" + commandLine + "\": no program file found");
        return kFileNotFound;
    }

private:
    // The file a command's program names: with ".exe" added when it has no
    // extension; a bare name is looked for in the system and Windows folders.
    std::string Locate(const std::string& program) {
        if (program.empty()) return {};
        FileStore& files = m_.Files();
        std::vector<std::string> tries;
        const std::string name = HasExtension(program) ? program : program + ".exe";
        if (program.find_first_of("\\/:") != std::string::npos) {
            tries.push_back(name);
        } else {
            FileStore::Caller c;
            c.pid = pid_;
            c.nt = m_.Version().nt;
            std::uint32_t e = 0;
            std::string system = files.SystemDirectory(c, e);
            std::string windows = files.WindowsDirectory(c, e);
            if (!system.empty()) tries.push_back(system + "\\" + name);
            if (!windows.empty()) tries.push_back(windows + "\\" + name);
        }
        for (const std::string& t : tries)
            if (files.Exists(t)) return t;
        return {};
    }

    Machine& m_;
    std::uint32_t pid_;
    std::function<void(plat::Hobject)> closeHandle_;
    std::function<void(const std::string&)> note_;
};

}  // namespace

std::unique_ptr<plat::Exec> MakeExecFacet(Machine& machine, std::uint32_t pid,
                                          std::function<void(plat::Hobject)> closeHandle,
                                          std::function<void(const std::string&)> note) {
    return std::make_unique<ExecFacet>(machine, pid, std::move(closeHandle), std::move(note));
}

}  // namespace sim
