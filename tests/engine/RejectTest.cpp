// Going on past bad records: within the limit every bad record is rolled back whole, entered
// once in the report and copied byte for byte into the reject file, every good record is written
// whole, and the reject file, corrected, migrates exactly the rejected records.

#include <gtest/gtest.h>

#include <set>

#include "dbf/DbfTable.h"
#include "engine/EngineFixture.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;
using migracja::testing::ReadFileBytes;

namespace {

constexpr const char* kSchema =
    "CREATE TABLE R_KRAJ (ID INTEGER NOT NULL PRIMARY KEY);"
    "INSERT INTO R_KRAJ VALUES (1);"
    "CREATE TABLE R_FIRMA (ID INTEGER NOT NULL PRIMARY KEY, KOD VARCHAR(8) NOT NULL UNIQUE,"
    "  NAZWA VARCHAR(12), DATA DATE, CHECK (DATA IS NULL OR DATA >= '1990-01-01'));"
    "CREATE TABLE R_ADRES (ID INTEGER NOT NULL PRIMARY KEY,"
    "  FIRMA_ID INTEGER NOT NULL REFERENCES R_FIRMA, KRAJ_ID INTEGER REFERENCES R_KRAJ,"
    "  MIASTO VARCHAR(20));"
    "CREATE TABLE R_KONTO (ID INTEGER NOT NULL PRIMARY KEY,"
    "  FIRMA_ID INTEGER NOT NULL REFERENCES R_FIRMA, NR VARCHAR(10) NOT NULL);"
    "CREATE GENERATOR GEN_R_FIRMA; CREATE GENERATOR GEN_R_ADRES; CREATE GENERATOR GEN_R_KONTO";

// A company, its address and its account: three tables of one record. The account's SQL
// condition compares the account number with an integer column, so a number that is not one
// fails the query on that record's data, after the first two tables were written.
const std::vector<std::string> kDefinition = {
    "[START]",
    "PlikDBF=TARV01.DBF",
    "Tabela_0=R_FIRMA",
    "Tabela_1=R_ADRES",
    "Tabela_2=R_KONTO",
    "[WARUNKI_SQL]",
    "Warunek_0=SELECT COUNT(*) FROM R_FIRMA WHERE ID = -1",
    "Warunek_1=SELECT COUNT(*) FROM R_ADRES WHERE ID = -1",
    "Warunek_2=SELECT COUNT(*) FROM R_KONTO WHERE ID = PLIKDBF->NRKONTA",
    "[Tabela0]",
    "ID=GENERATOR(GEN_R_FIRMA)",
    "KOD=PLIKDBF->KOD",
    "NAZWA=PLIKDBF->NAZWA",
    "DATA=PLIKDBF->DATA",
    "DBF_UNQ_KEY=PLIKDBF->KOD",
    "[Tabela1]",
    "ID=GENERATOR(GEN_R_ADRES)",
    "FIRMA_ID=GENERATOR(0)",
    "KRAJ_ID=PLIKDBF->KRAJ",
    "MIASTO=PLIKDBF->MIASTO",
    "[Tabela2]",
    "ID=GENERATOR(GEN_R_KONTO)",
    "FIRMA_ID=GENERATOR(0)",
    "NR=PLIKDBF->NRKONTA"};

DbfWriter Layout() {
    DbfWriter w;
    w.Field("KOD", 'C', 8).Field("NAZWA", 'C', 16).Field("DATA", 'D', 8);
    w.Field("KRAJ", 'N', 3).Field("MIASTO", 'C', 20).Field("NRKONTA", 'C', 10);
    return w;
}

// Record i (from 0), good or bad in one of five ways, or corrected.
std::vector<std::string> Values(int i, int badKind, bool corrected = false) {
    const std::string n = std::to_string(i);
    std::vector<std::string> v = {"K" + n, "N" + n, "20240115",
                                  "1",     "M" + n, std::to_string(1000000 + i)};
    if (corrected) {
        if (badKind == 1) v[0] = "D" + n;
        return v;
    }
    switch (badKind) {
        case 0:  // longer than the column
            v[1] = "Za dluga nazwa " + n;
            break;
        case 1:  // the key of the record before it: a unique violation
            v[0] = "K" + std::to_string(i - 1);
            break;
        case 2:  // a country that does not exist: a foreign-key violation in the second table
            v[3] = "99";
            break;
        case 3:  // a date the check constraint refuses
            v[2] = "19850101";
            break;
        case 4:  // not a number: the third table's condition fails on it
            v[5] = "X" + n;
            break;
        default:
            break;
    }
    return v;
}

// Every step-th record from the 18th is bad, the kinds in turn: forty in ten thousand with the
// step 250.
int BadKind(int i, int step = 250) {
    return i % step == 17 ? (i / step) % 5 : -1;
}

struct Source {
    DbfWriter writer = Layout();
    std::vector<int> bad;
    int step;
    explicit Source(int records, int step_ = 250) : step(step_) {
        for (int i = 0; i < records; ++i) {
            writer.Record(Values(i, Kind(i)));
            if (Kind(i) >= 0) bad.push_back(i);
        }
    }
    int Kind(int i) const { return BadKind(i, step); }
};

std::string RecordOf(const std::string& file, const DbfWriter& w, std::size_t i) {
    return file.substr(w.RecordOffset(i), w.RecordBytes());
}

}  // namespace

