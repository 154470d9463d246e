#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Text.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "support/DbfWriter.h"
#include "support/RunCli.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::TempDir;

namespace {

using Result = migracja::testing::CliResult;

// The program folder of an installation: Db.Ini, Migracja.ini, the definitions and a DBF folder.
struct ProgramFolder {
    migracja::testing::TestDatabase db;
    TempDir dir{"migracja-prog"};
    TempDir dbf{"migracja-dbf"};
    std::filesystem::path definitions = dir / "definicje MIGRACJI";

    ProgramFolder() {
        config::WriteDbSettings(dir.path(), db.Location(), "SYSDBA", "masterkey");
        config::WriteDbfFolder(dir.path(), dbf.path().string());
        std::filesystem::create_directory(definitions);
    }

    void Definition(const std::string& name, const std::vector<std::string>& lines) {
        std::string bytes;
        for (const auto& l : lines) bytes += l + "\r\n";
        migracja::testing::WriteFileBytes(definitions / name, bytes);
    }

    Result Check(bool prepare = false, long addressSpaceKb = 0) {
        db.Detach();  // the embedded engine lets one process at a time open the file
        std::vector<std::string> args = {"definitions", "check", "--dir", dir.path().string()};
        if (prepare) args.push_back("--prepare");
        return migracja::testing::RunCli(args, addressSpaceKb);
    }

    bool HasKey(const std::string& table) {
        return db.ScalarInt("SELECT COUNT(*) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = '" +
                            table + "' AND RDB$FIELD_NAME = 'DBF_UNQ_KEY'") == 1;
    }
};

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

}  // namespace

TEST(DefinitionsCheckCliTest, LoadsEveryListedDefinitionAndReportsItsErrors) {
    ProgramFolder p;
    migracja::testing::DbfWriter()
        .Field("NRKLI", 'C', 8)
        .Field("NAZWA", 'C', 40)
        .Field("ILE", 'N', 4)
        .Record({"K1", "Firma", "7"})
        .WriteTo(p.dbf / "klienci.dbf");
    p.Definition("01-firmy.ini",
                 {"[START]", "PlikDBF=KLIENCI.DBF", "Indeks=NRKLI", "Tabela_0=REJESTR_FIRM",
                  "Tabela_1=telefony", "[Tabela0]", "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)",
                  "NAZWA_FIRMY=PLIKDBF->NAZWA", "DBF_UNQ_KEY=PLIKDBF->NRKLI", "[Tabela1]",
                  "NUMER=(C)Żółw"_w});
    p.Definition("02-BRAK.INI",
                 {"[START]", "PlikDBF=URZ.DBF", "Tabela_0=NIE_MA_TABELI", "Tabela_1=KATEGORIE"});
    p.Definition("xx.ini", {"[START]", "Tabela_0=GRUPY_SERWIS"});     // not "??-*.ini"
    p.Definition("3-zle.ini", {"[START]", "Tabela_0=GRUPY_SERWIS"});  // neither
    const Result r = p.Check();
    EXPECT_EQ(r.status, 1) << r.out << r.err;

    // The tables are named before the load adds the column to them.
    const std::size_t adding = r.out.find("adding DBF_UNQ_KEY to REJESTR_FIRM");
    const std::size_t adding1 = r.out.find("adding DBF_UNQ_KEY to telefony");
    const std::size_t table0 = r.out.find("table 0: REJESTR_FIRM");
    ASSERT_NE(adding, std::string::npos) << r.out;
    ASSERT_NE(adding1, std::string::npos) << r.out;
    EXPECT_LT(adding1, table0);
    EXPECT_LT(r.out.find("01-firmy.ini"), r.out.find("02-BRAK.INI"));
    EXPECT_TRUE(Contains(r.out, "    FIRMA_ID = GENERATOR(GEN_REJESTR_FIRM)\n"));
    EXPECT_TRUE(Contains(r.out, "    DBF_UNQ_KEY = PLIKDBF->NRKLI\n"));
    EXPECT_TRUE(Contains(r.out, "    NUMER = (C)Żółw\n"));  // printed as UTF-8
    EXPECT_TRUE(Contains(r.out, "1 records, 3 fields\n")) << r.out;
    EXPECT_TRUE(
        Contains(r.out, "      NRKLI C (C 8.0)\n      NAZWA C (C 40.0)\n      ILE N (N 4.0)\n"));
    EXPECT_TRUE(
        Contains(r.out, "  error: W bazie nie ma tabeli o nazwie NIE_MA_TABELI  !\n    (plik "));
    EXPECT_TRUE(Contains(r.out, "02-BRAK.INI)\n"));
    EXPECT_TRUE(Contains(r.out, "URZ.DBF\n    missing in the DBF folder")) << r.out;
    EXPECT_TRUE(Contains(r.out, "table 1: KATEGORIE")) << r.out;
    EXPECT_FALSE(Contains(r.out, "xx.ini"));
    EXPECT_FALSE(Contains(r.out, "3-zle.ini"));
    // The missing table went into the entries; it is not printed a second time.
    EXPECT_FALSE(Contains(r.err, "NIE_MA_TABELI")) << r.err;

    EXPECT_TRUE(p.HasKey("REJESTR_FIRM"));
    EXPECT_TRUE(p.HasKey("TELEFONY"));
    EXPECT_TRUE(p.HasKey("KATEGORIE"));
    EXPECT_FALSE(p.HasKey("GRUPY_SERWIS"));
    EXPECT_EQ(p.db.ScalarInt("SELECT COUNT(*) FROM REJESTR_FIRM"), 0);
    // Shared, read-only access: no index file appears beside the DBF.
    EXPECT_FALSE(std::filesystem::exists(p.dbf / "MIGRACJA.MDX"));
}

