#include <gtest/gtest.h>

#include "calc/DescramblingSettings.h"
#include "engine/CompanyAndPhone.h"
#include "engine/EngineFixture.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::CompanyAndPhone;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;

namespace {

// Companies with a name, a type number, a date and a telephone.
DbfWriter Companies(const std::vector<std::vector<std::string>>& records) {
    DbfWriter w;
    w.Field("NRKLI", 'C', 6).Field("NAZWA", 'C', 30).Field("TYP", 'N', 4).Field("DATA", 'D', 8);
    w.Field("TELEFON", 'C', 20);
    for (const auto& r : records) w.Record(r);
    return w;
}

}  // namespace

TEST(RecordLoopTest, TheIntegerDateAndPeriodConditionsHoldAsWritten) {
    using engine::CompareIntCondition;
    struct Case {
        int value;
        const char* text;
        bool holds;
    };
    for (const Case& c :
         {Case{5, "=5", true}, {4, "=5", false},  {6, ">5", true},           {5, ">5", false},
          {5, ">=5", true},    {4, "<5", true},   {5, "<=5", true},          {6, "<=5", false},
          {4, "<>5", true},    {5, "<>5", false}, {5, "=<5", true},          {6, "=>5", false},
          {5, "==5", false},   {6, ">>5", false}, {-3, "<>0", true},         {0, "<>0", false},
          {15, "15", false},   {1, "x", true},    {0, "x", false},           {7, "> -5", true},
          {7, ">", true},      {0, ">", false},   {7, ">99999999999", false}})
        EXPECT_EQ(CompareIntCondition(c.value, c.text), c.holds) << c.value << " " << c.text;

    const DateTime blank = 0, in1980 = EncodeDateTime({1980, 12, 31}),
                   in1981 = EncodeDateTime({1981, 1, 2});
    EXPECT_TRUE(engine::EmptyDateCondition("T", blank));
    EXPECT_TRUE(engine::EmptyDateCondition("T", in1980));
    EXPECT_FALSE(engine::EmptyDateCondition("T", in1981));
    EXPECT_TRUE(engine::EmptyDateCondition("N", in1981));
    EXPECT_FALSE(engine::EmptyDateCondition("???", blank));

    for (int v : {12, -7, 1}) EXPECT_TRUE(engine::OtherPeriodCondition(v)) << v;
    for (int v : {0, 7}) EXPECT_FALSE(engine::OtherPeriodCondition(v)) << v;
}

TEST(RecordLoopTest, TextConditionsDecideWhichRecordsATableTakes) {
    EngineFixture f;
    f.Dbf("FIRMY.DBF", Companies({{"K1", "B", "12", "19990101", "1"},
                                  {"K2", "BC", "7", "", "2"},
                                  {"K3", "CB", "0", "20010101", "3"},
                                  {"K4", " B", "-7", "", "4"},
                                  {"K5", "", "3", "", "5"}}));
    // Table 0 takes names within 'ABC'; the telephone table takes the other review periods and
    // IF( the type above zero.
    const auto file =
        f.Definition(CompanyAndPhone({"[WARUNKI]", "Warunek_0=POS(PLIKDBF->NAZWA 'ABC')",
                                      "Warunek_1=INNYOKRESPRZEGLADU(PLIKDBF->TYP)"}));
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    EXPECT_EQ(f.Run(), 5);
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    // B and BC occur in ABC; CB, " B" and the empty name do not.
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 2);
    // Only records whose company has a key get a telephone: K1 (12); K2 has period 7.
    EXPECT_EQ(f.db.Scalar("SELECT NUMER FROM TELEFONY"), "1");
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 1);
    EXPECT_EQ(f.dane.Definition.CurrentRecordNo, 5);
}

