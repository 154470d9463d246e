// One table's row of one record, written three ways on the same embedded database, one commit
// per row as a run does (the key drawn from the generator on the read transaction, which is
// committed once per 20 ms tick; the row inserted and committed in the write transaction):
//
//   engine      WriteTable with the statement prepared once for the definition: the columns'
//               values evaluated from the record's field slots (texts joined with a quoted text,
//               an integer, money, a date, the generator, the current time, constants in the
//               text), the NULL rules, the bound parameters kept from the preparation
//   hand        the same INSERT written by hand on the access layer: one prepared statement,
//               parameters set by name from the record's values
//   reprepare   WriteTable without the kept statement: its text set before every row, as the
//               statement object would be if nothing kept it prepared, so the server parses
//               and prepares the INSERT for every row
//
// The primary figure is CPU time per row of the whole process (the embedded engine works in it):
// with forced writes every commit waits for the disk, and the wall-clock rate then says how fast
// the disk syncs. Rounds alternate the three, with forced writes on and off.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "FbBench.h"
#include "Stats.h"
#include "base/Text.h"
#include "config/Connection.h"
#include "definitions/DefinitionLoader.h"
#include "engine/Binding.h"
#include "engine/RecordLoop.h"
#include "shell/DefinitionRun.h"
#include "shell/TickBudget.h"
#include "support/DbfWriter.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

