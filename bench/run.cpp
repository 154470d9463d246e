// A whole run, end to end: a generated legacy file of customers (10 fields, Polish names and
// remarks in Mazovia, as the old program stored them) migrated by a definition writing two
// tables, REJESTR_FIRM (key from its generator, existence test on the legacy key) and TELEFONY
// (the company's new key, an SQL condition on the number), through the loader, the preparation
// and the record loop driven in timer ticks as the main window drives them. Next to it the same
// rows are written by a loop on the access layer alone: the same DBF reader and code page
// conversion, the same queries and inserts, one commit per record or one transaction for all.
//
// Every measurement runs in a process of its own on a fresh copy of the database, so the peak
// resident memory (VmHWM) is that of one run of the given size. Commits with forced writes wait
// for the disk, so one commit per record with forced writes runs a smaller file by default;
// every case is run again with forced writes off, which leaves the CPU cost. Embedded and through
// the Firebird server on localhost (build/firebird-server.conf); through the server the CPU time
// measured is the program's alone.
//
//   bench_run [--records=N] [--commit-records=N] [--repeat=N] [--target=embedded|server|both]
//             [--forced=on|off|both] [--timer-gap-ms=N] [--delay-us=N] [--prepare-only=DIR]
//             [--rejects=on]
//   (or BENCH_RUN_RECORDS, BENCH_RUN_COMMIT_RECORDS, BENCH_RUN_REPEAT, BENCH_RUN_TARGET,
//    BENCH_RUN_FORCED, BENCH_RUN_TIMER_GAP_MS, BENCH_RUN_REJECTS)
//
// --rejects=on measures only the cost of the reject limit (MaksOdrzuconych): a clean file with
// the limit at 0 and above 0, and a file with 1 % of records the database refuses.
//
// --records (100000) is the file of the grouped runs and of every run without forced writes;
// --commit-records (2000) the file of one commit per record with forced writes. Memory is also
// measured on 10000 records. The cases alternate in --repeat (3) rounds and the tables give the
// medians. --timer-gap-ms (0) waits between ticks as the window's 2 ms timer does; 0 runs the
// ticks back to back, as a run without a window can.
//
// --delay-us (0) sends the server's runs through a TCP proxy of the benchmark's own that holds
// every chunk that long each way, as a local network would.
//
// --prepare-only writes the database and the file of --records records into DIR and prints the
// command that measures one run on them, for a profiler.
//
// A run over a fixed file is measured once per process, so this is a driver of its own rather
// than a Google Benchmark loop.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "DelayProxy.h"
#include "FbBench.h"
#include "Stats.h"
#include "base/Text.h"
#include "calc/MigracjaUtil.h"
#include "config/Connection.h"
#include "dbf/DbfTable.h"
#include "definitions/DefinitionLoader.h"
#include "engine/RecordLoop.h"
#include "shell/DefinitionRun.h"
#include "shell/Seams.h"
#include "shell/TickBudget.h"
#include "support/DbfWriter.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

extern char** environ;

