#include "sim/environment.h"

#include <cctype>

namespace sim {

namespace {
std::string Upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

EnvironmentTable::EnvironmentTable() {
    Set("SystemRoot", "C:\\WINDOWS");
    Set("windir", "C:\\WINDOWS");
    Set("SystemDrive", "C:");
    Set("ProgramFiles", "C:\\Program Files");
}

void EnvironmentTable::Set(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> lk(mu_);
    vars_[Upper(name)] = {name, value};
}

void EnvironmentTable::Unset(const std::string& name) {
    std::lock_guard<std::mutex> lk(mu_);
    vars_.erase(Upper(name));
}

std::optional<std::string> EnvironmentTable::Get(const std::string& name) {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = vars_.find(Upper(name));
    if (it == vars_.end()) return std::nullopt;
    return it->second.second;
}

bool EnvironmentTable::Expand(const std::string& text, std::size_t capacity, std::string& out) {
    std::lock_guard<std::mutex> lk(mu_);
    std::string result;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            result += text[i++];
            continue;
        }
        std::size_t close = text.find('%', i + 1);
        if (close == std::string::npos) {
            result.append(text, i, std::string::npos);
            break;
        }
        auto it = close > i + 1 ? vars_.find(Upper(text.substr(i + 1, close - i - 1))) : vars_.end();
        if (it != vars_.end()) {
            result += it->second.second;
            i = close + 1;
        } else {
            // Not a reference: the text up to the second % stays, and that %
            // may open the next reference.
            result.append(text, i, close - i);
            i = close;
        }
    }
    if (result.size() + 1 > capacity) {
        out.clear();
        return false;
    }
    out = std::move(result);
    return true;
}

}  // namespace sim
