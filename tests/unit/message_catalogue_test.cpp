// Which language block a system locale selects, and the English fallback.
#include "tray/message_catalogue.h"

#include <gtest/gtest.h>

#include "sim/machine.h"
#include "simulator/suite.h"

extern const trvres::Table kTrayResources;

namespace {

using tray::MessageCatalogue;

constexpr std::uint32_t Lang(std::uint32_t primary, std::uint32_t sub) { return (sub << 10) | primary; }

TEST(MessageCatalogue, BlockForEachLocale) {
    struct Case {
        std::uint32_t lcid;
        std::uint32_t base;
    } cases[] = {
        {Lang(0x0A, 0x02), 1536},  // Mexican Spanish: a block of English texts
        {Lang(0x0A, 0x01), 1280},  // Castilian Spanish: translated
        {Lang(0x0A, 0x03), 1280},  // modern sort
        {Lang(0x04, 0x01), 4096},  // Chinese, Taiwan
        {Lang(0x04, 0x02), 4352},  // Chinese, PRC
        {Lang(0x04, 0x03), 4352},  // Chinese, Hong Kong
        {Lang(0x16, 0x01), 2048},  // Portuguese, Brazil
        {Lang(0x16, 0x02), 1792},  // Portuguese, Portugal
        {Lang(0x09, 0x01), 256},   {Lang(0x09, 0x02), 256}, {Lang(0x09, 0x3F), 256},
        {Lang(0x05, 1), 8192},     {Lang(0x06, 1), 5120},   {Lang(0x07, 1), 1024}, {Lang(0x07, 2), 1024},
        {Lang(0x08, 1), 6400},     {Lang(0x0C, 1), 512},    {Lang(0x0C, 3), 512},  {Lang(0x0E, 1), 8448},
        {Lang(0x10, 1), 768},      {Lang(0x11, 1), 2304},   {Lang(0x12, 1), 4608}, {Lang(0x13, 1), 5376},
        {Lang(0x14, 1), 5632},     {Lang(0x14, 2), 5632},   {Lang(0x15, 1), 6144}, {Lang(0x19, 1), 4864},
        {Lang(0x1D, 1), 5888},
        // The sort identifier above the language identifier plays no part.
        {0x00010407, 1024},
    };
    for (const Case& c : cases) EXPECT_EQ(MessageCatalogue::BlockBaseFor(c.lcid), c.base) << std::hex << c.lcid;
}

TEST(MessageCatalogue, UnlistedPrimaryLanguagesSelectEnglish) {
    for (std::uint32_t primary : {0x00u, 0x01u, 0x02u, 0x03u, 0x0Bu, 0x0Du, 0x0Fu, 0x17u, 0x18u, 0x1Au, 0x1Bu, 0x1Cu,
                                  0x1Eu, 0x20u, 0x3Fu, 0x100u, 0x3FFu})
        for (std::uint32_t sub : {0u, 1u, 2u})
            EXPECT_EQ(MessageCatalogue::BlockBaseFor(Lang(primary, sub)), 256u) << std::hex << primary;
}

// A program whose resources the test chooses, to see what LoadMessage makes of them.
class CatalogueOnMachine : public ::testing::Test {
protected:
    std::string Load(std::uint32_t lcid, std::uint32_t offset) {
        machine.SetDefaultLcid(lcid);
        std::string text;
        machine.InstallProgram("PROBE.EXE", [&](plat::System& sys) {
            text = MessageCatalogue::LoadMessage(sys, offset);
            return 0;
        }, &table);
        machine.StartProcess("PROBE.EXE");
        machine.WaitIdle();
        return text;
    }
    // English 4 and 5; German 4 only; 6 in neither.
    trvres::String strings[3] = {{256 + 4, "No Drives Detected"}, {256 + 5, "Safely Remove %s"}, {1024 + 4, "Kein Laufwerk gefunden"}};
    trvres::Table table{strings, 3, nullptr, 0, nullptr, 0, nullptr, 0};
    sim::Machine machine;
};

TEST_F(CatalogueOnMachine, TranslationEnglishFallbackAndEmpty) {
    EXPECT_EQ(Load(0x0407, 4), "Kein Laufwerk gefunden");
    EXPECT_EQ(Load(0x0407, 5), "Safely Remove %s");  // missing in German: English
    EXPECT_EQ(Load(0x0407, 6), "");                  // missing in both
    EXPECT_EQ(Load(0x0409, 4), "No Drives Detected");
}

// The real tables: the locale is read at every lookup.
TEST(MessageCatalogueResources, RealBlocksFollowTheLocaleAtEachLookup) {
    sim::Machine machine;
    trvsim::InstallSuite(machine);
    std::vector<std::string> seen;
    machine.InstallProgram("PROBE.EXE", [&](plat::System& sys) {
        for (std::uint32_t lcid : {0x0409u, 0x040Cu, 0x080Au, 0x0C0Au, 0x0411u}) {
            machine.SetDefaultLcid(lcid);
            seen.push_back(MessageCatalogue::LoadMessage(sys, tray::MSG_NO_DRIVES));
        }
        machine.SetDefaultLcid(0x0409);
        seen.push_back(tray::FormatText(MessageCatalogue::LoadMessage(sys, tray::MSG_CONFIRM_REMOVAL_TEXT).c_str(), "Disk"));
        return 0;
    }, &kTrayResources);
    machine.SetDefaultLcid(0x0409);
    machine.StartProcess("PROBE.EXE");
    machine.WaitIdle();
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0], "No Drives Detected");
    EXPECT_EQ(seen[1], "Aucun lecteur détecté");
    EXPECT_EQ(seen[2], "No Drives Detected");  // Mexican Spanish shows English
    EXPECT_EQ(seen[3], "No se ha detectado controlador alguno");
    EXPECT_EQ(seen[4], "ドライブが検知できません。");
    EXPECT_EQ(seen[5], "Are you sure you want to remove the 'Disk' storage device");
}

}  // namespace
