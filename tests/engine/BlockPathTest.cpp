// A definition carried by its block through a server against the same definition written
// statement by statement: the same source into two fresh databases, compared row by row with
// the generators, the counters, the records read and the error log, on clean records and on
// records that fail.

#include <gtest/gtest.h>

#include "engine/BlockPath.h"
#include "engine/SampleLegacyFiles.h"
#include "engine/ServerFixture.h"
#include "fb/SqlTypes.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;
using migracja::testing::KeyedCompanyAndPhone;
using migracja::testing::RowsThroughTheServer;
using migracja::testing::ThroughTheServer;

namespace {

DbfWriter Companies(const std::vector<std::vector<std::string>>& records) {
    DbfWriter w;
    w.Field("NRKLI", 'C', 6).Field("NAZWA", 'C', 30).Field("TELEFON", 'C', 30);
    for (const auto& r : records) w.Record(r);
    return w;
}

// A company found again by its existence test, whose telephone is written with the found key;
// a telephone already there; an empty one (NULL); Polish letters.
const std::vector<std::vector<std::string>> kClean = {
    {"K1", "Firma Łódź"_w, "042 1"}, {"K2", "Druga", "042 2"}, {"K1", "Powtórka"_w, "042 3"},
    {"K3", "Trzecia", "042 2"},      {"K4", "Czwarta", ""},    {"K5", "Piąta"_w, "042 5"}};

struct Outcome {
    std::string rows, generators, log, reason;
    std::array<std::int32_t, engine::kCounterSlots> counters{};
    int records = 0;
    bool threw = false;
    std::uint64_t queries = 0;  // cursors the run opened
};

Outcome RunDefinition(bool block, int perTransaction, const std::vector<std::string>& definition,
                      const std::vector<std::vector<std::string>>& records,
                      const std::string& setup = {}, const std::string& moreRows = {}) {
    EngineFixture f(setup);
    ThroughTheServer(f);
    f.dane.UseBlockPath = block;
    f.dane.RecordsPerTransaction = perTransaction;
    f.Dbf("FIRMY.DBF", Companies(records));
    Outcome o;
    const bool prepared = f.Prepare(f.Definition(definition));
    EXPECT_TRUE(prepared) << f.Log() << f.messages.shown.size() << " messages";
    if (prepared) {
        const fb::RoundTrips before = f.dane.IBDatabase1.Trips();
        try {
            f.Run();
        } catch (const fb::Error&) {
            o.threw = true;
        }
        engine::CommitPendingRecords(f.dane);
        o.queries = (f.dane.IBDatabase1.Trips() - before).open;
    }
    o.reason = text::Win1250ToUtf8(f.dane.BlockReason);
    o.rows = RowsThroughTheServer(
                 f, "SELECT FIRMA_ID, NAZWA_FIRMY, DBF_UNQ_KEY FROM REJESTR_FIRM ORDER BY 1") +
             RowsThroughTheServer(
                 f,
                 "SELECT TEL_ID, FIRMA_ID, NUMER, DBF_UNQ_KEY, OPIS, POLE_ID FROM TELEFONY "
                 "ORDER BY 1");
    if (!moreRows.empty()) o.rows += RowsThroughTheServer(f, moreRows);
    o.generators = RowsThroughTheServer(
        f, "SELECT GEN_ID(GEN_REJESTR_FIRM, 0), GEN_ID(GEN_TELEFONY, 0) FROM RDB$DATABASE");
    o.log = f.Log();
    o.counters = f.dane.Definition.Counters;
    o.records = f.dane.Definition.CurrentRecordNo;
    return o;
}

void ExpectSame(const Outcome& block, const Outcome& today) {
    EXPECT_EQ(block.rows, today.rows);
    EXPECT_EQ(block.generators, today.generators);
    EXPECT_EQ(block.log, today.log);
    EXPECT_EQ(block.counters, today.counters);
    EXPECT_EQ(block.records, today.records);
    EXPECT_EQ(block.threw, today.threw);
}

}  // namespace

TEST(BlockPathTest, CleanRecordsLeaveTheSameRowsKeysAndCountersOnBothPaths) {
    for (const int perTransaction : {1, 1000}) {
        SCOPED_TRACE(perTransaction);
        const Outcome block = RunDefinition(true, perTransaction, KeyedCompanyAndPhone(), kClean);
        const Outcome today = RunDefinition(false, perTransaction, KeyedCompanyAndPhone(), kClean);
        EXPECT_EQ(block.reason.rfind("block", 0), 0u) << block.reason;
        ExpectSame(block, today);
        EXPECT_EQ(today.counters[0], 5);
        EXPECT_EQ(today.counters[1], 5);
        EXPECT_EQ(today.log, "");
    }
}

