#include "tray/message_catalogue.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tray {

std::uint32_t MessageCatalogue::BlockBaseFor(std::uint32_t lcid) {
    const std::uint32_t langId = lcid & 0xFFFF;
    const std::uint32_t primary = langId & 0x3FF;
    const std::uint32_t sub = langId >> 10;
    switch (primary) {
        case 0x04: return sub == 0x01 ? 4096 : 4352;  // Chinese: Taiwan, other
        case 0x05: return 8192;                       // Czech
        case 0x06: return 5120;                       // Danish
        case 0x07: return 1024;                       // German
        case 0x08: return 6400;                       // Greek
        case 0x09: return 256;                        // English
        case 0x0A: return sub == 0x02 ? 1536 : 1280;  // Spanish: Mexico, other
        case 0x0C: return 512;                        // French
        case 0x0E: return 8448;                       // Hungarian
        case 0x10: return 768;                        // Italian
        case 0x11: return 2304;                       // Japanese
        case 0x12: return 4608;                       // Korean
        case 0x13: return 5376;                       // Dutch
        case 0x14: return 5632;                       // Norwegian
        case 0x15: return 6144;                       // Polish
        case 0x16: return sub == 0x01 ? 2048 : 1792;  // Portuguese: Brazil, other
        case 0x19: return 4864;                       // Russian
        case 0x1D: return 5888;                       // Swedish
        default: return kEnglishBlockBase;
    }
}

std::uint32_t MessageCatalogue::BlockBaseForLocale(plat::System& sys) {
    return BlockBaseFor(sys.systemInfo().DefaultLcid());
}

std::string MessageCatalogue::LoadMessage(plat::System& sys, std::uint32_t offset) {
    std::string text = sys.resources().String(BlockBaseForLocale(sys) + offset);
    if (text.empty()) text = sys.resources().String(kEnglishBlockBase + offset);
    return text;
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        out.assign(buffer.data(), static_cast<std::size_t>(n));
    }
    va_end(again);
    return out;
}

}  // namespace tray
