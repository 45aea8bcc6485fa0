// The uninstaller's removal operations as the machine sees them afterwards:
// files marked, deleted or entered into WININIT.INI, INF copies found by
// their section, registry trees deleted.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "uninst/removal.h"
#include "uninst_fixture.h"

namespace {

using trvtest::RunInside;

constexpr char kWinInit[] = "C:\\WINDOWS\\WinInit.Ini";
constexpr char kDriver[] = "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\TRVADPT.SYS";

class Removal : public ::testing::Test {
protected:
    void Use(plat::OsVersion v) { m.SetVersion(v); }
    sim::Machine m;
};

TEST_F(Removal, OnTheNtFamilyEveryFileIsOnlyMarkedAndGoesAtTheRestart) {
    Use(trvtest::kWindowsXp);
    m.Files().AddFile(kDriver, "driver");
    m.Files().AddFile("C:\\WINDOWS\\INF\\RO.INF", "x", plat::FILE_ATTRIBUTE_READONLY);
    bool driver = false, readOnly = false;
    RunInside(m, [&](plat::System& sys) {
        driver = uninst::RemoveFile(sys, kDriver);
        readOnly = uninst::RemoveFile(sys, "C:\\WINDOWS\\INF\\RO.INF");
    });
    EXPECT_TRUE(driver);
    EXPECT_TRUE(readOnly);
    EXPECT_TRUE(m.Files().Exists(kDriver));
    EXPECT_EQ(m.Files().Attributes("C:\\WINDOWS\\INF\\RO.INF"), plat::FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(m.Files().PendingDeletions(), (std::vector<std::string>{kDriver, "C:\\WINDOWS\\INF\\RO.INF"}));
    EXPECT_FALSE(m.Files().Exists(kWinInit));
    m.Files().CarryOutRestart();
    EXPECT_FALSE(m.Files().Exists(kDriver));
    EXPECT_FALSE(m.Files().Exists("C:\\WINDOWS\\INF\\RO.INF"));
}

TEST_F(Removal, OnWindows98AFreeFileGoesAtOnceAndOneInUseGoesThroughWinInit) {
    Use(trvtest::kWindows98);
    m.Files().AddFile(kDriver, "driver", plat::FILE_ATTRIBUTE_READONLY);
    m.Files().AddFile("C:\\WINDOWS\\SYSTEM\\TRVPAGE32.DLL", "pages");
    m.Files().SetInUse("C:\\WINDOWS\\SYSTEM\\TRVPAGE32.DLL", true);
    bool freeFile = false, inUse = false;
    RunInside(m, [&](plat::System& sys) {
        freeFile = uninst::RemoveFile(sys, kDriver);
        inUse = uninst::RemoveFile(sys, "C:\\WINDOWS\\SYSTEM\\TRVPAGE32.DLL");
    });
    EXPECT_TRUE(freeFile);
    EXPECT_TRUE(inUse);
    EXPECT_FALSE(m.Files().Exists(kDriver));
    EXPECT_TRUE(m.Files().PendingDeletions().empty());
    ASSERT_TRUE(m.Files().Content(kWinInit));
    EXPECT_EQ(*m.Files().Content(kWinInit), "[Rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\TRVPAGE32.DLL\r\n");
    // The restart carries out the section.
    m.Files().CarryOutRestart();
    EXPECT_FALSE(m.Files().Exists("C:\\WINDOWS\\SYSTEM\\TRVPAGE32.DLL"));
    EXPECT_FALSE(m.Files().Exists(kWinInit));
    EXPECT_TRUE(m.Files().Exists("C:\\WINDOWS\\WININIT.BAK"));
}

// Each case: WININIT.INI before (absent when null), the file after one entry
// "NUL=C:\B".
TEST_F(Removal, WinInitEntryGoesRightUnderTheHeader) {
    struct Case {
        const char* name;
        std::optional<std::string> before;  // nullopt: no file
        std::string after;
    };
    const std::string zeroFirst("x\0[Rename]\r\n", 12);
    const Case cases[] = {
        {"absent", std::nullopt, "[Rename]\r\nNUL=C:\\B\r\n"},
        {"empty", "", "[Rename]\r\nNUL=C:\\B\r\n"},
        {"header with an entry", "[Rename]\r\nNUL=C:\\A\r\n", "[Rename]\r\nNUL=C:\\B\r\nNUL=C:\\A\r\n"},
        {"header between sections", "[boot]\r\nx=1\r\n[Rename]\r\nNUL=C:\\A\r\n[other]\r\ny=2\r\n",
         "[boot]\r\nx=1\r\n[Rename]\r\nNUL=C:\\B\r\nNUL=C:\\A\r\n[other]\r\ny=2\r\n"},
        {"header in other letter case", "[rename]\r\nNUL=C:\\A\r\n",
         "[rename]\r\nNUL=C:\\A\r\n[Rename]\r\nNUL=C:\\B\r\n"},
        {"no header", "[boot]\r\nx=1\r\n", "[boot]\r\nx=1\r\n[Rename]\r\nNUL=C:\\B\r\n"},
        // An unfinished last line gets its line break before the new header.
        {"last line without line break", "[boot]\r\nx=1", "[boot]\r\nx=1\r\n[Rename]\r\nNUL=C:\\B\r\n"},
        {"header without line break", "x=1\r\n[Rename]", "x=1\r\n[Rename]\r\n[Rename]\r\nNUL=C:\\B\r\n"},
        // The content is text up to its first zero byte.
        {"header after a zero byte", zeroFirst, zeroFirst + "[Rename]\r\nNUL=C:\\B\r\n"},
    };
    for (const Case& c : cases) {
        sim::Machine mc;
        mc.SetVersion(trvtest::kWindows98);
        if (c.before) mc.Files().AddFile(kWinInit, *c.before);
        bool ok = false;
        RunInside(mc, [&](plat::System& sys) { ok = uninst::AddWinInitRename(sys, "NUL", "C:\\B"); });
        EXPECT_TRUE(ok) << c.name;
        EXPECT_EQ(mc.Files().Content(kWinInit).value_or("<none>"), c.after) << c.name;
    }
}

TEST_F(Removal, SeveralWinInitEntriesComeLastFirst) {
    Use(trvtest::kWindows98);
    RunInside(m, [&](plat::System& sys) {
        uninst::AddWinInitRename(sys, "NUL", "C:\\ONE");
        uninst::AddWinInitRename(sys, "NUL", "C:\\TWO");
        uninst::AddWinInitRename(sys, "NUL", "C:\\THREE");
    });
    EXPECT_EQ(m.Files().Content(kWinInit).value_or(""), "[Rename]\r\nNUL=C:\\THREE\r\nNUL=C:\\TWO\r\nNUL=C:\\ONE\r\n");
}

TEST_F(Removal, WinInitThatCannotBeMappedOrOpenedStaysAsItWas) {
    Use(trvtest::kWindows98);
    const std::string before = "[Rename]\r\nNUL=C:\\A\r\n";
    m.Files().AddFile(kWinInit, before);
    m.Files().FailMappings(1);
    bool mapped = true, opened = true;
    RunInside(m, [&](plat::System& sys) { mapped = uninst::AddWinInitRename(sys, "NUL", "C:\\B"); });
    EXPECT_FALSE(mapped);
    EXPECT_EQ(m.Files().Content(kWinInit).value_or(""), before);

    m.Files().SetInUse(kWinInit, true);
    m.Files().AddFile("C:\\WINDOWS\\X.SYS", "x");
    m.Files().SetInUse("C:\\WINDOWS\\X.SYS", true);
    bool removed = true;
    RunInside(m, [&](plat::System& sys) {
        opened = uninst::AddWinInitRename(sys, "NUL", "C:\\B");
        removed = uninst::RemoveFile(sys, "C:\\WINDOWS\\X.SYS");
    });
    EXPECT_FALSE(opened);
    EXPECT_FALSE(removed);  // neither marked, nor deleted, nor entered: it stays
    EXPECT_TRUE(m.Files().Exists("C:\\WINDOWS\\X.SYS"));
    EXPECT_EQ(m.Files().Content(kWinInit).value_or(""), before);
}

TEST_F(Removal, FolderRemovalsNameTheirFolders) {
    for (bool nt : {true, false}) {
        sim::Machine mc;
        mc.SetVersion(nt ? trvtest::kWindowsXp : trvtest::kWindows98);
        const std::string system = nt ? "C:\\WINDOWS\\SYSTEM32\\" : "C:\\WINDOWS\\SYSTEM\\";
        const std::vector<std::string> paths = {
            system + "TRVPAGE32.DLL", "C:\\WINDOWS\\TRVWATCH.EXE", "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\TRVMINI.SYS",
            "C:\\WINDOWS\\SYSTEM\\IOSUBSYS\\TRVIOS.PDR", "C:\\WINDOWS\\INF\\TRVIOS.INF", "C:\\WINDOWS\\INF\\TRVIOS.PNF"};
        for (const auto& p : paths) mc.Files().AddFile(p, "x");
        RunInside(mc, [&](plat::System& sys) {
            uninst::RemoveSystemFile(sys, "TRVPAGE32.DLL");
            uninst::RemoveWindowsFile(sys, "TRVWATCH.EXE");
            uninst::RemoveDriverFile(sys, "TRVMINI.SYS");
            uninst::RemoveIosubsysFile(sys, "TRVIOS.PDR");
            uninst::RemoveInfFile(sys, "TRVIOS.INF");
        });
        if (nt) {
            EXPECT_EQ(mc.Files().PendingDeletions(), paths);
        } else {
            for (const auto& p : paths) EXPECT_FALSE(mc.Files().Exists(p)) << p;
        }
    }
}

TEST_F(Removal, InfFolderRemovalTakesTheTwinEvenWithoutTheInf) {
    Use(trvtest::kWindows98);
    m.Files().AddFile("C:\\WINDOWS\\INF\\TRVADPT.PNF", "precompiled");
    bool result = false;
    RunInside(m, [&](plat::System& sys) { result = uninst::RemoveInfFile(sys, "TRVADPT.INF"); });
    EXPECT_TRUE(result);
    EXPECT_FALSE(m.Files().Exists("C:\\WINDOWS\\INF\\TRVADPT.PNF"));
}

TEST_F(Removal, NoFolderFromTheSystemMeansNothingIsTouched) {
    Use(trvtest::kWindows98);
    m.Files().AddFile("C:\\WINDOWS\\SYSTEM\\TRVPAGE32.DLL", "x");
    m.Files().AddFile("C:\\WINDOWS\\INF\\TRVIOS.INF", "x");
    m.Files().FailFolderQueries(true);
    std::vector<bool> results;
    RunInside(m, [&](plat::System& sys) {
        results = {uninst::RemoveSystemFile(sys, "TRVPAGE32.DLL"), uninst::RemoveWindowsFile(sys, "TRVWATCH.EXE"),
                   uninst::RemoveDriverFile(sys, "TRVMINI.SYS"), uninst::RemoveIosubsysFile(sys, "TRVIOS.PDR"),
                   uninst::RemoveInfFile(sys, "TRVIOS.INF"), uninst::AddWinInitRename(sys, "NUL", "C:\\X")};
    });
    EXPECT_EQ(results, std::vector<bool>(6, false));
    EXPECT_TRUE(m.Files().Exists("C:\\WINDOWS\\SYSTEM\\TRVPAGE32.DLL"));
    EXPECT_TRUE(m.Files().Exists("C:\\WINDOWS\\INF\\TRVIOS.INF"));
}

TEST_F(Removal, InfCopiesAreFoundByTheirBracketedSection) {
    Use(trvtest::kWindows98);
    const std::string inf = "C:\\WINDOWS\\INF\\";
    m.Files().AddFile(inf + "oem0.inf", "[Version]\r\n[TRVADPT]\r\nCopyFiles=x\r\n");
    m.Files().AddFile(inf + "oem0.PNF", "twin");
    m.Files().AddFile(inf + "OEM7.INF", "[Strings]\r\n[TRVADPT]\r\n");
    m.Files().AddFile(inf + "oem1.inf", "[trvadpt]\r\n");                   // other letter case
    m.Files().AddFile(inf + "oem2.inf", "Section TRVADPT\r\n");              // no brackets
    m.Files().AddFile(inf + "oem3.inf", "[TRVADPT]\r\n", plat::FILE_ATTRIBUTE_READONLY);
    m.Files().AddFile(inf + "oem4.inf", "[TRVADPT]\r\n");                   // in use
    m.Files().SetInUse(inf + "oem4.inf", true);
    m.Files().AddFile(inf + "oem5.inf", std::string("[Version]\0[TRVADPT]\r\n", 21));  // after a zero byte
    m.Files().AddFile(inf + "oem6.inf", "[TRVADPTI]\r\n");                  // another section
    m.Files().AddFile(inf + "machine.inf", "[TRVADPT]\r\n");                // not an oem copy
    bool result = false;
    RunInside(m, [&](plat::System& sys) { result = uninst::RemoveInfCopies(sys, "\\INF", "oem*.inf", "TRVADPT"); });
    EXPECT_TRUE(result);
    EXPECT_EQ(m.Files().FilesIn(inf), (std::vector<std::string>{inf + "machine.inf", inf + "oem1.inf", inf + "oem2.inf",
                                                                inf + "oem3.inf", inf + "oem4.inf", inf + "oem5.inf",
                                                                inf + "oem6.inf"}));
}

TEST_F(Removal, InfCopiesInAMissingOrEmptyFolderAreNothingToDo) {
    Use(trvtest::kWindows98);
    bool missing = false, empty = false;
    m.Files().AddFolder("C:\\WINDOWS\\INF\\EMPTY");
    RunInside(m, [&](plat::System& sys) {
        missing = uninst::RemoveInfCopies(sys, "\\INF\\OTHER", "*.inf", "TRVADPT");
        empty = uninst::RemoveInfCopies(sys, "\\INF\\EMPTY", "*.inf", "TRVADPT");
    });
    EXPECT_TRUE(missing);
    EXPECT_TRUE(empty);
}

TEST_F(Removal, RegistryTreeGoesWithEveryLevelOnBothFamilies) {
    for (bool nt : {true, false}) {
        sim::Machine mc;
        mc.SetVersion(nt ? trvtest::kWindowsXp : trvtest::kWindows98);
        const std::string key = std::string(trvtest::kServiceKey) + "TRVADPT";
        mc.Registry().SetString(key, "ImagePath", "x");
        mc.Registry().SetString(key + "\\Enum", "0", "USB\\1");
        mc.Registry().SetString(key + "\\Parameters\\Deeper\\Deepest", "v", "1");
        mc.Registry().SetString(key + "\\Security", "v", "1");
        mc.Registry().SetString(std::string(trvtest::kServiceKey) + "TRVADPTX", "v", "stays");
        bool result = false;
        RunInside(mc, [&](plat::System& sys) { result = uninst::DeleteRegistryTree(sys, key); });
        EXPECT_TRUE(result);
        EXPECT_FALSE(mc.Registry().KeyExists(key)) << (nt ? "NT" : "9x");
        EXPECT_TRUE(mc.Registry().KeyExists(std::string(trvtest::kServiceKey) + "TRVADPTX"));
    }
}

TEST_F(Removal, RegistryTreeWalkEndsAtAKeyThatCannotBeDeleted) {
    Use(trvtest::kWindowsXp);
    const std::string key = std::string(trvtest::kUninstallKey) + "TRVADPT";
    m.Registry().SetString(key + "\\A", "v", "1");
    m.Registry().SetString(key + "\\B\\Locked", "v", "1");
    m.Registry().SetString(key + "\\B\\Free", "v", "1");
    m.Registry().SetString(key + "\\C", "v", "1");
    m.Registry().SetDenyDelete(key + "\\B\\Locked", true);
    bool result = false;
    auto pid = RunInside(m, [&](plat::System& sys) { result = uninst::DeleteRegistryTree(sys, key); });
    ASSERT_FALSE(m.IsRunning(pid));
    EXPECT_TRUE(result);
    // Only the key that refused, and the keys above it, are left.
    EXPECT_EQ(m.Registry().SubkeyNames(key), (std::vector<std::string>{"B"}));
    EXPECT_EQ(m.Registry().SubkeyNames(key + "\\B"), (std::vector<std::string>{"Locked"}));
}

TEST_F(Removal, MissingRegistryKeyIsNoChangeAndStillSuccess) {
    Use(trvtest::kWindowsXp);
    m.Registry().SetString(std::string(trvtest::kUninstallKey) + "Other", "v", "1");
    bool result = false;
    RunInside(m, [&](plat::System& sys) { result = uninst::DeleteRegistryTree(sys, "SOFTWARE\\Nothing\\Here"); });
    EXPECT_TRUE(result);
    EXPECT_TRUE(m.Registry().KeyExists(std::string(trvtest::kUninstallKey) + "Other"));
}

TEST_F(Removal, RegistryKeyExistsOnlyWhenItOpensWithFullAccess) {
    Use(trvtest::kWindowsXp);
    m.Registry().CreateKeyPath("SOFTWARE\\Open");
    m.Registry().CreateKeyPath("SOFTWARE\\Guarded");
    m.Registry().SetDenyFullAccess("SOFTWARE\\Guarded", true);
    std::vector<bool> found;
    RunInside(m, [&](plat::System& sys) {
        found = {uninst::RegistryKeyExists(sys, "SOFTWARE\\Open"), uninst::RegistryKeyExists(sys, "SOFTWARE\\Guarded"),
                 uninst::RegistryKeyExists(sys, "SOFTWARE\\Missing")};
    });
    EXPECT_EQ(found, (std::vector<bool>{true, false, false}));
}

TEST(RemovalNames, PrecompiledTwinKeepsFolderAndBaseName) {
    EXPECT_EQ(uninst::WithExtension("C:\\WINDOWS\\INF\\oem3.inf", "PNF"), "C:\\WINDOWS\\INF\\oem3.PNF");
    EXPECT_EQ(uninst::WithExtension("C:\\WIN.DIR\\INF\\TRVADPT", "PNF"), "C:\\WIN.DIR\\INF\\TRVADPT.PNF");
    EXPECT_EQ(uninst::WithExtension("C:\\WINDOWS\\INF\\a.b.inf", "PNF"), "C:\\WINDOWS\\INF\\a.b.PNF");
}

}  // namespace
