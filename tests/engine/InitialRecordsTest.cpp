#include <gtest/gtest.h>

#include "engine/EngineFixture.h"
#include "engine/InitialRecords.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;

namespace {

constexpr const char* kCategories =
    "CREATE TABLE KAT (ID INTEGER NOT NULL PRIMARY KEY, NAZWA VARCHAR(40), KOD VARCHAR(10), "
    "KWOTA DOUBLE PRECISION, OD DATE, OPIS VARCHAR(30), AKTYWNA BOOLEAN);"
    "CREATE GENERATOR GEN_KAT";

// One DBF record of devices, each attached to the category the initial record finds or makes.
DbfWriter Devices() {
    DbfWriter w;
    w.Field("NR", 'C', 10).Field("GRUPA", 'C', 1);
    w.Record({"S1", "A"}).Record({"S2", "B"});
    return w;
}

// A definition with the given INITE lines and sections; table 0 takes the device with the
// result of initial record 0 (through WyborID_INITE) as its model.
std::vector<std::string> WithInitialRecords(const std::vector<std::string>& init) {
    std::vector<std::string> lines = {
        "[START]",
        "PlikDBF=SPRZET.DBF",
        "Tabela_0=EWIDENCJA_SPRZETU",
        "[WARUNKI_SQL]",
        "Warunek_0=SELECT COUNT(*) FROM EWIDENCJA_SPRZETU WHERE NR_FABRYCZNY = PLIKDBF->NR",
        "[OBLICZANE]",
        "WynikNr0=WyborID_INITE(PLIKDBF->GRUPA 'AB');",
        "[Tabela0]",
        "SPRZET_ID=GENERATOR(GEN_EWIDENCJA_SPRZETU)",
        "NR_FABRYCZNY=PLIKDBF->NR",
        "MODEL_ID=OBLICZENIA->WYNIKNR0(N)"};
    lines.insert(lines.end(), init.begin(), init.end());
    return lines;
}

}  // namespace

TEST(InitialRecordsTest, AMissingRecordIsInsertedOnceAndItsResultReachesTheMigratedRows) {
    EngineFixture f(kCategories);
    f.Dbf("SPRZET.DBF", Devices());
    const auto file = f.Definition(WithInitialRecords(
        {"[INITE]", "Tabela_0=KAT", "TypWyniku_0=(N)", "PoleID_0=ID", "Warunek_0=KOD = 'KASY'",
         "Tabela_1=KAT", "TypWyniku_1=(N)", "PoleID_1=ID", "Warunek_1=KOD = 'DRUK'",
         "[INIT_Tabela_0]", "ID=GENERATOR(GEN_KAT;)", "NAZWA=(C)Kasy O'Neil", "KOD=(c)KASY",
         "KWOTA=(F)12,50", "OD=(D)2024-01-31", "OPIS=NOW()", "AKTYWNA=NOW()",
         // Record 1 takes the key record 0 drew, plus one: its own from the generator.
         "[INIT_Tabela_1]", "ID=GENERATOR(GEN_KAT)",
         "NAZWA=SELECT NAZWA FROM KAT WHERE KOD = 'KASY'", "KOD=(C)DRUK",
         "KWOTA=SELECT ID FROM KAT WHERE KOD = 'KASY'"}));
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    // Inserted as written, not upper-cased; the logical column is left out; NOW() fills only a
    // date, so a text column gets the empty text.
    EXPECT_EQ(f.db.Scalar("SELECT NAZWA FROM KAT WHERE KOD = 'KASY'"), "Kasy O'Neil");
    EXPECT_EQ(f.db.Scalar("SELECT KWOTA FROM KAT WHERE KOD = 'KASY'"), "12.5");
    EXPECT_EQ(f.db.Scalar("SELECT OD FROM KAT WHERE KOD = 'KASY'"), "2024-01-31");
    EXPECT_EQ(
        f.Count("SELECT COUNT(*) FROM KAT WHERE KOD = 'KASY' AND OPIS = '' AND AKTYWNA IS NULL"),
        1);
    // The query is upper-cased, the value it finds is not.
    EXPECT_EQ(f.db.Scalar("SELECT NAZWA FROM KAT WHERE KOD = 'DRUK'"), "Kasy O'Neil");
    EXPECT_EQ(f.db.Scalar("SELECT KWOTA FROM KAT WHERE KOD = 'DRUK'"),
              f.db.Scalar("SELECT 1e0 FROM RDB$DATABASE"));
    const auto& d = f.dane.Definition;
    EXPECT_EQ(d.InitTables[0].InitResult.Integer, 1);
    EXPECT_EQ(d.InitTables[0].InitGeneratedKey, 1);
    EXPECT_EQ(d.InitTables[1].InitResult.Integer, 2);
    f.Run();
    EXPECT_FALSE(d.StopRequested) << f.Log();
    EXPECT_EQ(
        f.Count(
            "SELECT COUNT(*) FROM EWIDENCJA_SPRZETU WHERE NR_FABRYCZNY = 'S1' AND MODEL_ID = 1"),
        1);
    EXPECT_EQ(
        f.Count(
            "SELECT COUNT(*) FROM EWIDENCJA_SPRZETU WHERE NR_FABRYCZNY = 'S2' AND MODEL_ID = 2"),
        1);

    // A second run of the definition finds both and inserts nothing.
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM KAT"), 2);
    EXPECT_EQ(d.InitTables[1].InitResult.Integer, 2);
    EXPECT_EQ(d.InitTables[0].InitGeneratedKey, 0);
}