TEST(DefinitionsCheckCliTest, SoundDefinitionsPassAndASecondCheckAddsNothing) {
    ProgramFolder p;
    p.Definition("01-kat.ini",
                 {"[START]", "PlikDBF=KAT.DBF", "Tabela_0=KATEGORIE", "[Tabela0]", "NAZWA=(C)X"});
    Result r = p.Check();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "adding DBF_UNQ_KEY to KATEGORIE"));
    EXPECT_TRUE(Contains(r.out, "  ok\n"));
    r = p.Check();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(Contains(r.out, "adding")) << r.out;
}

TEST(DefinitionsCheckCliTest, FolderWithoutDefinitionsFails) {
    ProgramFolder p;
    Result r = p.Check();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "Brak plików z definicjami migracji !")) << r.err;
    std::filesystem::remove(p.definitions);
    r = p.Check();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "Brak podkatalogu o nazwie ..\\Definicje Migracji\\  !")) << r.err;
}

TEST(DefinitionsCheckCliTest, PrepareShowsTheStatementsAndInitialRecordsOfADryRun) {
    ProgramFolder p;
    p.db.Exec("INSERT INTO KATEGORIE (KATEGORIA_ID, NAZWA) VALUES (5, 'Kasy')");
    migracja::testing::DbfWriter()
        .Field("NRKLI", 'C', 8)
        .Field("NAZWA", 'C', 40)
        .Record({"K1", "Firma"})
        .WriteTo(p.dbf / "KLIENCI.DBF");
    p.Definition("01-firmy.ini",
                 {"[START]",
                  "PlikDBF=KLIENCI.DBF",
                  "Tabela_0=REJESTR_FIRM",
                  "[WARUNKI_SQL]",
                  "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
                  "[INITE]",
                  "Tabela_0=KATEGORIE",
                  "TypWyniku_0=(N)",
                  "PoleID_0=KATEGORIA_ID",
                  "Warunek_0=NAZWA = 'Kasy'",
                  "Tabela_1=KATEGORIE",
                  "TypWyniku_1=(N)",
                  "PoleID_1=KATEGORIA_ID",
                  "Warunek_1=NAZWA = 'Nowa'",
                  "[INIT_Tabela_1]",
                  "KATEGORIA_ID=GENERATOR(GEN_KATEGORIE)",
                  "NAZWA=(C)Nowa",
                  "[Tabela0]",
                  "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)",
                  "NAZWA_FIRMY=PLIKDBF->NAZWA",
                  "DBF_UNQ_KEY=PLIKDBF->NRKLI"});
    p.Definition("02-zle.ini", {"[START]", "PlikDBF=KLIENCI.DBF", "Tabela_0=REJESTR_FIRM",
                                "[WARUNKI_SQL]", "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM",
                                "[Tabela0]", "FIRMA_ID=GENERATOR(GEN_NIE_MA)"});
    const Result r = p.Check(true);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    for (const char* line : {
             "prepared (dry run: nothing is written, no generator is drawn):",
             "table 0: REJESTR_FIRM (INSERT, counter 0)",
             "INSERT INTO REJESTR_FIRM ( FIRMA_ID,NAZWA_FIRMY,DBF_UNQ_KEY,KTO_WPISAL,KTO_UTWORZYL,"
             "DATA_WPISU,DATA_UTWORZ,STANOWISKO )  VALUES ( :pFIRMA_ID,:pNAZWA_FIRMY,:pDBF_UNQ_KEY,"
             "'Migracja','Migracja',:pDATA_WPISU,:pDATA_UTWORZ,'Migracja' )",
             ":pFIRMA_ID = {42} generator GEN_REJESTR_FIRM",
             ":pNAZWA_FIRMY = {11} DBF NAZWA",
             ":pDATA_WPISU = {64} current date and time",
             "SQL condition: SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY =  :p0A",
             ":p0A = DBF field NRKLI (C)",
             "initial record 0 (KATEGORIE) exists",
             "initial record 1 (KATEGORIE) would be inserted:",
             "KATEGORIA_ID = next value of GEN_KATEGORIE",
             "INSERT INTO KATEGORIE (NAZWA ) VALUES ( 'Nowa' )",
             " - Nie ma generatora o nazwie GEN_NIE_MA !",
             "records are written: statement by statement: the database is not reached through a "
             "server",
         })
        EXPECT_TRUE(Contains(r.out, line)) << line << "\n" << r.out;
    // Nothing was written: no row, no generator value.
    EXPECT_EQ(p.db.ScalarInt("SELECT COUNT(*) FROM KATEGORIE"), 1);
    EXPECT_EQ(p.db.ScalarInt("SELECT GEN_ID(GEN_KATEGORIE, 0) FROM RDB$DATABASE"), 0);
    EXPECT_EQ(p.db.ScalarInt("SELECT GEN_ID(GEN_REJESTR_FIRM, 0) FROM RDB$DATABASE"), 0);
}

