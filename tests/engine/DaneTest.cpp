#include <gtest/gtest.h>

#include "base/Text.h"
#include "config/Connection.h"
#include "engine/Dane.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::engine::TDane;
using migracja::testing::TestDatabase;

namespace {

struct Connected {
    TestDatabase fixture;
    TDane dane;
    Connected() { config::OpenDatabase(dane.IBDatabase1, fixture.Location(), "SYSDBA", "x"); }
};

}  // namespace

TEST(DaneTest, ObjectsHaveTheirRolesAndTransactionParameters) {
    TDane dane;
    const std::vector<std::string> params{"read_committed", "rec_version", "nowait"};
    for (fb::Transaction* t : {&dane.IBTransaction1, &dane.IBTransactionR, &dane.IBTransaction_UN})
        EXPECT_EQ(t->Params(), params);
    EXPECT_EQ(&dane.IBSQLMigracja.GetTransaction(), &dane.IBTransaction1);
    EXPECT_EQ(&dane.IBQueryR.GetTransaction(), &dane.IBTransactionR);
    EXPECT_EQ(&dane.IBQueryGen.GetTransaction(), &dane.IBTransactionR);
    EXPECT_EQ(&dane.IBSQLDel.GetTransaction(), &dane.IBTransactionR);
    EXPECT_EQ(&dane.IBQueryTMP.GetTransaction(), &dane.IBTransaction1);
    EXPECT_EQ(&dane.IBQuery_UN.GetTransaction(), &dane.IBTransaction1);
    EXPECT_EQ(&dane.IBSQL_UN.GetTransaction(), &dane.IBTransaction_UN);
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(dane.IBQuery(n).Name(), "IBQuery" + std::to_string(n));
        EXPECT_EQ(&dane.IBQuery(n).GetTransaction(), &dane.IBTransaction1);
        EXPECT_EQ(dane.Definition.Tables[n].ConditionQuery, &dane.IBQuery(n));
    }
    dane.Definition.DbfFileName = "X.DBF";
    dane.Definition.StopRequested = true;
    dane.DefinitionActive = true;
    dane.MigrationErrorLog.push_back("entry");
    dane.ResetDefinition();
    EXPECT_EQ(dane.Definition.DbfFileName, "");
    EXPECT_FALSE(dane.Definition.StopRequested);
    EXPECT_FALSE(dane.DefinitionActive);
    EXPECT_EQ(dane.MigrationErrorLog.size(), 1u);  // the log outlives a definition
    EXPECT_EQ(dane.Definition.Tables[3].ConditionQuery, &dane.IBQuery(3));
}

TEST(DaneTest, CatalogueListsTablesAndUserGenerators) {
    Connected c;
    c.fixture.Exec(
        "CREATE VIEW V_FIRMY AS SELECT FIRMA_ID FROM FIRMY_TARVIK; CREATE GENERATOR G1;");
    c.dane.RefreshCatalogue();
    EXPECT_TRUE(TDane::ContainsIgnoreCase(c.dane.DatabaseTables, "rejestr_firm"));
    EXPECT_TRUE(TDane::ContainsIgnoreCase(c.dane.DatabaseTables, "RDB$RELATIONS"));
    EXPECT_FALSE(TDane::ContainsIgnoreCase(c.dane.DatabaseTables, "V_FIRMY"));
    for (const auto& t : c.dane.DatabaseTables) EXPECT_EQ(t, std::string(text::TrimRight(t)));
    EXPECT_TRUE(std::is_sorted(c.dane.DatabaseTables.begin(), c.dane.DatabaseTables.end()));
    EXPECT_TRUE(TDane::ContainsIgnoreCase(c.dane.DatabaseGenerators, "GEN_TELEFONY"));
    EXPECT_TRUE(TDane::ContainsIgnoreCase(c.dane.DatabaseGenerators, "G1"));  // short names too
    for (const auto& g : c.dane.DatabaseGenerators) EXPECT_NE(g.rfind("RDB$", 0), 0u) << g;
    c.dane.IBDatabase1.Close();
    c.dane.RefreshCatalogue();
    EXPECT_TRUE(c.dane.DatabaseTables.empty());
    EXPECT_TRUE(c.dane.DatabaseGenerators.empty());
}

TEST(DaneTest, SchemaVersionTakesTheNewestRowAndFormatsTheMinorWithTwoDigits) {
    Connected c;
    EXPECT_EQ(c.dane.ReadSchemaVersion().ToString(), "4.34");
    c.fixture.Exec("INSERT INTO BD_VER (ID, VER_MAJOR, VER_MINOR) VALUES (2, 4, 5)");
    const auto v = c.dane.ReadSchemaVersion();
    EXPECT_EQ(v.ToString(), "4.05");
    EXPECT_FALSE(v.AtLeast(engine::kMinimumSchemaVersion));
    EXPECT_TRUE((engine::SchemaVersion{4, 34}).AtLeast(engine::kMinimumSchemaVersion));
    EXPECT_TRUE((engine::SchemaVersion{5, 0}).AtLeast(engine::kMinimumSchemaVersion));
    EXPECT_FALSE((engine::SchemaVersion{4, 33}).AtLeast(engine::kMinimumSchemaVersion));
    EXPECT_FALSE((engine::SchemaVersion{3, 99}).AtLeast(engine::kMinimumSchemaVersion));
}

