#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Text.h"
#include "config/IniFile.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::config;
using namespace migracja::literals;
using migracja::testing::TempDir;

TEST(IniFileReadTest, NamesIgnoreCaseAndBlanksAndValuesAreTrimmed) {
    const IniFile ini = IniFile::Parse(
        "[BD_TARVIK]\r\n"
        "Lokalizacja = serwer:/dane/tarvik.fdb   \r\n"
        "  user\t=\tADMIN\r\n"
        "   [  other  ]\r\n"
        "Key=Value=With=Equals\r\n"
        "[Łódź]\r\n"
        "ŻÓŁW=zielony\r\n"_w);
    EXPECT_EQ(ini.ReadString("bd_tarvik", "LOKALIZACJA", ""), "serwer:/dane/tarvik.fdb");
    EXPECT_EQ(ini.ReadString("BD_TARVIK", "User", "SYSDBA"), "ADMIN");
    EXPECT_EQ(ini.ReadString(" BD_TARVIK ", " User ", ""), "ADMIN");
    EXPECT_EQ(ini.ReadString("OTHER", "key", ""), "Value=With=Equals");
    EXPECT_EQ(ini.ReadString("łÓDŹ"_w, "żółw"_w, ""), "zielony");
    EXPECT_TRUE(ini.SectionExists("Other"));
    EXPECT_FALSE(ini.SectionExists("BD"));
    EXPECT_TRUE(ini.Exists());
}

TEST(IniFileReadTest, FirstOccurrenceWinsAndOnlyTheFirstSectionCounts) {
    const IniFile ini = IniFile::Parse(
        "[A]\n"
        "k=first\n"
        "K=second\n"
        "[B]\n"
        "k=in b\n"
        "[a]\n"
        "k=third\n"
        "only=later section\n");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "first");
    EXPECT_EQ(ini.ReadString("B", "K", ""), "in b");
    // A repeated section is not searched, as with the Windows functions.
    EXPECT_EQ(ini.ReadString("A", "only", "default"), "default");
}

TEST(IniFileReadTest, KeysOfOtherSectionsCommentsAndLinesWithoutEqualsAreIgnored) {
    const IniFile ini = IniFile::Parse(
        "PathToDbf=before any section\r\n"
        "[Stare]\r\n"
        "PathToDbf=C:\\wrong\r\n"
        "[Old_Tarvik]\r\n"
        ";PathToDbf=C:\\commented\r\n"
        "  ; Password=zzz\r\n"
        "PathToDbf\r\n"
        "Password\r\n"
        "[Inna]\r\n"
        "Password=xyz\r\n");
    EXPECT_EQ(ini.ReadString("Old_Tarvik", "PathToDbf", ""), "");
    EXPECT_FALSE(ini.Find("Old_Tarvik", "PathToDbf").has_value());
    EXPECT_EQ(ini.ReadString("Old_Tarvik", "Password", "vaultpass"), "vaultpass");
    EXPECT_EQ(ini.ReadString("Stare", "PathToDbf", ""), "C:\\wrong");
    // A value may begin with ';'.
    EXPECT_EQ(IniFile::Parse("[s]\nk= ;not a comment\n").ReadString("s", "k", ""),
              ";not a comment");
}

TEST(IniFileReadTest, MatchingEnclosingQuotesAreDropped) {
    const IniFile ini = IniFile::Parse(
        "[q]\n"
        "double=\"  spaced  \"\n"
        "single=  'x'  \n"
        "nested=\"'inner'\"\n"
        "mixed=\"abc'\n"
        "lone=\"\n"
        "empty=\"\"\n"
        "inside=a \"b\" c\n"
        "blank=\n");
    EXPECT_EQ(ini.ReadString("q", "double", ""), "  spaced  ");
    EXPECT_EQ(ini.ReadString("q", "single", ""), "x");
    EXPECT_EQ(ini.ReadString("q", "nested", ""), "'inner'");
    EXPECT_EQ(ini.ReadString("q", "mixed", ""), "\"abc'");
    EXPECT_EQ(ini.ReadString("q", "lone", ""), "\"");
    EXPECT_EQ(ini.ReadString("q", "empty", "d"), "");
    EXPECT_EQ(ini.ReadString("q", "inside", ""), "a \"b\" c");
    // A key with an empty value is found: it does not give the default.
    EXPECT_EQ(ini.ReadString("q", "blank", "default"), "");
}