TEST(RecordLoopTest, WithoutAKeyForTableZeroTheLaterTablesAreNotVisited) {
    // Every record fails table 0, there is no exists-query and no initial record: nothing is
    // written for any table, even where the telephone's own conditions would hold.
    EngineFixture f;
    f.Dbf("FIRMY.DBF", Companies({{"K1", "", "1", "", "111"}, {"K2", "", "1", "", "222"}}));
    const auto file = f.Definition(
        CompanyAndPhone({"[WARUNKI]", "Warunek_0=LENGTH(TRIM(PLIKDBF->NAZWA))"}, false));
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    f.Run();
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 0);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 0);
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
}

TEST(RecordLoopTest, ASkipRuleLeavesOutTheTableWhenTheNamedTableWasWritten) {
    EngineFixture f("INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_FIRMY) VALUES (100, 'jest')");
    f.Dbf("FIRMY.DBF",
          Companies({{"K1", "Nowa", "1", "", "111"}, {"K2", "Stara", "1", "", "222"}}));
    f.db.Exec(
        "ALTER TABLE REJESTR_FIRM ADD DBF_UNQ_KEY VARCHAR(40); COMMIT; "
        "UPDATE REJESTR_FIRM SET DBF_UNQ_KEY = 'K2' WHERE FIRMA_ID = 100");
    const auto file = f.Definition(CompanyAndPhone({"[WARUNKI]", "Pomin_1=1"}));
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    f.Run();
    // K1's company was inserted, so its telephone is skipped; K2's existed, so it is written
    // and attached to the existing company.
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 2);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY WHERE NUMER = '222' AND FIRMA_ID = 100"), 1);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 1);
}

TEST(RecordLoopTest, EveryRecordIsWrittenWholeOrNotAtAll) {
    {
        // A conversion error in table 1 takes back table 0's row of the same record; the records
        // before it stay.
        EngineFixture f;
        f.Dbf("FIRMY.DBF", Companies({{"K1", "Pierwsza", "1", "", "111"},
                                      {"K2", "Druga", "1", "", "123456789012345678901"}}));
        const auto file = f.Definition(CompanyAndPhone({"NR_KIERUNEK=PLIKDBF->TELEFON"}));
        ASSERT_TRUE(f.Prepare(file)) << f.Log();
        EXPECT_THROW(f.Run(), fb::Error);
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 1);
        EXPECT_EQ(f.db.Scalar("SELECT DBF_UNQ_KEY FROM REJESTR_FIRM"), "K1");
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 1);
        // The counters show what is in the database.
        EXPECT_EQ(f.dane.Definition.Counters[0], 1);
        EXPECT_EQ(f.dane.Definition.Counters[1], 1);
        EXPECT_FALSE(f.dane.IBTransaction1.Active());
    }
    {
        // A database error in the last table (a unique key) leaves no row of that record.
        EngineFixture f("CREATE UNIQUE INDEX TELEFONY_OPIS ON TELEFONY (OPIS)");
        f.Dbf("FIRMY.DBF",
              Companies({{"K1", "Pierwsza", "1", "", "111"}, {"K2", "Druga", "1", "", "222"}}));
        const auto file = f.Definition(CompanyAndPhone({"OPIS=(C)biuro"}));
        ASSERT_TRUE(f.Prepare(file)) << f.Log();
        try {
            f.Run();
            FAIL() << "the second telephone was written";
        } catch (const fb::Error& e) {
            EXPECT_NE(e.Message().find("TELEFONY_OPIS"), std::string::npos) << e.Message();
        }
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 1);
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 1);
        EXPECT_TRUE(f.LogHas("INSERT INTO TELEFONY"));
        EXPECT_EQ(f.dane.Definition.Counters[0], 1);
    }
}

