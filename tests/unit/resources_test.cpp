// Checks the tray notifier's compiled resources: the 21 message blocks, the two
// password dialogs, the icons and the menu pictures.
#include "sim/resource_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

extern const trvres::Table kTrayResources;

namespace {

constexpr std::uint32_t kMessageCount = 42;
constexpr std::uint32_t kEnglish = 256;
constexpr std::uint32_t kFrench = 512;
constexpr std::uint32_t kItalian = 768;
constexpr std::uint32_t kGerman = 1024;
constexpr std::uint32_t kSpanish = 1280;
constexpr std::uint32_t kJapanese = 2304;
constexpr std::uint32_t kKorean = 4608;

const std::vector<std::uint32_t> kTranslatedBases = {kFrench, kItalian, kGerman,
                                                     kSpanish, kJapanese, kKorean};
const std::vector<std::uint32_t> kEnglishRepeatBases = {1536, 1792, 2048, 4096, 4352,
                                                        4864, 5120, 5376, 5632, 5888,
                                                        6144, 6400, 8192, 8448};

// WS_*, ES_*, BS_*, SS_*, DS_* values of the system headers.
constexpr std::uint32_t WS_POPUP = 0x80000000, WS_CHILD = 0x40000000,
                        WS_VISIBLE = 0x10000000, WS_CAPTION = 0x00C00000,
                        WS_BORDER = 0x00800000, WS_SYSMENU = 0x00080000,
                        WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000;
constexpr std::uint32_t DS_SETFONT = 0x40, DS_MODALFRAME = 0x80;
constexpr std::uint32_t ES_PASSWORD = 0x20, ES_AUTOHSCROLL = 0x80, ES_MULTILINE = 0x4;
constexpr std::uint32_t BS_TYPEMASK = 0xF, BS_PUSHBUTTON = 0, BS_DEFPUSHBUTTON = 1,
                        BS_AUTOCHECKBOX = 3;
constexpr std::uint32_t SS_TYPEMASK = 0x1F, SS_LEFT = 0;

const std::map<std::uint32_t, std::string>& Strings() {
    static const std::map<std::uint32_t, std::string> strings = [] {
        std::map<std::uint32_t, std::string> m;
        for (std::size_t i = 0; i < kTrayResources.stringCount; ++i) {
            const trvres::String& s = kTrayResources.strings[i];
            m.emplace(s.id, s.utf8 ? s.utf8 : "");
        }
        return m;
    }();
    return strings;
}

std::string Message(std::uint32_t base, std::uint32_t offset) {
    auto it = Strings().find(base + offset);
    return it == Strings().end() ? std::string() : it->second;
}

// The printf conversions of a text in order, e.g. "%s took %d" -> {"s", "d"}.
std::vector<std::string> FormatArguments(const std::string& text) {
    std::vector<std::string> args;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        std::size_t j = i + 1;
        if (j < text.size() && text[j] == '%') {
            i = j;
            continue;
        }
        while (j < text.size() && std::strchr("-+ #0123456789.*", text[j])) ++j;
        std::string length;
        while (j < text.size() && std::strchr("hlLqjzt", text[j])) length += text[j++];
        args.push_back(length + (j < text.size() ? std::string(1, text[j]) : "<end>"));
        i = j;
    }
    return args;
}

const trvres::Dialog* FindDialog(std::uint32_t id) {
    for (std::size_t i = 0; i < kTrayResources.dialogCount; ++i)
        if (kTrayResources.dialogs[i].id == id) return &kTrayResources.dialogs[i];
    return nullptr;
}

std::vector<std::uint32_t> PictureIds(const trvres::Picture* pictures, std::size_t count) {
    std::vector<std::uint32_t> ids;
    for (std::size_t i = 0; i < count; ++i) ids.push_back(pictures[i].id);
    return ids;
}

const trvres::Picture* FindPicture(const trvres::Picture* pictures, std::size_t count,
                                   std::uint32_t id) {
    for (std::size_t i = 0; i < count; ++i)
        if (pictures[i].id == id) return &pictures[i];
    return nullptr;
}

std::string AllPixels(const trvres::Picture& p) {
    std::string all;
    for (const char* row : p.rows) all += row ? row : "";
    return all;
}