TEST(DefinitionsCheckCliTest, PrepareShowsEverySourceAndTextConditionByItsNumber) {
    // The numbers are what users quote from the listing and from the error entries.
    ProgramFolder p;
    migracja::testing::DbfWriter()
        .Field("NRKLI", 'C', 8)
        .Field("NAZWA", 'C', 40)
        .Field("TELEFON", 'C', 20)
        .Record({"K1", "Firma", "111"})
        .WriteTo(p.dbf / "klienci.dbf");
    p.Definition("01-firmy.ini",
                 {"[START]",
                  "PlikDBF=KLIENCI.DBF",
                  "Tabela_0=REJESTR_FIRM",
                  "Tabela_1=TELEFONY",
                  "[OBLICZANE]",
                  "WynikNr0=Copy40(PLIKDBF->NAZWA);",
                  "[WARUNKI]",
                  "Warunek_0=LENGTH(TRIM(OBLICZENIA->WYNIKNR0))",
                  "Warunek_1=POS(PLIKDBF->NRKLI 'K1 K2')",
                  "[WARUNKI_SQL]",
                  "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
                  "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON",
                  "[Tabela0]",
                  "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)",
                  "NAZWA_FIRMY=OBLICZENIA->WYNIKNR0",
                  "NAZWA_SKROT=SELECT NAZWA FROM KATEGORIE WHERE NAZWA = PLIKDBF->NRKLI",
                  "[Tabela1]",
                  "TEL_ID=GENERATOR(GEN_TELEFONY)",
                  "POLE_ID=GENERATOR(0)",
                  "NUMER=PLIKDBF->TELEFON"});
    const Result r = p.Check(true);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* line : {
             ":pFIRMA_ID = {42} generator GEN_REJESTR_FIRM",
             ":pNAZWA_FIRMY = {21} calculation 0",
             ":pNAZWA_SKROT = {31} lookup SELECT NAZWA FROM KATEGORIE WHERE NAZWA =  :p1A (DBF "
             "NRKLI)",
             "text condition: operator 11 on calculation 0, text '\?\?\?'",
             ":pPOLE_ID = {52} key of table 0",
             ":pNUMER = {11} DBF TELEFON",
             "text condition: operator 2 on DBF field NRKLI, text 'K1 K2'",
         })
        EXPECT_TRUE(Contains(r.out, line)) << line << "\n" << r.out;
}