TEST(RecordLoopTest, GroupedRecordsAreCommittedTogetherAndAFailingOneIsUndoneAlone) {
    EngineFixture f;
    f.Dbf("FIRMY.DBF", Companies({{"K1", "A", "1", "", "111"},
                                  {"K2", "B", "1", "", "222"},
                                  {"K3", "C", "1", "", "333"},
                                  {"K4", "D", "1", "", "123456789012345678901"},
                                  {"K5", "E", "1", "", "555"}}));
    f.dane.RecordsPerTransaction = 2;
    const auto file = f.Definition(CompanyAndPhone({"NR_KIERUNEK=PLIKDBF->TELEFON"}));
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    engine::ProcessSourceRecord(f.dane);
    // One record waits for the second of its group.
    EXPECT_EQ(f.dane.PendingRecords, 1);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 0);
    engine::ProcessSourceRecord(f.dane);
    EXPECT_EQ(f.dane.PendingRecords, 0);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 2);
    engine::ProcessSourceRecord(f.dane);
    EXPECT_THROW(engine::ProcessSourceRecord(f.dane), fb::Error);
    // K3 is whole and waits in the open transaction; K4 was taken back to its savepoint.
    EXPECT_EQ(f.dane.PendingRecords, 1);
    engine::CommitPendingRecords(f.dane);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 3);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 3);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = 'K4'"), 0);
    EXPECT_EQ(f.dane.Definition.Counters[0], 3);
    EXPECT_EQ(f.dane.Definition.Counters[1], 3);
}

TEST(RecordLoopTest, GroupedRecordsKeepTheirSavepointsInTheNextRunAfterTheConnectionIsRenewed) {
    // The record's savepoint is a statement prepared once; it must still work in later
    // transactions and after the connection was closed and opened again, undoing one record.
    EngineFixture f;
    f.Dbf("FIRMY.DBF", Companies({{"K1", "A", "1", "", "111"},
                                  {"K2", "B", "1", "", "222"},
                                  {"K3", "C", "1", "", "333"}}));
    f.dane.RecordsPerTransaction = 2;
    ASSERT_TRUE(f.Prepare(f.Definition(CompanyAndPhone({})))) << f.Log();
    EXPECT_EQ(f.Run(), 3);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 3);

    f.dane.CloseSourceTable();
    f.dane.IBDatabase1.Close();
    config::OpenDatabase(f.dane.IBDatabase1, f.db.Location(), "SYSDBA", "masterkey");
    f.dane.RefreshCatalogue();
    f.Dbf("FIRMY.DBF", Companies({{"K4", "D", "1", "", "444"},
                                  {"K5", "E", "1", "", "555"},
                                  {"K6", "F", "1", "", "666"},
                                  {"K7", "G", "1", "", "123456789012345678901"}}));
    // K7's number does not fit NR_KIERUNEK.
    ASSERT_TRUE(f.Prepare(f.Definition(CompanyAndPhone({"NR_KIERUNEK=PLIKDBF->TELEFON"}))))
        << f.Log();
    engine::ProcessSourceRecord(f.dane);
    engine::ProcessSourceRecord(f.dane);
    EXPECT_EQ(f.dane.PendingRecords, 0);
    engine::ProcessSourceRecord(f.dane);
    EXPECT_THROW(engine::ProcessSourceRecord(f.dane), fb::Error);
    EXPECT_EQ(f.dane.PendingRecords, 1);
    engine::CommitPendingRecords(f.dane);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 6);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 6);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = 'K7'"), 0);
}

TEST(RecordLoopTest, AfterAStopTheNextRecordIsReadButNothingIsWrittenOrCounted) {
    EngineFixture f;
    f.Dbf("FIRMY.DBF", Companies({{"K1", "A", "1", "", "111"}, {"K2", "B", "1", "", "222"}}));
    ASSERT_TRUE(f.Prepare(f.Definition(CompanyAndPhone({}))));
    engine::ProcessSourceRecord(f.dane);
    f.dane.Definition.StopRequested = true;  // the Stop button, between two records
    engine::ProcessSourceRecord(f.dane);
    EXPECT_EQ(f.dane.Definition.CurrentRecordNo, 1);
    EXPECT_EQ(f.dane.Definition.DbfFields[0].TextValue, "K2");
    EXPECT_TRUE(f.dane.DefinitionActive);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 1);
    // The last record of a file is committed and ends the definition.
    f.dane.Definition.StopRequested = false;
    engine::ProcessSourceRecord(f.dane);
    EXPECT_FALSE(f.dane.DefinitionActive);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 2);
}

