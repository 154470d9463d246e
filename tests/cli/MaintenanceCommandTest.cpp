// The maintenance commands of migracja-cli against a program folder with a real database.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/Settings.h"
#include "support/RunCli.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

using namespace migracja;
using migracja::testing::RunCli;

namespace {

using Result = migracja::testing::CliResult;

struct ProgramFolder {
    migracja::testing::TestDatabase db;
    migracja::testing::TempDir dir{"migracja-prog"};

    ProgramFolder() { config::WriteDbSettings(dir.path(), db.Location(), std::nullopt, "x"); }

    Result Run(std::vector<std::string> args) {
        db.Detach();  // the embedded engine lets one process at a time open the file
        args.insert(args.begin() + 1, {"--dir", dir.path().string()});
        return RunCli(args);
    }
    int Count(const std::string& sql) { return db.ScalarInt("SELECT COUNT(*) FROM " + sql); }
};

void ExpectRefused(const Result& r) {
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

}  // namespace

TEST(MaintenanceCommandTest, CleanSerialsPrintsEveryChangedRow) {
    ProgramFolder p;
    p.db.Exec(
        "INSERT INTO EWIDENCJA_SPRZETU (SPRZET_ID, NR_FABRYCZNY) VALUES (1, 'AB 123 45');"
        "INSERT INTO EWIDENCJA_SPRZETU (SPRZET_ID, NR_FABRYCZNY) VALUES (2, 'WZORCOWY 1');");
    const Result r = p.Run({"clean-serials"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "SPRZET_ID 1: 'AB 123 45' -> 'AB12345'\n"
              "Liczba rekordów w których z numeru fabrycznego usunięto spacje = 1\n");
    EXPECT_EQ(p.db.Scalar("SELECT NR_FABRYCZNY FROM EWIDENCJA_SPRZETU WHERE SPRZET_ID = 1"),
              "AB12345");
    const Result again = p.Run({"clean-serials"});
    EXPECT_EQ(again.out, "Numery fabryczne nie zawierają spacji\n");
}

TEST(MaintenanceCommandTest, SplitPhonesProposesInADryRunThenWrites) {
    ProgramFolder p;
    p.db.Exec(
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (1, '0221234567/68');"
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (2, '0221234567wew12');"
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (3, 'fax 1234567, mob 765');"
        "SET GENERATOR GEN_TELEFONY TO 100;");
    const std::string unreadable =
        "TEL_ID 3: 'fax 1234567, mob 765' left unchanged: it cannot be read with confidence\n";

    const Result dry = p.Run({"split-phones", "--dry-run"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out,
              "TEL_ID 1: '0221234567/68' -> NR_KIERUNEK '022', NUMER '1234567'\n"
              "  + NR_KIERUNEK '022', NUMER '1234568'\n"
              "TEL_ID 2: '0221234567wew12' -> NR_KIERUNEK '022', NUMER '1234567'\n"
              "  + NUMER '12', TYP 'Wewnętrzny'\n" +
                  unreadable + "dry run: 4 statements proposed, nothing written\n");
    EXPECT_EQ(p.Count("TELEFONY"), 3);
    EXPECT_EQ(p.Count("TELEFONY WHERE NR_KIERUNEK IS NOT NULL"), 0);

    const Result run = p.Run({"split-phones"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        run.out,
        "TEL_ID 1: '0221234567/68' -> NR_KIERUNEK '022', NUMER '1234567'\n"
        "  + TEL_ID 101: NR_KIERUNEK '022', NUMER '1234568'\n"
        "TEL_ID 2: '0221234567wew12' -> NR_KIERUNEK '022', NUMER '1234567'\n"
        "  + TEL_ID 102: NUMER '12', TYP 'Wewnętrzny'\n" +
            unreadable +
            "Liczba rekordów w których rozłączono numery telefonów = 4\n"
            "Liczba rekordów pozostawionych bez zmian (nie udało się odczytać numerów) = 1\n");
    EXPECT_EQ(p.Count("TELEFONY"), 5);

    const Result again = p.Run({"split-phones"});
    EXPECT_EQ(again.out, unreadable +
                             "Nie odnaleziono żadnych sklejonych numerów telefonów \n"
                             "Liczba rekordów pozostawionych bez zmian (nie udało się odczytać "
                             "numerów) = 1\n");
    EXPECT_EQ(p.Count("TELEFONY"), 5);
}

TEST(MaintenanceCommandTest, DeleteDataNeedsConfirmationAndRefusesWhatItMustNotEmpty) {
    ProgramFolder p;
    p.db.Exec(
        "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT) VALUES (3, 'A');"
        "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT) VALUES (7, 'Owner');"
        "INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (7);"
        "INSERT INTO TELEFONY (TEL_ID, FIRMA_ID, NUMER) VALUES (1, 3, '1234567');");
    ExpectRefused(p.Run({"delete-data", "--tables", "TELEFONY"}));
    ExpectRefused(p.Run({"delete-data", "--tables", "TELEFONY,KODY98", "--yes"}));
    ExpectRefused(p.Run({"delete-data", "--tables", "TELEFONY,BRAK", "--yes"}));
    // Firebird's own tables, however spelt.
    ExpectRefused(p.Run({"delete-data", "--tables", "TELEFONY,mon$attachments", "--yes"}));
    ExpectRefused(p.Run({"delete-data", "--tables", "SEC$USERS", "--yes"}));
    ExpectRefused(p.Run({"delete-data", "--tables", "RDB$PAGES", "--yes"}));
    ExpectRefused(p.Run({"delete-data", "--tables", "REJESTR_FIRM", "--owner", "5", "--yes"}));
    EXPECT_EQ(p.Count("TELEFONY"), 1);

    const Result r = p.Run({"delete-data", "--tables", "rejestr_firm, telefony", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "TELEFONY: 1 rows deleted, GEN_TELEFONY set to 50000\n"
              "REJESTR_FIRM: 1 rows deleted, FIRMA_ID 7 kept, GEN_REJESTR_FIRM set to 8\n"
              "Usunięto wszytkie rekordy z  2 tabel !\n");
    EXPECT_EQ(p.db.Scalar("SELECT FIRMA_ID FROM REJESTR_FIRM"), "7");
    EXPECT_EQ(p.Count("TELEFONY"), 0);

    // Two owner companies: the one to keep must be named.
    p.db.Exec(
        "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT) VALUES (8, 'Second');"
        "INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (8);");
    ExpectRefused(p.Run({"delete-data", "--tables", "REJESTR_FIRM", "--yes"}));
    const Result named =
        p.Run({"delete-data", "--tables", "REJESTR_FIRM", "--owner", "8", "--yes"});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(p.db.Scalar("SELECT FIRMA_ID FROM REJESTR_FIRM"), "8");
}

TEST(MaintenanceCommandTest, DeleteDataFailureNamesTheTableAndTheEmptiedOnes) {
    ProgramFolder p;
    p.db.Exec(
        "INSERT INTO CENNIK (CENA_ID, NAZWA) VALUES (1, 'A');"
        "INSERT INTO DEF_KASYFISKALNE_MODEL (MODEL_ID, NAZWA) VALUES (1, 'Elzab');"
        "INSERT INTO EWIDENCJA_SPRZETU (SPRZET_ID, MODEL_ID) VALUES (1, 1);"
        "ALTER TABLE EWIDENCJA_SPRZETU ADD CONSTRAINT FK_SPRZET_MODEL FOREIGN KEY (MODEL_ID) "
        "REFERENCES DEF_KASYFISKALNE_MODEL (MODEL_ID);");
    const Result r =
        p.Run({"delete-data", "--tables", "CENNIK,DEF_KASYFISKALNE_MODEL,TELEFONY", "--yes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "CENNIK: 1 rows deleted, GEN_CENNIK set to 50000\n");
    EXPECT_EQ(r.err.rfind("Nie udało się usunąć rekordów z tabeli DEF_KASYFISKALNE_MODEL :\n", 0),
              0u)
        << r.err;
    EXPECT_NE(r.err.find("\nWyczyszczone tabele: CENNIK\n"), std::string::npos) << r.err;
    EXPECT_EQ(p.Count("DEF_KASYFISKALNE_MODEL"), 1);
}
