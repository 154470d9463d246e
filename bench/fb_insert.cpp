// Inserting rows with one commit per row, as a migration run does: through the access layer
// (named parameters, typed conversion, long-lived transaction object) and written directly on
// Firebird's OO API, side by side on the same embedded database.
//
// With forced writes (a new database's default, and what a migration runs on) every commit
// waits for the disk, so the wall-clock rate says how fast the disk syncs rather than what the
// layer costs. The primary figure is therefore the CPU time per row of the whole process (the
// embedded engine works in it); the wall-clock rates are given with forced writes on and off,
// next to the rate of synchronous page writes the database's folder allows.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <firebird/Interface.h>
#include <ibase.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "FbBench.h"
#include "Stats.h"
#include "fb/Fb.h"
#include "support/DatabaseFiles.h"

namespace {

using namespace migracja;
using bench::CpuTimes;
using bench::kPageSize;
using bench::SetForcedWrites;
using bench::SyncedWritesPerSecond;

const char* kInsert =
    "INSERT INTO BENCH (ID, NAZWA, KWOTA, DATA_WPISU) VALUES (:ID, :NAZWA, :KWOTA, :DATA_WPISU)";

// An attachment on the raw OO API as SYSDBA with character set WIN1250 and dialect 1.
Firebird::IAttachment* AttachDirect(Firebird::IMaster* master, Firebird::ThrowStatusWrapper& status,
                                    Firebird::IProvider* prov, const std::string& location) {
    using namespace Firebird;
    IXpbBuilder* dpb =
        master->getUtilInterface()->getXpbBuilder(&status, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&status, isc_dpb_user_name, "SYSDBA");
    dpb->insertString(&status, isc_dpb_password, "masterkey");
    dpb->insertString(&status, isc_dpb_lc_ctype, "WIN1250");
    dpb->insertInt(&status, isc_dpb_sql_dialect, 1);
    IAttachment* att = prov->attachDatabase(&status, location.c_str(),
                                            dpb->getBufferLength(&status), dpb->getBuffer(&status));
    dpb->dispose();
    return att;
}

struct BenchDatabase {
    std::filesystem::path dir;
    std::string location;
    explicit BenchDatabase(bool forcedWrites) {
        std::random_device rd;
        dir = std::filesystem::temp_directory_path() / ("migracja-bench-" + std::to_string(rd()));
        std::filesystem::create_directories(dir);
        location = (dir / "bench.fdb").string();
        {
            fb::Database db;
            migracja::testing::CreateDatabase(db, location, "SYSDBA", "masterkey");
            fb::Transaction t(db, "ddl");
            migracja::testing::ExecuteScript(
                t,
                "CREATE TABLE BENCH (ID INTEGER NOT NULL, NAZWA VARCHAR(40), "
                "KWOTA NUMERIC(15,4), DATA_WPISU DATE)");
        }
        SetForcedWrites(location, forcedWrites);
    }
    ~BenchDatabase() {
        fb::Database db;
        db.DatabaseName = location;
        db.Params = {"user_name=SYSDBA", "password=masterkey", "lc_ctype=WIN1250"};
        db.Open();
        migracja::testing::DropDatabase(db);
        std::filesystem::remove_all(dir);
    }
};

BenchDatabase& Shared(bool forcedWrites) {
    static BenchDatabase synced(true);
    static BenchDatabase unsynced(false);
    return forcedWrites ? synced : unsynced;
}

int nextId = 1;

// Splits the CPU time of the measured loop into user space (the layer and the engine) and the
// kernel (mostly the synchronous writes of the commits).
void ReportCpuSplit(benchmark::State& state, const CpuTimes& start) {
    const CpuTimes end = CpuTimes::Now();
    const double rows = static_cast<double>(state.iterations());
    state.counters["user_us/row"] = (end.user - start.user) / rows;
    state.counters["kernel_us/row"] = (end.system - start.system) / rows;
    state.SetItemsProcessed(state.iterations());
}

void BM_AccessLayer(benchmark::State& state) {
    fb::Database db;
    db.DatabaseName = Shared(state.range(0) != 0).location;
    db.Params = {"user_name=SYSDBA", "password=masterkey", "lc_ctype=WIN1250"};
    db.Open();
    fb::Transaction tx(db, "IBTransaction1");
    fb::Statement insert(tx, "IBSQLMigracja");
    insert.SetSql(kInsert);
    const CpuTimes start = CpuTimes::Now();
    for (auto _ : state) {
        tx.StartIfNeeded();
        insert.ParamByName("ID").SetInteger(nextId++);
        insert.ParamByName("NAZWA").SetText("Firma handlowo-usługowa");
        insert.ParamByName("KWOTA").SetMoney(Money::FromRaw(12345678));
        insert.ParamByName("DATA_WPISU").SetDate(45000.5);
        insert.ExecQuery();
        tx.Commit();
    }
    ReportCpuSplit(state, start);
}

void BM_DirectOoApi(benchmark::State& state) {
    using namespace Firebird;
    IMaster* master = fb_get_master_interface();
    IStatus* st = master->getStatus();
    ThrowStatusWrapper status(st);
    IProvider* prov = master->getDispatcher();
    IAttachment* att = AttachDirect(master, status, prov, Shared(state.range(0) != 0).location);
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
    const CpuTimes start = CpuTimes::Now();
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
    ReportCpuSplit(state, start);
    meta->release();
    stmt->free(&status);
    att->detach(&status);
    prov->release();
    st->dispose();
}

// Alternating rounds, so that a warming file or a busy disk does not favour one side; forced
// writes on (1) and off (0).
constexpr int kRounds = 3;
void Register() {
    for (int r = 0; r < kRounds; ++r) {
        for (int forced : {1, 0}) {
            const std::string suffix = "/round" + std::to_string(r);
            using Fn = void (*)(benchmark::State&);
            for (auto [name, fn] : {std::pair<std::string, Fn>{"BM_AccessLayer", BM_AccessLayer},
                                    std::pair<std::string, Fn>{"BM_DirectOoApi", BM_DirectOoApi}})
                benchmark::RegisterBenchmark((name + suffix).c_str(), fn)
                    ->ArgName("forced_writes")
                    ->Arg(forced)
                    ->MinTime(1.0)
                    ->UseRealTime()
                    ->MeasureProcessCPUTime()
                    ->Unit(benchmark::kMicrosecond);
        }
    }
}

struct Samples {  // microseconds per row
    std::vector<double> cpuPerRow, userPerRow, kernelPerRow, wallPerRow;
};

// Collects per run, by implementation and forced-writes setting, the time per row.
class RowReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, Samples> samples;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string name = r.benchmark_name();
            const std::string family = name.substr(0, name.find('/'));
            const bool forced = name.find("forced_writes:1") != std::string::npos;
            Samples& s = samples[family + (forced ? " on" : " off")];
            const double rows = static_cast<double>(r.iterations);
            if (rows <= 0) continue;
            s.cpuPerRow.push_back(1e6 * r.cpu_accumulated_time / rows);
            s.userPerRow.push_back(r.counters.at("user_us/row").value);
            s.kernelPerRow.push_back(r.counters.at("kernel_us/row").value);
            s.wallPerRow.push_back(1e6 * r.real_accumulated_time / rows);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

double Best(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Register();
    // The disk is probed before and after, as other work on the machine moves it.
    std::vector<double> syncRates{SyncedWritesPerSecond(Shared(true).dir)};
    RowReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    syncRates.push_back(SyncedWritesPerSecond(Shared(true).dir));
    auto& all = reporter.samples;
    std::printf("\nCPU time per row, whole process, median of %d rounds (best):\n", kRounds);
    for (const char* fw : {"on", "off"}) {
        const Samples& l = all[std::string("BM_AccessLayer ") + fw];
        const Samples& d = all[std::string("BM_DirectOoApi ") + fw];
        const double lc = Median(l.cpuPerRow), dc = Median(d.cpuPerRow);
        std::printf(
            "  forced writes %-3s  access layer %6.1f us (%.1f)   direct OO API %6.1f us (%.1f)"
            "   layer/direct %.2f\n",
            fw, lc, Best(l.cpuPerRow), dc, Best(d.cpuPerRow), dc > 0 ? lc / dc : 0);
        std::printf(
            "  %20s of which user space %6.1f us, kernel %6.1f us | %6.1f us, kernel %6.1f us\n",
            "", Median(l.userPerRow), Median(l.kernelPerRow), Median(d.userPerRow),
            Median(d.kernelPerRow));
    }
    std::printf("wall-clock rows per second, median:\n");
    for (const char* fw : {"on", "off"}) {
        const double lw = Median(all[std::string("BM_AccessLayer ") + fw].wallPerRow);
        const double dw = Median(all[std::string("BM_DirectOoApi ") + fw].wallPerRow);
        std::printf("  forced writes %-3s  access layer %7.0f   direct OO API %7.0f\n", fw,
                    lw > 0 ? 1e6 / lw : 0, dw > 0 ? 1e6 / dw : 0);
    }
    const double syncs = Median(syncRates);
    const double waitPerRow =
        Median(all["BM_AccessLayer on"].wallPerRow) - Median(all["BM_AccessLayer off"].wallPerRow);
    std::printf(
        "the disk: %.0f synchronous %zu-byte page writes per second (%.2f ms each; %.0f before, "
        "%.0f after the rounds)\n  in the database's folder; with forced writes a commit waits "
        "about %.2f ms, the time of %.1f such writes,\n  which caps one commit per row near %.0f "
        "rows per second\n",
        syncs, kPageSize, syncs > 0 ? 1e3 / syncs : 0, syncRates.front(), syncRates.back(),
        waitPerRow / 1e3, syncs > 0 ? waitPerRow / (1e6 / syncs) : 0,
        waitPerRow > 0 ? 1e6 / waitPerRow : 0);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %ld KiB\n", usage.ru_maxrss);
    benchmark::Shutdown();
    return 0;
}
