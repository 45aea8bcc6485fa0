// The diagnostic trace sink. Delivered builds have none: see core/trace.h.
#pragma once

#include <string_view>

namespace plat {

class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void Write(std::string_view line) = 0;
};

}  // namespace plat
