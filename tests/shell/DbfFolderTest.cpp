#include <gtest/gtest.h>

#include "ShellFixture.h"

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

TEST(DbfFolderTest, AFolderOfRejectedRecordsServesTheSessionAndIsNotRemembered) {
    TempDir dir;
    config::WriteDbfFolder(dir.path(), "/dane/dbf");
    ScriptedFolderDialog dialog;
    for (const std::string& folder : {(dir / "Odrzucone 15.01.2024 10_30").string(),
                                      (dir / "Odrzucone 1-2-24 9_05/").string()}) {
        dialog.answers.push_back(folder);
        const shell::DbfFolderChoice c = shell::ChooseDbfFolder(true, dir.path(), dialog);
        EXPECT_TRUE(c.set);
        EXPECT_EQ(c.folder, folder);
        EXPECT_EQ(config::ReadDbfFolder(dir.path()), "/dane/dbf");
    }
    // Any other name is remembered as before.
    dialog.answers.push_back("/dane/Odrzucone");
    shell::ChooseDbfFolder(true, dir.path(), dialog);
    EXPECT_EQ(config::ReadDbfFolder(dir.path()), "/dane/Odrzucone");
}
