#!/usr/bin/env python3
"""Resource compiler for the TRV programs.

A resource directory describes one program's resources in `resources.json`:

    {
      "resourceLanguage": "0x0409",            LANGID of every resource in the .rc
      "messageCount": 42,                      messages per block (needed with "blocks")
      "blocks": [                              message blocks: string number = base + offset
        {"base": 256, "language": "English (United States)", "file": "strings/en.json"}
      ],
      "strings": [{"id": 57344, "text": "ZELSTray"}],
      "dialogs": [
        {"id": 154, "caption": "Unprotect", "x": 0, "y": 0, "cx": 188, "cy": 111,
         "font": "MS Sans Serif", "pointSize": 8, "template": "DIALOG",
         "style": ["DS_SETFONT", "DS_MODALFRAME", "WS_POPUP", "WS_CAPTION", "WS_SYSMENU"],
         "controls": [
           {"id": 1000, "kind": "edit", "x": 25, "y": 46, "cx": 136, "cy": 16, "text": "",
            "style": ["WS_CHILD", "WS_VISIBLE", "WS_BORDER", "WS_TABSTOP", "ES_PASSWORD"]}
         ]}
      ],
      "programIcon": 128,                      must be the lowest icon number
      "icons":   [{"id": 128, "file": "pictures/icon_128.txt"}],
      "bitmaps": [{"id": 163, "file": "pictures/bitmap_163.txt"}]
    }

A message file is a JSON array of exactly messageCount non-empty strings.
A picture file holds 16 lines of 16 characters: '0'-'9' and 'A'-'F' index the
16-colour VGA palette, '.' (icons only) is a transparent pixel.  Bitmaps are
drawn on light grey (7) so that LR_LOADMAP3DCOLORS turns it into the menu colour.

Control kinds: static, edit, checkbox, button, defbutton.  Styles are written out
in full (WS_CHILD and WS_VISIBLE included); nothing is added behind your back.
A control id of -1 is the usual "static" id 0xFFFF and may repeat.

Outputs:
  --cpp FILE     C++ table `extern const trvres::Table <symbol>;` (sim/resource_table.h)
  --rc FILE      resource script for windres, with
  --assets DIR   the icon_<id>.ico and bitmap_<id>.bmp files it references
                 (default: the directory of the .rc file)
  --list-inputs  print every input file, one per line, and stop

Every object may carry a "comment" string, which is ignored.
Only the Python 3 standard library is used.
"""

import argparse
import json
import os
import re
import struct
import sys


class ResourceError(Exception):
    pass