TEST(RejectTest, GoodRecordsAreWrittenWholeAndEveryBadOneIsSetAsideByteForByte) {
    // Ten thousand records with one transaction per thousand; the same path one record per
    // transaction on a shorter file, which costs a commit per record.
    for (int perTransaction : {1000, 1}) {
        SCOPED_TRACE(perTransaction);
        const int records = perTransaction == 1 ? 2480 : 10000;
        const Source source(records, perTransaction == 1 ? 62 : 250);
        const int good = records - static_cast<int>(source.bad.size());
        ASSERT_EQ(source.bad.size(), 40u);
        EngineFixture f(kSchema);
        f.Dbf("TARV01.DBF", source.writer);
        Layout()
            .Field("FORMALNE", 'C', 1)
            .Record({"", "", "", "", "", "", "T"})
            .WriteTo(f.dir / "TARV09.DBF");
        f.dane.RecordsPerTransaction = perTransaction;
        const std::filesystem::path folder = f.dir / "Odrzucone 2024-01-15 10_30";
        f.dane.Rejects.StartRun(100, folder);
        ASSERT_TRUE(f.Prepare(f.Definition(kDefinition))) << f.Log();
        f.Run();
        f.dane.Rejects.Flush();

        const engine::MigrationDefinition& d = f.dane.Definition;
        EXPECT_FALSE(d.StopRequested) << f.Log();
        EXPECT_TRUE(d.ErrorsOccurred);
        EXPECT_FALSE(f.dane.DefinitionActive);
        EXPECT_EQ(d.CurrentRecordNo, records);
        EXPECT_EQ(f.dane.Rejects.Count(), 40);
        EXPECT_EQ(f.dane.Tally.Rejected, 40);
        // Every good record whole, and the counters what the tables hold.
        for (const char* table : {"R_FIRMA", "R_ADRES", "R_KONTO"})
            EXPECT_EQ(f.Count(std::string("SELECT COUNT(*) FROM ") + table), good) << table;
        EXPECT_EQ(d.Counters[0], good);
        EXPECT_EQ(d.Counters[1], good);
        EXPECT_EQ(d.Counters[2], good);
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM R_FIRMA F JOIN R_ADRES A ON A.FIRMA_ID = F.ID"
                          " JOIN R_KONTO K ON K.FIRMA_ID = F.ID"
                          " WHERE A.MIASTO = 'M' || SUBSTRING(F.NAZWA FROM 2)"),
                  good);

        // One entry per reject, with its context and record number, in the order read.
        ASSERT_EQ(f.dane.MigrationErrorLog.size(), 40u) << f.Log();
        for (std::size_t k = 0; k < 40; ++k) {
            const int i = source.bad[k];
            const std::string entry = text::Win1250ToUtf8(f.dane.MigrationErrorLog[k]);
            EXPECT_NE(entry.find("Dla pliku TARV01.DBF"), std::string::npos) << entry;
            EXPECT_NE(entry.find("Nr odczytanego rekordu = " + std::to_string(i + 1)),
                      std::string::npos)
                << entry;
            EXPECT_NE(entry.find("Nr Tabeli = " + std::to_string(source.Kind(i) == 2   ? 1
                                                                 : source.Kind(i) == 4 ? 2
                                                                                       : 0)),
                      std::string::npos)
                << entry;
            // Nothing of the bad record is in the database.
            EXPECT_EQ(
                f.Count("SELECT COUNT(*) FROM R_ADRES WHERE MIASTO = 'M" + std::to_string(i) + "'"),
                0);
        }

        // The reject file: the source's structure and the bad records as they were read.
        const std::string original = ReadFileBytes(f.dir / "TARV01.DBF");
        const std::string rejects = ReadFileBytes(folder / "TARV01.DBF");
        EXPECT_EQ(rejects.substr(8, source.writer.HeaderBytes() - 8),
                  original.substr(8, source.writer.HeaderBytes() - 8));
        dbf::DbfTable table = dbf::DbfTable::Open(folder / "TARV01.DBF");
        ASSERT_EQ(table.RecordCount(), 40u);
        for (std::size_t k = 0; k < 40; ++k)
            EXPECT_EQ(RecordOf(rejects, source.writer, k),
                      RecordOf(original, source.writer, static_cast<std::size_t>(source.bad[k])))
                << k;
        EXPECT_EQ(dbf::DbfTable::Open(folder / "TARV09.DBF").RecordCount(), 0u);
        EXPECT_TRUE(dbf::DbfTable::Open(folder / "TARV09.DBF").FindField("FORMALNE"));
    }
}