namespace {

using namespace migracja;
using namespace migracja::literals;
namespace fs = std::filesystem;

constexpr int kSmallRun = 10000;
const char* const kDbfName = "KLIENCI.DBF";
const char* const kDefinitionName = "01-Klienci.ini";

// ---- the legacy file ----

// Windows-1250 to Mazovia, the inverse of the program's own conversion.
std::string ToMazovia(const std::string& win1250) {
    static const std::array<char, 256> table = [] {
        std::array<char, 256> t{};
        for (int b = 0; b < 256; ++b) t[static_cast<std::size_t>(b)] = static_cast<char>(b);
        for (int b = 0x80; b < 256; ++b) {
            const std::string w = calc::MazoviaToWin1250(std::string(1, static_cast<char>(b)));
            if (w.size() == 1 && w[0] != static_cast<char>(b))
                t[static_cast<unsigned char>(w[0])] = static_cast<char>(b);
        }
        return t;
    }();
    std::string out(win1250);
    for (char& c : out) {
        const char m = table[static_cast<unsigned char>(c)];
        if (static_cast<unsigned char>(c) >= 0x80 && m == c)
            throw std::logic_error("no Mazovia byte for a letter of the sample data");
        c = m;
    }
    return out;
}

struct Customer {  // Windows-1250 texts, as the target database gets them
    std::string nrkli, nazwa, skrot, ulica, miasto, kod, nip, telefon, data, uwagi;
};

Customer MakeCustomer(int r) {
    static const std::vector<std::string> kinds = {"Przedsiębiorstwo Handlowo-Usługowe",
                                                   "Zakład Usług Elektronicznych",
                                                   "Spółdzielnia Pracy",
                                                   "Hurtownia Spożywcza",
                                                   "Sklep Wielobranżowy",
                                                   "Biuro Rachunkowe"};
    static const std::vector<std::string> names = {
        "Wąsowicz",  "Łukasiewicz", "Żółkiewski", "Śliwińska", "Grzęda",
        "Kołodziej", "Ćwikła",      "Nowak",      "Mąciwoda",  "Źrebiec"};
    static const std::vector<std::string> cities = {
        "Łódź",      "Gdańsk",       "Kraków",      "Poznań",        "Wrocław",
        "Białystok", "Zielona Góra", "Częstochowa", "Bielsko-Biała", "Świnoujście"};
    static const std::vector<std::string> streets = {
        "ul. Świętokrzyska", "ul. Żeromskiego", "al. Jerozolimskie", "ul. Piękna",
        "ul. Kościuszki",    "ul. Główna",      "ul. Źródlana",      "pl. Wolności"};
    auto pick = [&](const std::vector<std::string>& v, int k) {
        return text::Utf8ToWin1250(v[static_cast<std::size_t>(k) % v.size()]);
    };
    char buf[64];
    Customer c;
    std::snprintf(buf, sizeof buf, "K%07d", r);
    c.nrkli = buf;
    const std::string name = pick(names, r / 7);
    c.nazwa = pick(kinds, r) + " " + name + " i S-ka nr " + std::to_string(r);
    c.skrot = name + " " + std::to_string(r);
    c.ulica = pick(streets, r / 3) + " " + std::to_string(1 + r % 120);
    c.miasto = pick(cities, r / 11);
    std::snprintf(buf, sizeof buf, "%02d%03d", 10 + r % 89, r % 1000);
    c.kod = buf;
    std::snprintf(buf, sizeof buf, "%03d-%03d-%02d-%02d", 100 + r % 900, r % 1000, r % 100, r % 97);
    c.nip = buf;
    std::snprintf(buf, sizeof buf, "0%02d %07d", 12 + r % 80, 1000000 + r);
    c.telefon = buf;
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", 1992 + r % 30, 1 + r % 12, 1 + r % 28);
    c.data = buf;
    c.uwagi = text::Utf8ToWin1250("Płatność przelewem, serwis kas fiskalnych; źródło: TARVIK ") +
              std::to_string(r % 1000);
    return c;
}

const char* const kDefinition =
    "[START]\r\n"
    "PlikDBF=KLIENCI.DBF\r\n"
    "Kodowanie=Mazovia\r\n"
    "Tabela_0=REJESTR_FIRM\r\n"
    "Tabela_1=TELEFONY\r\n"
    "[WARUNKI_SQL]\r\n"
    "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI\r\n"
    "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON\r\n"
    "[Tabela0]\r\n"
    "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)\r\n"
    "NAZWA_FIRMY=PLIKDBF->NAZWA\r\n"
    "NAZWA_SKROT=PLIKDBF->SKROT\r\n"
    "ULICA1=PLIKDBF->ULICA\r\n"
    "MIASTO1=PLIKDBF->MIASTO\r\n"
    "KOD_POCZTOWY1=PLIKDBF->KOD\r\n"
    "NIP=PLIKDBF->NIP\r\n"
    "UWAGI=PLIKDBF->UWAGI\r\n"
    "DATA_UTWORZ=PLIKDBF->DATA\r\n"
    "F_SERWIS=(C)N\r\n"
    "DBF_UNQ_KEY=PLIKDBF->NRKLI\r\n"
    "[Tabela1]\r\n"
    "TEL_ID=GENERATOR(GEN_TELEFONY)\r\n"
    "FIRMA_ID=GENERATOR(0)\r\n"
    "NUMER=PLIKDBF->TELEFON\r\n"
    "TYP=(C)";  // + "Główny" in Windows-1250, DBF_UNQ_KEY

std::string DefinitionText() {
    return kDefinition + "Główny"_w + "\r\nDBF_UNQ_KEY=PLIKDBF->NRKLI\r\n";
}

// badEvery above 0: the file of the reject measurements, whose name field is wide enough for
// every badEvery-th record to carry a name longer than its column, which the database refuses.
void WriteSource(const fs::path& folder, int records, int badEvery = 0) {
    fs::create_directories(folder);
    testing::DbfWriter w;
    w.Field("NRKLI", 'C', 8).Field("NAZWA", 'C', badEvery > 0 ? 100 : 80).Field("SKROT", 'C', 30);
    w.Field("ULICA", 'C', 40).Field("MIASTO", 'C', 30).Field("KOD", 'C', 5);
    w.Field("NIP", 'C', 13).Field("TELEFON", 'C', 20).Field("DATA", 'D', 8);
    w.Field("UWAGI", 'C', 80);
    for (int r = 0; r < records; ++r) {
        Customer c = MakeCustomer(r);
        if (badEvery > 0 && badEvery <= records && r % badEvery == badEvery / 2)
            c.nazwa.resize(95, '.');
        w.Record({c.nrkli, ToMazovia(c.nazwa), ToMazovia(c.skrot), ToMazovia(c.ulica),
                  ToMazovia(c.miasto), c.kod, c.nip, c.telefon, c.data, ToMazovia(c.uwagi)});
    }
    w.WriteTo(folder / kDbfName);
    testing::WriteFileBytes(folder / kDefinitionName, DefinitionText());
}

// The sample schema with the legacy-key column the loader would add, and the indexes a large
// migration needs for its existence test and condition (without them each record reads the
// whole table).
void CreateTemplate(const fs::path& file) {
    fb::Database db;
    fb::Transaction tx(db, "template");
    migracja::testing::CreateDatabase(db, file.string(), "SYSDBA", "masterkey");
    migracja::testing::ExecuteScript(tx, testing::SampleSchema());
    migracja::testing::ExecuteScript(
        tx,
        "ALTER TABLE REJESTR_FIRM ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK;"
        "ALTER TABLE TELEFONY ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK;"
        "CREATE INDEX BENCH_RF_KEY ON REJESTR_FIRM (DBF_UNQ_KEY);"
        "CREATE INDEX BENCH_TEL_NUMER ON TELEFONY (NUMER);");
    db.Close();
}

// ---- the measured runs (child processes) ----

struct ChildArgs {
    std::string side;        // engine | layer
    int perTransaction = 1;  // engine: RecordsPerTransaction; layer: 1 per record, 0 all in one
    std::string location, user, password;
    fs::path folder;
    int timerGapMs = 0;
    bool showSql = false;
    int maxRejects = -1;  // -1: the plain run; 0 and above: a run with this reject limit
};

struct Timing {
    explicit Timing(const fb::Database& db) : trips(db.Trips()) {}
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    bench::CpuTimes cpu = bench::CpuTimes::Now();
    fb::RoundTrips trips;
};

// Pages the database engine has written for the database since it opened it: with forced
// writes each one waits for the disk, so this says how a run fares on another disk.
long PageWrites(fb::Database& db) {
    fb::Transaction tx(db, "statistics");
    tx.Start();
    fb::Query q(tx, "statistics");
    q.SetSql("SELECT MON$PAGE_WRITES FROM MON$IO_STATS WHERE MON$STAT_GROUP = 0");
    q.Open();
    const long writes = q.Eof() ? 0 : static_cast<long>(q.Fields(0).AsInt64());
    q.Close();
    tx.Commit();
    return writes;
}

// The round trips are the access layer's count of calls that wait for the database (through
// the server one network round trip each), from after connecting to the end of the run:
// preparation, the catalogue reads and the final commit included, the statistics query not.
void PrintResult(const Timing& start, fb::Database& db, long records, long rows0, long rows1) {
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start.wall;
    const bench::CpuTimes cpu = bench::CpuTimes::Now();
    const std::uint64_t trips = (db.Trips() - start.trips).Total();
    std::printf(
        "RESULT records=%ld rows0=%ld rows1=%ld seconds=%.6f cpu_us=%.0f user_us=%.0f "
        "kernel_us=%.0f hwm_kb=%ld page_writes=%ld round_trips=%llu\n",
        records, rows0, rows1, wall.count(), cpu.Total() - start.cpu.Total(),
        cpu.user - start.cpu.user, cpu.system - start.cpu.system, bench::PeakResidentKb(),
        PageWrites(db), static_cast<unsigned long long>(trips));
    std::fflush(stdout);
}

int RunEngine(const ChildArgs& a) {
    testing::ScriptedMessageBox messages;
    engine::TDane dane;
    definitions::TFormIni loader(dane, messages);
    config::OpenDatabase(dane.IBDatabase1, a.location, a.user, a.password);
    const Timing start(dane.IBDatabase1);
    dane.RefreshCatalogue();
    dane.SetDbfFolder(a.folder.string());
    dane.RecordsPerTransaction = a.perTransaction;
    if (a.maxRejects >= 0) dane.Rejects.StartRun(a.maxRejects, a.folder / "Odrzucone");
    dane.UseBlockPath = a.side != "engine-today";
    shell::DefinitionRunner runner(dane, loader);
    shell::SystemClock clock;
    const bool& stop = dane.Definition.StopRequested;
    if (runner.Start(a.folder / kDefinitionName)) {
        if (a.showSql)
            for (int t = 0; t < dane.Definition.TableCount; ++t)
                std::fprintf(stderr, "engine, table %d: %s\n", t,
                             text::Win1250ToUtf8(dane.Definition.Tables[t].Statement).c_str());
        // The run's tick: records until the budget is spent, then everything committed.
        while (dane.DefinitionActive && !stop) {
            shell::RunTickBudget(
                clock, shell::kTickBudget, [&] { runner.Step(); },
                [&] { return dane.DefinitionActive && !stop; });
            engine::EndTick(dane);
            if (a.timerGapMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(a.timerGapMs));
        }
    }
    dane.CloseSourceTable();
    const engine::MigrationDefinition& d = dane.Definition;
    if (stop || (d.ErrorsOccurred && dane.Rejects.Count() == 0)) {
        for (const std::string& e : dane.MigrationErrorLog)
            std::fprintf(stderr, "%s\n", text::Win1250ToUtf8(e).c_str());
        return 2;
    }
    PrintResult(start, dane.IBDatabase1, d.CurrentRecordNo, d.Counters[0], d.Counters[1]);
    return 0;
}

int RunLayer(const ChildArgs& a) {
    const bool single = a.perTransaction == 0;
    fb::Database db;
    config::OpenDatabase(db, a.location, a.user, a.password);
    const Timing start(db);
    fb::Transaction write(db, "write");
    fb::Transaction read(db, "read");
    // Generator draws are outside transactions; one commit per record reads them on the read
    // transaction as the engine does, committed once per tick.
    fb::Transaction& drawIn = single ? write : read;
    fb::Query exists0(write, "exists0"), exists1(write, "exists1");
    fb::Query gen0(drawIn, "gen0"), gen1(drawIn, "gen1");
    fb::Statement insert0(write, "insert0"), insert1(write, "insert1");
    exists0.SetSql("SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = :KEY");
    exists1.SetSql("SELECT COUNT(*) FROM TELEFONY WHERE NUMER = :NUMER");
    gen0.SetSql("SELECT GEN_ID(GEN_REJESTR_FIRM, 1) FROM RDB$DATABASE");
    gen1.SetSql("SELECT GEN_ID(GEN_TELEFONY, 1) FROM RDB$DATABASE");
    insert0.SetSql(
        "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_FIRMY, NAZWA_SKROT, ULICA1, MIASTO1, "
        "KOD_POCZTOWY1, NIP, UWAGI, DATA_UTWORZ, F_SERWIS, DBF_UNQ_KEY, KTO_WPISAL, KTO_UTWORZYL, "
        "DATA_WPISU, STANOWISKO) VALUES (:FIRMA_ID, :NAZWA_FIRMY, :NAZWA_SKROT, :ULICA1, "
        ":MIASTO1, :KOD_POCZTOWY1, :NIP, :UWAGI, :DATA_UTWORZ, 'N', :DBF_UNQ_KEY, 'Migracja', "
        "'Migracja', :DATA_WPISU, 'Migracja')");
    insert1.SetSql(
        "INSERT INTO TELEFONY (TEL_ID, FIRMA_ID, NUMER, TYP, DBF_UNQ_KEY, KTO_WPISAL, "
        "KTO_UTWORZYL, DATA_WPISU, DATA_UTWORZ, STANOWISKO) VALUES (:TEL_ID, :FIRMA_ID, :NUMER, "
        "'" +
        "Główny"_w +
        "', :DBF_UNQ_KEY, 'Migracja', 'Migracja', :DATA_WPISU, :DATA_UTWORZ, "
        "'Migracja')");
    auto count = [](fb::Query& q) {
        fb::CursorScope close(q);
        q.Open();
        return q.Eof() ? 0 : q.Fields(0).AsInteger();
    };
    auto draw = [&](fb::Query& q) {
        drawIn.StartIfNeeded();
        fb::CursorScope close(q);
        q.Open();
        return q.Fields(0).AsInteger();
    };

    dbf::DbfTable dbf = dbf::DbfTable::Open(a.folder / kDbfName);
    auto textOf = [&](int i) { return calc::MazoviaToWin1250(dbf.AsText(i)); };
    long records = 0, rows0 = 0, rows1 = 0;
    auto tickStart = std::chrono::steady_clock::now();
    for (bool more = dbf.First(); more; more = dbf.Next()) {
        const std::string nrkli = textOf(0), telefon = textOf(7);
        ++records;
        write.StartIfNeeded();
        exists0.ParamByName("KEY").SetText(nrkli);
        if (count(exists0) == 0) {
            const std::int32_t firma = draw(gen0);
            const DateTime now = LocalNow();
            insert0.ParamByName("FIRMA_ID").SetInteger(firma);
            insert0.ParamByName("NAZWA_FIRMY").SetText(textOf(1));
            insert0.ParamByName("NAZWA_SKROT").SetText(textOf(2));
            insert0.ParamByName("ULICA1").SetText(textOf(3));
            insert0.ParamByName("MIASTO1").SetText(textOf(4));
            insert0.ParamByName("KOD_POCZTOWY1").SetText(textOf(5));
            insert0.ParamByName("NIP").SetText(textOf(6));
            insert0.ParamByName("UWAGI").SetText(textOf(9));
            insert0.ParamByName("DATA_UTWORZ").SetDate(dbf.AsDateTime(8));
            insert0.ParamByName("DBF_UNQ_KEY").SetText(nrkli);
            insert0.ParamByName("DATA_WPISU").SetDate(now);
            insert0.ExecQuery();
            ++rows0;
            exists1.ParamByName("NUMER").SetText(telefon);
            if (count(exists1) == 0) {
                insert1.ParamByName("TEL_ID").SetInteger(draw(gen1));
                insert1.ParamByName("FIRMA_ID").SetInteger(firma);
                insert1.ParamByName("NUMER").SetText(telefon);
                insert1.ParamByName("DBF_UNQ_KEY").SetText(nrkli);
                insert1.ParamByName("DATA_WPISU").SetDate(now);
                insert1.ParamByName("DATA_UTWORZ").SetDate(now);
                insert1.ExecQuery();
                ++rows1;
            }
        }
        if (single) continue;
        write.Commit();
        const auto now = std::chrono::steady_clock::now();
        if (now - tickStart >= shell::kTickBudget) {
            if (read.Active()) read.Commit();
            tickStart = now;
        }
    }
    if (write.Active()) write.Commit();
    if (read.Active()) read.Commit();
    PrintResult(start, db, records, rows0, rows1);
    return 0;
}

int Child(int argc, char** argv) {
    ChildArgs a;
    for (int i = 2; i < argc; ++i) {
        const std::string s = argv[i];
        const auto eq = s.find('=');
        const std::string key = s.substr(0, eq),
                          value = eq == std::string::npos ? "" : s.substr(eq + 1);
        if (key == "--side")
            a.side = value;
        else if (key == "--per-transaction")
            a.perTransaction = std::stoi(value);
        else if (key == "--location")
            a.location = value;
        else if (key == "--user")
            a.user = value;
        else if (key == "--password")
            a.password = value;
        else if (key == "--folder")
            a.folder = value;
        else if (key == "--timer-gap-ms")
            a.timerGapMs = std::stoi(value);
        else if (key == "--show-sql")
            a.showSql = true;
        else if (key == "--max-rejects")
            a.maxRejects = std::stoi(value);
    }
    try {
        return a.side == "layer" ? RunLayer(a) : RunEngine(a);
    } catch (const fb::Error& e) {
        std::fprintf(stderr, "%s\n%s\n", text::Win1250ToUtf8(e.Message()).c_str(), e.Sql().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 2;
}

// ---- the driver ----

struct Options {
    int records = 100000;
    int commitRecords = 2000;
    bool embedded = true, server = true;
    bool forcedOn = true, forcedOff = true;
    int timerGapMs = 0;
    int delayUs = 0;  // through the server: held this long each way by a proxy of our own
    int repeat = 3;
    bool rejects = false;     // only the measurements of the reject limit
    std::string prepareOnly;  // a folder: only the database and the files, for profiling
};

Options ReadOptions(int argc, char** argv) {
    Options o;
    std::map<std::string, std::string> given;
    const std::pair<const char*, const char*> env[] = {
        {"records", "BENCH_RUN_RECORDS"},
        {"commit-records", "BENCH_RUN_COMMIT_RECORDS"},
        {"target", "BENCH_RUN_TARGET"},
        {"forced", "BENCH_RUN_FORCED"},
        {"timer-gap-ms", "BENCH_RUN_TIMER_GAP_MS"},
        {"repeat", "BENCH_RUN_REPEAT"},
        {"rejects", "BENCH_RUN_REJECTS"}};
    for (auto [key, var] : env)
        if (const char* v = std::getenv(var)) given[key] = v;
    for (int i = 1; i < argc; ++i) {
        const std::string s = argv[i];
        const auto eq = s.find('=');
        if (s.rfind("--", 0) != 0 || eq == std::string::npos)
            throw std::invalid_argument("unknown argument " + s);
        given[s.substr(2, eq - 2)] = s.substr(eq + 1);
    }
    for (const auto& [key, value] : given) {
        if (key == "records")
            o.records = std::stoi(value);
        else if (key == "commit-records")
            o.commitRecords = std::stoi(value);
        else if (key == "timer-gap-ms")
            o.timerGapMs = std::stoi(value);
        else if (key == "repeat")
            o.repeat = std::stoi(value);
        else if (key == "delay-us")
            o.delayUs = std::stoi(value);
        else if (key == "prepare-only")
            o.prepareOnly = value;
        else if (key == "rejects")
            o.rejects = value == "on";
        else if (key == "target") {
            o.embedded = value == "embedded" || value == "both";
            o.server = value == "server" || value == "both";
        } else if (key == "forced") {
            o.forcedOn = value == "on" || value == "both";
            o.forcedOff = value == "off" || value == "both";
        } else {
            throw std::invalid_argument("unknown option --" + key);
        }
    }
    if (o.records < 1 || o.commitRecords < 1 || o.repeat < 1)
        throw std::invalid_argument("counts must be positive");
    return o;
}

struct Case {
    bool server = false;
    bool forced = true;
    std::string side;
    int perTransaction = 1;
    int records = 0;
    std::string Mode() const {
        if (side == "engine") return "engine, N=" + std::to_string(perTransaction);
        if (side == "engine-today") return "engine today, N=" + std::to_string(perTransaction);
        return perTransaction ? "layer, commit per record" : "layer, one transaction";
    }
};

struct Result {
    Case c;
    double seconds = 0, cpuUs = 0, userUs = 0, kernelUs = 0;
    long records = 0, rows0 = 0, rows1 = 0, hwmKb = 0, pageWrites = 0;
    double roundTrips = 0;
    double PerSecond() const { return seconds > 0 ? records / seconds : 0; }
    double CpuPerRecord() const { return records ? cpuUs / records : 0; }
};

std::vector<Case> Cases(const Options& o) {
    std::vector<Case> cases;
    for (bool server : {false, true}) {
        if (server ? !o.server : !o.embedded) continue;
        for (bool forced : {true, false}) {
            if (forced ? !o.forcedOn : !o.forcedOff) continue;
            const int perRecord = forced ? o.commitRecords : o.records;
            auto add = [&](const char* side, int n, int records) {
                cases.push_back({server, forced, side, n, records});
            };
            add("engine", 1, perRecord);
            add("layer", 1, perRecord);
            add("engine", 100, o.records);
            add("engine", 1000, o.records);
            add("layer", 0, o.records);
            // Through the server the engine writes a record in one block; today's path beside.
            if (server) {
                add("engine-today", 1, perRecord);
                add("engine-today", 100, o.records);
                add("engine-today", 1000, o.records);
            }
            // The same runs on the smaller file, for the peak memory.
            if (o.records > kSmallRun) {
                if (perRecord > kSmallRun) {
                    add("engine", 1, kSmallRun);
                    add("layer", 1, kSmallRun);
                }
                add("engine", 1000, kSmallRun);
                add("layer", 0, kSmallRun);
            }
        }
    }
    return cases;
}

std::map<std::string, std::string> RunChild(const std::vector<std::string>& args, int& status) {
    std::vector<char*> argv;
    for (const std::string& s : args) argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) throw std::runtime_error("cannot start the measured run");
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    waitpid(pid, &status, 0);
    std::map<std::string, std::string> values;
    const auto at = text.find("RESULT ");
    if (at == std::string::npos) return values;
    std::size_t i = at + 7;
    while (i < text.size() && text[i] != '\n') {
        const auto space = std::min(text.find(' ', i), text.find('\n', i));
        const std::string token = text.substr(i, space - i);
        const auto eq = token.find('=');
        if (eq != std::string::npos) values[token.substr(0, eq)] = token.substr(eq + 1);
        i = space == std::string::npos ? text.size() : (text[space] == ' ' ? space + 1 : space);
    }
    return values;
}

// Counts the rows with a query of its own and compares one record's converted texts.
void CheckRows(const std::string& location, const testing::ServerSettings& login, long records) {
    fb::Database db;
    config::OpenDatabase(db, location, login.user, login.password);
    fb::Transaction tx(db, "check");
    tx.Start();
    fb::Query q(tx, "check");
    auto scalar = [&](const std::string& sql) {
        q.SetSql(sql);
        fb::CursorScope close(q);
        q.Open();
        return q.Eof() ? std::string() : q.Fields(0).AsText();
    };
    const std::string n = std::to_string(records);
    if (scalar("SELECT COUNT(*) FROM REJESTR_FIRM") != n ||
        scalar("SELECT COUNT(*) FROM TELEFONY T JOIN REJESTR_FIRM F ON F.FIRMA_ID = T.FIRMA_ID "
               "AND F.DBF_UNQ_KEY = T.DBF_UNQ_KEY") != n)
        throw std::runtime_error("the run did not write one company and one telephone per record");
    const int r = static_cast<int>(records / 2);
    const Customer c = MakeCustomer(r);
    const std::string stored = scalar(
        "SELECT NAZWA_FIRMY || '|' || UWAGI || '|' || MIASTO1 FROM REJESTR_FIRM "
        "WHERE DBF_UNQ_KEY = '" +
        c.nrkli + "'");
    if (stored != c.nazwa + "|" + c.uwagi + "|" + c.miasto)
        throw std::runtime_error("record " + c.nrkli + " was stored as " +
                                 text::Win1250ToUtf8(stored));
    tx.Commit();
}

void PrintHeader() {
    std::printf("%-9s %-6s %-26s %8s %10s %10s %12s %10s %10s %11s %9s\n", "target", "forced",
                "mode", "records", "records/s", "trips/rec", "CPU us/rec", "user", "kernel",
                "writes/rec", "peak MiB");
}

void PrintRow(const Result& r) {
    const double n = r.records ? static_cast<double>(r.records) : 1;
    std::printf("%-9s %-6s %-26s %8ld %10.0f %10.2f %12.1f %10.1f %10.1f %11.2f %9.1f\n",
                r.c.server ? "server" : "embedded", r.c.forced ? "on" : "off", r.c.Mode().c_str(),
                r.records, r.PerSecond(), r.roundTrips / n, r.CpuPerRecord(), r.userUs / n,
                r.kernelUs / n, r.pageWrites / n, r.hwmKb / 1024.0);
    std::fflush(stdout);
}

const Result* Find(const std::vector<Result>& results, bool server, bool forced,
                   const std::string& side, int n, int records) {
    for (const Result& r : results)
        if (r.c.server == server && r.c.forced == forced && r.c.side == side &&
            r.c.perTransaction == n && r.records == records)
            return &r;
    return nullptr;
}

void PrintSummary(const Options& o, const std::vector<Result>& results) {
    for (bool server : {false, true}) {
        for (bool forced : {true, false}) {
            const int perRecord = forced ? o.commitRecords : o.records;
            const Result* e1 = Find(results, server, forced, "engine", 1, perRecord);
            const Result* l1 = Find(results, server, forced, "layer", 1, perRecord);
            const Result* e100 = Find(results, server, forced, "engine", 100, o.records);
            const Result* e1000 = Find(results, server, forced, "engine", 1000, o.records);
            const Result* ceiling = Find(results, server, forced, "layer", 0, o.records);
            if (!e1 || !l1) continue;
            std::printf("\n%s, forced writes %s:\n", server ? "server" : "embedded",
                        forced ? "on" : "off");
            std::printf(
                "  one commit per record (%d records): engine / layer %.2f in records/s, "
                "%.2f in CPU per record (layer / engine)\n",
                perRecord, e1->PerSecond() / l1->PerSecond(),
                l1->CpuPerRecord() / e1->CpuPerRecord());
            if (e100 && e1000 && ceiling)
                std::printf(
                    "  RekordowNaTransakcje: N=1 %.0f, N=100 %.0f, N=1000 %.0f records/s; "
                    "one transaction on the layer %.0f; N=1000 reaches %.2f of it\n",
                    e1->PerSecond(), e100->PerSecond(), e1000->PerSecond(), ceiling->PerSecond(),
                    e1000->PerSecond() / ceiling->PerSecond());
            for (const int n : {1, 100, 1000}) {
                const Result* block =
                    Find(results, server, forced, "engine", n, n == 1 ? perRecord : o.records);
                const Result* today = Find(results, server, forced, "engine-today", n,
                                           n == 1 ? perRecord : o.records);
                if (block && today)
                    std::printf(
                        "  N=%d: block %.0f records/s, %.2f round trips per record; today's path "
                        "%.0f, %.2f; block / today %.2f\n",
                        n, block->PerSecond(), block->roundTrips / block->records,
                        today->PerSecond(), today->roundTrips / today->records,
                        block->PerSecond() / today->PerSecond());
            }
            for (auto [side, n] : {std::pair<const char*, int>{"engine", 1},
                                   {"layer", 1},
                                   {"engine", 1000},
                                   {"layer", 0}}) {
                const Result* small = Find(results, server, forced, side, n, kSmallRun);
                const Result* large = Find(results, server, forced, side, n, o.records);
                if (small && large)
                    std::printf(
                        "  peak memory, %-26s %6d records %6.1f MiB, %6d records %6.1f MiB "
                        "(%+.1f)\n",
                        small->c.Mode().c_str(), kSmallRun, small->hwmKb / 1024.0, o.records,
                        large->hwmKb / 1024.0, (large->hwmKb - small->hwmKb) / 1024.0);
            }
        }
    }
}

Result RunCase(const Case& c, const fs::path& work, int k, const fs::path& templateFile,
               const fs::path& source, const testing::ServerSettings& login, int timerGapMs,
               bool showSql) {
    const fs::path file = work / ("run-" + std::to_string(k) + ".fdb");
    fs::copy_file(templateFile, file);
    // The server runs as its own user.
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write | fs::perms::others_read |
                              fs::perms::others_write);
    const std::string location = c.server ? login.host + ":" + file.string() : file.string();
    bench::SetForcedWrites(location, c.forced, login.user, login.password);
    std::vector<std::string> args = {"bench_run",
                                     "--child",
                                     "--side=" + c.side,
                                     "--per-transaction=" + std::to_string(c.perTransaction),
                                     "--location=" + location,
                                     "--user=" + login.user,
                                     "--password=" + login.password,
                                     "--folder=" + source.string(),
                                     "--timer-gap-ms=" + std::to_string(timerGapMs)};
    if (showSql) args.push_back("--show-sql");
    int status = 0;
    const auto v = RunChild(args, status);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || v.empty())
        throw std::runtime_error("the run " + c.Mode() + " failed");
    Result r;
    r.c = c;
    r.records = std::stol(v.at("records"));
    r.rows0 = std::stol(v.at("rows0"));
    r.rows1 = std::stol(v.at("rows1"));
    r.seconds = std::stod(v.at("seconds"));
    r.cpuUs = std::stod(v.at("cpu_us"));
    r.userUs = std::stod(v.at("user_us"));
    r.kernelUs = std::stod(v.at("kernel_us"));
    r.hwmKb = std::stol(v.at("hwm_kb"));
    r.pageWrites = std::stol(v.at("page_writes"));
    r.roundTrips = std::stod(v.at("round_trips"));
    if (r.records != c.records || r.rows0 != c.records || r.rows1 != c.records)
        throw std::runtime_error("the run " + c.Mode() + " counted " + std::to_string(r.rows0) +
                                 " and " + std::to_string(r.rows1) + " rows of " +
                                 std::to_string(c.records) + " records");
    CheckRows(location, login, c.records);
    fs::remove(file);
    return r;
}