TEST(RecordLoopTest, LegacyTextIsDescrambledThenConvertedFromItsCodePage) {
    EngineFixture f;
    const calc::ScramblingConstants constants = calc::kDefaultScramblingConstants;
    const std::string cp852 = "\xbd\xa2\x88w";  // "Żółw" in code page 852
    DbfWriter w;
    w.Field("NRKLI", 'C', 6)
        .Field("NAZWA", 'C', 30)
        .Field("MIASTO", 'C', 20)
        .Field("TELEFON", 'C', 20);
    // Fields 2 and 3 are scrambled as the legacy program stored them; field 4 is not.
    w.Record({"K1", calc::DescrambleText(cp852, constants), calc::DescrambleText("Ala", constants),
              cp852});
    f.Dbf("FIRMY.DBF", w);
    const auto file =
        f.Definition({"[START]", "PlikDBF=FIRMY.DBF", "Kodowanie=Latin2", "DeSzyfrowanieOd=2",
                      "DeSzyfrowanieDo=3", "Tabela_0=REJESTR_FIRM", "[WARUNKI_SQL]",
                      "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE 1=0", "[Tabela0]",
                      "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)", "NAZWA_FIRMY=PLIKDBF->NAZWA",
                      "MIASTO1=PLIKDBF->MIASTO", "ULICA1=PLIKDBF->TELEFON"});
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    f.dane.Scrambling = constants;
    EXPECT_EQ(f.dane.Definition.EncodingMode, engine::DbfEncoding::CodePage852);
    f.Run();
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    EXPECT_EQ(f.db.Scalar("SELECT NAZWA_FIRMY FROM REJESTR_FIRM"), "Żółw"_w);
    EXPECT_EQ(f.db.Scalar("SELECT MIASTO1 FROM REJESTR_FIRM"), "Ala");
    EXPECT_EQ(f.db.Scalar("SELECT ULICA1 FROM REJESTR_FIRM"), "Żółw"_w);
}

TEST(RecordLoopTest, ARecordOfAGroupSeesTheRowsTheEarlierRecordsOfItsGroupWrote) {
    // The second record names the company of the first: its existence test and its
    // exists-query must find the row the first record wrote, committed or not.
    EngineFixture f;
    f.Dbf("FIRMY.DBF", Companies({{"K1", "A", "1", "", "111"}, {"K1", "A", "1", "", "222"}}));
    f.dane.RecordsPerTransaction = 10;
    ASSERT_TRUE(f.Prepare(f.Definition(CompanyAndPhone({})))) << f.Log();
    EXPECT_EQ(f.dane.TransactionRecords, 10);
    engine::ProcessSourceRecord(f.dane);
    engine::ProcessSourceRecord(f.dane);
    EXPECT_EQ(f.dane.PendingRecords, 2);
    engine::EndTick(f.dane);
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 1);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY T JOIN REJESTR_FIRM R ON R.FIRMA_ID = "
                      "T.FIRMA_ID"),
              2);
}