TEST(TrayMessages, EveryBlockHoldsAll42MessagesAndRepeatBlocksRepeatEnglish) {
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i < kTrayResources.stringCount; ++i) {
        if (i > 0) {
            EXPECT_LT(previous, kTrayResources.strings[i].id) << "strings sorted, ids unique";
        }
        previous = kTrayResources.strings[i].id;
    }
    std::vector<std::uint32_t> all = {kEnglish};
    all.insert(all.end(), kTranslatedBases.begin(), kTranslatedBases.end());
    all.insert(all.end(), kEnglishRepeatBases.begin(), kEnglishRepeatBases.end());
    ASSERT_EQ(all.size(), 21u);
    for (std::uint32_t base : all) {
        for (std::uint32_t offset = 0; offset < kMessageCount; ++offset)
            EXPECT_FALSE(Message(base, offset).empty()) << "block " << base << " message " << offset;
        EXPECT_EQ(Strings().count(base + kMessageCount), 0u) << "block " << base << " has 42 only";
    }
    for (std::uint32_t base : kEnglishRepeatBases)
        for (std::uint32_t offset = 0; offset < kMessageCount; ++offset)
            EXPECT_EQ(Message(base, offset), Message(kEnglish, offset))
                << "block " << base << " message " << offset;
    for (std::uint32_t base : kTranslatedBases) {
        int same = 0;
        for (std::uint32_t offset = 0; offset < kMessageCount; ++offset)
            same += Message(base, offset) == Message(kEnglish, offset);
        EXPECT_LE(same, 2) << "block " << base << " should be translated";
    }
    EXPECT_EQ(kTrayResources.stringCount, 21u * kMessageCount + 1);
    EXPECT_EQ(Message(57344, 0), "ZELSTray");
}

TEST(TrayMessages, TranslationsTakeTheEnglishArguments) {
    // The only translations that leave the name out.
    const std::set<std::pair<std::uint32_t, std::uint32_t>> omitted = {{kJapanese, 12},
                                                                       {kKorean, 2}};
    int withArguments = 0;
    for (std::uint32_t base : kTranslatedBases) {
        for (std::uint32_t offset = 0; offset < kMessageCount; ++offset) {
            const auto english = FormatArguments(Message(kEnglish, offset));
            const auto translated = FormatArguments(Message(base, offset));
            withArguments += !english.empty();
            if (omitted.count({base, offset})) {
                EXPECT_EQ(english, std::vector<std::string>{"s"}) << offset;
                EXPECT_TRUE(translated.empty()) << "block " << base << " message " << offset;
            } else {
                EXPECT_EQ(translated, english) << "block " << base << " message " << offset
                                               << ": " << Message(base, offset);
            }
        }
    }
    EXPECT_EQ(withArguments, 6 * 17);   // 16 messages with %s, one with %d
    EXPECT_EQ(FormatArguments(Message(kEnglish, 31)), std::vector<std::string>{"d"});
}