TEST(IniFileReadTest, ValuesAndDefaultsAreCutAt2047Characters) {
    const std::string longValue(3000, 'v');
    const IniFile ini =
        IniFile::Parse("[s]\nlong=" + longValue + "\nquoted=\"" + std::string(2047, 'q') +
                       "\"\nexact=" + std::string(2047, 'e') + "\n");
    EXPECT_EQ(ini.ReadString("s", "long", ""), std::string(2047, 'v'));
    EXPECT_EQ(ini.ReadString("s", "quoted", ""), std::string(2047, 'q'));
    EXPECT_EQ(ini.ReadString("s", "exact", ""), std::string(2047, 'e'));
    EXPECT_EQ(ini.ReadString("s", "missing", longValue), std::string(2047, 'v'));
    // Trailing blanks of a default go, as GetPrivateProfileString drops them.
    EXPECT_EQ(ini.ReadString("s", "missing", "  abc  "), "  abc");
}

TEST(IniFileReadTest, AllLineEndsSeparateLines) {
    const IniFile ini = IniFile::Parse("[s]\ra=1\rb=2\n\n[t]\r\nc=3");
    EXPECT_EQ(ini.ReadString("s", "a", ""), "1");
    EXPECT_EQ(ini.ReadString("s", "b", ""), "2");
    EXPECT_EQ(ini.ReadString("t", "c", ""), "3");
    EXPECT_EQ(IniFile::Parse("[s]\nno bracket line\n[broken\nk=v\n").ReadString("broken", "k", ""),
              "v");
}

TEST(IniFileReadTest, IntegersFollowDelphiStrToInt) {
    EXPECT_EQ(ParseDelphiInteger("123"), 123);
    EXPECT_EQ(ParseDelphiInteger("-123"), -123);
    EXPECT_EQ(ParseDelphiInteger("+7"), 7);
    EXPECT_EQ(ParseDelphiInteger("  42"), 42);
    EXPECT_EQ(ParseDelphiInteger("007"), 7);
    EXPECT_EQ(ParseDelphiInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseDelphiInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseDelphiInteger("$FF"), 255);
    EXPECT_EQ(ParseDelphiInteger("0x1f"), 31);
    EXPECT_EQ(ParseDelphiInteger("X10"), 16);
    EXPECT_EQ(ParseDelphiInteger("-$10"), -16);
    EXPECT_EQ(ParseDelphiInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseDelphiInteger("$80000000"), INT32_MIN);
    for (const char* bad : {"", " ", "-", "+", "$", "0x", "12a", "1 ", "1.5", "2147483648",
                            "-2147483649", "$100000000", "--1", "\t1", "99999999999999999999"})
        EXPECT_FALSE(ParseDelphiInteger(bad).has_value()) << '"' << bad << '"';

    const IniFile ini = IniFile::Parse("[n]\na= 12 \nb=$1A\nc=twelve\nd=0x10\n");
    EXPECT_EQ(ini.ReadInteger("n", "a", -1), 12);
    EXPECT_EQ(ini.ReadInteger("n", "b", -1), 26);
    EXPECT_EQ(ini.ReadInteger("n", "c", -1), -1);
    EXPECT_EQ(ini.ReadInteger("n", "d", -1), 16);
    EXPECT_EQ(ini.ReadInteger("n", "missing", 5), 5);
}

TEST(IniFileFileTest, MissingFileGivesDefaultsAndIsNotCreated) {
    TempDir dir;
    const auto path = dir / "Brak.ini";
    const IniFile ini = IniFile::Load(path);
    EXPECT_FALSE(ini.Exists());
    EXPECT_EQ(ini.ReadString("s", "k", "default"), "default");
    EXPECT_EQ(ini.ReadInteger("s", "k", 3), 3);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(IniFile::Load(dir / "no" / "such" / "dir.ini").Exists());

    std::filesystem::create_directory(dir / "folder.ini");
    EXPECT_THROW(IniFile::Load(dir / "folder.ini"), std::runtime_error);
}

