// What a source record costs in calls that wait for the database, counted by the access layer
// rather than timed: through a server each such call is one network round trip, and on a local
// network those round trips, not the server's work, bound a run's speed. The layer's count is
// the one to read: it names the kind of each call, and over a run through the server it equals
// the client library's socket sends (each of which waits for its answer) record for record.

#include <gtest/gtest.h>

#include "engine/SampleLegacyFiles.h"
#include "engine/ServerFixture.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::CountThroughTheServer;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;
using migracja::testing::KeyedCompanyAndPhone;
using migracja::testing::ThroughTheServer;

namespace {

constexpr int kRecords = 20;

DbfWriter Companies() {
    DbfWriter w;
    w.Field("NRKLI", 'C', 6).Field("NAZWA", 'C', 30).Field("TELEFON", 'C', 20);
    for (int r = 0; r < kRecords; ++r)
        w.Record({"K" + std::to_string(r), "Firma " + std::to_string(r),
                  "042 63" + std::to_string(10000 + r)});
    return w;
}

// Runs the definition with the given records per transaction and returns the round trips of
// the records after the first (which prepares the statements), the final commit of a group left
// out: what every further record costs.
fb::RoundTrips SteadyTripsPerRun(
    EngineFixture& f, int perTransaction, bool block,
    const std::vector<std::string>& definition = KeyedCompanyAndPhone()) {
    f.dane.RecordsPerTransaction = perTransaction;
    f.dane.UseBlockPath = block;
    f.Dbf("FIRMY.DBF", Companies());
    EXPECT_TRUE(f.Prepare(f.Definition(definition))) << f.Log();
    EXPECT_EQ(f.dane.Block != nullptr, block) << text::Win1250ToUtf8(f.dane.BlockReason);
    engine::ProcessSourceRecord(f.dane);
    const fb::RoundTrips before = f.dane.IBDatabase1.Trips();
    int records = 1;
    while (f.dane.DefinitionActive && !f.dane.Definition.StopRequested) {
        engine::ProcessSourceRecord(f.dane);
        ++records;
    }
    const fb::RoundTrips trips = f.dane.IBDatabase1.Trips() - before;
    engine::CommitPendingRecords(f.dane);
    EXPECT_EQ(records, kRecords);
    EXPECT_EQ(f.Log(), "");
    return trips;
}

}  // namespace

// Today's record loop through a server, record by record: the figures a faster path is measured
// against. A change that adds or saves a call per record shows here.
TEST(RoundTripTest, ATwoTableRecordCostsTodaysRoundTripsThroughTheServer) {
    {
        SCOPED_TRACE("one record per transaction");
        EngineFixture f;
        ThroughTheServer(f);
        const fb::RoundTrips t = SteadyTripsPerRun(f, 1, false);
        const int n = kRecords - 1;
        EXPECT_EQ(t.prepare, 0u);      // every statement was prepared by the first record
        EXPECT_EQ(t.start, 1u * n);    // the write transaction, started for each record
        EXPECT_EQ(t.commit, 1u * n);   // and committed
        EXPECT_EQ(t.execute, 2u * n);  // the two INSERTs
        // The two conditions and the two generator draws, each a cursor with its one row.
        EXPECT_EQ(t.open, 4u * n);
        EXPECT_EQ(t.info, 0u);
        EXPECT_EQ(t.PerRecordKinds(), 8u * n);
        EXPECT_EQ(CountThroughTheServer(f, "SELECT COUNT(*) FROM TELEFONY"), kRecords);
    }
    {
        SCOPED_TRACE("a thousand records per transaction");
        EngineFixture f;
        ThroughTheServer(f);
        const fb::RoundTrips t = SteadyTripsPerRun(f, 1000, false);
        const int n = kRecords - 1;
        EXPECT_EQ(t.prepare, 0u);
        EXPECT_EQ(t.start + t.commit, 0u);  // one transaction for the whole file
        EXPECT_EQ(t.execute, 3u * n);       // the record's savepoint and the two INSERTs
        EXPECT_EQ(t.open, 4u * n);
        EXPECT_EQ(t.PerRecordKinds(), 7u * n);
        EXPECT_EQ(CountThroughTheServer(f, "SELECT COUNT(*) FROM TELEFONY"), kRecords);
    }
}