TEST(BlockPathTest, TextConditionsSkipRulesAndALeftWalkDecideAsToday) {
    std::vector<std::string> noExists =
        KeyedCompanyAndPhone({"[WARUNKI]", "Warunek_0=LENGTH(TRIM(PLIKDBF->TELEFON))"});
    noExists.erase(noExists.begin() + 7);  // without GdyJest_0, table 0 not written ends the walk
    const std::vector<std::vector<std::string>> definitions = {
        KeyedCompanyAndPhone({"[WARUNKI]", "Warunek_1=LENGTH(TRIM(PLIKDBF->TELEFON))"}),
        KeyedCompanyAndPhone({"[WARUNKI]", "Pomin_1=1"}),
        noExists,
    };
    for (std::size_t k = 0; k < definitions.size(); ++k)
        for (const int perTransaction : {1, 1000}) {
            SCOPED_TRACE(std::to_string(k) + ", " + std::to_string(perTransaction));
            const Outcome block = RunDefinition(true, perTransaction, definitions[k], kClean);
            const Outcome today = RunDefinition(false, perTransaction, definitions[k], kClean);
            EXPECT_EQ(block.reason.rfind("block", 0), 0u) << block.reason;
            ExpectSame(block, today);
            EXPECT_EQ(today.log, "");
            // Companies and telephones written: each variant decides differently.
            const std::pair<int, int> written[] = {{5, 4}, {5, 1}, {4, 3}};
            EXPECT_EQ(std::make_pair(today.counters[0], today.counters[1]), written[k]);
        }
}

TEST(BlockPathTest, AFailingRecordIsReportedAsTodaysPathReportsIt) {
    struct Case {
        const char* what;
        std::vector<std::vector<std::string>> records;
        std::string setup;
    };
    std::vector<Case> cases = {
        // NUMER takes 20 characters: refused by the client before anything is sent.
        {"too long", kClean, ""},
        // The third company's generated key is taken: the block fails on the server after
        // drawing it, and today's path must use that key, not draw another.
        {"unique violation", kClean,
         "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT) VALUES (3, 'ZAJETY')"},
    };
    cases[0].records.insert(cases[0].records.begin() + 2,
                            {"K9", "Za długi"_w, "0123456789012345678901234"});
    for (const Case& c : cases)
        for (const int perTransaction : {1, 1000}) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(perTransaction));
            const Outcome block =
                RunDefinition(true, perTransaction, KeyedCompanyAndPhone(), c.records, c.setup);
            const Outcome today =
                RunDefinition(false, perTransaction, KeyedCompanyAndPhone(), c.records, c.setup);
            EXPECT_EQ(block.reason.rfind("block", 0), 0u) << block.reason;
            ExpectSame(block, today);
            EXPECT_NE(today.log, "");
        }
}

TEST(BlockPathTest, ADefinitionTheBlockCannotCarryTakesTodaysPathAndSaysWhy) {
    // A lookup and an existence test never see the rows of their own record (here the lookup
    // finds nothing: the company is the record's own); inside a block, reading a table an
    // earlier table of the record writes, they would.
    std::vector<std::string> lookup = KeyedCompanyAndPhone(), exists = KeyedCompanyAndPhone();
    for (std::string& line : lookup)
        if (line == "FIRMA_ID=GENERATOR(0)")
            line = "FIRMA_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI";
    exists.insert(exists.begin() + 8,
                  "GdyJest_1=SELECT TEL_ID FROM TELEFONY T JOIN REJESTR_FIRM F ON F.FIRMA_ID = "
                  "T.FIRMA_ID WHERE F.DBF_UNQ_KEY = PLIKDBF->NRKLI");
    for (const auto& [definition, why] :
         {std::pair{lookup, "the lookup of column FIRMA_ID reads REJESTR_FIRM"},
          std::pair{exists, "exists-query reads a table"}}) {
        const Outcome block = RunDefinition(true, 1, definition, kClean);
        EXPECT_EQ(block.reason.rfind("statement by statement", 0), 0u) << block.reason;
        EXPECT_NE(block.reason.find(why), std::string::npos) << block.reason;
        ExpectSame(block, RunDefinition(false, 1, definition, kClean));
    }
    // Through a view the lookup reads the same table.
    std::vector<std::string> view = lookup;
    for (std::string& line : view)
        if (line.rfind("FIRMA_ID=SELECT", 0) == 0)
            line = "FIRMA_ID=SELECT ID FROM V_FIRMY WHERE KLUCZ = PLIKDBF->NRKLI";
    const std::string setup =
        "ALTER TABLE REJESTR_FIRM ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK;"
        "CREATE VIEW V_FIRMY (ID, KLUCZ) AS SELECT FIRMA_ID, DBF_UNQ_KEY FROM REJESTR_FIRM";
    for (const int perTransaction : {1, 1000}) {
        SCOPED_TRACE(perTransaction);
        const Outcome block = RunDefinition(true, perTransaction, view, kClean, setup);
        EXPECT_NE(block.reason.find("FIRMA_ID reads REJESTR_FIRM"), std::string::npos)
            << block.reason;
        ExpectSame(block, RunDefinition(false, perTransaction, view, kClean, setup));
    }
}