// The median of each figure over the rounds of one case.
Result MedianOf(const std::vector<Result>& runs) {
    auto median = [&](auto field) {
        std::vector<double> v;
        for (const Result& r : runs) v.push_back(static_cast<double>(r.*field));
        return Median(v);
    };
    Result m = runs.front();
    m.seconds = median(&Result::seconds);
    m.cpuUs = median(&Result::cpuUs);
    m.userUs = median(&Result::userUs);
    m.kernelUs = median(&Result::kernelUs);
    m.hwmKb = static_cast<long>(median(&Result::hwmKb));
    m.pageWrites = static_cast<long>(median(&Result::pageWrites));
    m.roundTrips = median(&Result::roundTrips);
    return m;
}

// The database and the files of one run, and the command that runs it, for a profiler.
int PrepareOnly(const Options& o) {
    const fs::path dir = o.prepareOnly;
    fs::create_directories(dir);
    CreateTemplate(dir / "run.fdb");
    fs::permissions(
        dir / "run.fdb",
        fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
    WriteSource(dir / "src", o.records);
    std::printf(
        "bench_run --child --side=engine|layer --per-transaction=N --location=%s "
        "--user=SYSDBA --password=masterkey --folder=%s\n",
        (dir / "run.fdb").string().c_str(), (dir / "src").string().c_str());
    return 0;
}

// The reject limit's cost, embedded without forced writes (the CPU cost) and with
// RekordowNaTransakcje=1000: a clean file with the limit at 0 and at 100, and a file with 1 % of
// records the database refuses, with the limit at 1000. The cases alternate over the rounds.
int DriveRejects(const Options& o) {
    testing::TempDir work("migracja-bench-rejects");
    const fs::path templateFile = work / "template.fdb";
    CreateTemplate(templateFile);
    struct RejectCase {
        const char* name;
        int badEvery, maxRejects;
        std::vector<double> rates;
    };
    std::vector<RejectCase> cases = {{"clean file, limit 0", 0, 0, {}},
                                     {"clean file, limit 100", 0, 100, {}},
                                     {"1 % bad records, limit 1000", 100, 1000, {}}};
    const fs::path clean = work / "clean", dirty = work / "dirty";
    // Both files have the wide name field, so that only the bad records differ; a step longer
    // than the file makes none.
    WriteSource(clean, o.records, o.records + 1);
    WriteSource(dirty, o.records, 100);
    int k = 0;
    for (int round = 0; round < o.repeat; ++round) {
        for (RejectCase& c : cases) {
            const fs::path file = work / ("run-" + std::to_string(k++) + ".fdb");
            fs::copy_file(templateFile, file);
            bench::SetForcedWrites(file.string(), false, "SYSDBA", "masterkey");
            const fs::path source = c.badEvery > 0 ? dirty : clean;
            fs::remove_all(source / "Odrzucone");
            int status = 0;
            const auto v = RunChild(
                {"bench_run", "--child", "--side=engine", "--per-transaction=1000",
                 "--location=" + file.string(), "--user=SYSDBA", "--password=masterkey",
                 "--folder=" + source.string(), "--max-rejects=" + std::to_string(c.maxRejects)},
                status);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || v.empty())
                throw std::runtime_error(std::string("the run ") + c.name + " failed");
            const long bad = c.badEvery > 0 ? o.records / c.badEvery : 0;
            if (std::stol(v.at("records")) != o.records ||
                std::stol(v.at("rows0")) != o.records - bad)
                throw std::runtime_error(std::string("the run ") + c.name + " wrote " +
                                         v.at("rows0") + " rows");
            c.rates.push_back(o.records / std::stod(v.at("seconds")));
            std::printf("  round %d, %-28s %8.0f records/s\n", round + 1, c.name, c.rates.back());
            std::fflush(stdout);
            fs::remove(file);
        }
    }
    std::printf(
        "\nmedians of %d rounds, %d records, RekordowNaTransakcje=1000, embedded, "
        "forced writes off:\n",
        o.repeat, o.records);
    for (const RejectCase& c : cases)
        std::printf("  %-28s %8.0f records/s\n", c.name, Median(c.rates));
    const double base = Median(cases[0].rates);
    std::printf("  limit 100 on the clean file: %.3f of the limit 0 rate\n",
                Median(cases[1].rates) / base);
    std::printf("  1 %% bad records with the limit: %.3f of the clean rate\n",
                Median(cases[2].rates) / base);
    return 0;
}