// The same definition carried by its block: one execution per record, no savepoint, and with
// one record per transaction the start and the commit beside it.
TEST(RoundTripTest, ThroughItsBlockARecordIsOneRoundTripBesideItsTransaction) {
    for (const int perTransaction : {1, 1000}) {
        SCOPED_TRACE(perTransaction);
        EngineFixture f;
        ThroughTheServer(f);
        const fb::RoundTrips t = SteadyTripsPerRun(f, perTransaction, true);
        const unsigned n = kRecords - 1;
        EXPECT_EQ(t.prepare, 0u);
        EXPECT_EQ(t.open, 0u);
        EXPECT_EQ(t.execute, n);
        EXPECT_EQ(t.start + t.commit, perTransaction == 1 ? 2 * n : 0u);
        EXPECT_EQ(CountThroughTheServer(f, "SELECT COUNT(*) FROM TELEFONY"), kRecords);
        EXPECT_EQ(CountThroughTheServer(f, "SELECT COUNT(*) FROM REJESTR_FIRM"), kRecords);
    }
}

// A definition that looks a key up while writing (the telephones of companies already there) is
// carried by its block too: the lookup runs inside it, not as a query of its own.
TEST(RoundTripTest, ALookupTravelsInsideTheBlock) {
    const std::vector<std::string> definition = {
        "[START]",
        "PlikDBF=FIRMY.DBF",
        "Tabela_0=TELEFONY",
        "[WARUNKI_SQL]",
        "Warunek_0=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON",
        "[Tabela0]",
        "TEL_ID=GENERATOR(GEN_TELEFONY)",
        "FIRMA_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
        "OPIS=SELECT NAZWA_FIRMY FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
        "NUMER=PLIKDBF->TELEFON"};
    for (const int perTransaction : {1, 1000}) {
        SCOPED_TRACE(perTransaction);
        EngineFixture f(
            "ALTER TABLE REJESTR_FIRM ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK;"
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, DBF_UNQ_KEY) SELECT "
            "100 + RDB$RELATION_ID, 'F', 'Firma', 'K' || RDB$RELATION_ID FROM RDB$RELATIONS "
            "WHERE RDB$RELATION_ID BETWEEN 1 AND 9");
        ThroughTheServer(f);
        const fb::RoundTrips t = SteadyTripsPerRun(f, perTransaction, true, definition);
        const unsigned n = kRecords - 1;
        EXPECT_EQ(t.open, 0u);
        EXPECT_EQ(t.execute, n);
        EXPECT_EQ(t.PerRecordKinds(), (perTransaction == 1 ? 3 : 1) * n);
        EXPECT_EQ(CountThroughTheServer(f, "SELECT COUNT(*) FROM TELEFONY WHERE FIRMA_ID > 100"),
                  9);
        EXPECT_EQ(CountThroughTheServer(f, "SELECT COUNT(*) FROM TELEFONY WHERE OPIS = 'Firma'"),
                  9);
    }
}

TEST(RoundTripTest, EverySampleDefinitionTravelsInItsBlock) {
    // Each sample definition over its legacy file, after a run of the definitions before it:
    // every record after the first costs one execution, and with one record a transaction the
    // transaction's start and commit beside it. The companies' short names, made unique by
    // asking the register, are asked for inside the block: no query of their own.
    for (const int perTransaction : {1, 1000}) {
        SCOPED_TRACE(perTransaction);
        EngineFixture f(migracja::testing::kSampleTargetRows);
        ThroughTheServer(f);
        migracja::testing::WriteLegacyFiles(f);
        f.dane.UseBlockPath = true;
        f.dane.RecordsPerTransaction = perTransaction;
        for (const char* name : migracja::testing::kSampleDefinitions) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(f.Prepare(migracja::testing::SampleDefinition(name))) << f.Log();
            EXPECT_NE(f.dane.Block, nullptr) << text::Win1250ToUtf8(f.dane.BlockReason);
            engine::ProcessSourceRecord(f.dane);
            const fb::RoundTrips before = f.dane.IBDatabase1.Trips();
            std::uint64_t records = 0;
            while (f.dane.DefinitionActive && !f.dane.Definition.StopRequested) {
                engine::ProcessSourceRecord(f.dane);
                ++records;
            }
            const fb::RoundTrips t = f.dane.IBDatabase1.Trips() - before;
            engine::CommitPendingRecords(f.dane);
            f.dane.CloseSourceTable();
            EXPECT_EQ(f.Log(), "");
            EXPECT_GE(records, 1u);
            EXPECT_EQ(t.prepare + t.open, 0u);
            EXPECT_EQ(t.info, 0u);
            EXPECT_EQ(t.execute, records);
            EXPECT_EQ(t.start + t.commit, perTransaction == 1 ? 2 * records : 0u);
        }
    }
}