TEST(IniFileFileTest, OnlyRegularFilesAreReadAndLinksAreFollowedOrReported) {
    TempDir dir;
    dir.Write("plik.ini", "[S]\r\nK=v\r\n");
    std::filesystem::create_symlink(dir / "plik.ini", dir / "link.ini");
    EXPECT_EQ(IniFile::Load(dir / "link.ini").ReadString("s", "k", ""), "v");

    // A FIFO would block the reader for good, waiting for a writer that never comes.
    ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir / "fifo.ini", dir / "to-fifo.ini");
    std::filesystem::create_symlink(dir / "gone.ini", dir / "dangling.ini");
    std::filesystem::create_symlink(dir / "loop-b.ini", dir / "loop-a.ini");
    std::filesystem::create_symlink(dir / "loop-a.ini", dir / "loop-b.ini");
    std::filesystem::create_directory(dir / "folder.ini");
    const std::pair<const char*, const char*> refused[] = {
        {"fifo.ini", "jest łączem nazwanym (FIFO), a nie zwykłym plikiem"},
        {"to-fifo.ini", "jest łączem nazwanym (FIFO), a nie zwykłym plikiem"},
        {"dangling.ini", "jest dowiązaniem symbolicznym do pliku, którego nie ma"},
        {"loop-a.ini", "jest dowiązaniem symbolicznym, które prowadzi w koło"},
        {"folder.ini", "jest folderem, a nie zwykłym plikiem"},
    };
    for (const auto& [name, why] : refused) {
        SCOPED_TRACE(name);
        const std::string path = (dir / name).string();
        try {
            IniFile::Load(path);
            ADD_FAILURE() << "read";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), path + " " + text::Utf8ToWin1250(why));
        }
    }
    // /dev/zero never ends.
    EXPECT_THROW(IniFile::Load("/dev/zero"), std::runtime_error);
}

TEST(IniFileReadTest, AFileOfManyKeysIsIndexedOnceSoEveryKeyCanBeLookedUp) {
    // Lookups that each walked the file would take hours here.
    std::string bytes = "[Inne]\r\nK0=inne\r\n[Duza]\r\n";
    constexpr int kKeys = 200000;
    for (int i = 0; i < kKeys; ++i)
        bytes += "K" + std::to_string(i) + "=" + std::to_string(i * 7) + "\r\n";
    bytes += "k5=druga\r\n[duza]\r\nK1=powtorzona sekcja\r\n";
    IniFile ini = IniFile::Parse(bytes);
    long long sum = 0;
    for (int i = 0; i < kKeys; ++i) sum += ini.ReadInteger("DUZA", "k" + std::to_string(i), -1);
    EXPECT_EQ(sum, 7LL * kKeys * (kKeys - 1) / 2);
    EXPECT_EQ(ini.ReadString("duza", "K5", ""), "35");  // the first occurrence wins
    EXPECT_EQ(ini.ReadString("duza", "K1", ""), "7");   // only the first section counts
    EXPECT_EQ(ini.ReadString("inne", "K0", ""), "inne");
    EXPECT_EQ(ini.ReadString("duza", "K200000", "brak"), "brak");

    // Changes keep the index true: a new key, a new section, a changed value.
    ini.Set("Inne", "Nowy", "1");
    ini.Set("Trzecia", "A", "2");
    ini.Set("Duza", "K3", "x");
    EXPECT_EQ(ini.ReadString("inne", "nowy", ""), "1");
    EXPECT_EQ(ini.ReadString("trzecia", "a", ""), "2");
    EXPECT_EQ(ini.ReadString("duza", "k3", ""), "x");
    EXPECT_EQ(ini.ReadString("duza", "k4", ""), "28");
    EXPECT_EQ(ini.ReadString("duza", "k199999", ""), "1399993");
}

TEST(IniFileFileTest, LoadReadsBytesUnchanged) {
    TempDir dir;
    dir.Write("t.ini", "[Sekcja]\r\nNazwa=Zaż\x01ółć\r\n"_w);
    const IniFile ini = IniFile::Load(dir / "t.ini");
    EXPECT_TRUE(ini.Exists());
    EXPECT_EQ(ini.ReadString("sekcja", "nazwa", ""), "Zaż\x01ółć"_w);
}