// Definitions whose later tables look up what an earlier table of the same record writes,
// directly, through a view, and through a trigger; each is run with one record per transaction
// and with records grouped, and must write the same rows.
TEST(RecordLoopTest, GroupingNeverChangesWhatARecordSeesOfItsOwnRows) {
    const std::string setup =
        "ALTER TABLE REJESTR_FIRM ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK;"
        "CREATE VIEW V_FIRMY (ID, KLUCZ) AS SELECT FIRMA_ID, DBF_UNQ_KEY FROM REJESTR_FIRM;"
        "CREATE TABLE FIRMY_LOG (KLUCZ VARCHAR(40));"
        "SET TERM ^ ;"
        "CREATE TRIGGER FIRMY_LOG_AI FOR REJESTR_FIRM AFTER INSERT AS BEGIN "
        "INSERT INTO FIRMY_LOG (KLUCZ) VALUES (NEW.DBF_UNQ_KEY); END^"
        "SET TERM ; ^";
    struct Case {
        const char* name;
        std::string lookup;  // column of table 1 (TELEFONY)
        std::string reads;   // the table the grouping decision names
    };
    const std::vector<Case> cases = {
        {"direct", "POLE_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
         "REJESTR_FIRM"},
        {"view", "POLE_ID=select ID from v_firmy where KLUCZ = PLIKDBF->NRKLI", "REJESTR_FIRM"},
        {"trigger", "POLE_ID=SELECT COUNT(*) FROM FIRMY_LOG WHERE KLUCZ = PLIKDBF->NRKLI",
         "FIRMY_LOG"},
    };
    // K1 comes twice: the second time its company is found by the exists-query.
    const auto companies = Companies({{"K1", "A", "1", "", "111"},
                                      {"K2", "B", "1", "", "222"},
                                      {"K1", "A", "1", "", "333"},
                                      {"K3", "C", "1", "", "444"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> written;
        for (const int perTransaction : {1, 10}) {
            EngineFixture f(setup);
            f.Dbf("FIRMY.DBF", companies);
            f.dane.RecordsPerTransaction = perTransaction;
            ASSERT_TRUE(f.Prepare(f.Definition(CompanyAndPhone({c.lookup})))) << f.Log();
            EXPECT_EQ(f.dane.TransactionRecords, 1);
            EXPECT_EQ(f.dane.OwnRowsReadBy.has_value(), perTransaction > 1);
            if (perTransaction > 1 && f.dane.OwnRowsReadBy) {
                EXPECT_EQ(f.dane.OwnRowsReadBy->Table, 1);
                EXPECT_EQ(f.dane.OwnRowsReadBy->Column, "POLE_ID");
                EXPECT_EQ(f.dane.OwnRowsReadBy->ReadName, c.reads);
                EXPECT_EQ(f.dane.OwnRowsReadBy->Writer, 0);
            }
            f.Run();
            EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
            written.push_back(f.db.Scalar(
                "SELECT CAST(LIST(NUMER || '=' || COALESCE(CAST(POLE_ID AS VARCHAR(20)), "
                "'-'), ' ') AS VARCHAR(200)) FROM (SELECT NUMER, POLE_ID FROM TELEFONY ORDER BY "
                "NUMER)"));
        }
        EXPECT_EQ(written[0], written[1]);
        // One record per transaction: the first record of a company does not see its row yet.
        if (std::string(c.name) != "trigger") {
            EXPECT_EQ(written[0], "111=- 222=- 333=1 444=-");
        }
    }
    {
        // An exists-query of a later table is a query of the record too.
        EngineFixture f;
        f.Dbf("FIRMY.DBF", companies);
        f.dane.RecordsPerTransaction = 10;
        auto lines = CompanyAndPhone({});
        lines.insert(lines.begin() + 7,
                     "GdyJest_1=SELECT TEL_ID FROM TELEFONY WHERE FIRMA_ID IN (SELECT FIRMA_ID "
                     "FROM rejestr_firm WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI)");
        ASSERT_TRUE(f.Prepare(f.Definition(lines))) << f.Log();
        EXPECT_EQ(f.dane.TransactionRecords, 1);
        ASSERT_TRUE(f.dane.OwnRowsReadBy.has_value());
        EXPECT_EQ(f.dane.OwnRowsReadBy->Column, "");
        EXPECT_EQ(f.dane.OwnRowsReadBy->ReadName, "REJESTR_FIRM");
    }
    {
        // Reading only what the record's own earlier tables do not write keeps the grouping:
        // table 1 looks up TELEFONY, which no table before it writes.
        EngineFixture f(setup);
        f.Dbf("FIRMY.DBF", companies);
        f.dane.RecordsPerTransaction = 10;
        ASSERT_TRUE(f.Prepare(f.Definition(CompanyAndPhone(
            {"POLE_ID=SELECT COUNT(*) FROM TELEFONY WHERE NUMER <> PLIKDBF->TELEFON "
             "AND OPIS = 'FIRMY_LOG'"}))))
            << f.Log();
        EXPECT_EQ(f.dane.TransactionRecords, 10);
        EXPECT_FALSE(f.dane.OwnRowsReadBy.has_value());
    }
}

TEST(RecordLoopTest, AGroupLostWithTheConnectionIsNamedRecordByRecordAndLeavesTheCounters) {
    const auto companies = Companies({{"K1", "A", "1", "", "111"},
                                      {"K2", "B", "1", "", "222"},
                                      {"K3", "C", "1", "", "333"},
                                      {"K4", "D", "1", "", "444"},
                                      {"K5", "E", "1", "", "555"},
                                      {"K6", "F", "1", "", "666"}});
    {
        // Cut in the middle of a group: the record in progress fails, and the records of the
        // group before it cannot be kept either.
        EngineFixture f;
        f.Dbf("FIRMY.DBF", companies);
        f.dane.RecordsPerTransaction = 3;
        ASSERT_TRUE(f.Prepare(f.Definition(CompanyAndPhone({})))) << f.Log();
        for (int i = 0; i < 5; ++i) engine::ProcessSourceRecord(f.dane);
        ASSERT_EQ(f.dane.PendingRecords, 2);
        f.db.CutOtherConnections();
        EXPECT_THROW(engine::ProcessSourceRecord(f.dane), fb::Error);
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 3);
        EXPECT_EQ(f.dane.Definition.Counters[0], 3);
        EXPECT_EQ(f.dane.Definition.Counters[1], 3);
        EXPECT_TRUE(f.LogHas("Nie zapisano rekordów od nr 4 do nr 5 (2).")) << f.Log();
        EXPECT_EQ(f.dane.PendingRecords, 0);
        EXPECT_TRUE(f.dane.Definition.StopRequested);
    }
    {
        // Cut before the group's commit: the commit fails, is reported and propagates.
        EngineFixture f;
        f.Dbf("FIRMY.DBF", companies);
        f.dane.RecordsPerTransaction = 4;
        ASSERT_TRUE(f.Prepare(f.Definition(CompanyAndPhone({})))) << f.Log();
        for (int i = 0; i < 6; ++i) engine::ProcessSourceRecord(f.dane);
        f.db.CutOtherConnections();
        EXPECT_THROW(engine::EndTick(f.dane), fb::Error);
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 4);
        EXPECT_EQ(f.dane.Definition.Counters[0], 4);
        EXPECT_EQ(f.dane.Definition.Counters[1], 4);
        EXPECT_TRUE(f.LogHas("Nie zapisano rekordów od nr 5 do nr 6 (2).")) << f.Log();
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_FALSE(f.dane.IBTransaction1.Active());
    }
    for (const int perTransaction : {1, 3}) {
        // Cut right after a commit: the next record cannot even begin its transaction; that
        // failure is an entry too, and nothing is counted that is not in the database.
        SCOPED_TRACE(perTransaction);
        EngineFixture f;
        f.Dbf("FIRMY.DBF", companies);
        f.dane.RecordsPerTransaction = perTransaction;
        ASSERT_TRUE(f.Prepare(f.Definition(CompanyAndPhone({})))) << f.Log();
        for (int i = 0; i < 3; ++i) engine::ProcessSourceRecord(f.dane);
        engine::EndTick(f.dane);
        f.db.CutOtherConnections();
        const std::size_t before = f.dane.MigrationErrorLog.size();
        EXPECT_THROW(engine::ProcessSourceRecord(f.dane), fb::Error);
        EXPECT_GT(f.dane.MigrationErrorLog.size(), before);
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_EQ(f.dane.Definition.Counters[0], 3);
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 3);
        EXPECT_FALSE(f.LogHas("Nie zapisano")) << f.Log();
    }
}