TEST(DefinitionsCheckCliTest, SpecialFilesAndOverWideKeysAreEachReportedAndTheCheckGoesOn) {
    ProgramFolder p;
    migracja::testing::DbfWriter().Field("NAZWA", 'C', 10).Record({"x"}).WriteTo(p.dbf / "KAT.DBF");
    ASSERT_EQ(::mkfifo((p.dbf / "FIFO.DBF").c_str(), 0600), 0);
    // A wide text field and an index expression of 2,044 characters over it: keys of 10 MB
    // each would take gigabytes for a few hundred records.
    migracja::testing::DbfWriter wide;
    wide.Field("OPIS", 'C', 25600);
    for (int i = 0; i < 300; ++i) wide.Record({"opis " + std::to_string(i)});
    wide.WriteTo(p.dbf / "SZEROKI.DBF");
    std::string expression = "OPIS";
    while (expression.size() + 5 <= 2044) expression += "+OPIS";

    // A FIFO named like a definition would block the check for good.
    ASSERT_EQ(::mkfifo((p.definitions / "01-fifo.ini").c_str(), 0600), 0);
    std::filesystem::create_symlink(p.definitions / "brak.ini", p.definitions / "02-wiszacy.ini");
    std::filesystem::create_symlink(p.definitions / "03-petla.ini", p.definitions / "03-petla.ini");
    p.Definition("04-fifo-dbf.ini",
                 {"[START]", "PlikDBF=FIFO.DBF", "Tabela_0=KATEGORIE", "[Tabela0]", "NAZWA=(C)X"});
    p.Definition("05-szeroki.ini", {"[START]", "PlikDBF=SZEROKI.DBF", "Indeks=" + expression,
                                    "Tabela_0=KATEGORIE", "[Tabela0]", "NAZWA=(C)X"});
    p.Definition("06-dobry.ini", {"[START]", "PlikDBF=KAT.DBF", "Indeks=NAZWA",
                                  "Tabela_0=KATEGORIE", "[Tabela0]", "NAZWA=PLIKDBF->NAZWA"});
    const Result r = p.Check();
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const auto failed = [&](const std::string& definition, const std::string& error) {
        const std::size_t start = r.out.find(definition + "\n");
        if (start == std::string::npos) return false;
        const std::size_t end = r.out.find("\n  FAILED\n", start);
        const std::size_t next = r.out.find("\n0", start + 1);  // the next definition's name
        return end != std::string::npos && end < next &&
               r.out.substr(start, end - start).find(error) != std::string::npos;
    };
    const std::string defs = p.definitions.string();
    EXPECT_TRUE(failed(
        "01-fifo.ini",
        "error: " + defs + "/01-fifo.ini jest łączem nazwanym (FIFO), a nie zwykłym plikiem"))
        << r.out;
    EXPECT_TRUE(failed("02-wiszacy.ini", "error: " + defs +
                                             "/02-wiszacy.ini jest dowiązaniem symbolicznym do "
                                             "pliku, którego nie ma"))
        << r.out;
    EXPECT_TRUE(failed(
        "03-petla.ini",
        "error: " + defs + "/03-petla.ini jest dowiązaniem symbolicznym, które prowadzi w koło"))
        << r.out;
    EXPECT_TRUE(
        failed("04-fifo-dbf.ini", "FIFO.DBF jest łączem nazwanym (FIFO), a nie zwykłym plikiem"))
        << r.out;
    EXPECT_TRUE(failed("05-szeroki.ini", "bajtów; dozwolone jest najwyżej 512")) << r.out;
    EXPECT_TRUE(Contains(r.out, "06-dobry.ini\n  PlikDBF: KAT.DBF\n")) << r.out;
    EXPECT_TRUE(r.out.ends_with("  ok\n")) << r.out;
}