# Window style bits, as in the system headers.
STYLE_BITS = {
    "WS_OVERLAPPED": 0x00000000, "WS_POPUP": 0x80000000, "WS_CHILD": 0x40000000,
    "WS_MINIMIZE": 0x20000000, "WS_VISIBLE": 0x10000000, "WS_DISABLED": 0x08000000,
    "WS_CLIPSIBLINGS": 0x04000000, "WS_CLIPCHILDREN": 0x02000000, "WS_MAXIMIZE": 0x01000000,
    "WS_CAPTION": 0x00C00000, "WS_BORDER": 0x00800000, "WS_DLGFRAME": 0x00400000,
    "WS_VSCROLL": 0x00200000, "WS_HSCROLL": 0x00100000, "WS_SYSMENU": 0x00080000,
    "WS_THICKFRAME": 0x00040000, "WS_GROUP": 0x00020000, "WS_TABSTOP": 0x00010000,
    "WS_MINIMIZEBOX": 0x00020000, "WS_MAXIMIZEBOX": 0x00010000,
    "DS_ABSALIGN": 0x0001, "DS_SYSMODAL": 0x0002, "DS_3DLOOK": 0x0004, "DS_FIXEDSYS": 0x0008,
    "DS_NOFAILCREATE": 0x0010, "DS_LOCALEDIT": 0x0020, "DS_SETFONT": 0x0040,
    "DS_MODALFRAME": 0x0080, "DS_NOIDLEMSG": 0x0100, "DS_SETFOREGROUND": 0x0200,
    "DS_CONTROL": 0x0400, "DS_CENTER": 0x0800, "DS_CENTERMOUSE": 0x1000,
    "DS_CONTEXTHELP": 0x2000, "DS_SHELLFONT": 0x0048,
    "ES_LEFT": 0x0000, "ES_CENTER": 0x0001, "ES_RIGHT": 0x0002, "ES_MULTILINE": 0x0004,
    "ES_UPPERCASE": 0x0008, "ES_LOWERCASE": 0x0010, "ES_PASSWORD": 0x0020,
    "ES_AUTOVSCROLL": 0x0040, "ES_AUTOHSCROLL": 0x0080, "ES_NOHIDESEL": 0x0100,
    "ES_OEMCONVERT": 0x0400, "ES_READONLY": 0x0800, "ES_WANTRETURN": 0x1000,
    "ES_NUMBER": 0x2000,
    "BS_PUSHBUTTON": 0x0000, "BS_DEFPUSHBUTTON": 0x0001, "BS_CHECKBOX": 0x0002,
    "BS_AUTOCHECKBOX": 0x0003, "BS_RADIOBUTTON": 0x0004, "BS_3STATE": 0x0005,
    "BS_AUTO3STATE": 0x0006, "BS_GROUPBOX": 0x0007, "BS_AUTORADIOBUTTON": 0x0009,
    "BS_LEFTTEXT": 0x0020, "BS_MULTILINE": 0x2000,
    "SS_LEFT": 0x0000, "SS_CENTER": 0x0001, "SS_RIGHT": 0x0002, "SS_ICON": 0x0003,
    "SS_SIMPLE": 0x000B, "SS_LEFTNOWORDWRAP": 0x000C, "SS_NOPREFIX": 0x0080,
    "SS_CENTERIMAGE": 0x0200, "SS_SUNKEN": 0x1000,
}

# kind -> (C++ enumerator, window class atom, family prefix its own style names carry)
# The class goes into the script as its atom: windres would store a quoted class
# name as a string, the system's own resource compiler stores the atom.
CONTROL_KINDS = {
    "static": ("Static", 0x0082, "SS_"),
    "edit": ("Edit", 0x0081, "ES_"),
    "checkbox": ("CheckBox", 0x0080, "BS_"),
    "button": ("Button", 0x0080, "BS_"),
    "defbutton": ("DefButton", 0x0080, "BS_"),
}
CLASS_NAMES = {0x0080: "Button", 0x0081: "Edit", 0x0082: "Static"}
# Allowed values of the button type (low four bits) per button kind.
BUTTON_TYPES = {
    "button": {0x0},
    "defbutton": {0x1},
    "checkbox": {0x2, 0x3, 0x5, 0x6},
}

# The VGA colour order of the picture digits, with the system's 16-colour values.
PALETTE = [
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
]
PICTURE_SIZE = 16
STATIC_ID = 0xFFFF

TOP_LEVEL_KEYS = {"resourceLanguage", "messageCount", "blocks", "strings", "dialogs",
                  "programIcon", "icons", "bitmaps", "comment"}
DIALOG_KEYS = {"id", "caption", "x", "y", "cx", "cy", "font", "pointSize", "style",
               "controls", "template", "comment"}
CONTROL_KEYS = {"id", "kind", "x", "y", "cx", "cy", "text", "style", "comment"}


# ---------------------------------------------------------------------------
# Loading and checking


def _fail(where, message):
    raise ResourceError("%s: %s" % (where, message))


def _expect_keys(where, obj, required, allowed):
    if not isinstance(obj, dict):
        _fail(where, "expected an object")
    missing = [k for k in required if k not in obj]
    if missing:
        _fail(where, "missing %s" % ", ".join('"%s"' % k for k in missing))
    unknown = sorted(set(obj) - allowed)
    if unknown:
        _fail(where, "unknown key %s" % ", ".join('"%s"' % k for k in unknown))


def _int(where, value, lo, hi):
    if isinstance(value, bool) or not isinstance(value, int):
        _fail(where, "expected a whole number, got %r" % (value,))
    if not lo <= value <= hi:
        _fail(where, "%d is outside %d..%d" % (value, lo, hi))
    return value


