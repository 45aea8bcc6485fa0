// trvsim: runs scenario files on a simulated Windows machine with the
// adapter suite installed and prints what a user would see and what the
// programs did.
#include <fstream>
#include <iostream>
#include <sstream>

#include "simulator/scenario.h"
#include "simulator/suite.h"

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help") {
        std::cout << "usage: trvsim SCENARIO-FILE...\n\ncommands:\n";
        for (auto& [name, entry] : trvsim::Commands()) std::cout << "  " << entry.first << "\n";
        return argc < 2 ? 2 : 0;
    }
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i]);
        if (!file) {
            std::cerr << "trvsim: cannot read " << argv[i] << "\n";
            return 2;
        }
        std::stringstream text;
        text << file.rdbuf();
        std::cout << "=== " << argv[i] << " ===\n";
        sim::Machine machine;
        trvsim::InstallSuite(machine);
        failures += trvsim::RunScenario(machine, text.str(), std::cout);
        std::cout << "\n";
    }
    if (failures) std::cout << failures << " line(s) failed\n";
    return failures ? 1 : 0;
}
