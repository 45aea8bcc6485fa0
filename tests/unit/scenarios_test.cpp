// Every scenario the simulator ships runs without a failed line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "simulator/scenario.h"
#include "simulator/suite.h"

namespace {

TEST(SimulatorScenarios, EveryScenarioRunsClean) {
    std::filesystem::path dir = TRV_SCENARIO_DIR;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".scn") continue;
        ++files;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        sim::Machine machine;
        trvsim::InstallSuite(machine);
        std::ostringstream out;
        EXPECT_EQ(trvsim::RunScenario(machine, text.str(), out), 0) << entry.path() << "\n" << out.str();
    }
    EXPECT_GT(files, 0);
}

TEST(SimulatorScenarios, FailedExpectationsAndUnknownCommandsAreCounted) {
    sim::Machine machine;
    trvsim::InstallSuite(machine);
    std::ostringstream out;
    int failures = trvsim::RunScenario(machine, "start as t TRVTRAY.EXE\nexpect ended t\nno-such-command\n# comment\n", out);
    EXPECT_EQ(failures, 2) << out.str();
    EXPECT_NE(out.str().find("NOT MET"), std::string::npos);
}

}  // namespace
