// Inserting rows with one commit per row, as a migration run does: through the access layer
// (named parameters, typed conversion, long-lived transaction object) and written directly on
// Firebird's OO API, side by side on the same embedded database. Prints both rates and the ratio.

#include <benchmark/benchmark.h>
#include <firebird/Interface.h>
#include <ibase.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "config/Fb.h"

namespace {

using namespace migracja;

const char* kInsert =
    "INSERT INTO BENCH (ID, NAZWA, KWOTA, DATA_WPISU) VALUES (:ID, :NAZWA, :KWOTA, :DATA_WPISU)";

struct BenchDatabase {
    std::filesystem::path dir;
    std::string location;
    BenchDatabase() {
        std::random_device rd;
        dir = std::filesystem::temp_directory_path() / ("migracja-bench-" + std::to_string(rd()));
        std::filesystem::create_directories(dir);
        location = (dir / "bench.fdb").string();
        fb::Database db;
        db.Create(location, "SYSDBA", "masterkey");
        fb::Transaction t(db, "ddl");
        fb::ExecuteScript(t,
                          "CREATE TABLE BENCH (ID INTEGER NOT NULL, NAZWA VARCHAR(40), "
                          "KWOTA NUMERIC(15,4), DATA_WPISU DATE)");
    }
    ~BenchDatabase() {
        fb::Database db;
        db.DatabaseName = location;
        db.Params = {"user_name=SYSDBA", "password=masterkey", "lc_ctype=WIN1250"};
        db.Open();
        db.Drop();
        std::filesystem::remove_all(dir);
    }
};

BenchDatabase& Shared() {
    static BenchDatabase db;
    return db;
}

int nextId = 1;

void BM_AccessLayer(benchmark::State& state) {
    fb::Database db;
    db.DatabaseName = Shared().location;
    db.Params = {"user_name=SYSDBA", "password=masterkey", "lc_ctype=WIN1250"};
    db.Open();
    fb::Transaction tx(db, "IBTransaction1");
    fb::Statement insert(tx, "IBSQLMigracja");
    insert.SetSql(kInsert);
    for (auto _ : state) {
        tx.StartIfNeeded();
        insert.ParamByName("ID").SetInteger(nextId++);
        insert.ParamByName("NAZWA").SetText("Firma handlowo-usługowa");
        insert.ParamByName("KWOTA").SetMoney(Money::FromRaw(12345678));
        insert.ParamByName("DATA_WPISU").SetDate(45000.5);
        insert.ExecQuery();
        tx.Commit();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_DirectOoApi(benchmark::State& state) {
    using namespace Firebird;
    IMaster* master = fb_get_master_interface();
    IStatus* st = master->getStatus();
    ThrowStatusWrapper status(st);
    IProvider* prov = master->getDispatcher();
    IXpbBuilder* dpb =
        master->getUtilInterface()->getXpbBuilder(&status, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&status, isc_dpb_user_name, "SYSDBA");
    dpb->insertString(&status, isc_dpb_password, "masterkey");
    dpb->insertString(&status, isc_dpb_lc_ctype, "WIN1250");
    dpb->insertInt(&status, isc_dpb_sql_dialect, 1);
    IAttachment* att = prov->attachDatabase(&status, Shared().location.c_str(),
                                            dpb->getBufferLength(&status), dpb->getBuffer(&status));
    dpb->dispose();
    const unsigned char tpb[] = {isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version,
                                 isc_tpb_nowait};
    ITransaction* tra = att->startTransaction(&status, sizeof tpb, tpb);
    IStatement* stmt = att->prepare(
        &status, tra, 0, "INSERT INTO BENCH (ID, NAZWA, KWOTA, DATA_WPISU) VALUES (?, ?, ?, ?)", 1,
        IStatement::PREPARE_PREFETCH_METADATA);
    tra->commit(&status);
    IMessageMetadata* meta = stmt->getInputMetadata(&status);
    std::vector<unsigned char> buffer(meta->getMessageLength(&status));
    const unsigned offId = meta->getOffset(&status, 0), offName = meta->getOffset(&status, 1),
                   offAmount = meta->getOffset(&status, 2), offDate = meta->getOffset(&status, 3);
    for (unsigned i = 0; i < 4; ++i)
        *reinterpret_cast<short*>(&buffer[meta->getNullOffset(&status, i)]) = 0;
    const std::string name = "Firma handlowo-usługowa";
    for (auto _ : state) {
        tra = att->startTransaction(&status, sizeof tpb, tpb);
        const int id = nextId++;
        std::memcpy(&buffer[offId], &id, sizeof id);
        const std::uint16_t len = static_cast<std::uint16_t>(name.size());
        std::memcpy(&buffer[offName], &len, 2);
        std::memcpy(&buffer[offName + 2], name.data(), name.size());
        const double amount = 1234.5678;
        std::memcpy(&buffer[offAmount], &amount, sizeof amount);
        const ISC_DATE day = 45000 + 15018;
        const ISC_TIME time = 432000000;
        std::memcpy(&buffer[offDate], &day, sizeof day);
        std::memcpy(&buffer[offDate + 4], &time, sizeof time);
        stmt->execute(&status, tra, meta, buffer.data(), nullptr, nullptr);
        tra->commit(&status);
    }
    meta->release();
    stmt->free(&status);
    att->detach(&status);
    prov->release();
    st->dispose();
    state.SetItemsProcessed(state.iterations());
}

// Alternating rounds, so that a warming file or a busy disk does not favour one side.
constexpr int kRounds = 3;
void Register() {
    for (int r = 0; r < kRounds; ++r) {
        const std::string suffix = "/round" + std::to_string(r);
        benchmark::RegisterBenchmark(("BM_AccessLayer" + suffix).c_str(), BM_AccessLayer)
            ->MinTime(2.0)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_DirectOoApi" + suffix).c_str(), BM_DirectOoApi)
            ->MinTime(2.0)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
    }
}

struct Totals {
    double seconds = 0, cpuSeconds = 0, rows = 0;
};

class RateReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, Totals> totals;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            std::string family = r.benchmark_name();
            family = family.substr(0, family.find('/'));
            Totals& t = totals[family];
            t.seconds += r.real_accumulated_time;
            t.cpuSeconds += r.cpu_accumulated_time;
            t.rows += static_cast<double>(r.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Register();
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const Totals& l = reporter.totals["BM_AccessLayer"];
    const Totals& d = reporter.totals["BM_DirectOoApi"];
    const double layer = l.seconds > 0 ? l.rows / l.seconds : 0;
    const double direct = d.seconds > 0 ? d.rows / d.seconds : 0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("\nrows per second, one commit per row: access layer %.0f, direct OO API %.0f\n",
                layer, direct);
    if (direct > 0) std::printf("ratio layer/direct: %.3f\n", layer / direct);
    if (l.rows > 0 && d.rows > 0)
        std::printf("CPU time per row: access layer %.1f us, direct OO API %.1f us\n",
                    1e6 * l.cpuSeconds / l.rows, 1e6 * d.cpuSeconds / d.rows);
    std::printf("peak resident memory: %ld KiB\n", usage.ru_maxrss);
    benchmark::Shutdown();
    return 0;
}