TEST(BlockPathTest, OnlyAServerNameTakesTheBlock) {
    EXPECT_TRUE(engine::ThroughServer("localhost:/data/a.fdb"));
    EXPECT_TRUE(engine::ThroughServer("127.0.0.1:C:\\data\\a.fdb"));
    EXPECT_TRUE(engine::ThroughServer("serwer/3051:/data/a.fdb"));
    EXPECT_TRUE(engine::ThroughServer("inet://serwer:3051//data/a.fdb"));
    EXPECT_FALSE(engine::ThroughServer("/tmp/a.fdb"));
    EXPECT_FALSE(engine::ThroughServer("C:\\data\\a.fdb"));
    EXPECT_FALSE(engine::ThroughServer("/tmp/x:y/a.fdb"));
}

namespace {

// Every row of the table, its columns as text; a time stamp of today (a column filled with the
// current date and time, which two runs cannot share) reads as "now".
std::string TableRows(EngineFixture& f, const std::string& table) {
    fb::Query q(f.dane.IBTransactionR, "rows");
    fb::TransactionScope read(f.dane.IBTransactionR, &q);
    q.SetSql("SELECT * FROM " + table + " ORDER BY 1");
    std::string rows;
    for (q.Open(); !q.Eof(); q.Next()) {
        for (std::size_t i = 0; i < q.FieldCount(); ++i) {
            const fb::Field& field = q.Fields(i);
            const bool now = field.SqlType() == fb::kSqlTimestamp && !field.IsNull() &&
                             std::abs(field.AsDate() - LocalNow()) < 1;
            rows += (i ? "|" : "") + (now ? "now" : text::Win1250ToUtf8(field.AsText()));
        }
        rows += "\n";
    }
    read.Commit();
    return table + ":\n" + rows;
}

// The sample definitions over the legacy files, twice (the second run finds everything).
Outcome RunSamples(bool block, int perTransaction, std::vector<std::string>& paths) {
    EngineFixture f(migracja::testing::kSampleTargetRows);
    ThroughTheServer(f);
    migracja::testing::WriteLegacyFiles(f);
    f.dane.UseBlockPath = block;
    f.dane.RecordsPerTransaction = perTransaction;
    Outcome o;
    paths.clear();
    for (int round = 0; round < 2; ++round)
        for (const char* name : {"01-Firmy.ini", "02-Telefony.ini", "03-Urzadzenia.ini",
                                 "04-Cennik.ini", "05-Zlecenia.ini"}) {
            EXPECT_TRUE(f.Prepare(migracja::testing::SampleDefinition(name))) << f.Log();
            paths.push_back(std::string(name) + ": " + f.dane.BlockReason);
            f.Run();
            f.dane.CloseSourceTable();
            for (std::int32_t c : f.dane.Definition.Counters)
                // every definition's counters, folded (wrapping, as a checksum does)
                o.counters[0] = static_cast<std::int32_t>(
                    static_cast<std::uint32_t>(o.counters[0]) * 7u + static_cast<std::uint32_t>(c));
            o.records += f.dane.Definition.CurrentRecordNo;
        }
    for (const char* table : {"REJESTR_FIRM", "TELEFONY", "DEF_KASYFISKALNE_MODEL",
                              "EWIDENCJA_SPRZETU", "CENNIK", "ZLECENIA"})
        o.rows += TableRows(f, table);
    o.generators = RowsThroughTheServer(
        f,
        "SELECT GEN_ID(GEN_REJESTR_FIRM, 0), GEN_ID(GEN_TELEFONY, 0), "
        "GEN_ID(GEN_DEF_KASYFISKALNE_MODEL, 0), GEN_ID(GEN_EWIDENCJA_SPRZETU, 0), "
        "GEN_ID(GEN_CENNIK, 0), GEN_ID(GEN_ZLECENIA, 0) FROM RDB$DATABASE");
    o.log = f.Log();
    return o;
}

}  // namespace

TEST(BlockPathTest, TheSampleDefinitionsLeaveTheSameDatabaseOnBothPaths) {
    for (const int perTransaction : {1, 1000}) {
        SCOPED_TRACE(perTransaction);
        std::vector<std::string> blockPaths, todayPaths;
        const Outcome block = RunSamples(true, perTransaction, blockPaths);
        const Outcome today = RunSamples(false, perTransaction, todayPaths);
        ExpectSame(block, today);
        EXPECT_EQ(today.log, "");
        std::string shown;
        for (const std::string& p : blockPaths) shown += p + "\n";
        // Every one is carried by its block: the companies' definition with an UPDATE table
        // among its tables, the others with lookups of companies and devices that an earlier
        // definition wrote.
        for (const std::string& p : blockPaths)
            EXPECT_NE(p.find(": block"), std::string::npos) << shown;
        // The price list's amounts exact on both paths, the repeated service found by its name.
        EXPECT_NE(
            today.rows.find("CENNIK:\n1|Przegląd okresowy kasy|120||Migracja|now|\n"
                            "2|Wymiana papieru|15.5||Migracja|now|\n"
                            "3|Serwis|1234567.89||Migracja|now|\n4|Rabat|-0.01||Migracja|now|\n"
                            "ZLECENIA:"),
            std::string::npos)
            << today.rows;
    }
}

