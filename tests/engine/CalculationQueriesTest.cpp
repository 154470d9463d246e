#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Text.h"
#include "engine/CalculationFixture.h"
#include "engine/CalculationQueries.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::CalculationRun;
using migracja::testing::DbfWriter;
using migracja::testing::TestDatabase;

namespace {

// Companies with legacy keys and roles, fiscal devices in chains, and a table of short names.
struct Target {
    TestDatabase db;
    Target() {
        db.Exec("ALTER TABLE REJESTR_FIRM ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK");
        db.Exec(
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, DBF_UNQ_KEY, F_SERWIS, F_PODATNIK) "
            "VALUES (1, 'S1', 'T', 'N');"
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, DBF_UNQ_KEY, F_PODATNIK) VALUES (2, 'PS1', 'T');"
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, DBF_UNQ_KEY, F_PODATNIK) VALUES (3, 'S1', 'T');"
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, DBF_UNQ_KEY, F_SERWIS, F_PRODUCENT_FISK) "
            "VALUES (4, 'O''X', 'T', 'T');"
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, DBF_UNQ_KEY, F_DYSTRYBUTOR) VALUES (5, 'D7', "
            "'T');");
        // 100 -> 101 -> 102 (active); 200 stops at a successor mark of one character;
        // 300 <-> 301 and 400 -> 400 lead back to themselves.
        db.Exec(
            "INSERT INTO DEF_KASYFISKALNE_SPRZET (SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, "
            "NAST_NR_UNIKAT) VALUES (10, '100', '101', '102');"
            "INSERT INTO DEF_KASYFISKALNE_SPRZET (SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, "
            "NAST_NR_UNIKAT) VALUES (11, '101', '102', ' 103 ');"
            "INSERT INTO DEF_KASYFISKALNE_SPRZET (SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, "
            "NAST_NR_UNIKAT) VALUES (12, '102', '103', NULL);"
            "INSERT INTO DEF_KASYFISKALNE_SPRZET (SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, "
            "NAST_NR_UNIKAT) VALUES (20, '200', '201', ' X ');"
            "INSERT INTO DEF_KASYFISKALNE_SPRZET (SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, "
            "NAST_NR_UNIKAT) VALUES (21, '201', '202', '');"
            "INSERT INTO DEF_KASYFISKALNE_SPRZET (SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, "
            "NAST_NR_UNIKAT) VALUES (30, '300', '301', '302');"
            "INSERT INTO DEF_KASYFISKALNE_SPRZET (SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, "
            "NAST_NR_UNIKAT) VALUES (31, '301', '300', '303');"
            "INSERT INTO DEF_KASYFISKALNE_SPRZET (SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, "
            "NAST_NR_UNIKAT) VALUES (40, '400', '400', '401');");
        db.Exec(
            "CREATE TABLE SKROTY (ID INTEGER, SKROT VARCHAR(10) COLLATE PXW_PLK, "
            "KOD CHAR(8) COLLATE PXW_PLK)");
    }
    void ShortNames(const std::vector<std::string>& names, const char* column = "SKROT") {
        db.Exec("DELETE FROM SKROTY");
        for (const std::string& n : names)
            db.Exec(std::string("INSERT INTO SKROTY (") + column + ") VALUES (" +
                    calc::SqlQuoted(n) + ")");
    }
};

DbfWriter OneTextField(const std::vector<std::string>& values) {
    DbfWriter w;
    w.Field("T", 'C', 20);
    for (const auto& v : values) w.Record({v});
    return w;
}

// One record of a lookup test: the field values and the integer result calculation 0 must give.
struct LookupRow {
    std::vector<std::string> values;
    std::int32_t expected;
};

// Evaluates every record of the run in turn; before(n) runs ahead of record n.
void ExpectEachRecord(CalculationRun& run, const std::vector<LookupRow>& rows,
                      const std::function<void(std::size_t)>& before = {}) {
    for (std::size_t n = 0; n < rows.size(); ++n) {
        if (before) before(n);
        run.EvaluateRecord();
        EXPECT_EQ(run.Result(0).IntegerResult, rows[n].expected) << "record " << n;
    }
    EXPECT_TRUE(run.Log().empty());
}

}  // namespace