TEST(DefinitionsCheckCliTest, RunningOutOfMemoryFailsThatDefinitionAndTheCheckGoesOn) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
    ProgramFolder p;
    migracja::testing::DbfWriter().Field("NAZWA", 'C', 10).Record({"x"}).WriteTo(p.dbf / "KAT.DBF");
    // A definition of 4 GB (sparse, so it costs no disk) cannot be held in 1 GB.
    p.Definition("01-ogromny.ini", {"[START]"});
    std::filesystem::resize_file(p.definitions / "01-ogromny.ini", 4ull << 30);
    p.Definition("02-dobry.ini", {"[START]", "PlikDBF=KAT.DBF", "Tabela_0=KATEGORIE", "[Tabela0]",
                                  "NAZWA=PLIKDBF->NAZWA"});
    const Result r = p.Check(false, 1024 * 1024);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out,
                         "01-ogromny.ini\n  error: not enough memory to check this "
                         "definition\n  FAILED\n02-dobry.ini\n"))
        << r.out << r.err;
    EXPECT_TRUE(r.out.ends_with("  ok\n")) << r.out << r.err;
}

TEST(DefinitionsCheckCliTest, PrepareReportsEachProblemWithTheEntryARunWrites) {
    // Problems that stop the preparation half-way leave references the listing cannot follow
    // (a field number of -1); the dry run must still print the run's own entries.
    ProgramFolder p;
    migracja::testing::DbfWriter()
        .Field("NRKLI", 'C', 8)
        .Field("NAZWA", 'C', 40)
        .Record({"K1", "Firma"})
        .WriteTo(p.dbf / "KLIENCI.DBF");
    const std::vector<std::string> start = {
        "[START]", "PlikDBF=KLIENCI.DBF", "Tabela_0=REJESTR_FIRM", "[WARUNKI_SQL]",
        "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI"};
    const std::vector<std::string> columns = {"[Tabela0]", "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)",
                                              "NAZWA_FIRMY=PLIKDBF->NAZWA"};
    struct Case {
        const char* file;
        std::vector<std::string> lines;
        const char* entry;
    };
    const std::vector<Case> cases = {
        {"01-tekst.ini",
         {"[WARUNKI]", "Warunek_0=LENGTH(TRIM(PLIKDBF->NOSUCH))"},
         "error: Nie ma pola DBF o nazwie: NOSUCH !\n    Dla pliku KLIENCI.DBF\n    Nr Tabeli = 0  "
         " "
         "Nazwa: REJESTR_FIRM\n    Nr odczytanego rekordu = 0"},
        {"02-pos.ini",
         {"[WARUNKI]", "Warunek_0=POS(PLIKDBF->NOSUCH 'AB')"},
         "error: Nie ma pola DBF o nazwie: NOSUCH !"},
        {"03-obliczenia.ini",
         {"[WARUNKI]", "Warunek_0=LENGTH(TRIM(OBLICZENIA->WYNIKNRX))"},
         "error: Błąd pola obliczanego X !"},
        {"04-gdyjest.ini",
         {"GdyJest_0=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NOSUCH"},
         "error: W pliku KLIENCI.DBF brak pola o nazwie NOSUCH"},
        {"05-wyliczenia.ini",
         {"[OBLICZANE]", "WynikNr0=Copy40(PLIKDBF->NOSUCH);"},
         "error: W pliku KLIENCI.DBF brak pola o nazwie NOSUCH"},
        {"06-inite.ini",
         {"[INITE]", "Tabela_0=KATEGORIE", "TypWyniku_0=(N)", "PoleID_0=KATEGORIA_ID",
          "Warunek_0=NIE_MA_KOLUMNY = 1"},
         "Select Count(*) From KATEGORIE where NIE_MA_KOLUMNY = 1\n    (INITE nr 0, KATEGORIE)"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = start;
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        lines.insert(lines.end(), columns.begin(), columns.end());
        for (std::string& l : lines) l = text::Utf8ToWin1250(l);
        p.Definition(c.file, lines);
    }
    const Result r = p.Check(true);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    for (const Case& c : cases) {
        const std::size_t at = r.out.find(std::string(c.file) + "\n");
        ASSERT_NE(at, std::string::npos) << c.file << "\n" << r.out;
        const std::size_t end = r.out.find("\n  FAILED\n", at);
        ASSERT_NE(end, std::string::npos) << c.file << "\n" << r.out;
        const std::string part = r.out.substr(at, end - at);
        EXPECT_TRUE(Contains(part, c.entry)) << c.file << "\n" << part;
        EXPECT_FALSE(Contains(part, "range")) << c.file << "\n" << part;
    }
}

TEST(DefinitionsCheckCliTest, WarnsOfRecordsTheRunWouldNotReadAndOfACodePageMarkKodowanieMisses) {
    ProgramFolder p;
    const auto file = [&](const std::string& name, const std::string& mark, int count) {
        migracja::testing::DbfWriter w;
        w.Field("NAZWA", 'C', 10).Record({"a"}).Record({"b"}).Record({"c"}).RecordCount(count);
        w.Patch(29, mark).WriteTo(p.dbf / name);
    };
    file("DLUGI.DBF", std::string(1, '\0'), 1);
    file("LATIN.DBF", "\x64", 3);
    file("MAZOWIA.DBF", "\x69", 3);
    file("BEZ.DBF", std::string(1, '\0'), 3);
    const auto definition = [&](const std::string& name, const std::string& dbf,
                                const std::string& encoding) {
        p.Definition(name, {"[START]", "PlikDBF=" + dbf, "Kodowanie=" + encoding,
                            "Tabela_0=KATEGORIE", "[Tabela0]", "NAZWA=PLIKDBF->NAZWA"});
    };
    definition("01-dlugi.ini", "DLUGI.DBF", "?");
    definition("02-latin-bez.ini", "LATIN.DBF", "?");
    definition("03-latin-dobrze.ini", "LATIN.DBF", "Latin2");
    definition("04-mazowia-zle.ini", "MAZOWIA.DBF", "Latin2");
    definition("05-bez-znaku.ini", "BEZ.DBF", "Mazowia");
    const Result r = p.Check();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const auto section = [&](const std::string& name) {
        const std::size_t from = r.out.find(name + "\n");
        const std::size_t to = r.out.find("\n  ok\n", from);
        return from == std::string::npos ? std::string() : r.out.substr(from, to - from);
    };
    EXPECT_TRUE(Contains(section("01-dlugi.ini"),
                         "warning: Plik DBF " + (p.dbf / "DLUGI.DBF").string() +
                             " zawiera 2 rekordów za ostatnim rekordem liczonym w nagłówku (1)"))
        << r.out;
    EXPECT_TRUE(
        Contains(section("02-latin-bez.ini"),
                 "warning: plik jest oznaczony jako zapisany w stronie kodowej 852, a "
                 "definicja czyta go bez Kodowanie; pasuje Kodowanie=L (strona kodowa 852)"))
        << r.out;
    EXPECT_FALSE(Contains(section("03-latin-dobrze.ini"), "warning")) << r.out;
    EXPECT_TRUE(Contains(section("04-mazowia-zle.ini"),
                         "warning: plik jest oznaczony jako zapisany w Mazovii (strona kodowa "
                         "620), a definicja czyta go Kodowanie=L (strona kodowa 852); pasuje "
                         "Kodowanie=M (Mazovia)"))
        << r.out;
    EXPECT_FALSE(Contains(section("05-bez-znaku.ini"), "warning")) << r.out;
}

TEST(DefinitionsCheckCliTest, PrepareReadsTheFirstRecordAsARunWould) {
    ProgramFolder p;
    // The memo file is missing and the definition uses the memo: a run would stop at record 1.
    migracja::testing::DbfWriter(0x83)
        .Field("NAZWA", 'C', 10)
        .Field("UWAGI", 'M', 10)
        .Field("ILE", 'N', 6, 2)
        .Record({"a", "         1", "1.5"})
        .WriteTo(p.dbf / "NOTKI.DBF");
    migracja::testing::DbfWriter()
        .Field("NAZWA", 'C', 10)
        .Field("ILE", 'N', 6, 2)
        .Record({"a", "******"})
        .WriteTo(p.dbf / "LICZBY.DBF");
    for (const auto& [name, dbf, column] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"01-notki.ini", "NOTKI.DBF", "UWAGI"}, {"02-liczby.ini", "LICZBY.DBF", "ILE"}})
        p.Definition(name, {"[START]", "PlikDBF=" + dbf, "Tabela_0=KATEGORIE", "[WARUNKI_SQL]",
                            "Warunek_0=SELECT COUNT(*) FROM KATEGORIE WHERE 1=0", "[Tabela0]",
                            "NAZWA=PLIKDBF->" + column});
    Result r = p.Check();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "warning: brak pliku memo (NOTKI.DBT albo NOTKI.FPT)")) << r.out;

    r = p.Check(true);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out,
                         "error: Brak pliku memo (NOTKI.DBT albo NOTKI.FPT) obok pliku DBF "
                         "(pole UWAGI, rekord nr 1 pliku DBF"))
        << r.out;
    EXPECT_TRUE(Contains(r.out,
                         "error: Nieczytelna wartość pola ILE (nr 1) w rekordzie nr 1 pliku "
                         "LICZBY.DBF: \"******\""))
        << r.out;
    EXPECT_FALSE(Contains(r.out, "  ok\n")) << r.out;
}