namespace {

// One table whose values come from lookups: a text and a key of another table.
std::vector<std::string> PhoneOfLookups(bool notNull) {
    return {"[START]",
            "PlikDBF=FIRMY.DBF",
            "Tabela_0=TELEFONY",
            "[WARUNKI_SQL]",
            "Warunek_0=SELECT COUNT(*) FROM TELEFONY WHERE DBF_UNQ_KEY = PLIKDBF->TELEFON",
            "[Tabela0]",
            "TEL_ID=GENERATOR(GEN_TELEFONY)",
            std::string("FIRMA_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = "
                        "PLIKDBF->NRKLI") +
                (notNull ? " NOT NULL" : ""),
            "NUMER=SELECT NAZWA_FIRMY FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NAZWA",
            "DBF_UNQ_KEY=PLIKDBF->TELEFON"};
}

// The program adds the column to a table it migrates into; companies that a test puts there
// first need it before.
const std::string kCompanyKeyColumn =
    "ALTER TABLE REJESTR_FIRM ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK;";

// A name that ends in a TAB and blanks, one too long for a telephone number, one of blanks.
const std::string kLookedUpCompanies =
    kCompanyKeyColumn +
    "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, DBF_UNQ_KEY) VALUES (1, 'A', "
    "'Krótka' || ASCII_CHAR(9) || '  ', 'K1');"
    "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, DBF_UNQ_KEY) VALUES (2, 'B', "
    "'Nazwa dłuższa niż dwadzieścia znaków', 'K2');"
    "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, DBF_UNQ_KEY) VALUES (3, 'C', "
    "'   ', 'K3')"_w;

}  // namespace

TEST(BlockPathTest, LookupsThatFindNothingOrTooMuchAreWrittenAndReportedAsToday) {
    // Found, trimmed of its TAB and blanks; a company not there; a name of blanks; a name not
    // there.
    const std::vector<std::vector<std::string>> found = {
        {"K1", "K1", "T1"}, {"K9", "K3", "T2"}, {"K1", "K8", "T3"}, {"K3", "K1", "T4"}};
    std::vector<std::vector<std::string>> tooLong = found;
    tooLong.insert(tooLong.begin() + 1, {"K1", "K2", "T9"});
    struct Case {
        const char* what;
        bool notNull;
        const std::vector<std::vector<std::string>>& records;
        std::string setup;
        bool entry;
    };
    const Case cases[] = {
        {"nothing found", false, found, kLookedUpCompanies, false},
        // The company not found is written as -1 where nothing refuses it...
        {"nothing found, NOT NULL", true, found, kLookedUpCompanies, false},
        // ...and stops the run where a foreign key does.
        {"nothing found, NOT NULL, refused", true, found,
         "ALTER TABLE TELEFONY ADD CONSTRAINT FK_TEL_FIRMA FOREIGN KEY (FIRMA_ID) REFERENCES "
         "REJESTR_FIRM (FIRMA_ID);" +
             kLookedUpCompanies,
         true},
        {"too long", false, tooLong, kLookedUpCompanies, true},
    };
    for (const Case& c : cases)
        for (const int perTransaction : {1, 1000}) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(perTransaction));
            const Outcome block =
                RunDefinition(true, perTransaction, PhoneOfLookups(c.notNull), c.records, c.setup);
            const Outcome today =
                RunDefinition(false, perTransaction, PhoneOfLookups(c.notNull), c.records, c.setup);
            EXPECT_EQ(block.reason.rfind("block", 0), 0u) << block.reason;
            ExpectSame(block, today);
            EXPECT_EQ(today.log.empty(), !c.entry) << today.log;
            if (!c.entry) {
                EXPECT_EQ(today.counters[0], 4);
                EXPECT_NE(today.rows.find("Krótka|T1"), std::string::npos) << today.rows;
                EXPECT_NE(today.rows.find(c.notNull ? "|-1||T2" : "|||T2"), std::string::npos)
                    << today.rows;
            }
        }
}