def _text(where, value, allow_empty):
    if not isinstance(value, str):
        _fail(where, "expected a string, got %r" % (value,))
    if not allow_empty and value == "":
        _fail(where, "empty text")
    if "\0" in value:
        _fail(where, "text holds a NUL character")
    return value


def _read_json(path, where):
    try:
        with open(path, "r", encoding="utf-8") as f:
            return json.load(f)
    except OSError as e:
        _fail(where, "cannot read %s (%s)" % (path, e.strerror))
    except (ValueError, UnicodeDecodeError) as e:
        _fail(where, "%s is not valid UTF-8 JSON (%s)" % (path, e))


def _styles(where, names):
    if not isinstance(names, list) or not all(isinstance(n, str) for n in names):
        _fail(where, "style must be a list of style names")
    value = 0
    for name in names:
        if name not in STYLE_BITS:
            _fail(where, 'unknown style "%s"' % name)
        value |= STYLE_BITS[name]
    if len(set(names)) != len(names):
        _fail(where, "a style is named twice")
    return value


def load_picture(path, where, transparent_ok):
    try:
        with open(path, "r", encoding="ascii", newline="") as f:
            text = f.read()
    except OSError as e:
        _fail(where, "cannot read %s (%s)" % (path, e.strerror))
    except UnicodeDecodeError:
        _fail(where, "%s holds characters other than 0-9, A-F and '.'" % path)
    lines = text.replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if len(lines) != PICTURE_SIZE:
        _fail(where, "%s has %d lines, a picture has %d" % (path, len(lines), PICTURE_SIZE))
    allowed = "0123456789ABCDEF" + ("." if transparent_ok else "")
    for n, line in enumerate(lines, 1):
        if len(line) != PICTURE_SIZE:
            _fail(where, "%s line %d has %d characters, a picture row has %d"
                  % (path, n, len(line), PICTURE_SIZE))
        bad = sorted(set(c for c in line if c not in allowed))
        if bad:
            kind = "an icon" if transparent_ok else "a bitmap (no transparency)"
            _fail(where, "%s line %d: %s not allowed in %s; use %s"
                  % (path, n, " ".join(repr(c) for c in bad), kind,
                     "0-9, A-F or '.'" if transparent_ok else "0-9 or A-F"))
    return lines


