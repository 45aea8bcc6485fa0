#include "tray/trace.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace tray {

void TraceLine(plat::System& sys, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::string line = "TRVNOTIF - ";
    line += text;
    while (!line.empty() && line.back() == '\n') line.pop_back();
    sys.trace().Write(line);
}

}  // namespace tray