TEST(RejectTest, TheRecordAfterTheLimitStopsTheRunAsTheFirstDoesWithoutALimit) {
    const Source source(400, 25);
    for (int limit : {0, 10}) {
        SCOPED_TRACE(limit);
        EngineFixture f(kSchema);
        f.Dbf("TARV01.DBF", source.writer);
        f.dane.Rejects.StartRun(limit, f.dir / "Odrzucone");
        ASSERT_TRUE(f.Prepare(f.Definition(kDefinition))) << f.Log();
        EXPECT_THROW(f.Run(), fb::Error);
        f.dane.Rejects.Flush();
        const int stopAt = source.bad[static_cast<std::size_t>(limit)];
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_EQ(f.dane.Definition.CurrentRecordNo, stopAt + 1);
        EXPECT_EQ(f.dane.Rejects.Count(), limit);
        // The limit's rejects with one entry each, then the stopping record's entry as ever
        // (the failing statement; its message travels with the failure).
        ASSERT_EQ(f.dane.MigrationErrorLog.size(), static_cast<std::size_t>(limit) + 1);
        EXPECT_EQ(f.dane.MigrationErrorLog.back().rfind("INSERT INTO R_FIRMA", 0), 0u) << f.Log();
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM R_KONTO"), stopAt - limit);
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM R_FIRMA"), stopAt - limit);
        EXPECT_EQ(std::filesystem::exists(f.dir / "Odrzucone"), limit > 0);
        if (limit > 0) {
            EXPECT_EQ(dbf::DbfTable::Open(f.dir / "Odrzucone" / "TARV01.DBF").RecordCount(),
                      static_cast<std::uint32_t>(limit));
        }
    }
}

TEST(RejectTest, TheCorrectedRejectFileWritesExactlyTheRejectedRecords) {
    const Source source(250, 25);
    EngineFixture f(kSchema);
    f.Dbf("TARV01.DBF", source.writer);
    const std::filesystem::path folder = f.dir / "Odrzucone";
    f.dane.Rejects.StartRun(100, folder);
    ASSERT_TRUE(f.Prepare(f.Definition(kDefinition))) << f.Log();
    f.Run();
    f.dane.Rejects.Flush();
    ASSERT_EQ(f.dane.Rejects.Count(), static_cast<int>(source.bad.size())) << f.Log();
    f.dane.CloseSourceTable();

    // Corrected as a DBF editor would: each record rewritten in place.
    std::string rejects = ReadFileBytes(folder / "TARV01.DBF");
    DbfWriter corrected = Layout();
    for (int i : source.bad) corrected.Record(Values(i, source.Kind(i), true));
    const std::string fixed = corrected.Bytes();
    for (std::size_t k = 0; k < source.bad.size(); ++k)
        rejects.replace(corrected.RecordOffset(k), corrected.RecordBytes(),
                        RecordOf(fixed, corrected, k));
    migracja::testing::WriteFileBytes(folder / "TARV01.DBF", rejects);

    f.dane.MigrationErrorLog.clear();
    f.dane.SetDbfFolder(folder.string());
    f.dane.Rejects.StartRun(100, f.dir / "Odrzucone 2");
    ASSERT_TRUE(f.Prepare(f.Definition(kDefinition))) << f.Log();
    f.Run();
    f.dane.Rejects.Flush();
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    EXPECT_TRUE(f.dane.MigrationErrorLog.empty()) << f.Log();
    EXPECT_EQ(f.dane.Rejects.Count(), 0);
    for (const char* table : {"R_FIRMA", "R_ADRES", "R_KONTO"})
        EXPECT_EQ(f.Count(std::string("SELECT COUNT(*) FROM ") + table), 250) << table;
    EXPECT_EQ(f.Count("SELECT COUNT(DISTINCT NAZWA) FROM R_FIRMA"), 250);
    EXPECT_FALSE(std::filesystem::exists(f.dir / "Odrzucone 2"));
}