def load_resources(src):
    """Reads and checks <src>/resources.json with everything it names."""
    top = os.path.join(src, "resources.json")
    desc = _read_json(top, top)
    _expect_keys(top, desc, [], TOP_LEVEL_KEYS)
    res = {"strings": [], "blocks": [], "dialogs": [], "icons": [], "bitmaps": [],
           "inputs": [top], "language": 0x0409}

    if "resourceLanguage" in desc:
        lang = desc["resourceLanguage"]
        if isinstance(lang, str):
            try:
                lang = int(lang, 0)
            except ValueError:
                _fail(top, "resourceLanguage %r is not a number" % lang)
        res["language"] = _int(top + ": resourceLanguage", lang, 0, 0xFFFF)

    string_owner = {}

    def add_string(sid, text, where):
        _int(where, sid, 0, 0xFFFF)
        if sid in string_owner:
            _fail(where, "string number %d is already used by %s" % (sid, string_owner[sid]))
        string_owner[sid] = where
        res["strings"].append((sid, text))

    blocks = desc.get("blocks", [])
    if not isinstance(blocks, list):
        _fail(top, '"blocks" must be a list')
    if blocks:
        if "messageCount" not in desc:
            _fail(top, '"messageCount" is needed with "blocks"')
        count = _int(top + ": messageCount", desc["messageCount"], 1, 0xFFFF)
    for i, block in enumerate(blocks):
        where = "%s: blocks[%d]" % (top, i)
        _expect_keys(where, block, ["base", "language", "file"],
                     {"base", "language", "file", "comment"})
        base = _int(where + ".base", block["base"], 0, 0xFFFF)
        language = _text(where + ".language", block["language"], False)
        rel = _text(where + ".file", block["file"], False)
        path = os.path.join(src, rel)
        where = "%s (base %d, %s)" % (path, base, language)
        messages = _read_json(path, where)
        if not isinstance(messages, list):
            _fail(where, "expected a JSON array of %d strings" % count)
        if len(messages) != count:
            _fail(where, "holds %d messages, every block needs exactly %d"
                  % (len(messages), count))
        if path not in res["inputs"]:
            res["inputs"].append(path)
        for offset, message in enumerate(messages):
            mwhere = "%s message %d" % (where, offset)
            _text(mwhere, message, False)
            add_string(base + offset, message, mwhere)
        res["blocks"].append({"base": base, "language": language, "file": rel,
                              "count": count})

    strings = desc.get("strings", [])
    if not isinstance(strings, list):
        _fail(top, '"strings" must be a list')
    for i, entry in enumerate(strings):
        where = "%s: strings[%d]" % (top, i)
        _expect_keys(where, entry, ["id", "text"], {"id", "text", "comment"})
        add_string(entry["id"], _text(where + ".text", entry["text"], False),
                   "%s (string %r)" % (where, entry["id"]))
    res["strings"].sort()

    dialogs = desc.get("dialogs", [])
    if not isinstance(dialogs, list):
        _fail(top, '"dialogs" must be a list')
    dialog_ids = set()
    for i, d in enumerate(dialogs):
        where = "%s: dialogs[%d]" % (top, i)
        _expect_keys(where, d, ["id", "caption", "cx", "cy", "font", "pointSize", "style",
                                "controls"], DIALOG_KEYS)
        did = _int(where + ".id", d["id"], 1, 0xFFFF)
        where = "%s: dialog %d" % (top, did)
        if did in dialog_ids:
            _fail(where, "dialog number used twice")
        dialog_ids.add(did)
        template = d.get("template", "DIALOG")
        if template not in ("DIALOG", "DIALOGEX"):
            _fail(where, 'template must be "DIALOG" or "DIALOGEX"')
        dialog = {
            "id": did,
            "caption": _text(where + ".caption", d["caption"], True),
            "x": _int(where + ".x", d.get("x", 0), -32768, 32767),
            "y": _int(where + ".y", d.get("y", 0), -32768, 32767),
            "cx": _int(where + ".cx", d["cx"], 0, 32767),
            "cy": _int(where + ".cy", d["cy"], 0, 32767),
            "font": _text(where + ".font", d["font"], False),
            "pointSize": _int(where + ".pointSize", d["pointSize"], 1, 0x7FFF),
            "style": _styles(where + ".style", d["style"]),
            "styleNames": d["style"],
            "template": template,
            "controls": [],
        }
        if not dialog["style"] & STYLE_BITS["DS_SETFONT"]:
            _fail(where, "a dialog with a font needs DS_SETFONT (or DS_SHELLFONT)")
        if not isinstance(d["controls"], list):
            _fail(where, '"controls" must be a list')
        control_ids = set()
        for j, c in enumerate(d["controls"]):
            cwhere = "%s controls[%d]" % (where, j)
            _expect_keys(cwhere, c, ["id", "kind", "x", "y", "cx", "cy", "style"],
                         CONTROL_KEYS)
            cid = _int(cwhere + ".id", c["id"], -1, 0xFFFF)
            if cid == -1:
                cid = STATIC_ID
            cwhere = "%s control %d" % (where, cid)
            if cid != STATIC_ID:
                if cid in control_ids:
                    _fail(cwhere, "control id used twice in the dialog")
                control_ids.add(cid)
            kind = c["kind"]
            if kind not in CONTROL_KINDS:
                _fail(cwhere, 'unknown kind "%s" (one of %s)' % (kind, ", ".join(CONTROL_KINDS)))
            style = _styles(cwhere + ".style", c["style"])
            family = CONTROL_KINDS[kind][2]
            for name in c["style"]:
                if not name.startswith("WS_") and not name.startswith(family):
                    _fail(cwhere, 'style "%s" does not belong to a %s control' % (name, kind))
            if not style & STYLE_BITS["WS_CHILD"]:
                _fail(cwhere, "a dialog control needs WS_CHILD")
            if kind in BUTTON_TYPES and (style & 0xF) not in BUTTON_TYPES[kind]:
                _fail(cwhere, "button type 0x%X does not fit kind %s" % (style & 0xF, kind))
            dialog["controls"].append({
                "id": cid, "kind": kind,
                "x": _int(cwhere + ".x", c["x"], -32768, 32767),
                "y": _int(cwhere + ".y", c["y"], -32768, 32767),
                "cx": _int(cwhere + ".cx", c["cx"], 0, 32767),
                "cy": _int(cwhere + ".cy", c["cy"], 0, 32767),
                "text": _text(cwhere + ".text", c.get("text", ""), True),
                "style": style, "styleNames": c["style"],
            })
        res["dialogs"].append(dialog)
    res["dialogs"].sort(key=lambda d: d["id"])

    for key, transparent_ok in (("icons", True), ("bitmaps", False)):
        entries = desc.get(key, [])
        if not isinstance(entries, list):
            _fail(top, '"%s" must be a list' % key)
        seen = set()
        for i, entry in enumerate(entries):
            where = "%s: %s[%d]" % (top, key, i)
            _expect_keys(where, entry, ["id", "file"], {"id", "file", "comment"})
            pid = _int(where + ".id", entry["id"], 1, 0xFFFF)
            if pid in seen:
                _fail(where, "%s number %d used twice" % (key[:-1], pid))
            seen.add(pid)
            path = os.path.join(src, _text(where + ".file", entry["file"], False))
            rows = load_picture(path, "%s (%s %d)" % (where, key[:-1], pid), transparent_ok)
            res["inputs"].append(path)
            res[key].append((pid, rows))
        res[key].sort()

    if "programIcon" in desc:
        pid = _int(top + ": programIcon", desc["programIcon"], 1, 0xFFFF)
        if not res["icons"] or res["icons"][0][0] != pid:
            _fail(top, "programIcon %d must be the lowest-numbered icon, since the "
                  "program file shows the first icon of its resource directory" % pid)
    return res


