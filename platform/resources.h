// The program's own resources, addressed by number.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace plat {

class Resources {
public:
    virtual ~Resources() = default;
    // String resource `id` in the ANSI code page; empty when missing.
    virtual std::string String(std::uint32_t id) = 0;
    // A shared resource icon (16 x 16); never destroyed. None when missing.
    virtual Hicon Icon(std::uint32_t id) = 0;
    // A new bitmap owned by the caller, at its own size; with `map3dColours`
    // the grey background is mapped to the menu colour. None when missing.
    virtual Hbitmap Bitmap(std::uint32_t id, bool map3dColours) = 0;
    virtual bool DeleteBitmap(Hbitmap bitmap) = 0;
};

}  // namespace plat