TEST(BlockPathTest, ALookupTakesTheKeyOfAnEarlierTableOfItsRecord) {
    // The company's key, drawn or found again, in a text and in a whole number looked up with
    // it; neither reads what the record writes.
    const std::vector<std::string> definition = KeyedCompanyAndPhone(
        {"OPIS=SELECT 'firma ' || CAST(GENERATOR(0) AS VARCHAR(10)) FROM RDB$DATABASE",
         "POLE_ID=SELECT RDB$RELATION_ID FROM RDB$RELATIONS WHERE RDB$RELATION_ID = GENERATOR(0)"});
    for (const int perTransaction : {1, 1000}) {
        SCOPED_TRACE(perTransaction);
        const Outcome block = RunDefinition(true, perTransaction, definition, kClean);
        const Outcome today = RunDefinition(false, perTransaction, definition, kClean);
        EXPECT_EQ(block.reason.rfind("block", 0), 0u) << block.reason;
        ExpectSame(block, today);
        EXPECT_EQ(today.log, "");
        // The repeated company's telephone carries the key found again.
        EXPECT_NE(today.rows.find("|1|042 3|K1|firma 1|1\n"), std::string::npos) << today.rows;
    }
}

TEST(BlockPathTest, ALookupSeesTheRowsOfEarlierRecordsAsTodaysPathDoes) {
    // The record's own company is not there yet when its lookup runs; the companies of earlier
    // records are: committed one by one, or earlier in the same group.
    const std::vector<std::string> definition = {
        "[START]",
        "PlikDBF=FIRMY.DBF",
        "Tabela_0=REJESTR_FIRM",
        "[WARUNKI_SQL]",
        "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
        "[Tabela0]",
        "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)",
        "NAZWA_FIRMY=SELECT 'po ' || DBF_UNQ_KEY FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = "
        "PLIKDBF->TELEFON",
        "DBF_UNQ_KEY=PLIKDBF->NRKLI"};
    const std::vector<std::vector<std::string>> records = {
        {"K1", "", "K1"}, {"K2", "", "K1"}, {"K3", "", "K2"}, {"K4", "", "K9"}, {"K5", "", "K0"}};
    const std::string setup =
        kCompanyKeyColumn +
        "ALTER TABLE TELEFONY ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK;"
        "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, DBF_UNQ_KEY) VALUES (100, 'A', 'K0')";
    for (const int perTransaction : {1, 1000}) {
        SCOPED_TRACE(perTransaction);
        const Outcome block = RunDefinition(true, perTransaction, definition, records, setup);
        const Outcome today = RunDefinition(false, perTransaction, definition, records, setup);
        EXPECT_EQ(block.reason.rfind("block", 0), 0u) << block.reason;
        ExpectSame(block, today);
        EXPECT_EQ(today.log, "");
        EXPECT_EQ(today.rows, "1||K1\n2|po K1|K2\n3|po K2|K3\n4||K4\n5|po K0|K5\n100||K0\n")
            << today.rows;
    }
}

TEST(BlockPathTest, KeysCompareUnderTheColumnsCollationOnBothPaths) {
    // The bookkeeping keys are compared under their columns' Polish collation on today's path,
    // where a parameter takes the column's type; inside the block the value arrives in a
    // variable of the connection's character set. Keys that differ in letter case, in a Polish
    // letter or in a trailing blank must be found, or not, alike on both paths: by the SQL
    // condition on the telephones written before and by the lookups of the companies.
    const std::string setup =
        kCompanyKeyColumn +
        "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, DBF_UNQ_KEY) VALUES (100, "
        "'A', 'mała', 'kŁ1');"
        "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, DBF_UNQ_KEY) VALUES (101, "
        "'B', 'wielka', 'KĄ2');"
        "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, DBF_UNQ_KEY) VALUES (102, "
        "'C', 'bez ogonka', 'KA3')"_w;
    const std::vector<std::vector<std::string>> records = {
        {"Kł1"_w, "kŁ1"_w, "Tł1"_w}, {"kĄ2"_w, "KA3", "tŁ1"_w}, {"KA2", "ka3", "TŁ1"_w},
        {"Ka3", "KA3 ", "T2"},       {"kŁ1"_w, "KĄ3"_w, "t2"},  {"KŁ1"_w, "kĄ2"_w, "T2 "}};
    for (const int perTransaction : {1, 1000}) {
        SCOPED_TRACE(perTransaction);
        const Outcome block =
            RunDefinition(true, perTransaction, PhoneOfLookups(false), records, setup);
        const Outcome today =
            RunDefinition(false, perTransaction, PhoneOfLookups(false), records, setup);
        EXPECT_EQ(block.reason.rfind("block", 0), 0u) << block.reason;
        ExpectSame(block, today);
        EXPECT_EQ(today.log, "");
        // Only the same letters in the same case match; a trailing blank does not count.
        EXPECT_EQ(today.rows,
                  "100|mała|kŁ1\n101|wielka|KĄ2\n102|bez ogonka|KA3\n1||mała|Tł1||\n"
                  "2||bez ogonka|tŁ1||\n3|||TŁ1||\n4||bez ogonka|T2||\n5|100||t2||\n");
    }
}

