#include <gtest/gtest.h>

#include <filesystem>

#include "base/Text.h"
#include "config/IniFile.h"
#include "config/Password.h"
#include "config/Settings.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::config;
using namespace migracja::literals;
using migracja::testing::TempDir;

TEST(DbSettingsTest, MissingDbIniIsReportedWithEmptyTexts) {
    TempDir dir;
    dir.Write("Migracja.ini", "[BD_TARVIK]\r\nUser=ADMIN\r\n");
    const DbSettings s = ReadDbSettings(dir.path());
    EXPECT_FALSE(s.found);
    EXPECT_EQ(s.location, "");
    EXPECT_EQ(s.user, "");
    EXPECT_EQ(s.password, "");
    EXPECT_FALSE(ReadDbSettings(dir / "missing folder").found);
}

TEST(DbSettingsTest, StoredValuesAreReadAndThePasswordDecoded) {
    TempDir dir;
    dir.Write("Db.Ini",
              "[BD_TARVIK]\r\nLokalizacja=serwer:C:\\Bazy\\Tarvik Łódź.fdb\r\nUser=ADMIN\r\n"
              "Password="_w +
                  EncodePassword("Hasło"_w) + "\r\n");
    const DbSettings s = ReadDbSettings(dir.path());
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.location, "serwer:C:\\Bazy\\Tarvik Łódź.fdb"_w);
    EXPECT_EQ(s.user, "ADMIN");
    EXPECT_EQ(s.password, "Hasło"_w);
}

TEST(DbSettingsTest, MissingKeysTakeTheirDefaults) {
    TempDir dir;
    dir.Write("Db.Ini", "[BD_TARVIK]\r\nLokalizacja=/data/t.fdb\r\n[Inne]\r\nUser=NOBODY\r\n");
    DbSettings s = ReadDbSettings(dir.path());
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.user, "SYSDBA");
    // The default password text goes through the decoder like a stored value.
    EXPECT_EQ(s.password, DecodePassword("vaultpass"));
    EXPECT_EQ(s.password, "");

    dir.Write("Db.Ini", "");
    s = ReadDbSettings(dir.path());
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.location, "");
    EXPECT_EQ(s.user, "SYSDBA");

    dir.Write("Db.Ini", "[bd_tarvik]\nPassword=\nUser=\n");
    s = ReadDbSettings(dir.path());
    EXPECT_EQ(s.password, "");
    EXPECT_EQ(s.user, "");  // present but empty: no default
}

TEST(DbSettingsTest, AnInvalidStoredPasswordIsAnError) {
    TempDir dir;
    dir.Write("Db.Ini", "[BD_TARVIK]\r\nPassword=abc%def\r\n");
    try {
        ReadDbSettings(dir.path());
        ADD_FAILURE() << "accepted";
    } catch (const PasswordFormatError& e) {
        // The default handler shows this in a box: it must say which file and key to mend.
        EXPECT_EQ(std::string(e.what()),
                  "Hasło do bazy danych zapisane w pliku Db.Ini (klucz Password w sekcji "
                  "[BD_TARVIK]) jest nieprawidłowe: zawiera znak '%' (kod 37). Zapisz hasło "
                  "ponownie poleceniem: migracja-cli dbini write"_w);
    }
}

