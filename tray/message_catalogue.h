// Every text the notifier shows: 42 messages in 21 language blocks, the
// block chosen by the system default locale at each lookup, English as the
// fallback.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace tray {

inline constexpr std::uint32_t kEnglishBlockBase = 256;
inline constexpr std::uint32_t kMessageCount = 42;

// Message offsets, named after what they say.
enum Msg : std::uint32_t {
    MSG_SAFE_TO_REMOVE_CAPTION = 0,
    MSG_SAFE_TO_REMOVE_TEXT = 1,
    MSG_PROBLEM_STOPPING_CAPTION = 2,
    MSG_PROBLEM_STOPPING_TEXT = 3,
    MSG_NO_DRIVES = 4,
    MSG_TOOLTIP_ONE = 5,
    MSG_TOOLTIP_MANY = 6,
    MSG_REMOVE_ITEM = 7,
    MSG_REMOVE_ITEM_ONE_LETTER = 8,
    MSG_REMOVE_ITEM_LETTERS = 9,
    MSG_STOPPED_ITEM = 10,
    MSG_UNSAFE_REMOVAL_CAPTION = 11,
    MSG_UNSAFE_REMOVAL_TEXT = 12,
    MSG_SAFELY_REMOVE = 13,
    MSG_PROPERTIES = 14,
    MSG_PROTECT = 15,
    MSG_PROTECT_CAPTION = 16,
    MSG_UNABLE_TO_PROTECT = 17,
    MSG_PASSWORDS_DIFFER = 18,
    MSG_NOW_PROTECTED = 19,
    MSG_UNPROTECT = 20,
    MSG_UNPROTECT_CAPTION = 21,
    MSG_WRONG_PASSWORD = 22,
    MSG_FAILED_TO_UNPROTECT = 23,
    MSG_COUNTER_EXPIRED = 24,
    MSG_NOW_UNPROTECTED = 25,
    MSG_UNPROTECTED_UNTIL_REMOVAL = 26,
    MSG_FORGOT_CAPTION = 27,
    MSG_FORGOT_TEXT = 28,
    MSG_ERASE_CAPTION = 29,
    MSG_ERASING_CAPTION = 30,
    MSG_ERASE_WARNING = 31,
    MSG_UNABLE_TO_ERASE = 32,
    MSG_ERASED = 33,
    MSG_PROTECT_EXPLANATION = 34,
    MSG_ENTER_PASSWORD = 35,
    MSG_VERIFY_PASSWORD = 36,
    MSG_UNPROTECT_EXPLANATION = 37,
    MSG_DISABLE_PROTECTION = 38,
    MSG_I_FORGOT = 39,
    MSG_CONFIRM_REMOVAL_CAPTION = 40,
    MSG_CONFIRM_REMOVAL_TEXT = 41,
};

class MessageCatalogue {
public:
    // The block base for a locale identifier (primary language: low 10 bits,
    // sub-language: the next 6).
    static std::uint32_t BlockBaseFor(std::uint32_t lcid);
    // The block base for the current system default locale.
    static std::uint32_t BlockBaseForLocale(plat::System& sys);
    // The text of `offset` in the current block, or the English text when the
    // block has none; empty when both are missing.
    static std::string LoadMessage(plat::System& sys, std::uint32_t offset);
};

// printf-style formatting of a loaded message into a new string.
std::string FormatText(const char* format, ...);

}  // namespace tray