TEST(CalculationLookupTest, CompanyOfAnOrderByServiceKeyOrByTaxPayerKey) {
    Target target;
    DbfWriter w;
    w.Field("KLUCZ", 'C', 10).Field("PREF", 'C', 3).Field("SERW", 'C', 1);
    const std::vector<LookupRow> rows = {
        {{"S1", "P", "T"}, 1},   // service company by its key
        {{"S1", "P", "N"}, 2},   // tax payer by prefix and key
        {{"S1", "", "N"}, 3},    // tax payer by key alone
        {{"S1", "", "t"}, 3},    // only a capital T means the service company
        {{"O'X", "", "T"}, 4},   // a quote in the key stays inside the literal
        {{" S1", "", "T"}, -1},  // leading blanks are part of the key
        {{"X9", "", "T"}, -1},  {{"X9", "", "T"}, 6},  // after another connection committed it
    };
    for (const LookupRow& r : rows) w.Record(r.values);
    CalculationRun run(w, &target.db);
    run.Add("GetFIRMA_ID_Zlecenia", {"KLUCZ", "PREF", "SERW"});
    ExpectEachRecord(run, rows, [&](std::size_t n) {
        if (n + 1 == rows.size())
            target.db.Exec(
                "INSERT INTO REJESTR_FIRM (FIRMA_ID, DBF_UNQ_KEY, F_SERWIS) VALUES (6, 'X9', 'T')");
    });
}

TEST(CalculationLookupTest, CompanyByKeyAndRole) {
    Target target;
    DbfWriter w;
    w.Field("KLUCZ", 'C', 10).Field("ROLA", 'N', 2).Field("SUF", 'C', 5);
    const std::vector<LookupRow> rows = {
        {{"S1", "2", "X"}, 1},  {{"S1", "4", ""}, 3}, {{"P", "4", "S1"}, 2},
        {{"S1", "2", "S1"}, 1},  // the suffix belongs to the tax payer's key only
        {{"O'X", "1", ""}, 4},  {{"D7", "7", ""}, 5}, {{"S1", "1", ""}, -1},
        {{"S1", "3", ""}, -1},  // no such role
    };
    for (const LookupRow& r : rows) w.Record(r.values);
    CalculationRun run(w, &target.db);
    run.Add("SelectWgNr", {"KLUCZ", "ROLA", "SUF"});
    ExpectEachRecord(run, rows);
}

TEST(CalculationLookupTest, ActiveDeviceAtTheEndOfTheChain) {
    Target target;
    // A number ending in a TAB is the number a definition wrote without it.
    CalculationRun run(OneTextField({"100", "101", "102", "200", "999", "100\t"}), &target.db);
    run.Add("GetIDAktywnejKasy", {"T"});
    for (const std::int32_t expected : {12, 12, 12, 20, -1, 12}) {
        run.EvaluateRecord();
        EXPECT_EQ(run.Result(0).IntegerResult, expected);
    }
    EXPECT_TRUE(run.Log().empty());
    EXPECT_FALSE(run.dane.Definition.StopRequested);
}

TEST(CalculationLookupTest, AChainLeadingBackIsReportedInsteadOfFollowedForEver) {
    Target target;
    for (const char* start : {"300", "400"}) {
        CalculationRun run(OneTextField({start}), &target.db);
        run.Add("GetIDAktywnejKasy", {"T"});
        run.Add("SuffixNumeru", {"T"});
        run.EvaluateRecord();
        EXPECT_EQ(run.Result(0).IntegerResult, -1) << start;
        EXPECT_EQ(run.Result(1).TextResult, start);  // the next calculations still run
        ASSERT_EQ(run.Log().size(), 1u);
        const std::string repeated = std::string(start) == "300" ? "300" : "400";
        EXPECT_EQ(run.Log()[0], "Zapętlony łańcuch kas fiskalnych: numer "_w + repeated +
                                    " wraca w łańcuchu od numeru "_w + start + " przy DANE.DBF");
        EXPECT_TRUE(run.dane.Definition.StopRequested);
        EXPECT_TRUE(run.dane.Definition.ErrorsOccurred);
    }
}