TEST(RejectTest, SkippedAndExistingRecordsAreCountedPerTableAndRejectsNotAtAll) {
    // Table 0 is written only for a new key; otherwise its exists-query finds the row.
    EngineFixture f(kSchema);
    DbfWriter w = Layout();
    for (int i : {0, 1, 1, 2}) w.Record(Values(i, -1));
    w.Record(Values(5, 4));
    f.Dbf("TARV01.DBF", w);
    std::vector<std::string> lines = kDefinition;
    lines.insert(lines.begin() + 6,
                 "Warunek_0=SELECT COUNT(*) FROM R_FIRMA WHERE KOD = PLIKDBF->KOD");
    lines.insert(lines.begin() + 7, "GdyJest_0=SELECT ID FROM R_FIRMA WHERE KOD = PLIKDBF->KOD");
    f.dane.Rejects.StartRun(5, f.dir / "Odrzucone");
    ASSERT_TRUE(f.Prepare(f.Definition(lines))) << f.Log();
    f.Run();
    f.dane.Rejects.Flush();
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    EXPECT_EQ(f.dane.Tally.Rejected, 1);
    EXPECT_EQ(f.dane.Tally.Existing[0], 1);
    EXPECT_EQ(f.dane.Tally.Skipped[0], 0);
    EXPECT_EQ(f.dane.Definition.Counters[0], 3);
    EXPECT_EQ(f.dane.Definition.Counters[1], 4);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM R_FIRMA"), 3);
}

TEST(RejectTest, ErrorsThatAreNotAboutOneRecordStopTheRunWhateverTheLimit) {
    const Source source(200, 25);
    {
        // Stop between two records: the next record is not set aside, the run ends.
        EngineFixture f(kSchema);
        f.Dbf("TARV01.DBF", source.writer);
        f.dane.Rejects.StartRun(100, f.dir / "Odrzucone");
        ASSERT_TRUE(f.Prepare(f.Definition(kDefinition))) << f.Log();
        for (int i = 0; i < 5; ++i) engine::ProcessSourceRecord(f.dane);
        f.dane.Definition.StopRequested = true;
        f.dane.MigrationErrorLog.push_back("Przerwanie ręczne"_w);
        engine::ProcessSourceRecord(f.dane);
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_EQ(f.dane.Rejects.Count(), 0);
        EXPECT_EQ(f.dane.Definition.CurrentRecordNo, 5);
    }
    {
        // The DBF file cut short under the run.
        EngineFixture f(kSchema);
        f.Dbf("TARV01.DBF", source.writer);
        f.dane.Rejects.StartRun(100, f.dir / "Odrzucone");
        ASSERT_TRUE(f.Prepare(f.Definition(kDefinition))) << f.Log();
        std::filesystem::resize_file(f.dir / "TARV01.DBF", source.writer.RecordOffset(60));
        f.Run();
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_LE(f.dane.Definition.CurrentRecordNo, 61);
        // At most the bad records before the cut were set aside; the cut itself stops the run.
        EXPECT_LE(f.dane.Rejects.Count(), 2);
        EXPECT_NE(f.dane.MigrationErrorLog.back().find("TARV01.DBF"), std::string::npos) << f.Log();
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM R_FIRMA"), f.dane.Definition.Counters[0]);
    }
    {
        // The connection is cut by the database: no record is to blame.
        EngineFixture f(kSchema);
        f.Dbf("TARV01.DBF", source.writer);
        f.dane.Rejects.StartRun(100, f.dir / "Odrzucone");
        ASSERT_TRUE(f.Prepare(f.Definition(kDefinition))) << f.Log();
        for (int i = 0; i < 5; ++i) engine::ProcessSourceRecord(f.dane);
        engine::CommitPendingRecords(f.dane);
        if (f.dane.IBTransactionR.Active()) f.dane.IBTransactionR.Commit();
        f.db.Exec("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
        // The failure goes on to the run tick, which ends the run.
        EXPECT_THROW(f.Run(), fb::Error);
        EXPECT_EQ(f.dane.Definition.CurrentRecordNo, 6);
        EXPECT_EQ(f.dane.Rejects.Count(), 0);
        EXPECT_FALSE(std::filesystem::exists(f.dir / "Odrzucone"));
    }
}
