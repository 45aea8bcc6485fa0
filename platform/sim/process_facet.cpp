#include "sim/process_facet.h"

#include "sim/machine.h"

namespace sim {

namespace {

class ProcessFacet final : public plat::Process {
public:
    ProcessFacet(Machine& m, std::uint32_t pid, std::string args, std::string modulePath)
        : m_(m), pid_(pid), args_(std::move(args)), modulePath_(std::move(modulePath)) {}

    std::string CommandLine() override { return args_; }

    bool ModulePath(std::size_t capacity, std::string& path) override {
        path.clear();
        if (modulePath_.empty() || modulePath_.size() + 1 > capacity) return false;
        path = modulePath_;
        return true;
    }

    bool ExpandEnvironment(const std::string& text, std::size_t capacity, std::string& expanded) override {
        return m_.Environment().Expand(text, capacity, expanded);
    }

    bool StartOnDesktop(const std::string& commandLine, const std::string& desktop,
                        plat::StartedProcess& started) override {
        return m_.StartProcessFor(pid_, commandLine, desktop, started);
    }

private:
    Machine& m_;
    std::uint32_t pid_;
    const std::string args_;
    const std::string modulePath_;
};

}  // namespace

std::unique_ptr<plat::Process> MakeProcessFacet(Machine& machine, std::uint32_t pid, std::string args,
                                                std::string modulePath) {
    return std::make_unique<ProcessFacet>(machine, pid, std::move(args), std::move(modulePath));
}

}  // namespace sim
