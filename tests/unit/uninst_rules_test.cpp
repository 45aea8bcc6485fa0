// The uninstaller's rules that need no machine: command-line keywords,
// version families, language blocks, and its string table as built.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "sim/resource_table.h"
#include "uninst/uninstall.h"

extern const trvres::Table kUninstResources;

namespace {

using uninst::Family;

TEST(UninstKeywords, TokenMustBeginWithTheKeywordInAnyLetterCase) {
    struct Case {
        std::string commandLine;
        bool silent;
    } cases[] = {
        {"SILENT", true},
        {"silent", true},
        {"SiLeNt", true},
        {"SILENTLY", true},               // further letters attached
        {"TRVADPT SILENT REBOOT", true},  // any place
        {"REBOOT\tSILENT", true},         // tabs separate too
        {"  \t SILENT  ", true},
        {"/SILENT", false},               // a slash in front
        {"-SILENT", false},
        {"XSILENT", false},
        {"SILEN T", false},
        {"SILEN", false},
        {"TRVADPT\r\nSILENT", false},     // only the first line counts
        {"TRVADPT\nSILENT", false},
        {"TRVADPT\rSILENT", false},
        {"SILENT\r\nTRVADPT", true},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(uninst::HasCommandLineKeyword(c.commandLine, "SILENT"), c.silent) << '"' << c.commandLine << '"';
    // Only letters A to Z fold: "é" and "É" are different.
    EXPECT_FALSE(uninst::HasCommandLineKeyword("\xC3\xA9T\xC3\xA9", "\xC3\x89T\xC3\x89"));
    // A package keyword with letters attached counts as that package.
    EXPECT_TRUE(uninst::HasCommandLineKeyword("trvadpti", "TRVADPT"));
    EXPECT_FALSE(uninst::HasCommandLineKeyword("TRVBRG2", "TRVBRG1"));
}

TEST(UninstFamilies, OnlyMeAndFiveXAreFamiliesOfTheirOwn) {
    struct Case {
        std::uint32_t major, minor;
        bool nt;
        Family family;
    } cases[] = {
        {4, 0, false, Family::Win95_98},   // Windows 95
        {4, 10, false, Family::Win95_98},  // Windows 98
        {4, 90, false, Family::Me},
        {4, 0, true, Family::Win95_98},    // Windows NT 4.0
        {5, 0, true, Family::Win2000_XP},
        {5, 1, true, Family::Win2000_XP},
        {5, 2, true, Family::Win2000_XP},
        {6, 0, true, Family::Win95_98},    // versions above 5
        {6, 1, true, Family::Win95_98},
        {3, 51, true, Family::Win95_98},
    };
    for (const Case& c : cases)
        EXPECT_EQ(uninst::FamilyOf({c.major, c.minor, 0, c.nt}), c.family) << c.major << "." << c.minor;
}

TEST(UninstLanguages, BlockBaseByPrimaryLanguageAndSublanguage) {
    struct Case {
        std::uint32_t langId;
        std::uint32_t base;
    } cases[] = {
        {0x040C, 512},  {0x080C, 512},  {0x0C0C, 512},                   // French, any
        {0x0410, 768},  {0x0810, 768},                                   // Italian
        {0x0407, 1024}, {0x0807, 1024}, {0x0C07, 1024},                  // German
        {0x080A, 1536},                                                  // Spanish, sublanguage 2
        {0x040A, 1280}, {0x0C0A, 1280}, {0x2C0A, 1280},                  // other Spanish
        {0x0416, 2048},                                                  // Brazilian Portuguese
        {0x0816, 1792},                                                  // European Portuguese
        {0x0411, 2304},                                                  // Japanese
        {0x0404, 4096},                                                  // Chinese (Taiwan)
        {0x0804, 4352}, {0x0C04, 4352}, {0x1004, 4352},                  // other Chinese
        {0x0412, 4608},                                                  // Korean
        {0x0419, 4864}, {0x0406, 5120}, {0x0413, 5376}, {0x0813, 5376},  // Russian, Danish, Dutch
        {0x0414, 5632}, {0x0814, 5632}, {0x041D, 5888}, {0x0415, 6144},  // Norwegian, Swedish, Polish
        {0x0408, 6400}, {0x0405, 8192}, {0x040E, 8448},                  // Greek, Czech, Hungarian
        {0x0409, 256},  {0x0809, 256},  {0x041F, 256},  {0x0000, 256},   // English and the unlisted
    };
    for (const Case& c : cases) EXPECT_EQ(uninst::LanguageBaseFor(c.langId), c.base) << std::hex << c.langId;
}

class UninstStrings : public ::testing::Test {
protected:
    static std::string String(std::uint32_t id) {
        for (std::size_t i = 0; i < kUninstResources.stringCount; ++i)
            if (kUninstResources.strings[i].id == id) return kUninstResources.strings[i].utf8;
        return "<missing>";
    }
};

TEST_F(UninstStrings, NamesOfFilesKeysAndFolders) {
    const std::map<std::uint32_t, std::string> names = {
        {1, "TRVADPT.INF"},   {2, "TRVADPT.INF"},   {4, "TRVBRG2.INF"},   {5, "TRVBRG1.INF"},
        {6, "TRVIOS.INF"},    {7, "TRVBRG1.SYS"},   {8, "TRVBRG2.SYS"},   {9, "TRVADPT.SYS"},
        {10, "TRVADPT.SYS"},  {12, "TRVIOS.PDR"},   {13, "TRVMINI.SYS"},  {14, "TRVTRAY9X.EXE"},
        {15, "TRVTRAY.EXE"},  {16, "TRVWATCH.EXE"}, {17, "TRVPAGE16.DLL"}, {18, "TRVPAGE32.DLL"},
        {19, "TRVCOINST.DLL"}, {20, "TRVUNINST.EXE"},
        {21, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"},
        {22, "SYSTEM\\CurrentControlSet\\Services\\"},
        {23, "\\INF\\OTHER"},  {24, "\\INF"},
    };
    for (auto& [id, text] : names) EXPECT_EQ(String(id), text) << id;
    EXPECT_EQ(String(3), "<missing>");
    EXPECT_EQ(String(11), "<missing>");
}

TEST_F(UninstStrings, MessageBlocksInEveryLanguage) {
    const std::vector<std::string> english = {
        "Are you sure you want to uninstall the selected device and all of its components?",
        "Confirm Uninstall",
        "To finish uninstalling the device, you must reboot your computer\n\nDo you want to reboot your computer now?",
        "Confirm Reboot",
        "You do not have sufficient security privileges to uninstall devices or device drivers.  Please contact your "
        "site administrator, or logout and log in again as an administrator and try again.",
        "Device Uninstall",
    };
    for (std::uint32_t base : {256u, 1280u, 1536u, 1792u, 2048u, 4096u, 4352u, 4864u, 5120u, 5376u, 5632u, 5888u,
                               6144u, 6400u, 8192u, 8448u})
        for (std::uint32_t i = 0; i < 6; ++i) EXPECT_EQ(String(base + i), english[i]) << base << "+" << i;

    // French: the blank before each question mark does not break.
    EXPECT_EQ(String(512), "\xC3\x8Ates-vous s\xC3\xBBr de vouloir d\xC3\xA9sinstaller le p\xC3\xA9riph\xC3\xA9rique "
                           "s\xC3\xA9lectionn\xC3\xA9 ainsi que tous ses composants\xC2\xA0?");
    EXPECT_EQ(String(513), "Confirmez la d\xC3\xA9sinstallation");
    EXPECT_EQ(String(514), "Vous devez red\xC3\xA9marrer l'ordinateur pour finaliser la d\xC3\xA9sinstallation\n\n"
                           "Voulez-vous red\xC3\xA9marrer maintenant\xC2\xA0?");
    EXPECT_EQ(String(517), "D\xC3\xA9sinstallation du p\xC3\xA9riph\xC3\xA9rique");
    EXPECT_EQ(String(769), "Conferma disinstallazione");
    EXPECT_EQ(String(770), "Per completare la disinstallazione della periferica \xC3\xA8 necessario riavviare il "
                           "computer. \n\nRiavviare il computer adesso?");
    EXPECT_EQ(String(1025), "Deinstallation best\xC3\xA4tigen");
    EXPECT_EQ(String(1029), "Deinstallation Medium");
    EXPECT_EQ(String(2305), "\xE5\x89\x8A\xE9\x99\xA4\xE3\x81\xAE\xE7\xA2\xBA\xE8\xAA\x8D");  // 削除の確認
    EXPECT_EQ(String(4609), "\xEC\x82\xAD\xEC\xA0\x9C \xED\x99\x95\xEC\x9D\xB8");            // 삭제 확인
    // Every translated block is complete and differs from the English one.
    for (std::uint32_t base : {512u, 768u, 1024u, 2304u, 4608u})
        for (std::uint32_t i = 0; i < 6; ++i) {
            EXPECT_NE(String(base + i), "<missing>") << base << "+" << i;
            EXPECT_NE(String(base + i), english[i]) << base << "+" << i;
        }
}

}  // namespace