TEST(DaneTest, GeneratorDrawsMakeTheKeyOfTheTableOrReportTheFailure) {
    Connected c;
    auto& d = c.dane.Definition;
    d.DbfFileName = "KLIENCI.DBF";
    d.CurrentRecordNo = 17;
    d.Tables[1].TableName = "TELEFONY";
    d.Tables[1].Columns.resize(2);
    d.Tables[1].Columns[0].TargetColumn = "TEL_ID";
    d.Tables[1].Columns[0].SourceExpr = "GENERATOR(GEN_TELEFONY)";
    d.Tables[1].Columns[0].ExtraText = "GEN_TELEFONY";
    EXPECT_EQ(c.dane.NextKeyFromGenerator(1, 0), 1);
    EXPECT_EQ(c.dane.NextKeyFromGenerator(1, 0), 2);
    EXPECT_EQ(d.Tables[1].LastKey, 2);
    EXPECT_TRUE(c.dane.MigrationErrorLog.empty());
    EXPECT_FALSE(d.StopRequested);
    EXPECT_EQ(c.dane.NextGeneratorValue("GEN_TELEFONY"), 3);
    EXPECT_FALSE(c.dane.IBQueryGen.IsOpen());

    // A column without a generator name: -1, the entry with its context, and the run stops.
    d.Tables[1].Columns[1].TargetColumn = "FIRMA_ID";
    d.Tables[1].Columns[1].SourceExpr = "GENERATOR()";
    EXPECT_EQ(c.dane.NextKeyFromGenerator(1, 1), -1);
    ASSERT_EQ(c.dane.MigrationErrorLog.size(), 1u);
    EXPECT_EQ(c.dane.MigrationErrorLog[0],
              "Błąd generatora  !\r\nDla pliku KLIENCI.DBF\r\nNr Tabeli = 1   Nazwa: TELEFONY"
              "\r\nNr Linii 1  Treść: FIRMA_ID = GENERATOR()\r\nNr odczytanego rekordu = 17"_w);
    EXPECT_TRUE(d.StopRequested);
    EXPECT_TRUE(d.ErrorsOccurred);
    EXPECT_EQ(d.Tables[1].LastKey, 2);

    // A generator the database lacks: Firebird's error, and the query is closed again.
    EXPECT_THROW(c.dane.NextGeneratorValue("GEN_NIE_MA"), fb::Error);
    EXPECT_FALSE(c.dane.IBQueryGen.IsOpen());
}

TEST(DaneTest, ErrorContextWithoutTableAndLineHasTheFileAndRecordOnly) {
    engine::MigrationDefinition d;
    d.DbfFileName = "TARV01.DBF";
    d.CurrentRecordNo = 0;
    EXPECT_EQ(engine::ErrorContext(d, -1, -1),
              "\r\nDla pliku TARV01.DBF\r\nNr odczytanego rekordu = 0");
    EXPECT_TRUE(d.StopRequested);
    EXPECT_TRUE(d.ErrorsOccurred);
    d.Tables[2].TableName = "REJESTR_FIRM";
    d.Tables[2].Columns.push_back({});
    d.Tables[2].Columns[0].TargetColumn = "NAZWA_FIRMY";
    d.Tables[2].Columns[0].SourceExpr = "PLIKDBF->NAZWA";
    d.CurrentRecordNo = 5;
    EXPECT_EQ(engine::ErrorContext(d, 2, 0),
              "\r\nDla pliku TARV01.DBF\r\nNr Tabeli = 2   Nazwa: REJESTR_FIRM\r\nNr Linii 0  "
              "Treść: NAZWA_FIRMY = PLIKDBF->NAZWA\r\nNr odczytanego rekordu = 5"_w);
}

// Each kind of entry sets exactly its flags, and no later entry clears what an earlier one set:
// the report is offered after any error, and a stop holds until the definition ends.
TEST(DaneTest, ErrorEntriesSetTheirFlagsAndAreLoggedAsWritten) {
    struct Case {
        bool error;
        engine::Stops stops;
        bool stopRequested;
        bool errorsOccurred;
    };
    for (const Case& k :
         {Case{true, engine::Stops::Run, true, true}, Case{true, engine::Stops::No, false, true},
          Case{false, engine::Stops::Run, true, false},
          Case{false, engine::Stops::No, false, false}}) {
        TDane dane;
        const std::string entry = "Błąd w pliku ŁÓDŹ.DBF\r\nNr odczytanego rekordu = 3"_w;
        if (k.error)
            dane.AddError(entry, k.stops);
        else
            dane.AddNote(entry, k.stops);
        ASSERT_EQ(dane.MigrationErrorLog, std::vector<std::string>{entry});
        EXPECT_EQ(dane.Definition.StopRequested, k.stopRequested) << k.error;
        EXPECT_EQ(dane.Definition.ErrorsOccurred, k.errorsOccurred) << k.error;

        dane.AddNote("Wyjście z programu."_w, engine::Stops::No);
        EXPECT_EQ(dane.MigrationErrorLog.size(), 2u);
        EXPECT_EQ(dane.MigrationErrorLog.back(), "Wyjście z programu."_w);
        EXPECT_EQ(dane.Definition.StopRequested, k.stopRequested) << k.error;
        EXPECT_EQ(dane.Definition.ErrorsOccurred, k.errorsOccurred) << k.error;
    }
}