TEST(TrayMessages, QuotedTextsAreExact) {
    struct Row { std::uint32_t id; const char* text; };
    const Row rows[] = {
        // English texts whose spacing and punctuation are part of them.
        {kEnglish + 4, "No Drives Detected"},
        {kEnglish + 17, "Unable to protect drive.  Please retry"},
        {kEnglish + 20, "UnProtect"},
        {kEnglish + 22, "The password is not correct.  Please enter the right password.  "
                        "Remember, passwords are case sensitive."},
        {kEnglish + 31, "Warning!  All files on this drive will be lost.\nErasing this drive "
                        "will take approximately %d minutes.\n\nContinue with Erase?"},
        {kEnglish + 41, "Are you sure you want to remove the '%s' storage device"},
        {kFrench + 4, "Aucun lecteur détecté"},
        {kFrench + 13, "Déconnecter de manière sécurisée"},
        {kFrench + 14, "Propriétés"},
        {kFrench + 15, "Protéger"},
        {kFrench + 20, "Déprotéger"},
        {kItalian + 4, "Non è stato rilevato alcun driver"},
        {kItalian + 13, "Rimozione sicura"},
        {kItalian + 14, "Proprietà"},
        {kItalian + 15, "Proteggi"},
        {kItalian + 20, "Rimuovere la protezione"},
        {kGerman + 4, "Kein Laufwerk gefunden"},
        {kGerman + 13, "Sicheres Entfernen"},
        {kGerman + 14, "Eigenschaften"},
        {kGerman + 15, "Schutz"},
        {kGerman + 20, "Schutz aufheben"},
        {kSpanish + 4, "No se ha detectado controlador alguno"},
        {kSpanish + 13, "Retire con seguridad"},
        {kSpanish + 14, "Propiedades"},
        {kSpanish + 15, "Proteger"},
        {kSpanish + 20, "Desproteger"},
        {kJapanese + 4, "ドライブが検知できません。"},
        {kJapanese + 13, "安全に取り外す"},
        {kJapanese + 14, "プロパティ"},
        {kJapanese + 15, "プロテクトします"},
        {kJapanese + 20, "プロテクトを解除します"},
        {kKorean + 4, "드라이브들을 찾지 못함"},
        {kKorean + 13, "안전 제거"},
        {kKorean + 14, "등록 정보"},
        {kKorean + 15, "보호"},
        {kKorean + 20, "보호 풀기"},
    };
    for (const Row& row : rows) EXPECT_EQ(Message(row.id, 0), row.text) << "string " << row.id;

    // Japanese makes no singular/plural distinction; the other blocks do.
    EXPECT_EQ(Message(kJapanese, 5), Message(kJapanese, 6));
    EXPECT_EQ(Message(kJapanese, 8), Message(kJapanese, 9));
    EXPECT_NE(Message(kEnglish, 5), Message(kEnglish, 6));
    EXPECT_NE(Message(kEnglish, 8), Message(kEnglish, 9));
    // Menu items 8 and 9 are completed by the caller with letters and ")".
    for (std::uint32_t base : kTranslatedBases)
        for (std::uint32_t offset : {8u, 9u})
            EXPECT_EQ(Message(base, offset).back(), '(') << "block " << base << " message " << offset;
}

