#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Text.h"
#include "config/Settings.h"
#include "support/RunCli.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::RunCli;
using migracja::testing::RunCliWithInput;
using migracja::testing::TempDir;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> FileNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(NewFolderTest, MakesAProgramFolderTheProgramCanConnectFrom) {
    migracja::testing::TestDatabase database;
    database.Detach();
    TempDir root;
    const fs::path folder = root / "klienci" / "Łódź";
    const auto r = RunCliWithInput(
        {"new-folder", folder.string(), "--samples", "--dbf", (root / "dbf Łódź").string(),
         "--location", database.Location(), "--user", "SYSDBA", "--password-stdin"},
        "Haslo-2\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find((folder / "Db.Ini").string() + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find((folder / "Definicje Migracji" / "05-Zlecenia.ini").string()),
              std::string::npos)
        << r.out;

    EXPECT_EQ(FileNames(folder),
              (std::vector<std::string>{"Db.Ini", "Definicje Migracji", "Migracja.ini"}));
    EXPECT_EQ(FileNames(folder / "Definicje Migracji"),
              (std::vector<std::string>{"01-Firmy.ini", "02-Telefony.ini", "03-Urzadzenia.ini",
                                        "04-Cennik.ini", "05-Zlecenia.ini"}));
    EXPECT_EQ(migracja::testing::ReadFileBytes(folder / "Definicje Migracji" / "01-Firmy.ini"),
              migracja::testing::ReadFileBytes(fs::path(MIGRACJA_SOURCE_DIR) / "sample" /
                                               "definitions" / "01-Firmy.ini"));
    // Migracja.ini holds Windows-1250, as the program reads it.
    EXPECT_EQ(config::ReadDbfFolder(folder), root.path().string() + "/" + "dbf Łódź"_w);
    const config::DbSettings s = config::ReadDbSettings(folder);
    EXPECT_EQ(s.password, "Haslo-2");
    EXPECT_EQ(s.user, "SYSDBA");

    const auto test = RunCli({"dbini", "test", "--dir", folder.string()});
    EXPECT_EQ(test.status, 0) << test.err;
    EXPECT_NE(test.out.find("BD_VER 4.34"), std::string::npos) << test.out;
}

TEST(NewFolderTest, WithoutOptionsOnlyTheDefinitionFolder) {
    TempDir root;
    const auto r = RunCli({"new-folder", (root / "a").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              (root / "a").string() + "\n" + (root / "a" / "Definicje Migracji").string() + "\n");
    EXPECT_EQ(FileNames(root / "a"), std::vector<std::string>{"Definicje Migracji"});
    EXPECT_TRUE(fs::is_empty(root / "a" / "Definicje Migracji"));

    // An existing empty folder is fine.
    fs::create_directory(root / "pusty");
    EXPECT_EQ(RunCli({"new-folder", (root / "pusty").string()}).status, 0);
}

TEST(NewFolderTest, NeverOverwritesAProgramFolderAndRefusesBadUsage) {
    TempDir root;
    // Settings files from Windows come in any letter case.
    root.Write("stary/DB.INI", "[BD_TARVIK]\r\nLokalizacja=produkcja.fdb\r\n");
    root.Write("drugi/MIGRACJA.INI", "[Old_Tarvik]\r\nPathToDbf=C:\\Tarvik\r\n");
    fs::create_directories(root / "trzeci" / "definicje migracji");
    root.Write("plik", "x");
    for (const std::string name : {"stary", "drugi", "trzeci", "plik"}) {
        const auto r = RunCli({"new-folder", (root / name).string(), "--samples"});
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_EQ(r.out, "") << name;
    }
    EXPECT_EQ(root.Read("stary/DB.INI"), "[BD_TARVIK]\r\nLokalizacja=produkcja.fdb\r\n");
    EXPECT_EQ(FileNames(root / "drugi"), std::vector<std::string>{"MIGRACJA.INI"});

    const std::string n = (root / "nowy").string();
    const std::vector<std::vector<std::string>> usage = {
        {"new-folder"},
        {"new-folder", n, n + "2"},
        {"new-folder", n, "--user", "SYSDBA"},
        {"new-folder", n, "--password-stdin"},
        {"new-folder", n, "--colour", "red"},
        {"new-folder", n, "--dbf"},
    };
    for (const auto& args : usage) {
        const auto r = RunCliWithInput(args, "p\n");
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    // A password that is not given leaves the new folder empty, so that it can be made again.
    const auto unasked = RunCli({"new-folder", n, "--samples", "--location", "x.fdb"});
    EXPECT_EQ(unasked.status, 2) << unasked.err;
    EXPECT_TRUE(!fs::exists(n) || fs::is_empty(n));
    EXPECT_EQ(
        RunCliWithInput({"new-folder", n, "--location", "x.fdb", "--password-stdin"}, "p\n").status,
        0);
}