TEST(DbSettingsTest, WritingCreatesOrUpdatesDbIni) {
    TempDir dir;
    const auto written = WriteDbSettings(dir.path(), " /data/tarvik.fdb", "Łukasz"_w, "tajne");
    EXPECT_EQ(written, dir / "Db.Ini");
    DbSettings s = ReadDbSettings(dir.path());
    EXPECT_EQ(s.location, " /data/tarvik.fdb");  // quoted on writing, so the blank survives
    EXPECT_EQ(s.user, "Łukasz"_w);
    EXPECT_EQ(s.password, "tajne");

    // An existing file under another spelling is updated in place; other lines stay.
    std::filesystem::remove(dir / "Db.Ini");
    dir.Write("DB.INI",
              "; konfiguracja\r\n[BD_TARVIK]\r\nUser=ADMIN\r\nRola=RDB$ADMIN\r\n\r\n"
              "[Inne]\r\nPassword=x\r\n");
    EXPECT_EQ(WriteDbSettings(dir.path(), "srv:/t.fdb", std::nullopt, ""), dir / "DB.INI");
    EXPECT_FALSE(std::filesystem::exists(dir / "Db.Ini"));
    const IniFile ini = IniFile::Load(dir / "DB.INI");
    const std::string stored = ini.ReadString("BD_TARVIK", "Password", "");
    EXPECT_EQ(dir.Read("DB.INI"),
              "; konfiguracja\r\n[BD_TARVIK]\r\nUser=ADMIN\r\nRola=RDB$ADMIN\r\n"
              "Lokalizacja=srv:/t.fdb\r\nPassword=" +
                  stored + "\r\n\r\n[Inne]\r\nPassword=x\r\n");
    s = ReadDbSettings(dir.path());
    EXPECT_EQ(s.user, "ADMIN");  // no user given: the existing one stays
    EXPECT_EQ(s.password, "");

    // A new file without a user names the default one.
    TempDir fresh;
    WriteDbSettings(fresh.path(), "/t.fdb", std::nullopt, "p");
    EXPECT_EQ(IniFile::Load(fresh / "Db.Ini").Find("BD_TARVIK", "User"), "SYSDBA");
}

TEST(ProgramFilesTest, FilesAreFoundWithoutRegardToCase) {
    TempDir dir;
    dir.Write("DB.INI", "[bd_tarvik]\r\nUser=UPPER\r\n");
    EXPECT_EQ(FindProgramFile(dir.path(), "Db.Ini"), dir / "DB.INI");
    EXPECT_EQ(ReadDbSettings(dir.path()).user, "UPPER");

    // The exact spelling wins over other spellings.
    dir.Write("Db.Ini", "[BD_TARVIK]\r\nUser=EXACT\r\n");
    dir.Write("db.ini", "[BD_TARVIK]\r\nUser=LOWER\r\n");
    EXPECT_EQ(ReadDbSettings(dir.path()).user, "EXACT");
    std::filesystem::remove(dir / "Db.Ini");
    EXPECT_EQ(FindProgramFile(dir.path(), "Db.Ini"), dir / "DB.INI");  // name order

    // Folders do not count, and without any match the canonical spelling is given.
    std::filesystem::create_directory(dir / "migracja.INI");
    EXPECT_EQ(FindProgramFile(dir.path(), "Migracja.ini"), dir / "Migracja.ini");
    EXPECT_EQ(FindProgramFile(dir / "missing", "Db.Ini"), dir / "missing" / "Db.Ini");
}

TEST(DbfFolderTest, ReadingAndWritingPathToDbf) {
    TempDir dir;
    EXPECT_EQ(ReadDbfFolder(dir.path()), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "Migracja.ini"));  // reading does not create it

    WriteDbfFolder(dir.path(), "C:\\Tarvik\\Dane Łódź"_w);
    EXPECT_EQ(dir.Read("Migracja.ini"), "[Old_Tarvik]\r\nPathToDbf=C:\\Tarvik\\Dane Łódź\r\n"_w);
    EXPECT_EQ(ReadDbfFolder(dir.path()), "C:\\Tarvik\\Dane Łódź"_w);

    // Under another section the key does not count; an existing file of any case is updated.
    std::filesystem::remove(dir / "Migracja.ini");
    dir.Write("MIGRACJA.INI", "[Tarvik]\nPathToDbf=/zle\n");
    EXPECT_EQ(ReadDbfFolder(dir.path()), "");
    WriteDbfFolder(dir.path(), "/dane/dbf");
    EXPECT_EQ(dir.Read("MIGRACJA.INI"),
              "[Tarvik]\nPathToDbf=/zle\n[Old_Tarvik]\nPathToDbf=/dane/dbf\n");
    EXPECT_EQ(ReadDbfFolder(dir.path()), "/dane/dbf");
    EXPECT_FALSE(std::filesystem::exists(dir / "Migracja.ini"));

    WriteDbfFolder(dir.path(), "'/quoted'");
    EXPECT_EQ(ReadDbfFolder(dir.path()), "'/quoted'");
}

