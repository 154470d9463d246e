// Files named by definitions and settings in Windows-1250, in whatever letter case the legacy
// program used, are found on a file system that names them in UTF-8 and minds the case.

#include <gtest/gtest.h>

#include "base/FileSearch.h"
#include "base/Text.h"
#include "config/Settings.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::TempDir;
using migracja::testing::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

fs::path Touch(const fs::path& file) {
    WriteFileBytes(file, "x");
    return file;
}

}  // namespace

TEST(FileSearchTest, PolishLettersMatchInEitherCaseForFilesAndFolders) {
    TempDir dir;
    const fs::path upper = Touch(dir / "ŁÓDŹ.DBF");  // UTF-8 on disk
    const fs::path lower = Touch(dir / "zażółć gęślą.dbf");
    fs::create_directories(dir / "Definicje Migracji Źródłowe");

    EXPECT_EQ(config::FindFile(dir.path(), "łódź.dbf"_w), upper);  // Windows-1250 in the program
    EXPECT_EQ(config::FindFile(dir.path(), "ŁÓDŹ.DBF"_w), upper);
    EXPECT_EQ(config::FindFile(dir.path(), "ZAŻÓŁĆ GĘŚLĄ.DBF"_w), lower);
    EXPECT_EQ(config::FindProgramFile(dir.path(), "Łódź.Dbf"_w), upper);
    // Nothing is found through the UTF-8 bytes of a name: "ł" is not "Ł" byte for byte there.
    EXPECT_EQ(config::FindFile(dir.path(), "łódź.dbf"), std::nullopt);
    // A letter that only looks alike is another letter.
    EXPECT_EQ(config::FindFile(dir.path(), "lodz.dbf"), std::nullopt);

    EXPECT_EQ(config::FindSubfolder(dir.path(), "definicje migracji źródłowe"_w),
              dir / "Definicje Migracji Źródłowe");
    // A file is not a folder, nor a folder a file.
    EXPECT_EQ(config::FindSubfolder(dir.path(), "łódź.dbf"_w), std::nullopt);
    EXPECT_EQ(config::FindFile(dir.path(), "DEFINICJE MIGRACJI ŹRÓDŁOWE"_w), std::nullopt);
    // Missing: the settings helper gives the path with the given spelling, for creating it.
    EXPECT_EQ(config::FindProgramFile(dir.path(), "Nowy ślad.ini"_w), dir / "Nowy ślad.ini");
    EXPECT_EQ(config::FindFile(dir / "nie ma", "łódź.dbf"_w), std::nullopt);
}

TEST(FileSearchTest, TheExactSpellingWinsThenNameOrderAndForeignNamesMatchNothing) {
    TempDir dir;
    Touch(dir / "ĆMA.DBF");
    const fs::path exact = Touch(dir / "ćma.dbf");
    const fs::path mixed = Touch(dir / "Ćma.dbf");
    EXPECT_EQ(config::FindFile(dir.path(), "ćma.dbf"_w), exact);
    // No exact spelling: the first in byte order of the names on disk ("Ć" before "ć").
    EXPECT_EQ(config::FindFile(dir.path(), "ĆMa.DBF"_w), dir / "ĆMA.DBF");
    fs::remove(dir / "ĆMA.DBF");
    EXPECT_EQ(config::FindFile(dir.path(), "ĆMA.dbf"_w), mixed);

    // A name the code page cannot spell becomes '?' as text, but it is no file's name.
    Touch(dir / "a☃.dbf");
    EXPECT_EQ(config::TextFromPath("a☃.dbf"), "a?.dbf");
    EXPECT_EQ(config::FindFile(dir.path(), "a?.dbf"), std::nullopt);
}

TEST(FileSearchTest, NamesCopiedFromWindowsByteForByteAreReadAsWindows1250) {
    TempDir dir;
    const std::string raw = "ŁÓDŹ.DBF"_w;  // not UTF-8: the bytes a Windows copy leaves
    const fs::path file = Touch(dir.path() / fs::path(raw));
    EXPECT_EQ(config::TextFromPath(file.filename()), raw);
    EXPECT_EQ(config::FindFile(dir.path(), "łódź.dbf"_w), file);
    EXPECT_EQ(config::FindFiles(dir.path(), "??DŹ.*"_w), std::vector<fs::path>{file});
}

TEST(FileSearchTest, WildcardSearchListsMatchingFilesInNameOrder) {
    TempDir dir;
    const fs::path a = Touch(dir / "TARV01.DBF");
    const fs::path b = Touch(dir / "tarvół.dbf");  // two letters: two characters, as on Windows
    Touch(dir / "TARV1.DBF");
    Touch(dir / "TARVółę.DBF");
    fs::create_directories(dir / "TARV02.DBF");  // a folder, not a file
    EXPECT_EQ(config::FindFiles(dir.path(), "TARV??.DBF"), (std::vector<fs::path>{a, b}));
    EXPECT_EQ(config::FindFiles(dir.path(), "TARVÓ?.DBF"_w), std::vector<fs::path>{b});
    EXPECT_TRUE(config::FindFiles(dir / "nie ma", "*").empty());
}

TEST(FileSearchTest, FolderTextsWithPolishLettersReachTheFileSystem) {
    // Migracja.ini holds Windows-1250; the folder on disk is named in UTF-8.
    TempDir dir;
    const std::filesystem::path folder = dir.path() / std::filesystem::path("źródło");
    std::filesystem::create_directories(folder);
    const std::string stored = config::TextFromPath(folder);
    EXPECT_EQ(stored, dir.path().string() + "/" + "źródło"_w);
    EXPECT_TRUE(std::filesystem::is_directory(config::PathFromText(stored)));
}

TEST(FileSearchTest, WildcardsMatchOneOrAnyCharactersRegardlessOfCase) {
    using config::WildcardMatch;
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