namespace {

// Short names made unique in a register of their own, 20 characters wide.
std::vector<std::string> ShortNames(const std::string& column) {
    return {"[START]",
            "PlikDBF=FIRMY.DBF",
            "Tabela_0=SKROTY",
            "[WARUNKI_SQL]",
            "Warunek_0=SELECT COUNT(*) FROM SKROTY WHERE KLUCZ = PLIKDBF->NRKLI",
            "[OBLICZANE]",
            "WynikNr0=NextUniqueSkrot(PLIKDBF->NAZWA 'SKROT FROM SKROTY');",
            "[Tabela0]",
            "ID=GENERATOR(GEN_REJESTR_FIRM)",
            "SKROT=" + column,
            "KLUCZ=PLIKDBF->NRKLI"};
}

// The columns the program adds to the tables the rows are compared by, for a definition that
// writes to neither.
const std::string kKeyColumns =
    kCompanyKeyColumn + "ALTER TABLE TELEFONY ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK;";

const std::string kShortNames =
    kKeyColumns +
    "CREATE TABLE SKROTY (ID INTEGER NOT NULL PRIMARY KEY, SKROT VARCHAR(20) COLLATE PXW_PLK, "
    "KLUCZ VARCHAR(10));"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (101, 'ABC');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (102, 'abc#3');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (103, 'ZAJĘTY');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (104, 'ZAJĘTY#');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (105, 'SKLEP SPOŻYWCZY NR 1');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (106, 'SKLEP SPOŻYWCZY NR');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (107, 'SKLEP SPOŻYWCZY N 12');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (108, 'PIES');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (109, 'PIES#007');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (110, 'PIES#2x');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (111, 'PIES#12  ');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (112, 'MYSZ');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (113, 'MYSZ#99999999999');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (114, 'MYSZ#4');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (115, 'O''Neil');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (116, 'LIS');"
    "INSERT INTO SKROTY (ID, SKROT) VALUES (117, 'LIS#2147483647')"_w;

}  // namespace

TEST(BlockPathTest, ShortNamesAreMadeUniqueInsideTheBlockAsTheProgramMakesThem) {
    // Taken names get "#", "#0", the next number; a later record sees the names of earlier
    // ones, one by one or in its group. The letter case and Polish letters count, trailing
    // blanks do not; a name cut to make room for the number, one that ends in a blank when cut;
    // numbers with leading zeros, letters or too many digits; a quote. A number past the
    // largest integer is the program's: the block gives the record back to it. A name too long
    // for its column fails the record last, reported alike.
    const std::vector<std::vector<std::string>> records = {
        {"K1", "ABC", ""},
        {"K2", "ABC", ""},
        {"K3", "ABC   ", ""},
        {"K4", "Zajęty"_w, ""},
        {"K5", "ZAJĘTY"_w, ""},
        {"K6", "SKLEP SPOŻYWCZY NR 1"_w, ""},
        {"K7", "SKLEP SPOŻYWCZY N 12"_w, ""},
        {"K8", "PIES", ""},
        {"K9", "MYSZ", ""},
        {"K10", "O'Neil", ""},
        {"K11", "", ""},
        {"K12", "LIS", ""},
        {"K13", "Nazwa na dwadzieścia jeden"_w, ""}};
    const std::string rows = "SELECT ID, SKROT, KLUCZ FROM SKROTY WHERE KLUCZ IS NOT NULL ORDER BY 1";
    for (const int perTransaction : {1, 1000}) {
        SCOPED_TRACE(perTransaction);
        const Outcome block = RunDefinition(true, perTransaction, ShortNames("OBLICZENIA->WYNIKNR0"),
                                            records, kShortNames, rows);
        const Outcome today = RunDefinition(false, perTransaction,
                                            ShortNames("OBLICZENIA->WYNIKNR0"), records,
                                            kShortNames, rows);
        EXPECT_EQ(block.reason, "block: one execution per record, calculation 0 (NextUniqueSkrot) in it");
        ExpectSame(block, today);
        EXPECT_NE(today.rows.find("1|ABC#|K1\n2|ABC#0|K2\n3|ABC#1|K3\n4|Zajęty|K4\n"
                                  "5|ZAJĘTY#0|K5\n6|SKLEP SPOŻYWCZY NR#|K6\n"
                                  "7|SKLEP SPOŻYWCZY N|K7\n8|PIES#13|K8\n9|MYSZ#5|K9\n"
                                  "10|O'Neil#|K10\n11||K11\n12|LIS#2147483648|K12\n"),
                  std::string::npos)
            << today.rows;
        EXPECT_NE(today.log.find("SKROT"), std::string::npos) << today.log;
        EXPECT_EQ(today.counters[0], 12);
        // Through the block the program asks the database only for the two records the block
        // gave back, their names and their conditions; today it asks for every record's name.
        EXPECT_LE(block.queries, 6u);
        EXPECT_GE(today.queries, 2 * records.size());
    }
}

