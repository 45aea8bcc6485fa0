#include "simulator/scenario.h"

#include <sstream>

namespace trvsim {

std::map<std::string, std::pair<std::string, Command>>& Commands() {
    static std::map<std::string, std::pair<std::string, Command>> table;
    return table;
}

CommandRegistration::CommandRegistration(const char* name, const char* usage, Command command) {
    Commands()[name] = {usage, std::move(command)};
}

std::uint32_t ParseNumber(const std::string& text) { return static_cast<std::uint32_t>(std::stoul(text, nullptr, 0)); }

std::uint32_t Scenario::Pid(const std::string& nameOrNumber) {
    auto it = names.find(nameOrNumber);
    if (it != names.end()) return it->second;
    auto running = machine.RunningProcesses(nameOrNumber);
    if (!running.empty()) return running.front();
    try {
        return ParseNumber(nameOrNumber);
    } catch (...) {
        return 0;
    }
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string cur;
    bool quoted = false, any = false;
    for (char c : line) {
        if (quoted) {
            if (c == '"')
                quoted = false;
            else
                cur += c;
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == '#' && words.empty() && cur.empty() && !any) {
            break;  // a comment line
        } else if (c == ' ' || c == '\t') {
            if (any || !cur.empty()) words.push_back(cur);
            cur.clear();
            any = false;
        } else {
            cur += c;
        }
    }
    if (any || !cur.empty()) words.push_back(cur);
    return words;
}

int RunScenario(sim::Machine& machine, const std::string& text, std::ostream& out) {
    Scenario s{machine, out, {}, 0};
    std::istringstream in(text);
    std::string line;
    std::size_t seen = machine.Transcript().size();
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        auto words = SplitWords(line);
        if (words.empty()) {
            std::size_t start = line.find_first_not_of(" \t");
            if (start != std::string::npos && line.compare(start, 2, "##") == 0)
                out << "\n#" << line.substr(start + 2) << "\n";
            continue;
        }
        out << "> " << line.substr(line.find_first_not_of(" \t")) << "\n";
        auto it = Commands().find(words[0]);
        std::string error;
        if (it == Commands().end()) {
            error = "unknown command \"" + words[0] + "\"";
        } else {
            std::vector<std::string> args(words.begin() + 1, words.end());
            try {
                if (!it->second.second(s, args, error) && error.empty()) error = "usage: " + it->second.first;
            } catch (const std::exception& e) {
                error = std::string("bad argument: ") + e.what() + "; usage: " + it->second.first;
            }
            machine.WaitIdle();
        }
        auto transcript = machine.Transcript();
        for (std::size_t i = seen; i < transcript.size(); ++i) out << "  " << transcript[i] << "\n";
        seen = transcript.size();
        if (!error.empty()) {
            out << "  !! line " << lineNo << ": " << error << "\n";
            ++s.failures;
        }
    }
    return s.failures;
}

}  // namespace trvsim