TEST(TrayDialogs, PasswordDialogTemplates) {
    struct Expected {
        std::uint32_t id;
        trvres::ControlKind kind;
        int x, y, cx, cy;
        std::string text;
    };
    using K = trvres::ControlKind;
    struct DialogCase {
        std::uint32_t id;
        const char* caption;
        int cx, cy;
        std::vector<Expected> controls;
    };
    const DialogCase cases[] = {
        {154, "Unprotect", 188, 111, {
            {1017, K::Static, 14, 14, 158, 25, Message(kEnglish, 37)},
            {1000, K::Edit, 25, 46, 136, 16, ""},
            {1002, K::CheckBox, 40, 67, 91, 10, "Disable Protection"},
            {1001, K::Button, 7, 90, 50, 14, "I Forgot"},
            {1, K::DefButton, 74, 90, 50, 14, "OK"},
            {2, K::Button, 131, 90, 50, 14, "Cancel"},
        }},
        {159, "Protect", 190, 154, {
            {1016, K::Static, 19, 14, 149, 43, Message(kEnglish, 34)},
            {1006, K::Static, 27, 61, 61, 8, "Enter Password:"},
            {1004, K::Edit, 27, 72, 118, 14, ""},
            {1007, K::Static, 27, 96, 61, 8, "Verify Password:"},
            {1005, K::Edit, 27, 107, 118, 14, ""},
            {1, K::DefButton, 73, 133, 50, 14, "OK"},
            {2, K::Button, 133, 133, 50, 14, "Cancel"},
        }},
    };
    EXPECT_EQ(kTrayResources.dialogCount, 2u);
    for (const DialogCase& c : cases) {
        SCOPED_TRACE("dialog " + std::to_string(c.id));
        const trvres::Dialog* d = FindDialog(c.id);
        ASSERT_NE(d, nullptr);
        EXPECT_STREQ(d->caption, c.caption);
        EXPECT_EQ(d->cx, c.cx);
        EXPECT_EQ(d->cy, c.cy);
        EXPECT_STREQ(d->font, "MS Sans Serif");
        EXPECT_EQ(d->pointSize, 8);
        const std::uint32_t frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
        EXPECT_EQ(d->style, frame);
        ASSERT_EQ(d->controlCount, c.controls.size());
        for (std::size_t i = 0; i < c.controls.size(); ++i) {
            const Expected& e = c.controls[i];
            const trvres::Control& got = d->controls[i];
            SCOPED_TRACE("control " + std::to_string(e.id));
            EXPECT_EQ(got.id, e.id);
            EXPECT_EQ(got.kind, e.kind);
            EXPECT_EQ(got.x, e.x);
            EXPECT_EQ(got.y, e.y);
            EXPECT_EQ(got.cx, e.cx);
            EXPECT_EQ(got.cy, e.cy);
            EXPECT_EQ(std::string(got.text ? got.text : ""), e.text);
            EXPECT_EQ(got.style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
            switch (e.kind) {
            case K::Edit:
                EXPECT_EQ(got.style & (WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL),
                          WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL);
                EXPECT_EQ(got.style & ES_MULTILINE, 0u);
                break;
            case K::Static:
                EXPECT_EQ(got.style & SS_TYPEMASK, SS_LEFT);
                EXPECT_NE(got.style & WS_GROUP, 0u);
                break;
            case K::CheckBox:
                EXPECT_EQ(got.style & BS_TYPEMASK, BS_AUTOCHECKBOX);
                EXPECT_NE(got.style & WS_TABSTOP, 0u);
                break;
            case K::Button:
                EXPECT_EQ(got.style & BS_TYPEMASK, BS_PUSHBUTTON);
                EXPECT_NE(got.style & WS_TABSTOP, 0u);
                break;
            case K::DefButton:
                EXPECT_EQ(got.style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
                EXPECT_NE(got.style & WS_TABSTOP, 0u);
                break;
            }
        }
    }
}

TEST(TrayPictures, IconsAndMenuPicturesAreDrawn16By16) {
    EXPECT_EQ(PictureIds(kTrayResources.icons, kTrayResources.iconCount),
              (std::vector<std::uint32_t>{128, 145, 146, 150, 158, 168, 169, 170, 171, 172, 173}));
    EXPECT_EQ(PictureIds(kTrayResources.bitmaps, kTrayResources.bitmapCount),
              (std::vector<std::uint32_t>{163, 164, 171, 172, 173, 174, 175}));

    // What must be visible in each picture: green arrow (A), red sign or plug (C),
    // yellow padlock (E); a grey plug shows no red.
    struct Look { bool icon; std::uint32_t id; const char* colours; bool red; };
    const Look looks[] = {
        {true, 128, "A", false},  {true, 145, "A", false},  {true, 146, "C", true},
        {true, 150, "F", false},  {true, 158, "EC", true},  {true, 168, "E", false},
        {true, 169, "7", false},  {true, 170, "C", true},   {true, 171, "7E", false},
        {true, 172, "CE", true},  {true, 173, "AE", false},
        {false, 163, "E", false}, {false, 164, "A", false}, {false, 171, "8", false},
        {false, 172, "C", true},  {false, 173, "E", false}, {false, 174, "CE", true},
        {false, 175, "AE", false},
    };
    for (const Look& look : looks) {
        const trvres::Picture* p =
            look.icon ? FindPicture(kTrayResources.icons, kTrayResources.iconCount, look.id)
                      : FindPicture(kTrayResources.bitmaps, kTrayResources.bitmapCount, look.id);
        SCOPED_TRACE(std::string(look.icon ? "icon " : "bitmap ") + std::to_string(look.id));
        ASSERT_NE(p, nullptr);
        for (const char* row : p->rows) {
            ASSERT_NE(row, nullptr);
            EXPECT_EQ(std::strlen(row), 16u);
            EXPECT_EQ(std::strspn(row, look.icon ? "0123456789ABCDEF." : "0123456789ABCDEF"),
                      std::strlen(row));
        }
        const std::string pixels = AllPixels(*p);
        for (const char* c = look.colours; *c; ++c)
            EXPECT_NE(pixels.find(*c), std::string::npos) << "colour " << *c;
        EXPECT_EQ(pixels.find('C') != std::string::npos, look.red);
        if (look.icon) {
            EXPECT_NE(pixels.find('.'), std::string::npos) << "icons have a transparent edge";
        } else {
            EXPECT_EQ(p->rows[0][0], '7') << "menu pictures stand on the 3D grey";
        }
    }
}

}  // namespace
