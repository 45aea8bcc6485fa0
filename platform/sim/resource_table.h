#pragma once
#include <cstddef>
#include <cstdint>
namespace trvres {
struct String { std::uint32_t id; const char* utf8; };
// 16 rows of 16 characters: '0'-'9','A'-'F' index the VGA 16-colour palette, '.' transparent.
struct Picture { std::uint32_t id; const char* rows[16]; };
enum class ControlKind { Static, Edit, CheckBox, Button, DefButton };
struct Control { std::uint32_t id; ControlKind kind; int x, y, cx, cy; const char* text; std::uint32_t style; };
struct Dialog { std::uint32_t id; const char* caption; int x, y, cx, cy; const char* font; int pointSize; std::uint32_t style; const Control* controls; std::size_t controlCount; };
struct Table { const String* strings; std::size_t stringCount; const Picture* icons; std::size_t iconCount; const Picture* bitmaps; std::size_t bitmapCount; const Dialog* dialogs; std::size_t dialogCount; };
}