# ---------------------------------------------------------------------------
# C++ table


def cpp_string(text):
    out = ['"']
    for byte in text.encode("utf-8"):
        ch = chr(byte)
        if ch == '"':
            out.append('\\"')
        elif ch == "\\":
            out.append("\\\\")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\t":
            out.append("\\t")
        elif 0x20 <= byte < 0x7F:
            out.append(ch)
        else:
            out.append("\\%03o" % byte)
    out.append('"')
    return "".join(out)


def write_cpp(res, symbol, src_label):
    lines = [
        "// Generated by tools/rescomp.py from %s/resources.json. Do not edit." % src_label,
        '#include "sim/resource_table.h"',
        "",
        "#include <iterator>",
        "",
        "namespace {",
        "",
    ]
    block_at = {b["base"]: b for b in res["blocks"]}
    if res["strings"]:
        lines.append("const trvres::String kStrings[] = {")
        for sid, text in res["strings"]:
            if sid in block_at:
                b = block_at[sid]
                lines.append("    // %d..%d: %s (%s)" % (b["base"], b["base"] + b["count"] - 1,
                                                       b["language"], b["file"]))
            lines.append("    {%du, %s}," % (sid, cpp_string(text)))
        lines += ["};", ""]
    for key, name in (("icons", "kIcons"), ("bitmaps", "kBitmaps")):
        if res[key]:
            lines.append("const trvres::Picture %s[] = {" % name)
            for pid, rows in res[key]:
                lines.append("    {%du, {" % pid)
                for row in rows:
                    lines.append('        "%s",' % row)
                lines.append("    }},")
            lines += ["};", ""]
    kind_enum = {k: v[0] for k, v in CONTROL_KINDS.items()}
    for d in res["dialogs"]:
        if d["controls"]:
            lines.append("const trvres::Control kDialog%dControls[] = {" % d["id"])
            for c in d["controls"]:
                lines.append("    {%du, trvres::ControlKind::%s, %d, %d, %d, %d, %s, 0x%08Xu},"
                             "  // %s" % (c["id"], kind_enum[c["kind"]], c["x"], c["y"],
                                          c["cx"], c["cy"], cpp_string(c["text"]),
                                          c["style"], " | ".join(c["styleNames"])))
            lines += ["};", ""]
    if res["dialogs"]:
        lines.append("const trvres::Dialog kDialogs[] = {")
        for d in res["dialogs"]:
            controls = ("kDialog%dControls, std::size(kDialog%dControls)" % (d["id"], d["id"])
                        if d["controls"] else "nullptr, 0")
            lines.append("    {%du, %s, %d, %d, %d, %d, %s, %d, 0x%08Xu, %s},  // %s"
                         % (d["id"], cpp_string(d["caption"]), d["x"], d["y"], d["cx"], d["cy"],
                            cpp_string(d["font"]), d["pointSize"], d["style"], controls,
                            " | ".join(d["styleNames"])))
        lines += ["};", ""]
    lines += ["}  // namespace", ""]

    def part(key, name):
        return "%s, std::size(%s)" % (name, name) if res[key] else "nullptr, 0"
    lines += [
        "extern const trvres::Table %s;" % symbol,
        "const trvres::Table %s = {" % symbol,
        "    %s," % part("strings", "kStrings"),
        "    %s," % part("icons", "kIcons"),
        "    %s," % part("bitmaps", "kBitmaps"),
        "    %s," % part("dialogs", "kDialogs"),
        "};",
        "",
    ]
    return "\n".join(lines)