TEST(StartMarkerTest, OnlyAFileOfThatNameCounts) {
    TempDir dir;
    EXPECT_FALSE(StartUncheckedMarkerExists(dir.path()));
    std::filesystem::create_directory(dir / "StartCheckFalse.Dat");
    EXPECT_FALSE(StartUncheckedMarkerExists(dir.path()));
    std::filesystem::remove(dir / "StartCheckFalse.Dat");
    dir.Write("STARTCHECKFALSE.DAT", "");
    EXPECT_TRUE(StartUncheckedMarkerExists(dir.path()));
    EXPECT_FALSE(StartUncheckedMarkerExists(dir / "missing"));
}

TEST(RecordsPerTransactionTest, ValuesOutsideOneTo100000OrNotNumbersAreBroughtIntoBounds) {
    TempDir dir;
    EXPECT_EQ(ReadRecordsPerTransaction(dir.path()), 1);  // no Migracja.ini
    dir.Write("Migracja.ini", "[Old_Tarvik]\r\nPathToDbf=C:\\DBF\r\n");
    EXPECT_EQ(ReadRecordsPerTransaction(dir.path()), 1);  // no section
    const std::vector<std::pair<std::string, int>> cases = {{"1", 1},
                                                            {"2", 2},
                                                            {"1000", 1000},
                                                            {"99999", 99999},
                                                            {"100000", 100000},
                                                            {"100001", 100000},
                                                            {"2147483647", 100000},
                                                            {"0", 1},
                                                            {"-1", 1},
                                                            {"-2147483648", 1},
                                                            {"", 1},
                                                            {"abc", 1},
                                                            {"12abc", 1},
                                                            {"2147483648", 1},
                                                            {"$400", 1024}};
    for (const auto& [value, expected] : cases) {
        // Written in lower case, as a hand-edited file may have it.
        dir.Write("MIGRACJA.INI", "[wydajnosc]\r\nrekordownatransakcje=" + value + "\r\n");
        std::filesystem::remove(dir / "Migracja.ini");
        EXPECT_EQ(ReadRecordsPerTransaction(dir.path()), expected) << "'" << value << "'";
    }
}

TEST(MaxRejectsTest, MissingOrEmptyIsZeroAndABadValueNamesTheFileAndTheKey) {
    TempDir dir;
    EXPECT_EQ(ReadMaxRejects(dir.path()), 0);
    dir.Write("MIGRACJA.INI", "[Bledy]\r\nMaksOdrzuconych=\r\n");
    EXPECT_EQ(ReadMaxRejects(dir.path()), 0);
    for (const auto& [value, limit] :
         std::vector<std::pair<std::string, int>>{{"0", 0}, {" 25 ", 25}, {"1000000", 1000000}}) {
        dir.Write("MIGRACJA.INI", "[Bledy]\r\nMaksOdrzuconych=" + value + "\r\n");
        EXPECT_EQ(ReadMaxRejects(dir.path()), limit) << value;
    }
    for (const std::string value : {"1000001", "-1", "abc", "1e3", "12 3"}) {
        dir.Write("MIGRACJA.INI", "[Bledy]\r\nMaksOdrzuconych=" + value + "\r\n");
        try {
            ReadMaxRejects(dir.path());
            ADD_FAILURE() << value << " was taken";
        } catch (const SettingError& e) {
            const std::string message = text::Win1250ToUtf8(e.what());
            EXPECT_NE(message.find("MaksOdrzuconych"), std::string::npos) << message;
            EXPECT_NE(message.find("[Bledy]"), std::string::npos) << message;
            EXPECT_NE(message.find((dir / "MIGRACJA.INI").string()), std::string::npos) << message;
            EXPECT_NE(message.find(value), std::string::npos) << message;
        }
    }
}