TEST(InitialRecordsTest, GeneratorOfAnEarlierRecordIsZeroWhenThatRecordExisted) {
    EngineFixture f(std::string(kCategories) + "; INSERT INTO KAT (ID, KOD) VALUES (17, 'KASY')");
    f.Dbf("SPRZET.DBF", Devices());
    const auto file = f.Definition(WithInitialRecords(
        {"[INITE]", "Tabela_0=KAT", "TypWyniku_0=(N)", "PoleID_0=ID", "Warunek_0=KOD = 'KASY'",
         "Tabela_1=KAT", "TypWyniku_1=(C)", "PoleID_1=NAZWA", "Warunek_1=KOD = 'ZERO'",
         "[INIT_Tabela_0]", "ID=GENERATOR(GEN_KAT)", "[INIT_Tabela_1]", "ID=GENERATOR(0)",
         "KOD=(C)ZERO", "NAZWA=(C)zero"}));
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    EXPECT_EQ(f.dane.Definition.InitTables[0].InitResult.Integer, 17);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM KAT WHERE ID = 0 AND KOD = 'ZERO'"), 1);
    EXPECT_EQ(f.dane.Definition.InitTables[1].InitResult.Text, "zero");
    f.Run();
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM EWIDENCJA_SPRZETU WHERE MODEL_ID = 17"), 1) << f.Log();
    // The second device asks for record 1, whose result is a text.
    EXPECT_TRUE(f.LogHas("Inny typ parametru dla obliczeń B przy SPRZET.DBF")) << f.Log();
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM EWIDENCJA_SPRZETU"), 1);
}