TEST(IniFileWriteTest, ChangingAKeyKeepsEveryOtherLineByteForByte) {
    TempDir dir;
    const std::string before =
        "; ustawienia\r\n"
        "[Old_Tarvik]\r\n"
        "  pathtodbf = C:\\Stare  \r\n"
        "Inny=  x  \r\n"
        "\r\n"
        "[Reszta]\n"
        "PathToDbf=nie ruszać\n"
        "bez końca"_w;
    dir.Write("Migracja.ini", before);
    WriteProfileString(dir / "Migracja.ini", "OLD_TARVIK", "PathToDbf", "D:\\Nowe dane");
    EXPECT_EQ(dir.Read("Migracja.ini"),
              "; ustawienia\r\n"
              "[Old_Tarvik]\r\n"
              "pathtodbf=D:\\Nowe dane\r\n"
              "Inny=  x  \r\n"
              "\r\n"
              "[Reszta]\n"
              "PathToDbf=nie ruszać\n"
              "bez końca"_w);
    EXPECT_EQ(IniFile::Load(dir / "Migracja.ini").ReadString("Old_Tarvik", "PathToDbf", ""),
              "D:\\Nowe dane");
}

TEST(IniFileWriteTest, NewKeysGoToTheEndOfTheirSectionAndNewSectionsToTheEnd) {
    IniFile ini = IniFile::Parse(
        "[A]\r\n"
        "x=1\r\n"
        "; koniec A\r\n"
        "\r\n"
        "[B]\r\n"
        "y=2");
    ini.Set("a", "z", "3");
    ini.Set("B", "w", "4");
    ini.Set("C", "v", "5");
    ini.Set("c", "u", "6");
    EXPECT_EQ(ini.Bytes(),
              "[A]\r\n"
              "x=1\r\n"
              "; koniec A\r\n"
              "z=3\r\n"
              "\r\n"
              "[B]\r\n"
              "y=2\r\n"
              "w=4\r\n"
              "[C]\r\n"
              "v=5\r\n"
              "u=6\r\n");
    // The first of repeated keys is the one changed.
    IniFile twice = IniFile::Parse("[s]\nk=1\nk=2\n");
    twice.Set("s", "K", "9");
    EXPECT_EQ(twice.Bytes(), "[s]\nk=9\nk=2\n");
}

TEST(IniFileWriteTest, NewLinesFollowTheFileLineEndAndNewFilesUseCrLf) {
    IniFile lf = IniFile::Parse("[s]\nk=1\n");
    lf.Set("t", "n", "2");
    EXPECT_EQ(lf.Bytes(), "[s]\nk=1\n[t]\nn=2\n");

    TempDir dir;
    WriteProfileString(dir / "Nowy.ini", "Old_Tarvik", "PathToDbf", "C:\\Dane");
    EXPECT_EQ(dir.Read("Nowy.ini"), "[Old_Tarvik]\r\nPathToDbf=C:\\Dane\r\n");
    WriteProfileString(dir / "Nowy.ini", "Old_Tarvik", "PathToDbf", "");
    EXPECT_EQ(dir.Read("Nowy.ini"), "[Old_Tarvik]\r\nPathToDbf=\r\n");

    dir.Write("Pusty.ini", "");
    WriteProfileString(dir / "Pusty.ini", "s", "k", "v");
    EXPECT_EQ(dir.Read("Pusty.ini"), "[s]\r\nk=v\r\n");
}

