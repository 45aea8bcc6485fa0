// The simulated machine's environment: one table of variables that every
// process sees, and the expansion of %NAME% references against it.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace sim {

class EnvironmentTable {
public:
    // Starts with the variables a Windows XP machine has: SystemRoot and
    // windir "C:\WINDOWS", SystemDrive "C:", ProgramFiles "C:\Program Files".
    EnvironmentTable();

    // Names are matched without regard to letter case, as the system does.
    void Set(const std::string& name, const std::string& value);
    void Unset(const std::string& name);
    std::optional<std::string> Get(const std::string& name);

    // ExpandEnvironmentStrings: a %NAME% of a known variable is replaced; an
    // unknown one, or a lone %, stays as written. False when the result and
    // its terminator need more than `capacity` bytes.
    bool Expand(const std::string& text, std::size_t capacity, std::string& out);

private:
    std::mutex mu_;
    std::map<std::string, std::pair<std::string, std::string>> vars_;  // upper-case name -> (name, value)
};

}  // namespace sim