TEST(BlockPathTest, AShortNameReadByMoreThanItsColumnStaysWithTheProgram) {
    // Put together with other text, the name is the program's to make; the block carries the
    // rest of the record.
    const std::vector<std::vector<std::string>> records = {
        {"K1", "ABC", ""}, {"K2", "ABC", ""}, {"K3", "PIES", ""}};
    const std::string rows = "SELECT ID, SKROT, KLUCZ FROM SKROTY WHERE KLUCZ IS NOT NULL ORDER BY 1";
    const std::vector<std::string> definition = ShortNames("OBLICZENIA->WYNIKNR0 '!'");
    const Outcome block = RunDefinition(true, 1, definition, records, kShortNames, rows);
    const Outcome today = RunDefinition(false, 1, definition, records, kShortNames, rows);
    EXPECT_EQ(block.reason, "block: one execution per record");
    ExpectSame(block, today);
    EXPECT_NE(today.rows.find("1|ABC#!|K1\n2|ABC#!|K2\n3|PIES#13!|K3\n"), std::string::npos)
        << today.rows;
}

namespace {

// A row of CELE for every record, with its key and the given columns.
std::vector<std::string> Values(const std::vector<std::string>& columns) {
    std::vector<std::string> lines = {"[START]",
                                      "PlikDBF=FIRMY.DBF",
                                      "Tabela_0=CELE",
                                      "[WARUNKI_SQL]",
                                      "Warunek_0=SELECT COUNT(*) FROM CELE WHERE K = PLIKDBF->NRKLI",
                                      "[Tabela0]",
                                      "ID=GENERATOR(GEN_REJESTR_FIRM)",
                                      "K=PLIKDBF->NRKLI"};
    lines.insert(lines.end(), columns.begin(), columns.end());
    return lines;
}

const std::string kWhere = " FROM WARTOSCI WHERE K = PLIKDBF->NRKLI";

// Amounts and dates looked up into a double column and a time stamp column, with and without
// NOT NULL.
std::vector<std::string> LookedUpValues() {
    return Values({"D=SELECT KWOTA" + kWhere, "DN=SELECT KWOTA_N" + kWhere,
                   "DNN=SELECT KWOTA" + kWhere + " NOT NULL", "T=SELECT DATA" + kWhere,
                   "TNN=SELECT DATA" + kWhere + " NOT NULL"});
}

// Amounts that a double holds below the fourth decimal or exactly half way at it, from a double
// column and from an exact one; time stamps to the tenth of a millisecond, before 1900 and
// just before the moment the program takes for no date.
const std::string kLookedUpValues =
    kKeyColumns +
    "CREATE TABLE WARTOSCI (K VARCHAR(10), KWOTA DOUBLE PRECISION, KWOTA_N NUMERIC(9,2), "
    "DATA DATE);"
    "CREATE TABLE CELE (ID INTEGER NOT NULL PRIMARY KEY, K VARCHAR(10), D DOUBLE PRECISION, "
    "DN NUMERIC(15,2), DNN DOUBLE PRECISION, T DATE, TNN DATE);"
    "INSERT INTO WARTOSCI VALUES ('K1', 1.005, 12.34, '2024-02-29 13:45:12.3456');"
    "INSERT INTO WARTOSCI VALUES ('K2', 0.00005, -0.05, '1899-12-30 02:23:59.9999');"
    "INSERT INTO WARTOSCI VALUES ('K3', -0.00005, NULL, '1850-01-01 10:00:00.0001');"
    "INSERT INTO WARTOSCI VALUES ('K4', 1234567.89, 0, '2000-01-01 00:00:00');"
    "INSERT INTO WARTOSCI VALUES ('K5', 0, 21474836.47, '9999-12-31 23:59:59.9999');"
    "INSERT INTO WARTOSCI VALUES ('K6', 12.34567, -21474836.48, '0001-01-01 00:00:00');"
    "INSERT INTO WARTOSCI VALUES ('K7', -2.50005, 0.01, '1899-12-31 00:00:00');"
    "INSERT INTO WARTOSCI VALUES ('K8', 0.00004999, 1, '1899-12-30 00:00:00.0001');"
    "INSERT INTO WARTOSCI VALUES ('K9', NULL, 2, '2026-12-09 17:40:53.1234');";

}  // namespace

