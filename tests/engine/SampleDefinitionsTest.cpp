// The sample definitions shipped with the program, run one after the other by the real engine
// over legacy files like the demo's: every kind of column source, conditions, an UPDATE table,
// an initial record and calculations, as a user would run them.

#include <gtest/gtest.h>

#include "engine/SampleLegacyFiles.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;

using migracja::testing::SampleDefinition;
using migracja::testing::WriteLegacyFiles;

TEST(SampleDefinitionsTest, TheSampleDefinitionsMigrateTheLegacyFilesInTheirOrder) {
    EngineFixture f(migracja::testing::kSampleTargetRows);
    WriteLegacyFiles(f);
    for (const char* name : migracja::testing::kSampleDefinitions) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(f.Prepare(SampleDefinition(name))) << f.Log();
        f.Run();
        ASSERT_FALSE(f.dane.Definition.StopRequested) << f.Log();
        EXPECT_TRUE(f.dane.MigrationErrorLog.empty()) << f.Log();
        f.dane.CloseSourceTable();
    }
    // Companies with a name, keyed by the legacy code; the joined remark; the taxpayer mark of
    // the UPDATE table.
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY > ''"), 2);
    EXPECT_EQ(f.db.Scalar("SELECT UWAGI FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = 'K00001'"),
              "K00001/stały klient (Z TARVIKA)"_w);
    EXPECT_EQ(
        f.db.Scalar("SELECT F_PODATNIK || F_SERWIS FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = 'K00001'"),
        "TN");
    EXPECT_EQ(f.db.Scalar("SELECT F_PODATNIK FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = 'K00002'"), "N");
    // Calculations: a short name made unique, postal codes with their dash, a start date before
    // 1991 replaced by 1 January 2000.
    EXPECT_EQ(
        f.Count("SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = 'K00002' AND NAZWA_SKROT = "
                "'APTEKA#' AND KOD_POCZTOWY1 = '31-072' AND DATA_WPISU = '2000-01-01'"),
        1);
    EXPECT_EQ(
        f.Count("SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = 'K00001' AND NAZWA_SKROT = "
                "'PIEKARNIA' AND KOD_POCZTOWY1 = '90-001' AND DATA_WPISU = '1999-03-04'"),
        1);
    // The main telephones of both companies, then the two of the telephone file with a number.
    EXPECT_EQ(
        f.Count("SELECT COUNT(*) FROM TELEFONY T JOIN REJESTR_FIRM R ON R.FIRMA_ID = T.FIRMA_ID"),
        4);
    EXPECT_EQ(f.db.Scalar("SELECT DOMYSLNY FROM TELEFONY WHERE NUMER = '042 6300000'"), "T");
    EXPECT_EQ(f.db.Scalar("SELECT NR_KIERUNEK FROM TELEFONY WHERE NUMER = '012 4223344'"), "012");
    // One model made by the initial record; the device attached to it, its company and the team.
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM DEF_KASYFISKALNE_MODEL"), 1);
    EXPECT_EQ(
        f.Count("SELECT COUNT(*) FROM EWIDENCJA_SPRZETU E JOIN DEF_KASYFISKALNE_MODEL M ON "
                "M.MODEL_ID = E.MODEL_ID JOIN REJESTR_FIRM R ON R.FIRMA_ID = E.FIRMA_ID WHERE "
                "E.GS_ID = 1 AND E.OKRES_PRZEGLADU = 12 AND R.DBF_UNQ_KEY = 'K00001'"),
        1);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM EWIDENCJA_SPRZETU"), 1);
    // The price list: the repeated service found by its name, the amounts exact.
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM CENNIK"), 4);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM CENNIK WHERE NAZWA = 'Serwis' AND CENA_NETTO = "
                      "1234567.89"),
              1);
    // Orders but the cancelled one; an unknown company is -1, a missing device NULL.
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM ZLECENIA"), 2);
    EXPECT_EQ(
        f.Count("SELECT COUNT(*) FROM ZLECENIA WHERE NR_ZLECENIA = 'Z/2005/002' AND FIRMA_ID = -1 "
                "AND SPRZET_ID IS NULL AND KWOTA = 120"),
        1);
    EXPECT_EQ(
        f.Count(
            "SELECT COUNT(*) FROM ZLECENIA Z JOIN EWIDENCJA_SPRZETU E ON E.SPRZET_ID = Z.SPRZET_ID "
            "WHERE Z.KWOTA = 85.5"),
        1);
    // Calculations: the amount as quantity times price, the hour of taking the order, the
    // surname of who took it, the team chosen at start.
    EXPECT_EQ(
        f.Count(
            "SELECT COUNT(*) FROM ZLECENIA WHERE NR_ZLECENIA = 'Z/2005/001' AND "
            "DATA_PRZYJECIA = '2005-03-01 13:30' AND KTO_WPISAL = 'Wiśniewska' AND GS_ID = 1"_w),
        1);
    EXPECT_EQ(
        f.Count("SELECT COUNT(*) FROM ZLECENIA WHERE NR_ZLECENIA = 'Z/2005/002' AND "
                "DATA_PRZYJECIA = '2005-03-10 09:15' AND KTO_WPISAL = 'Kowalski' AND GS_ID = 1"),
        1);

    // Run again, everything is found and nothing is written twice.
    for (const char* name :
         {"01-Firmy.ini", "02-Telefony.ini", "03-Urzadzenia.ini", "05-Zlecenia.ini"}) {
        ASSERT_TRUE(f.Prepare(SampleDefinition(name))) << f.Log();
        f.Run();
        f.dane.CloseSourceTable();
    }
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY > ''"), 2);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 4);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM EWIDENCJA_SPRZETU"), 1);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM DEF_KASYFISKALNE_MODEL"), 1);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM ZLECENIA"), 2);
}