TEST(InitialRecordsTest, ProblemsOfAnInitialRecordStopTheDefinitionBeforeAnyRecord) {
    struct Case {
        const char* what;
        std::vector<std::string> init;
        const char* entry;
    };
    const std::vector<Case> cases = {
        {"a number constant for a text column",
         {"[INITE]", "Tabela_0=KAT", "TypWyniku_0=(N)", "PoleID_0=ID", "Warunek_0=KOD = 'X'",
          "[INIT_Tabela_0]", "ID=(N)5", "KOD=(N)12"},
         "Błąd Typu pola INITE: (N)12 !\r\nDla pliku SPRZET.DBF\r\nNr odczytanego rekordu = 0"},
        {"a SELECT without a row",
         {"[INITE]", "Tabela_0=KAT", "TypWyniku_0=(N)", "PoleID_0=ID", "Warunek_0=KOD = 'X'",
          "[INIT_Tabela_0]", "ID=SELECT ID FROM KAT WHERE KOD = 'nie ma'"},
         "Uwaga: Zapytanie: \"\r\nSELECT ID FROM KAT WHERE KOD = 'NIE MA'\r\n\r\nZwróciło 0 "
         "rekordów !"},
        {"the column after it",
         {"[INITE]", "Tabela_0=KAT", "TypWyniku_0=(N)", "PoleID_0=ID", "Warunek_0=KOD = 'X'",
          "[INIT_Tabela_0]", "ID=SELECT ID FROM KAT WHERE KOD = 'nie ma'"},
         "Błąd dla pola INITE nr 0   ID  TabelaInite= 0-KAT  !"},
        {"a result kind written in lower case",
         {"[INITE]", "Tabela_0=KAT", "TypWyniku_0=(n)", "PoleID_0=ID", "Warunek_0=KOD = 'X'",
          "[INIT_Tabela_0]", "ID=(N)5", "KOD=(C)X"},
         "Typ wyniku INITE = 0   (Dla tab nr =0"},
        {"a condition the inserted row does not meet",
         {"[INITE]", "Tabela_0=KAT", "TypWyniku_0=(N)", "PoleID_0=ID", "Warunek_0=KOD = 'X'",
          "[INIT_Tabela_0]", "ID=(N)5", "KOD=(C)Y"},
         "Błąd definicji dla Inite nr 0 !"},
        {"a constant that is no integer",
         {"[INITE]", "Tabela_0=KAT", "TypWyniku_0=(N)", "PoleID_0=ID", "Warunek_0=KOD = 'X'",
          "[INIT_Tabela_0]", "ID=(N)5); DELETE FROM KAT"},
         "Wartość 5); DELETE FROM KAT nie jest liczbą całkowitą"},
        {"eleven initial records",
         {"[INITE]", "Tabela_0=KAT", "Tabela_1=KAT", "Tabela_2=KAT", "Tabela_3=KAT", "Tabela_4=KAT",
          "Tabela_5=KAT", "Tabela_6=KAT", "Tabela_7=KAT", "Tabela_8=KAT", "Tabela_9=KAT",
          "Tabela_10=KAT"},
         "Definicja ma więcej niż 10 rekordów początkowych"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineFixture f(kCategories);
        f.Dbf("SPRZET.DBF", Devices());
        EXPECT_FALSE(f.Prepare(f.Definition(WithInitialRecords(c.init))));
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_TRUE(f.dane.Definition.ErrorsOccurred);
        EXPECT_TRUE(f.LogHas(c.entry)) << f.Log();
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM EWIDENCJA_SPRZETU"), 0);
    }
}

TEST(InitialRecordsTest, TheInsertPutsTextConstantsInsideTheirLiterals) {
    EngineFixture f("CREATE TABLE T (ID INTEGER NOT NULL, NAZWA VARCHAR(40))");
    f.Dbf("SPRZET.DBF", Devices());
    ASSERT_TRUE(f.Prepare(f.Definition(
        WithInitialRecords({"[INITE]", "Tabela_0=T", "TypWyniku_0=(N)", "PoleID_0=ID",
                            "Warunek_0=ID = 5", "[INIT_Tabela_0]", "ID=(N)5", "NAZWA=(C)O'Neil"}))))
        << f.Log();
    // Looked up again, the record exists and nothing more is written.
    f.dane.DryRun = true;
    f.dane.Definition.InitTables[0].Condition = "ID = 6";
    EXPECT_EQ(engine::BuildInitInsert(f.dane, 0),
              "INSERT INTO T (ID,NAZWA ) VALUES ( 5,'O''Neil' )");
    EXPECT_EQ(f.db.Scalar("SELECT NAZWA FROM T WHERE ID = 5"), "O'Neil");
    // A text that tries to leave its literal stays text.
    f.dane.Definition.InitTables[0].Columns[1].SourceExpr = "(C)x'); DELETE FROM T; --";
    f.dane.DryRun = false;
    engine::InsertInitRecord(f.dane, 0);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM T"), 2);
    EXPECT_EQ(f.db.Scalar("SELECT NAZWA FROM T WHERE NAZWA STARTING WITH 'x'"),
              "x'); DELETE FROM T; --");
}

TEST(InitialRecordsTest, ADryRunFindsOrDescribesTheRecordsAndWritesNothing) {
    EngineFixture f(std::string(kCategories) + "; INSERT INTO KAT (ID, KOD) VALUES (17, 'KASY')");
    f.Dbf("SPRZET.DBF", Devices());
    f.dane.DryRun = true;
    const auto file = f.Definition(WithInitialRecords(
        {"[INITE]", "Tabela_0=KAT", "TypWyniku_0=(N)", "PoleID_0=ID", "Warunek_0=KOD = 'KASY'",
         "Tabela_1=KAT", "TypWyniku_1=(N)", "PoleID_1=ID", "Warunek_1=KOD = 'DRUK'",
         "[INIT_Tabela_1]", "ID=GENERATOR(GEN_KAT)", "KOD=(C)DRUK"}));
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    EXPECT_EQ(f.dane.InitPlan, (std::vector<std::string>{
                                   "initial record 0 (KAT) exists",
                                   "initial record 1 (KAT) would be inserted:",
                                   "  ID = next value of GEN_KAT",
                                   "  INSERT INTO KAT (KOD ) VALUES ( 'DRUK' )",
                               }));
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM KAT"), 1);
    EXPECT_EQ(f.db.Scalar("SELECT GEN_ID(GEN_KAT, 0) FROM RDB$DATABASE"), "0");
}
