// The simulator's scenario language: one command per line, words separated
// by blanks, "quoted words" allowed, a line starting with '#' is a comment
// and one starting with "##" a heading printed in the transcript. Each command acts
// on the simulated machine as a user, another program or the system would;
// the tool then lets the machine settle and prints what happened.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "sim/machine.h"

namespace trvsim {

struct Scenario {
    sim::Machine& machine;
    std::ostream& out;
    std::map<std::string, std::uint32_t> names;  // "name" given with `start as NAME` -> pid
    int failures = 0;                            // failed `expect` lines

    std::uint32_t Pid(const std::string& nameOrNumber);
};

using Command = std::function<bool(Scenario&, const std::vector<std::string>& args, std::string& error)>;

// Commands register themselves by name (see TRVSIM_COMMAND).
std::map<std::string, std::pair<std::string, Command>>& Commands();
struct CommandRegistration {
    CommandRegistration(const char* name, const char* usage, Command command);
};
#define TRVSIM_CONCAT2(a, b) a##b
#define TRVSIM_CONCAT(a, b) TRVSIM_CONCAT2(a, b)
#define TRVSIM_COMMAND(name, usage, fn) \
    static ::trvsim::CommandRegistration TRVSIM_CONCAT(trvsimCommand, __LINE__)(name, usage, fn)

std::vector<std::string> SplitWords(const std::string& line);
// Runs a scenario text; returns the number of failed lines.
int RunScenario(sim::Machine& machine, const std::string& text, std::ostream& out);

// "0x1F" or "31".
std::uint32_t ParseNumber(const std::string& text);

}  // namespace trvsim