TEST(CalculationLookupTest, UniqueShortNames) {
    struct Row {
        std::vector<std::string> stored;
        std::string wanted;
        std::string expected;
        const char* t = "SKROT FROM SKROTY";
        const char* column = "SKROT";
    };
    const Row rows[] = {
        {{}, "ABC  ", "ABC"},
        {{"ABC"}, "ABC", "ABC#"},
        {{"ABC", "ABC#"}, "ABC", "ABC#0"},
        {{"ABC#"}, "ABC", "ABC"},  // only the name itself counts as taken
        {{"ABC", "ABC#0", "ABC#4"}, "ABC", "ABC#5"},
        {{"ABC", "ABC#", "ABC#0", "ABC#12", "ABC#9"}, "ABC", "ABC#13"},
        {{"ABC", "ABC#x", "ABC#1a"}, "ABC", "ABC#"},
        {{"ABC", "ABCD#9"}, "ABC", "ABC#"},
        {{"O'NEIL"}, "O'NEIL", "O'NEIL#"},
        // A column of ten characters: a base of nine gives up two for the number.
        {{"ABCDEFGHI"}, "ABCDEFGHI", "ABCDEFG"},
        {{"ABCDEFGHI", "ABCDEFG", "ABCDEFG#3"}, "ABCDEFGHI", "ABCDEFG#4"},
        {{"ABCDEFGH"}, "ABCDEFGH", "ABCDEFGH#"},
        // CHAR values come back padded with blanks.
        {{"ABC"}, "ABC", "ABC#", "KOD FROM SKROTY", "KOD"},
        {{"ABC", "ABC#2"}, "ABC", "ABC#3", "KOD FROM SKROTY", "KOD"},
        // Without " FROM " there is nothing to look in.
        {{"ABC"}, "ABC ", "ABC", "SKROT"},
    };
    Target target;
    CalculationRun run(OneTextField({"x"}), &target.db);
    for (const Row& r : rows) {
        target.ShortNames(r.stored, r.column);
        EXPECT_EQ(engine::NextUniqueSkrot(run.dane, r.wanted, r.t), r.expected)
            << r.wanted << " in " << r.t << " with " << r.stored.size() << " stored";
    }
    EXPECT_TRUE(run.Log().empty());
}

TEST(CalculationLookupTest, ShortNameSeesRowsCommittedSinceTheLastRecord) {
    Target target;
    CalculationRun run(OneTextField({"Serwis", "Serwis", "Serwis"}), &target.db);
    run.Add("NextUniqueSkrot", {"T"}, "SKROT FROM SKROTY");
    for (const char* expected : {"Serwis", "Serwis#", "Serwis#0"}) {
        run.EvaluateRecord();
        EXPECT_EQ(run.Result(0).TextResult, expected);
        target.db.Exec("INSERT INTO SKROTY (SKROT) VALUES (" +
                       calc::SqlQuoted(run.Result(0).TextResult) + ")");
    }
}

