// The running process: its command line and its own module.
#pragma once

#include <string>

namespace plat {

class Process {
public:
    virtual ~Process() = default;
    // The arguments after the program name, leading blanks removed (what the
    // class library hands the application as its command line).
    virtual std::string CommandLine() = 0;
};

}  // namespace plat