TEST(BlockPathTest, AmountsAndDatesLookedUpAreWrittenAsTheProgramWritesThem) {
    // Read the way the program reads them (amounts rounded to four decimals, half away from
    // zero; no row, NULL or a date before the first hours of 30 December 1899 as nothing) and
    // written back exactly. What the program reports (an amount that is its mark of a failed
    // one, one too large for money, the date it takes for a failed one) and its mark for no date
    // under NOT NULL the block gives back to it.
    struct Case {
        const char* what;
        std::string values;
        bool reported;
    };
    const std::vector<Case> cases = {
        {"clean", "", false},
        {"no row under NOT NULL", "", false},
        {"the mark of a failed amount",
         "INSERT INTO WARTOSCI VALUES ('K10', -1000.01, 1, '2001-01-01 00:00:00');", true},
        {"too large for money",
         "INSERT INTO WARTOSCI VALUES ('K10', 1e16, 1, '2001-01-01 00:00:00');", true},
        {"the mark of a failed date",
         "INSERT INTO WARTOSCI VALUES ('K10', 1, 1, '1899-12-30 02:24:00');", true},
    };
    const std::string rows =
        "SELECT ID, K, D, DN, DNN, CAST(T AS VARCHAR(30)), CAST(TNN AS VARCHAR(30)) FROM CELE "
        "ORDER BY 1";
    for (const Case& c : cases)
        for (const int perTransaction : {1, 1000}) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(perTransaction));
            std::vector<std::vector<std::string>> records;
            for (const char* k : {"K1", "K2", "K3", "K4", "K5", "K6", "K7", "K8", "K9"})
                records.push_back({k, "", ""});
            const bool clean = c.what == std::string("clean");
            if (!clean) records.push_back({"K10", "", ""});
            const std::string setup = kLookedUpValues + c.values;
            const Outcome block =
                RunDefinition(true, perTransaction, LookedUpValues(), records, setup, rows);
            const Outcome today =
                RunDefinition(false, perTransaction, LookedUpValues(), records, setup, rows);
            EXPECT_EQ(block.reason, "block: one execution per record");
            ExpectSame(block, today);
            EXPECT_EQ(today.log.empty(), !c.reported) << today.log;
            if (!c.reported) EXPECT_EQ(today.counters[0], static_cast<int>(records.size()));
            if (clean) {
                EXPECT_EQ(today.rows,
                          "1|K1|1.005|12.34|1.005|29-FEB-2024 13:45:12.3456|29-FEB-2024 "
                          "13:45:12.3456\n"
                          "2|K2|0.0001|-0.05|0.0001||30-DEC-1899 2:23:59.9999\n"
                          "3|K3|-0.0001||-0.0001||01-JAN-1850 10:00:00.0001\n"
                          "4|K4|1234567.89||1234567.89|01-JAN-2000|01-JAN-2000\n"
                          "5|K5||21474836.47|0|31-DEC-9999 23:59:59.9999|31-DEC-9999 "
                          "23:59:59.9999\n"
                          "6|K6|12.3457|-21474836.48|12.3457||01-JAN-0001\n"
                          "7|K7|-2.5001|0.01|-2.5001|31-DEC-1899|31-DEC-1899\n"
                          "8|K8||1|0||30-DEC-1899 0:00:00.0001\n"
                          "9|K9||2|0|09-DEC-2026 17:40:53.1234|09-DEC-2026 17:40:53.1234\n");
                // Through the block the program asks the database nothing.
                EXPECT_EQ(block.queries, 0u);
            } else if (!c.reported) {
                EXPECT_NE(today.rows.find("10|K10|||0||30-DEC-1899 0:01:26.4000\n"),
                          std::string::npos)
                    << today.rows;
            }
        }
}

TEST(BlockPathTest, AmountsAndDatesTheBlockCannotConvertAsTheProgramTakeTodaysPath) {
    // An amount for a FLOAT column, a date read from a text or from a number of days: the program
    // converts them on its own side, which the block cannot repeat; the definition says so and
    // writes the same on today's path.
    const std::string setup =
        kLookedUpValues +
        "ALTER TABLE CELE ADD F FLOAT; ALTER TABLE WARTOSCI ADD TEKST VARCHAR(30);"
        "UPDATE WARTOSCI SET TEKST = '2024-02-29 13:45';";
    const std::vector<std::vector<std::string>> records = {{"K1", "", ""}, {"K2", "", ""}};
    const std::string rows =
        "SELECT ID, K, F, CAST(T AS VARCHAR(30)) FROM CELE ORDER BY 1";
    for (const auto& [line, why] :
         {std::pair{"F=SELECT KWOTA" + kWhere,
                    "column F: its amount goes to a column of another type than a double"},
          std::pair{"T=SELECT TEKST" + kWhere, "column T: its lookup of a date returns no date"},
          std::pair{"T=SELECT KWOTA" + kWhere, "column T: its lookup of a date returns no date"}}) {
        SCOPED_TRACE(line);
        const std::vector<std::string> definition = Values({line});
        const Outcome block = RunDefinition(true, 1, definition, records, setup, rows);
        const Outcome today = RunDefinition(false, 1, definition, records, setup, rows);
        EXPECT_EQ(block.reason, "statement by statement: table 0 (CELE), " + std::string(why));
        ExpectSame(block, today);
        EXPECT_EQ(today.counters[0], 2);
    }
}
