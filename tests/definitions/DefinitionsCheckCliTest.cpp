#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "config/Text.h"
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
    EXPECT_TRUE(
        failed("01-fifo.ini",
               "error: " + defs + "/01-fifo.ini is a named pipe (FIFO), not a regular file"))
        << r.out;
    EXPECT_TRUE(failed("02-wiszacy.ini", "error: " + defs +
                                             "/02-wiszacy.ini is a symbolic link whose target "
                                             "does not exist"))
        << r.out;
    EXPECT_TRUE(failed("03-petla.ini",
                       "error: " + defs + "/03-petla.ini is a symbolic link that leads round"))
        << r.out;
    EXPECT_TRUE(failed("04-fifo-dbf.ini", "FIFO.DBF is a named pipe (FIFO), not a regular file"))
        << r.out;
    EXPECT_TRUE(failed("05-szeroki.ini", "bytes wide; at most 512 are allowed")) << r.out;
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