namespace {

using namespace migracja;
using namespace migracja::literals;
using bench::CpuTimes;

const char* const kDefinition =
    "[START]\r\nPlikDBF=ZLECENIA.DBF\r\nTabela_0=ZLECENIA\r\n"
    "[WARUNKI_SQL]\r\nWarunek_0=SELECT COUNT(*) FROM RDB$DATABASE WHERE 1 = 0\r\n"
    "[Tabela0]\r\n"
    "ZLECENIE_ID=GENERATOR(GEN_ZLECENIA)\r\n"
    "FIRMA_ID=PLIKDBF->NRFIRMY\r\n"
    "GS_ID=(N)3\r\n"
    "NR_ZLECENIA=PLIKDBF->NR\r\n"
    "DATA_PRZYJECIA=PLIKDBF->DATA\r\n"
    "OPIS_USTERKI=PLIKDBF->OPIS PLIKDBF->UWAGI ' (migracja)'\r\n"
    "KWOTA=PLIKDBF->KWOTA\r\n";

// What the preparation makes of it (KTO_WPISAL, KTO_UTWORZYL, STANOWISKO, DATA_WPISU and
// DATA_UTWORZ added), written by hand; the bench checks that both write the same row.
const char* const kHandInsert =
    "INSERT INTO ZLECENIA (ZLECENIE_ID, FIRMA_ID, GS_ID, NR_ZLECENIA, DATA_PRZYJECIA, "
    "OPIS_USTERKI, KWOTA, KTO_WPISAL, KTO_UTWORZYL, DATA_WPISU, DATA_UTWORZ, STANOWISKO) "
    "VALUES (:ZLECENIE_ID, :FIRMA_ID, 3, :NR_ZLECENIA, :DATA_PRZYJECIA, :OPIS_USTERKI, :KWOTA, "
    "'Migracja', 'Migracja', :DATA_WPISU, :DATA_UTWORZ, 'Migracja')";

struct Database {
    testing::TestDatabase db;
    testing::TempDir folder{"migracja-bench-write"};
    explicit Database(bool forcedWrites) {
        db.Detach();
        bench::SetForcedWrites(db.Location(), forcedWrites);
        testing::DbfWriter w;
        w.Field("NR", 'C', 12).Field("NRFIRMY", 'N', 8).Field("DATA", 'D', 8);
        w.Field("OPIS", 'C', 60).Field("UWAGI", 'C', 60).Field("KWOTA", 'N', 12, 2);
        w.Record({"Z/2019/00042", "1234", "20190315",
                  text::Utf8ToWin1250("Drukarka nie drukuje paragonów, błąd pamięci fiskalnej"),
                  text::Utf8ToWin1250("Wymiana płyty głównej; klient z Łodzi"), "1234.56"});
        w.WriteTo(folder / "ZLECENIA.DBF");
        folder.Write("01-Zlecenia.ini", kDefinition);
    }
};

Database& Shared(bool forcedWrites) {
    static Database synced(true);
    static Database unsynced(false);
    return forcedWrites ? synced : unsynced;
}

// The read transaction of the generator draws ends once per tick, as in a run.
class Tick {
  public:
    template <class End>
    void After(End&& end) {
        const auto now = std::chrono::steady_clock::now();
        if (now - start_ >= shell::kTickBudget) {
            end();
            start_ = now;
        }
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

void Report(benchmark::State& state, const CpuTimes& start) {
    const CpuTimes end = CpuTimes::Now();
    const double rows = static_cast<double>(state.iterations());
    state.counters["user_us/row"] = (end.user - start.user) / rows;
    state.counters["kernel_us/row"] = (end.system - start.system) / rows;
    state.SetItemsProcessed(state.iterations());
}

// The data module with the definition loaded and prepared, and the DBF record read into the
// field slots, as the record loop leaves them before it walks the tables.
struct EngineSide {
    testing::ScriptedMessageBox messages;
    engine::TDane dane;
    definitions::TFormIni loader{dane, messages};

    explicit EngineSide(Database& base) {
        config::OpenDatabase(dane.IBDatabase1, base.db.Location(), "SYSDBA", "masterkey");
        dane.RefreshCatalogue();
        dane.SetDbfFolder(base.folder.path().string());
        shell::DefinitionRunner runner(dane, loader);
        if (!runner.Start(base.folder / "01-Zlecenia.ini")) Fail();
        dane.ReadSourceRecord();
    }
    ~EngineSide() { engine::EndTick(dane); }

    [[noreturn]] void Fail() const {
        throw std::runtime_error(dane.MigrationErrorLog.empty() ? "stopped"
                                                                : dane.MigrationErrorLog[0]);
    }
    void Row() {
        dane.IBTransaction1.StartIfNeeded();
        engine::WriteTable(dane, 0, true);
        if (dane.Definition.StopRequested) Fail();
        dane.IBTransaction1.Commit();
    }
};

void BM_Engine(benchmark::State& state) {
    EngineSide e(Shared(state.range(0) != 0));
    Tick tick;
    const CpuTimes start = CpuTimes::Now();
    for (auto _ : state) {
        e.Row();
        tick.After([&] { engine::EndTick(e.dane); });
    }
    Report(state, start);
}

void BM_Reprepare(benchmark::State& state) {
    EngineSide e(Shared(state.range(0) != 0));
    engine::TableMapping& table = e.dane.Definition.Tables[0];
    table.WriteStatement = nullptr;
    for (engine::ColumnMapping& m : table.Columns) m.BoundParam = nullptr;
    Tick tick;
    const CpuTimes start = CpuTimes::Now();
    for (auto _ : state) {
        // Another text in between: the INSERT's text is then new to the statement object, which
        // frees the prepared statement and prepares the INSERT again.
        e.dane.IBSQLMigracja.SetSql({});
        e.Row();
        tick.After([&] { engine::EndTick(e.dane); });
    }
    Report(state, start);
}

void BM_Hand(benchmark::State& state) {
    Database& base = Shared(state.range(0) != 0);
    fb::Database db;
    config::OpenDatabase(db, base.db.Location(), "SYSDBA", "masterkey");
    fb::Transaction write(db, "write");
    fb::Transaction read(db, "read");
    fb::Query gen(read, "gen");
    gen.SetSql("SELECT GEN_ID(GEN_ZLECENIA, 1) FROM RDB$DATABASE");
    fb::Statement insert(write, "insert");
    insert.SetSql(kHandInsert);

    // The record's values, read once as the engine's side reads them.
    dbf::DbfTable dbf = dbf::DbfTable::Open(base.folder / "ZLECENIA.DBF");
    const std::string nr(dbf.AsText(0));
    const std::int32_t firma = dbf.AsInteger(1);
    const DateTime data = dbf.AsDateTime(2);
    const std::string opis =
        std::string(dbf.AsText(3)) + std::string(dbf.AsText(4)) + " (MIGRACJA)";
    const Money kwota = dbf.AsMoney(5);

    Tick tick;
    const CpuTimes start = CpuTimes::Now();
    for (auto _ : state) {
        read.StartIfNeeded();
        gen.Open();
        const std::int32_t id = gen.Fields(0).AsInteger();
        gen.Close();
        write.StartIfNeeded();
        const DateTime now = LocalNow();
        insert.ParamByName("ZLECENIE_ID").SetInteger(id);
        insert.ParamByName("FIRMA_ID").SetInteger(firma);
        insert.ParamByName("NR_ZLECENIA").SetText(nr);
        insert.ParamByName("DATA_PRZYJECIA").SetDate(data);
        insert.ParamByName("OPIS_USTERKI").SetText(opis);
        insert.ParamByName("KWOTA").SetMoney(kwota);
        insert.ParamByName("DATA_WPISU").SetDate(now);
        insert.ParamByName("DATA_UTWORZ").SetDate(now);
        insert.ExecQuery();
        write.Commit();
        tick.After([&] {
            if (read.Active()) read.Commit();
        });
    }
    Report(state, start);
    if (read.Active()) read.Commit();
}

// The rows of both sides must be the same, apart from key and time.
void CheckSameRows() {
    Database& base = Shared(false);
    const std::string sql =
        "SELECT COUNT(DISTINCT FIRMA_ID || '|' || GS_ID || '|' || NR_ZLECENIA || '|' || "
        "DATA_PRZYJECIA || '|' || OPIS_USTERKI || '|' || KWOTA || '|' || KTO_WPISAL || '|' || "
        "KTO_UTWORZYL || '|' || STANOWISKO) FROM ZLECENIA WHERE DATA_WPISU = DATA_UTWORZ";
    const std::string distinct = base.db.Scalar(sql);
    base.db.Detach();
    if (distinct != "1") throw std::runtime_error("the engine and the hand-written INSERT differ");
}

constexpr int kRounds = 3;
using Fn = void (*)(benchmark::State&);
const std::pair<const char*, Fn> kSides[] = {
    {"BM_Engine", BM_Engine}, {"BM_Hand", BM_Hand}, {"BM_Reprepare", BM_Reprepare}};

void Register() {
    for (int r = 0; r < kRounds; ++r)
        for (int forced : {1, 0})
            for (auto [name, fn] : kSides)
                benchmark::RegisterBenchmark(
                    (std::string(name) + "/round" + std::to_string(r)).c_str(), fn)
                    ->ArgName("forced_writes")
                    ->Arg(forced)
                    ->MinTime(forced ? 2.0 : 1.0)
                    ->UseRealTime()
                    ->MeasureProcessCPUTime()
                    ->Unit(benchmark::kMicrosecond);
}

struct Samples {  // microseconds per row
    std::vector<double> cpu, user, kernel, wall;
};

class RowReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, Samples> samples;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string name = r.benchmark_name();
            const bool forced = name.find("forced_writes:1") != std::string::npos;
            Samples& s = samples[name.substr(0, name.find('/')) + (forced ? " on" : " off")];
            const double rows = static_cast<double>(r.iterations);
            if (rows <= 0) continue;
            s.cpu.push_back(1e6 * r.cpu_accumulated_time / rows);
            s.user.push_back(r.counters.at("user_us/row").value);
            s.kernel.push_back(r.counters.at("kernel_us/row").value);
            s.wall.push_back(1e6 * r.real_accumulated_time / rows);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Register();
    std::vector<double> syncRates{bench::SyncedWritesPerSecond(Shared(true).folder.path())};
    RowReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    syncRates.push_back(bench::SyncedWritesPerSecond(Shared(true).folder.path()));
    CheckSameRows();

    auto& all = reporter.samples;
    auto med = [&](const std::string& key, std::vector<double> Samples::*v) {
        return Median(all[key].*v);
    };
    std::printf("\nOne table's row per transaction, median of %d rounds:\n", kRounds);
    std::printf("  %-14s %-9s %10s %12s %10s %10s\n", "forced writes", "side", "rows/s",
                "CPU us/row", "user", "kernel");
    for (const char* fw : {"on", "off"}) {
        for (auto [name, fn] : kSides) {
            const std::string key = std::string(name) + " " + fw;
            const double wall = med(key, &Samples::wall);
            std::printf("  %-14s %-9s %10.0f %12.1f %10.1f %10.1f\n", fw, name + 3,
                        wall > 0 ? 1e6 / wall : 0, med(key, &Samples::cpu),
                        med(key, &Samples::user), med(key, &Samples::kernel));
        }
    }
    std::printf("engine / hand-written (rows per second; CPU per row hand / engine):\n");
    for (const char* fw : {"on", "off"}) {
        const std::string e = std::string("BM_Engine ") + fw, h = std::string("BM_Hand ") + fw,
                          p = std::string("BM_Reprepare ") + fw;
        const double ew = med(e, &Samples::wall), hw = med(h, &Samples::wall),
                     pw = med(p, &Samples::wall);
        const double ec = med(e, &Samples::cpu), hc = med(h, &Samples::cpu),
                     pc = med(p, &Samples::cpu);
        std::printf(
            "  forced writes %-3s  wall %.2f  CPU %.2f   re-prepared per row: wall %.2f of the "
            "kept statement, CPU +%.1f us per row\n",
            fw, ew > 0 ? hw / ew : 0, ec > 0 ? hc / ec : 0, pw > 0 ? ew / pw : 0, pc - ec);
    }
    std::printf(
        "the disk: %.0f synchronous %zu-byte page writes per second (%.0f before, %.0f after)\n",
        Median(syncRates), bench::kPageSize, syncRates.front(), syncRates.back());
    std::printf("peak resident memory: %ld KiB\n", bench::PeakResidentKb());
    benchmark::Shutdown();
    return 0;
}