TEST(IniFileWriteTest, UnstorableTextsAndUnwritablePathsAreRefused) {
    IniFile ini = IniFile::Parse("[s]\nk=1\n");
    EXPECT_THROW(ini.Set("s", "k", "a\r\nb=c"), std::invalid_argument);
    EXPECT_THROW(ini.Set("s", "k=x", "v"), std::invalid_argument);
    EXPECT_THROW(ini.Set("s", "", "v"), std::invalid_argument);
    EXPECT_THROW(ini.Set("s", ";k", "v"), std::invalid_argument);
    EXPECT_THROW(ini.Set("a]b", "k", "v"), std::invalid_argument);
    EXPECT_EQ(ini.Bytes(), "[s]\nk=1\n");

    TempDir dir;
    try {
        WriteProfileString(dir / "no such folder" / "x.ini", "s", "k", "v");
        ADD_FAILURE() << "wrote into a missing folder";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Nie można zapisać pliku "_w +
                                             (dir / "no such folder" / "x.ini").string() +
                                             ": nie ma takiego pliku ani folderu");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "no such folder"));

    // A NUL ends the line for readers that take the file as C text.
    EXPECT_THROW(ini.Set("s", "k", std::string("a\0b", 3)), std::invalid_argument);
    EXPECT_THROW(ini.Set("s", std::string("k\0", 2), "v"), std::invalid_argument);
    try {
        ini.Set("BD_TARVIK", "Lokalizacja", "a\nb");
        ADD_FAILURE();
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Wartość klucza Lokalizacja w sekcji [BD_TARVIK] nie może zawierać końca "
                  "wiersza ani znaku NUL"_w);
    }
    EXPECT_EQ(ini.Bytes(), "[s]\nk=1\n");

    // What stands at the path and is not a file is left alone.
    std::filesystem::create_directory(dir / "Folder.ini");
    try {
        WriteProfileString(dir / "Folder.ini", "s", "k", "v");
        ADD_FAILURE() << "wrote over a folder";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("jest folderem"_w), std::string::npos) << e.what();
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "Folder.ini"));
}

namespace {

// Saves in a child process whose files may grow to `limit` bytes only, as on a full disk or an
// exhausted quota; true when Save reported the failure with an exception.
bool SaveFailsUnderSizeLimit(const IniFile& ini, const std::filesystem::path& path, rlim_t limit) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        const rlimit small{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &small);
        try {
            ini.Save(path);
        } catch (const std::runtime_error& e) {
            const std::string expected = "Nie można zapisać pliku "_w + path.string() +
                                         ": plik przekroczyłby dopuszczalny rozmiar"_w;
            ::_exit(std::string(e.what()) == expected ? 0 : 3);
        }
        ::_exit(2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> FileNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(IniFileWriteTest, ASaveCutShortLeavesTheOldFileWholeAndNoTemporaryFile) {
    TempDir dir;
    const std::string before =
        "[BD_TARVIK]\r\nLokalizacja=serwer:/dane/tarvik.fdb\r\nUser=SYSDBA\r\n"
        "Password=AbCdEfGhIjKlMnOpQrStUvWx\r\n";
    dir.Write("Db.Ini", before);
    ::chmod((dir / "Db.Ini").c_str(), 0600);
    IniFile ini = IniFile::Load(dir / "Db.Ini");
    // Longer than the limit: the keys after the cut would be lost.
    ini.Set("BD_TARVIK", "Lokalizacja", std::string(6000, 'x'));
    ASSERT_TRUE(SaveFailsUnderSizeLimit(ini, dir / "Db.Ini", 4096));
    EXPECT_TRUE(dir.Read("Db.Ini") == before) << "the old file was cut";
    EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"Db.Ini"});

    // Without the limit the same save goes through and keeps the file's permissions.
    ini.Save(dir / "Db.Ini");
    EXPECT_EQ(IniFile::Load(dir / "Db.Ini").ReadString("bd_tarvik", "password", ""),
              "AbCdEfGhIjKlMnOpQrStUvWx");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "Db.Ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"Db.Ini"});
}

TEST(IniFileWriteTest, ASaveThroughALinkChangesTheFileItNamesAndKeepsTheLink) {
    TempDir dir;
    std::filesystem::create_directory(dir / "wspolne");
    dir.Write("wspolne/Migracja.ini", "[Old_Tarvik]\r\nPathToDbf=C:\\Stare\r\n");
    std::filesystem::create_symlink("wspolne/Migracja.ini", dir / "Migracja.ini");
    WriteProfileString(dir / "Migracja.ini", "Old_Tarvik", "PathToDbf", "D:\\Nowe");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "Migracja.ini"));
    EXPECT_EQ(dir.Read("wspolne/Migracja.ini"), "[Old_Tarvik]\r\nPathToDbf=D:\\Nowe\r\n");
    EXPECT_EQ(FileNames(dir / "wspolne"), std::vector<std::string>{"Migracja.ini"});
}