TEST(CalculationLookupTest, DeclaredLengthsAreReadOncePerTextAndStayCorrectBeyondTheCache) {
    Target target;
    CalculationRun run(OneTextField({"x"}), &target.db);
    engine::TDane& dane = run.dane;
    EXPECT_EQ(engine::DeclaredCharLength(dane, "SKROT FROM SKROTY"), 10);
    EXPECT_EQ(engine::DeclaredCharLength(dane, "KOD FROM  SKROTY "), 8);
    EXPECT_EQ(engine::DeclaredCharLength(dane, "ID FROM SKROTY"), 20);  // not a text column
    EXPECT_EQ(engine::DeclaredCharLength(dane, "NIE_MA FROM SKROTY"), 20);
    EXPECT_EQ(engine::DeclaredCharLength(dane, "SKROT"), 20);
    EXPECT_EQ(engine::DeclaredCharLength(dane, "NAZWA_SKROT FROM REJESTR_FIRM"), 40);

    // Read once: a later change of the column is not seen through the same text.
    target.db.Exec("ALTER TABLE SKROTY ALTER SKROT TYPE VARCHAR(30)");
    EXPECT_EQ(engine::DeclaredCharLength(dane, "SKROT FROM SKROTY"), 10);

    // Fill the cache, then ask for texts it has no room for.
    for (int n = 0; dane.CharLengthCache.Size() < calc::CharLengthCache::kCapacity; ++n)
        engine::DeclaredCharLength(dane, "NAZWA_SKROT FROM REJESTR_FIRM" + std::string(n, ' '));
    EXPECT_EQ(engine::DeclaredCharLength(dane, "SKROT FROM  SKROTY"), 30);
    EXPECT_EQ(engine::DeclaredCharLength(dane, "UWAGI FROM REJESTR_FIRM"), 250);
    target.db.Exec("ALTER TABLE SKROTY ALTER SKROT TYPE VARCHAR(35)");
    EXPECT_EQ(engine::DeclaredCharLength(dane, "SKROT FROM  SKROTY"), 35);  // read anew
    EXPECT_EQ(dane.CharLengthCache.Size(), calc::CharLengthCache::kCapacity);
    EXPECT_EQ(engine::DeclaredCharLength(dane, "SKROT FROM SKROTY"), 10);  // still cached
}

TEST(CalculationLookupTest, ADatabaseErrorLeavesTheEvaluationAndTheNextRecordWorks) {
    Target target;
    target.ShortNames({"ABC"});
    CalculationRun run(OneTextField({"ABC", "ABC"}), &target.db);
    run.Add("GetIDAktywnejKasy", {"T"});
    run.Add("NextUniqueSkrot", {"T"}, "SKROT FROM NIE_MA_TABELI");
    run.dane.ReadSourceRecord();
    try {
        engine::EvaluateCalculations(run.dane);
        FAIL() << "no error";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Sql().find("NIE_MA_TABELI"), std::string::npos) << e.Sql();
        EXPECT_NE(std::string(e.what()).find("NIE_MA_TABELI"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(run.Log().empty());  // the record loop reports it, not the function
    EXPECT_FALSE(run.dane.IBQueryR.IsOpen());

    run.dane.Definition.Calculations[1].TextArg = "SKROT FROM SKROTY";
    run.dane.AdvanceSourceRecord();
    run.EvaluateRecord();
    EXPECT_EQ(run.Result(0).IntegerResult, -1);
    EXPECT_EQ(run.Result(1).TextResult, "ABC#");
}

TEST(CalculationLookupTest, SeveralLookupsOfOneRecordEachGetTheirOwnAnswer) {
    Target target;
    target.ShortNames({"S1"});
    DbfWriter w;
    w.Field("KLUCZ", 'C', 10).Field("ROLA", 'N', 2).Field("SERW", 'C', 1).Field("KASA", 'C', 5);
    w.Record({"S1", "4", "T", "100"});
    CalculationRun run(w, &target.db);
    run.Add("GetIDAktywnejKasy", {"KASA"});
    run.Add("NextUniqueSkrot", {"KLUCZ"}, "SKROT FROM SKROTY");
    run.Add("SelectWgNr", {"KLUCZ", "ROLA", "KLUCZ"});
    run.Add("GetFIRMA_ID_Zlecenia", {"KLUCZ", "KLUCZ", "SERW"});
    run.Add("GetIDAktywnejKasy", {"KASA"});
    run.EvaluateRecord();
    EXPECT_EQ(run.Result(0).IntegerResult, 12);
    EXPECT_EQ(run.Result(1).TextResult, "S1#");
    EXPECT_EQ(run.Result(2).IntegerResult, -1);  // 'S1S1' is no tax payer
    EXPECT_EQ(run.Result(3).IntegerResult, 1);
    EXPECT_EQ(run.Result(4).IntegerResult, 12);
    EXPECT_TRUE(run.Log().empty());
}