TEST(DefinitionsCheckCliTest, ThePreparedDefinitionShowsHowManyRecordsATransactionHoldsAndWhy) {
    ProgramFolder p;
    config::WriteProfileString(p.dir / "Migracja.ini", "Wydajnosc", "RekordowNaTransakcje", "500");
    migracja::testing::DbfWriter()
        .Field("NRKLI", 'C', 8)
        .Field("TELEFON", 'C', 15)
        .Record({"K1", "111"})
        .WriteTo(p.dbf / "KLIENCI.DBF");
    const std::vector<std::string> head = {
        "[START]",
        "PlikDBF=KLIENCI.DBF",
        "Tabela_0=REJESTR_FIRM",
        "Tabela_1=TELEFONY",
        "[WARUNKI_SQL]",
        "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
        "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON",
        "[Tabela0]",
        "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)",
        "DBF_UNQ_KEY=PLIKDBF->NRKLI",
        "[Tabela1]",
        "TEL_ID=GENERATOR(GEN_TELEFONY)",
        "FIRMA_ID=GENERATOR(0)",
        "NUMER=PLIKDBF->TELEFON"};
    std::vector<std::string> own = head;
    own.push_back("POLE_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI");
    p.Definition("01-wlasne.ini", own);
    p.Definition("02-grupy.ini", head);
    const Result r = p.Check(true);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::size_t second = r.out.find("02-grupy.ini");
    ASSERT_NE(second, std::string::npos) << r.out;
    const std::string first = r.out.substr(0, second);
    EXPECT_TRUE(
        Contains(first,
                 "    records per transaction: 1, not 500: the lookup of POLE_ID in table 1 "
                 "reads REJESTR_FIRM, which table 0 of the same record writes\n"))
        << r.out;
    EXPECT_TRUE(Contains(r.out.substr(second), "    records per transaction: 500\n")) << r.out;
}