TEST(RecordLoopTest, ARerunFindsEveryRecordItWroteWhateverEndsItsKey) {
    // Keys and telephones that end in blanks, a TAB or other control characters, with a Polish
    // letter in the legacy code page. The text written and the text that the SQL condition, the
    // exists-query and a lookup compare must be the same, or every rerun inserts the records
    // again (the condition) or loses their later tables (the exists-query).
    struct CodePage {
        const char* setting;
        std::string lowerL;  // "ł" in that code page
    };
    for (const CodePage& page : {CodePage{"Mazovia", "\x92"}, CodePage{"Latin2", "\x88"}}) {
        SCOPED_TRACE(page.setting);
        EngineFixture f;
        const std::vector<std::string> keys = {
            "AB\t", "CD  ", "EF\x01", "GH \t\r\n", "I" + page.lowerL + "\x1f", "JK\x1a"};
        DbfWriter w;
        w.Field("NRKLI", 'C', 8).Field("NAZWA", 'C', 10).Field("TELEFON", 'C', 12);
        for (std::size_t i = 0; i < keys.size(); ++i)
            w.Record({keys[i], "Firma", std::to_string(100 + i) + "\t"});
        f.Dbf("FIRMY.DBF", w);
        const auto companies = f.Definition(
            {"[START]",
             "PlikDBF=FIRMY.DBF",
             std::string("Kodowanie=") + page.setting,
             "Tabela_0=REJESTR_FIRM",
             "Tabela_1=TELEFONY",
             "Tabela_2=REJESTR_FIRM",
             "[WARUNKI_SQL]",
             "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
             "GdyJest_0=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
             "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON",
             "[Tabela0]",
             "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)",
             "NAZWA_FIRMY=PLIKDBF->NAZWA",
             "DBF_UNQ_KEY=PLIKDBF->NRKLI",
             "[Tabela1]",
             "TEL_ID=GENERATOR(GEN_TELEFONY)",
             "FIRMA_ID=GENERATOR(0)",
             "NUMER=PLIKDBF->TELEFON",
             "[Tabela2]",
             "FIRMA_ID=GENERATOR(0)",
             "F_SERWIS=(C)T"});
        // A second definition over the same file finds each company by a lookup.
        const auto orders = f.Definition(
            {"[START]", "PlikDBF=FIRMY.DBF", std::string("Kodowanie=") + page.setting,
             "Tabela_0=TELEFONY", "[WARUNKI_SQL]",
             "Warunek_0=SELECT COUNT(*) FROM TELEFONY WHERE 1 = 0", "[Tabela0]",
             "TEL_ID=GENERATOR(GEN_TELEFONY)", "TYP=(C)Lookup",
             "POLE_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI"},
            "02-test.ini");

        for (int run = 1; run <= 2; ++run) {
            SCOPED_TRACE(run);
            f.db.Exec("UPDATE REJESTR_FIRM SET F_SERWIS = 'N'");
            ASSERT_TRUE(f.Prepare(companies)) << f.Log();
            f.Run();
            ASSERT_FALSE(f.dane.Definition.StopRequested) << f.Log();
            EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 6);
            EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 6);
            // The exists-query found every company again, so its update table ran.
            EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM WHERE F_SERWIS = 'T'"), 6);
        }
        ASSERT_TRUE(f.Prepare(orders)) << f.Log();
        f.Run();
        ASSERT_FALSE(f.dane.Definition.StopRequested) << f.Log();
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY T JOIN REJESTR_FIRM R ON R.FIRMA_ID = "
                          "T.POLE_ID WHERE T.TYP = 'Lookup'"),
                  6);
        // The key is written without what ends it, in Windows-1250.
        EXPECT_EQ(f.db.Scalar("SELECT DBF_UNQ_KEY FROM REJESTR_FIRM WHERE DBF_UNQ_KEY "
                              "STARTING 'AB'"),
                  "AB");
        EXPECT_EQ(f.db.Scalar("SELECT DBF_UNQ_KEY FROM REJESTR_FIRM WHERE DBF_UNQ_KEY "
                              "STARTING 'I'"),
                  "Ił"_w);
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY WHERE NUMER = '100'"), 1);
    }
}
