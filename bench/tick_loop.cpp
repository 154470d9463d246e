// What the run's timer ticks allow: one record per tick against records until the 20 ms budget
// of a tick is spent. Both sides wait the same 2 ms timer interval between ticks and run the
// same real record step, so the difference is the tick policy alone:
//
//   dbf      read the record into the data module's field slots and advance (no database)
//   record   the same, then what a run does for one record with one target table: draw the key
//            from a generator, bind the fields to the INSERT, execute it and commit, one
//            transaction per record, on an embedded database with forced writes (the default)
//
// The data are a generated DBF file of 20,000 records read round and round.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Stats.h"
#include "config/Connection.h"
#include "engine/Dane.h"
#include "fb/Fb.h"
#include "shell/TickBudget.h"
#include "support/DatabaseFiles.h"

namespace {

using namespace migracja;
using migracja::shell::kTickBudget;
using migracja::shell::kTimerIntervalMs;
using migracja::shell::RunTickBudget;
using migracja::shell::SystemClock;

constexpr int kRecords = 20000;

struct FieldDef {
    const char* name;
    char type;
    int length;
    int decimals;
};
constexpr FieldDef kFields[] = {{"NRKLI", 'C', 8, 0}, {"NAZWA", 'C', 40, 0}, {"MIASTO", 'C', 20, 0},
                                {"ILE", 'N', 4, 0},   {"KWOTA", 'N', 12, 2}, {"DATA", 'D', 8, 0}};

void Put16(std::string& s, std::size_t at, unsigned v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

// A dBase III file: header, field descriptors, records, end-of-file mark.
void WriteDbf(const std::filesystem::path& file) {
    const std::size_t fieldCount = std::size(kFields);
    unsigned recordLength = 1;
    for (const FieldDef& f : kFields) recordLength += static_cast<unsigned>(f.length);
    const unsigned headerLength = static_cast<unsigned>(32 + 32 * fieldCount + 1);
    std::string out(headerLength, '\0');
    out[0] = 0x03;
    out[1] = 124, out[2] = 1, out[3] = 15;
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<char>((kRecords >> (8 * i)) & 0xFF);
    Put16(out, 8, headerLength);
    Put16(out, 10, recordLength);
    for (std::size_t i = 0; i < fieldCount; ++i) {
        const std::size_t at = 32 + 32 * i;
        const std::string name = kFields[i].name;
        out.replace(at, name.size(), name);
        out[at + 11] = kFields[i].type;
        out[at + 16] = static_cast<char>(kFields[i].length);
        out[at + 17] = static_cast<char>(kFields[i].decimals);
    }
    out[headerLength - 1] = 0x0D;
    auto pad = [](std::string v, int n, bool right) {
        v.resize(std::min<std::size_t>(v.size(), static_cast<std::size_t>(n)));
        const std::string fill(static_cast<std::size_t>(n) - v.size(), ' ');
        return right ? fill + v : v + fill;
    };
    char date[16];
    for (int r = 0; r < kRecords; ++r) {
        std::snprintf(date, sizeof date, "2023%02d%02d", 1 + r % 12, 1 + r % 28);
        out += ' ';
        out += pad(std::to_string(100000 + r), 8, false);
        out += pad("Firma handlowo-uslugowa nr " + std::to_string(r), 40, false);
        out += pad(r % 2 ? "Radom" : "Warszawa", 20, false);
        out += pad(std::to_string(r % 1000), 4, true);
        out += pad(std::to_string(r % 100000) + "." + std::to_string(10 + r % 90), 12, true);
        out += date;
    }
    out += '\x1A';
    std::FILE* f = std::fopen(file.string().c_str(), "wb");
    std::fwrite(out.data(), 1, out.size(), f);
    std::fclose(f);
}

// A program folder of its own: the DBF file and an embedded database with one target table.
struct Setup {
    std::filesystem::path dir;
    std::string location;
    Setup() {
        std::random_device rd;
        dir = std::filesystem::temp_directory_path() / ("migracja-bench-" + std::to_string(rd()));
        std::filesystem::create_directories(dir / "DBF");
        WriteDbf(dir / "DBF" / "TARV01.DBF");
        location = (dir / "tarvik.fdb").string();
        fb::Database db;
        migracja::testing::CreateDatabase(db, location, "SYSDBA", "masterkey");
        fb::Transaction t(db, "ddl");
        migracja::testing::ExecuteScript(
            t,
            "CREATE TABLE REJESTR_FIRM (FIRMA_ID INTEGER NOT NULL PRIMARY KEY, "
            "NAZWA_FIRMY VARCHAR(40), MIASTO1 VARCHAR(20), ILE INTEGER, "
            "KWOTA NUMERIC(15,4), DATA_WPISU DATE, DBF_UNQ_KEY VARCHAR(40));"
            "CREATE GENERATOR GEN_REJESTR_FIRM;");
    }
    ~Setup() {
        fb::Database db;
        config::OpenDatabase(db, location, "SYSDBA", "masterkey");
        migracja::testing::DropDatabase(db);
        std::filesystem::remove_all(dir);
    }
};

Setup& Shared() {
    static Setup setup;
    return setup;
}

// The data module with the source file open, and the record step on it.
struct SourceRun {
    engine::TDane dane;
    bool write;
    std::int64_t records = 0;

    explicit SourceRun(bool writeRows) : write(writeRows) {
        dane.SetDbfFolder((Shared().dir / "DBF").string());
        dane.Definition.DbfFileName = "TARV01.DBF";
        if (!dane.OpenSourceTable()) throw std::runtime_error("no records");
        if (!write) return;
        config::OpenDatabase(dane.IBDatabase1, Shared().location, "SYSDBA", "masterkey");
        dane.IBSQLMigracja.SetSql(
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_FIRMY, MIASTO1, ILE, KWOTA, DATA_WPISU, "
            "DBF_UNQ_KEY) VALUES (:pFIRMA_ID, :pNAZWA_FIRMY, :pMIASTO1, :pILE, :pKWOTA, "
            ":pDATA_WPISU, :pDBF_UNQ_KEY)");
    }

    void Step() {
        dane.ReadSourceRecord();
        if (write) {
            const auto& f = dane.Definition.DbfFields;
            fb::Statement& insert = dane.IBSQLMigracja;
            const std::int32_t key = dane.NextGeneratorValue("GEN_REJESTR_FIRM");
            dane.IBTransaction1.StartIfNeeded();
            insert.Params(0).SetInteger(key);
            insert.Params(1).SetText(f[1].TextValue);
            insert.Params(2).SetText(f[2].TextValue);
            insert.Params(3).SetInteger(f[3].IntegerValue);
            insert.Params(4).SetMoney(f[4].MoneyValue);
            insert.Params(5).SetDate(f[5].DateValue);
            insert.Params(6).SetText(f[0].TextValue);
            insert.ExecQuery();
            dane.IBTransaction1.Commit();
        }
        ++records;
        // Round and round: the file's end starts it again, so a run never runs dry.
        if (!dane.AdvanceSourceRecord()) dane.Dbf1->First();
    }
};

// The event loop's part is stood in for by the timer's wait alone, which is its floor.
void WaitForTimer() {
    std::this_thread::sleep_for(std::chrono::milliseconds(kTimerIntervalMs));
}

void Report(benchmark::State& state, const SourceRun& run) {
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(run.records), benchmark::Counter::kIsRate);
    state.counters["records/tick"] =
        benchmark::Counter(static_cast<double>(run.records), benchmark::Counter::kAvgIterations);
}

void BM_OneRecordPerTick(benchmark::State& state) {
    SourceRun run(state.range(0) != 0);
    for (auto _ : state) {
        run.Step();
        WaitForTimer();
    }
    Report(state, run);
}

void BM_BudgetedTick(benchmark::State& state) {
    SystemClock clock;
    SourceRun run(state.range(0) != 0);
    for (auto _ : state) {
        RunTickBudget(
            clock, kTickBudget, [&] { run.Step(); }, [] { return true; });
        WaitForTimer();
    }
    Report(state, run);
}

// Alternating rounds, so that a busy disk or machine does not favour one side.
constexpr int kRounds = 3;
void Register() {
    using Fn = void (*)(benchmark::State&);
    for (int r = 0; r < kRounds; ++r)
        for (int record : {0, 1})
            for (auto [name, fn] : {std::pair<std::string, Fn>{"one", BM_OneRecordPerTick},
                                    std::pair<std::string, Fn>{"budgeted", BM_BudgetedTick}})
                benchmark::RegisterBenchmark(
                    (std::string(record ? "record/" : "dbf/") + name + "/round" + std::to_string(r))
                        .c_str(),
                    fn)
                    ->Arg(record)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->MinTime(1.0);
}

// Collects records per second of every run, by step and tick policy.
class RateReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, std::vector<double>> rates;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const auto it = r.counters.find("records/s");
            const std::string name = r.benchmark_name();
            if (it != r.counters.end())
                rates[name.substr(0, name.find("/round"))].push_back(it->second.value);
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
    std::printf(
        "\nrecords per second, median of %d rounds, %d ms timer wait between ticks on both "
        "sides:\n",
        kRounds, kTimerIntervalMs);
    for (const char* step : {"dbf", "record"}) {
        const double one = Median(reporter.rates[std::string(step) + "/one"]);
        const double budgeted = Median(reporter.rates[std::string(step) + "/budgeted"]);
        std::printf(
            "  %-42s one per tick %9.0f   budgeted %9.0f   ratio %.1f\n",
            step[0] == 'd' ? "dbf (read and advance)" : "record (read, generator, insert, commit)",
            one, budgeted, one > 0 ? budgeted / one : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