# ---------------------------------------------------------------------------
# Resource script and picture files


def rc_string(text):
    """A wide string literal; everything outside printable ASCII as UTF-16 units."""
    out = ['L"']
    for ch in text:
        if ch == '"':
            out.append('""')
        elif ch == "\\":
            out.append("\\\\")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\t":
            out.append("\\t")
        elif ch == "\r":
            out.append("\\r")
        elif " " <= ch <= "~":
            out.append(ch)
        else:
            data = ch.encode("utf-16-le")
            for i in range(0, len(data), 2):
                out.append("\\x%04x" % struct.unpack_from("<H", data, i))
    out.append('"')
    return "".join(out)


def _colour_table():
    return b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0)
                    for c in PALETTE)


def _pixels_4bpp(rows):
    """Bottom-up rows of 4-bit pixels; 16 pixels make 8 bytes, already DWORD-aligned."""
    data = bytearray()
    for row in reversed(rows):
        values = [0 if c == "." else int(c, 16) for c in row]
        for i in range(0, PICTURE_SIZE, 2):
            data.append(values[i] << 4 | values[i + 1])
    return bytes(data)


def _info_header(height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, PICTURE_SIZE, height, 1, 4, 0, image_size,
                       0, 0, 16, 0)


def make_ico(rows):
    xor = _pixels_4bpp(rows)
    mask = bytearray()
    for row in reversed(rows):
        bits = 0
        for c in row:
            bits = bits << 1 | (1 if c == "." else 0)
        mask += struct.pack(">H", bits) + b"\0\0"   # each mask row padded to 4 bytes
    image = _info_header(2 * PICTURE_SIZE, len(xor) + len(mask)) + _colour_table() + xor + bytes(mask)
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", PICTURE_SIZE, PICTURE_SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return header + entry + image


def make_bmp(rows):
    pixels = _pixels_4bpp(rows)
    info = _info_header(PICTURE_SIZE, len(pixels)) + _colour_table()
    offset = 14 + len(info)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + info + pixels