int Drive(int argc, char** argv) {
    const Options o = ReadOptions(argc, argv);
    if (!o.prepareOnly.empty()) return PrepareOnly(o);
    if (o.rejects) return DriveRejects(o);
    testing::TempDir work("migracja-bench-run");
    const fs::path templateFile = work / "template.fdb";
    CreateTemplate(templateFile);
    const std::vector<Case> cases = Cases(o);
    std::map<int, fs::path> sources;
    for (const Case& c : cases) {
        if (sources.count(c.records)) continue;
        sources[c.records] = work / ("src-" + std::to_string(c.records));
        WriteSource(sources[c.records], c.records);
    }
    testing::ServerSettings server;
    if (o.server) server = testing::ReadServerSettings();
    std::unique_ptr<bench::DelayProxy> proxy;
    if (o.server && o.delayUs > 0) {
        proxy = std::make_unique<bench::DelayProxy>(server.host, 3050,
                                                    std::chrono::microseconds(o.delayUs));
        server.host = "127.0.0.1/" + std::to_string(proxy->Port());
        std::printf("through the server: every chunk held %d us each way by a proxy\n", o.delayUs);
    }
    const testing::ServerSettings local{"", "SYSDBA", "masterkey"};

    std::vector<double> syncRates{bench::SyncedWritesPerSecond(work.path())};
    std::printf(
        "%d rounds; records per second and CPU time per record of the measured process "
        "(the embedded engine works in it; through the server it is the client's alone)\n",
        o.repeat);
    PrintHeader();
    std::vector<std::vector<Result>> runs(cases.size());
    int k = 0;
    // Rounds alternate the cases, so that a busy disk or machine does not favour one of them.
    for (int round = 0; round < o.repeat; ++round) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            runs[i].push_back(RunCase(c, work.path(), k++, templateFile, sources[c.records],
                                      c.server ? server : local, o.timerGapMs,
                                      round == 0 && i == 0));
            PrintRow(runs[i].back());
        }
        syncRates.push_back(bench::SyncedWritesPerSecond(work.path()));
    }
    std::vector<Result> results;
    std::printf("\nmedians of %d rounds:\n", o.repeat);
    PrintHeader();
    for (const auto& r : runs) {
        results.push_back(MedianOf(r));
        PrintRow(results.back());
    }
    PrintSummary(o, results);
    const auto [lo, hi] = std::minmax_element(syncRates.begin(), syncRates.end());
    std::printf(
        "\nthe disk: %.0f synchronous %zu-byte page writes per second, median of %zu probes "
        "(%.0f to %.0f)\n",
        Median(syncRates), bench::kPageSize, syncRates.size(), *lo, *hi);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--child") return Child(argc, argv);
    try {
        return Drive(argc, argv);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_run: %s\n", e.what());
        return 1;
    }
}
