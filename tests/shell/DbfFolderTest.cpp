#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "shell/FileSearch.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::ScriptedFolderChoice;
using migracja::testing::ScriptedFolderDialog;
using migracja::testing::TempDir;

TEST(DbfFolderTest, FirstStartAsksAndOkWritesMigracjaIni) {
    TempDir dir;
    ScriptedFolderDialog dialog;
    dialog.answers.push_back("C:\\TARVIK\\DANE");
    const shell::DbfFolderChoice c = shell::ChooseDbfFolder(false, dir.path(), dialog);
    EXPECT_EQ(dialog.openedWith, std::vector<std::string>{""});
    EXPECT_TRUE(c.set);
    EXPECT_EQ(c.folder, "C:\\TARVIK\\DANE");
    EXPECT_EQ(dir.Read("Migracja.ini"), "[Old_Tarvik]\r\nPathToDbf=C:\\TARVIK\\DANE\r\n");

    // Stored now: the next start does not ask.
    const shell::DbfFolderChoice again = shell::ChooseDbfFolder(false, dir.path(), dialog);
    EXPECT_EQ(dialog.openedWith.size(), 1u);
    EXPECT_TRUE(again.set);
    EXPECT_EQ(again.folder, "C:\\TARVIK\\DANE");
}

TEST(DbfFolderTest, AnEmptyOrOneCharacterFolderIsNotSetAndNotWritten) {
    for (const std::string& typed : {std::string(""), std::string("D")}) {
        TempDir dir;
        ScriptedFolderDialog dialog;
        dialog.answers.push_back(typed);
        const shell::DbfFolderChoice c = shell::ChooseDbfFolder(false, dir.path(), dialog);
        EXPECT_FALSE(c.set) << typed;
        EXPECT_EQ(c.folder, typed);
        EXPECT_FALSE(std::filesystem::exists(dir / "Migracja.ini")) << typed;
    }
    // Over a stored folder, a one-character confirmation leaves the file as it was.
    TempDir dir;
    config::WriteDbfFolder(dir.path(), "/dane/dbf");
    ScriptedFolderDialog dialog;
    dialog.answers.push_back("x");
    const shell::DbfFolderChoice c = shell::ChooseDbfFolder(true, dir.path(), dialog);
    EXPECT_FALSE(c.set);
    EXPECT_EQ(config::ReadDbfFolder(dir.path()), "/dane/dbf");
}

TEST(DbfFolderTest, ForcedDialogShowsTheStoredFolderAndCancelKeepsIt) {
    TempDir dir;
    config::WriteDbfFolder(dir.path(), "/dane/ąę"_w);
    const std::string before = dir.Read("Migracja.ini");
    ScriptedFolderDialog dialog;  // empty queue: "&Anuluj"
    const shell::DbfFolderChoice c = shell::ChooseDbfFolder(true, dir.path(), dialog);
    EXPECT_EQ(dialog.openedWith, std::vector<std::string>{"/dane/ąę"_w});
    EXPECT_TRUE(c.set);
    EXPECT_EQ(c.folder, "/dane/ąę"_w);
    EXPECT_EQ(dir.Read("Migracja.ini"), before);

    dialog.answers.push_back("/inne");
    EXPECT_EQ(shell::ChooseDbfFolder(true, dir.path(), dialog).folder, "/inne");
    EXPECT_EQ(config::ReadDbfFolder(dir.path()), "/inne");
}

TEST(DbfFolderTest, BrowseOpensOnTheTypedFolderOrTheProgramDirectory) {
    ScriptedFolderChoice picker;
    picker.answers.push_back("/wybrany");
    EXPECT_EQ(shell::BrowseForDbfFolder(picker, "/wpisany", "/program"),
              std::optional<std::string>("/wybrany"));
    EXPECT_EQ(shell::BrowseForDbfFolder(picker, "", "/program/katalog"), std::nullopt);
    EXPECT_EQ(picker.startFolders, (std::vector<std::string>{"/wpisany", "/program/katalog"}));
    const std::string title = "Gdzie znajdują się pliki  *.DBF  (bazy TARVIK)"_w;
    EXPECT_EQ(picker.titles, (std::vector<std::string>{title, title}));
}

TEST(DbfFolderTest, FolderTextsWithPolishLettersReachTheFileSystem) {
    // Migracja.ini holds Windows-1250; the folder on disk is named in UTF-8.
    TempDir dir;
    const std::filesystem::path folder = dir.path() / std::filesystem::path("źródło");
    std::filesystem::create_directories(folder);
    const std::string stored = shell::TextFromPath(folder);
    EXPECT_EQ(stored, dir.path().string() + "/" + "źródło"_w);
    EXPECT_TRUE(std::filesystem::is_directory(shell::PathFromText(stored)));
}

TEST(DbfFolderTest, WildcardsMatchOneOrAnyCharactersRegardlessOfCase) {
    using shell::WildcardMatch;
    EXPECT_TRUE(WildcardMatch("TARV??.DBF", "tarv01.dbf"));
    EXPECT_TRUE(WildcardMatch("TARV??.DBF", "TARVąĘ.DBF"_w));
    EXPECT_FALSE(WildcardMatch("TARV??.DBF", "TARV1.DBF"));
    EXPECT_FALSE(WildcardMatch("TARV??.DBF", "TARV001.DBF"));
    EXPECT_FALSE(WildcardMatch("TARV??.DBF", "TARV01.DBF.bak"));
    EXPECT_TRUE(WildcardMatch("\?\?-*.ini", "01-.ini"));
    EXPECT_TRUE(WildcardMatch("\?\?-*.ini", "AB-firmy.klienci.INI"));
    EXPECT_FALSE(WildcardMatch("\?\?-*.ini", "1-a.ini"));
    EXPECT_FALSE(WildcardMatch("\?\?-*.ini", "01-a.ini.txt"));
    EXPECT_TRUE(WildcardMatch("*", ""));
    EXPECT_FALSE(WildcardMatch("?", ""));
}