def write_rc(res, rc_path, assets_dir, src_label):
    """Returns the script text and the picture files {path: bytes}."""
    rel = os.path.relpath(assets_dir, os.path.dirname(os.path.abspath(rc_path)) or ".")
    rel = "" if rel == "." else rel.replace(os.sep, "/") + "/"
    files = {}
    lang = res["language"]
    lines = [
        "// Generated by tools/rescomp.py from %s/resources.json. Do not edit." % src_label,
        "// Picture files are named relative to this script's folder.",
        "",
        "LANGUAGE 0x%02X, 0x%02X" % (lang & 0x3FF, lang >> 10),
        "",
    ]
    for key, word, ext, maker in (("icons", "ICON", "ico", make_ico),
                                  ("bitmaps", "BITMAP", "bmp", make_bmp)):
        for pid, rows in res[key]:
            name = "%s_%d.%s" % (key[:-1], pid, ext)
            files[os.path.join(assets_dir, name)] = maker(rows)
            lines.append('%d %s "%s%s"' % (pid, word, rel, name))
        if res[key]:
            lines.append("")
    for d in res["dialogs"]:
        lines.append("%d %s %d, %d, %d, %d" % (d["id"], d["template"], d["x"], d["y"],
                                              d["cx"], d["cy"]))
        lines.append("STYLE 0x%08X  // %s" % (d["style"], " | ".join(d["styleNames"])))
        lines.append("CAPTION %s" % rc_string(d["caption"]))
        if d["template"] == "DIALOGEX":
            lines.append("FONT %d, %s, 0, 0, 0x1" % (d["pointSize"], rc_string(d["font"])))
        else:
            lines.append("FONT %d, %s" % (d["pointSize"], rc_string(d["font"])))
        lines.append("BEGIN")
        for c in d["controls"]:
            atom = CONTROL_KINDS[c["kind"]][1]
            lines.append("    CONTROL %s, %d, 0x%04X, 0x%08X, %d, %d, %d, %d  // %s: %s"
                         % (rc_string(c["text"]), c["id"], atom, c["style"], c["x"], c["y"],
                            c["cx"], c["cy"], CLASS_NAMES[atom], " | ".join(c["styleNames"])))
        lines += ["END", ""]
    block_at = {b["base"]: b for b in res["blocks"]}
    if res["strings"]:
        lines += ["STRINGTABLE", "BEGIN"]
        for sid, text in res["strings"]:
            if sid in block_at:
                b = block_at[sid]
                lines.append("    // %d..%d: %s" % (b["base"], b["base"] + b["count"] - 1,
                                                  b["language"]))
            lines.append("    %d, %s" % (sid, rc_string(text)))
        lines += ["END", ""]
    return "\n".join(lines), files


# ---------------------------------------------------------------------------


def _write_if_changed(path, data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    directory = os.path.dirname(os.path.abspath(path))
    os.makedirs(directory, exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Compile a TRV resource directory.")
    parser.add_argument("--src", required=True, help="resource directory with resources.json")
    parser.add_argument("--symbol", help="C++ name of the generated trvres::Table")
    parser.add_argument("--cpp", help="C++ file to write")
    parser.add_argument("--rc", help="resource script to write")
    parser.add_argument("--assets", help="folder for the .ico and .bmp files of the script")
    parser.add_argument("--list-inputs", action="store_true",
                        help="print the input files, one per line, and stop")
    args = parser.parse_args(argv)

    try:
        res = load_resources(args.src)
    except ResourceError as e:
        print("rescomp: error: %s" % e, file=sys.stderr)
        return 1
    if args.list_inputs:
        for path in res["inputs"]:
            print(path)
        return 0
    if not args.cpp and not args.rc:
        parser.error("nothing to write: give --cpp and/or --rc")
    if args.cpp:
        if not args.symbol or not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", args.symbol):
            parser.error("--cpp needs --symbol with a C identifier")
    if args.assets and not args.rc:
        parser.error("--assets goes with --rc")

    label = args.src.rstrip("/\\") or args.src
    if args.cpp:
        _write_if_changed(args.cpp, write_cpp(res, args.symbol, label))
    if args.rc:
        assets = args.assets or os.path.dirname(os.path.abspath(args.rc))
        script, files = write_rc(res, args.rc, assets, label)
        for path, data in files.items():
            _write_if_changed(path, data)
        _write_if_changed(args.rc, script)
    return 0


if __name__ == "__main__":
    sys.exit(main())
