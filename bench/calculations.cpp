// What calculations cost a run, end to end: a definition with one target table goes through the
// loader, the preparation and the real record loop (existence test, generator, insert, commit of
// each record, the read transaction ended every 20 ms as the run ticks do), on an embedded
// database with forced writes as by default, over a generated DBF file read round and round.
// The same definition is run without calculations, with five that compute from the record alone
// and with those five and five that look rows up in the target database; the row always gets the
// same columns, filled from the calculations where there are some and from the DBF fields
// otherwise. Records are committed one by one, or in groups of 100 under savepoints.
//
//   pure     GetImie, GetNazwisko, KodPocztowyZKreska, Get1PrefixNIP, WartoscBrutto
//   lookups  GetFIRMA_ID_Zlecenia, SelectWgNr twice, GetIDAktywnejKasy (a chain of two devices),
//            NextUniqueSkrot (half of the wanted names are taken)
//
// The lookups search columns without an index (the sample schema has none on them, and the
// program adds DBF_UNQ_KEY without one); the last runs repeat the ten with indexes made.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "config/Connection.h"
#include "definitions/DefinitionLoader.h"
#include "engine/Prepare.h"
#include "engine/RecordLoop.h"
#include "shell/TickBudget.h"
#include "support/DbfWriter.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

namespace {

using namespace migracja;

constexpr int kRecords = 4000;
constexpr int kCompanies = 1000;

struct Setup {
    testing::TestDatabase db;
    testing::TempDir folder{"migracja-bench-calc"};

    Setup() {
        db.Exec("ALTER TABLE REJESTR_FIRM ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK");
        // Companies that are service firms (even) or tax payers (odd), and for each a chain of
        // two fiscal devices.
        std::string rows;
        for (int n = 0; n < kCompanies; ++n) {
            const std::string i = std::to_string(n);
            rows +=
                "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, DBF_UNQ_KEY, F_SERWIS, "
                "F_PODATNIK) VALUES (" +
                std::to_string(n + 1) + ", 'SKROT" + i + "', 'K" + i + "', '" +
                (n % 2 ? "N" : "T") + "', '" + (n % 2 ? "T" : "N") + "');\n";
            rows +=
                "INSERT INTO DEF_KASYFISKALNE_SPRZET (SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, "
                "NAST_NR_UNIKAT) VALUES (" +
                std::to_string(n + 1) + ", 'P" + i + "', 'N" + i + "', 'M" + i + "');\n";
            rows +=
                "INSERT INTO DEF_KASYFISKALNE_SPRZET (SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, "
                "NAST_NR_UNIKAT) VALUES (" +
                std::to_string(n + 100001) + ", 'N" + i + "', 'Q" + i + "', NULL);\n";
        }
        db.Exec(rows);
        db.Exec(
            "CREATE TABLE WYNIKI (ID INTEGER NOT NULL PRIMARY KEY, IMIE VARCHAR(40), "
            "NAZWISKO VARCHAR(40), KOD VARCHAR(10), NIP VARCHAR(13), KWOTA NUMERIC(15,4), "
            "FIRMA_ID INTEGER, SPRZET_ID INTEGER, SKROT VARCHAR(40), DBF_UNQ_KEY VARCHAR(40));"
            "CREATE GENERATOR GEN_WYNIKI;");
        db.Detach();

        testing::DbfWriter w;
        w.Field("NRKLI", 'C', 8).Field("OSOBA", 'C', 40).Field("KOD", 'C', 6);
        w.Field("NIP", 'C', 13).Field("ILOSC", 'N', 10, 4).Field("CENA", 'N', 12, 4);
        w.Field("VAT", 'N', 2).Field("KASA", 'C', 10).Field("SKROT", 'C', 20);
        w.Field("ROLA", 'N', 2).Field("ROLA2", 'N', 2).Field("SERW", 'C', 1);
        for (int r = 0; r < kRecords; ++r) {
            const std::string n = std::to_string(r % kCompanies);
            w.Record({"K" + n, r % 2 ? "Jan Kowalski" : "Nowak-Kowalska Anna Maria", "00950",
                      "123-456-78-90", "2.5000", std::to_string(r % 500) + ".3300",
                      std::to_string(r % 3), "P" + n, "SKROT" + std::to_string(r % 2000), "2", "4",
                      r % 2 ? "T" : "N"});
        }
        w.WriteTo(folder / "ZLECENIA.DBF");
    }
};

Setup& Shared() {
    static Setup setup;
    return setup;
}

// Indexes on the columns the lookups search. The sample schema has none, and the program adds
// DBF_UNQ_KEY without one, so by default every lookup reads its whole table.
void CreateLookupIndexes() {
    static bool created = false;
    if (created) return;
    Shared().db.Exec(
        "CREATE INDEX BENCH_RF_KEY ON REJESTR_FIRM (DBF_UNQ_KEY);"
        "CREATE INDEX BENCH_RF_SKROT ON REJESTR_FIRM (NAZWA_SKROT);"
        "CREATE INDEX BENCH_KASY_POP ON DEF_KASYFISKALNE_SPRZET (POP_NR_UNIKAT);");
    Shared().db.Detach();
    created = true;
}

enum Calculations { kNone = 0, kPure = 5, kPureAndLookups = 10 };

// The definition with the first `calculations` of the ten; each column takes its calculation
// when there is one and a DBF field otherwise.
std::string DefinitionText(int calculations) {
    static const char* const kLines[] = {
        "GetImie(PLIKDBF->OSOBA);",
        "GetNazwisko(PLIKDBF->OSOBA);",
        "KodPocztowyZKreska(PLIKDBF->KOD);",
        "Get1PrefixNIP(PLIKDBF->NIP);",
        "WartoscBrutto(PLIKDBF->ILOSC, PLIKDBF->CENA, PLIKDBF->VAT);",
        "GetFIRMA_ID_Zlecenia(PLIKDBF->NRKLI, PLIKDBF->NRKLI, PLIKDBF->SERW);",
        "SelectWgNr(PLIKDBF->NRKLI, PLIKDBF->ROLA, PLIKDBF->NRKLI);",
        "SelectWgNr(PLIKDBF->NRKLI, PLIKDBF->ROLA2, PLIKDBF->NRKLI);",
        "GetIDAktywnejKasy(PLIKDBF->KASA);",
        "NextUniqueSkrot(PLIKDBF->SKROT 'NAZWA_SKROT FROM REJESTR_FIRM');",
    };
    struct Column {
        const char* name;
        int calculation;
        const char* letter;
        const char* field;
    };
    static const Column kColumns[] = {
        {"IMIE", 0, "", "OSOBA"},
        {"NAZWISKO", 1, "", "OSOBA"},
        {"KOD", 2, "", "KOD"},
        {"NIP", 3, "", "NIP"},
        {"KWOTA", 4, "(F)", "CENA"},
        {"FIRMA_ID", 5, "(N)", "ROLA"},
        {"SPRZET_ID", 8, "(N)", "ROLA2"},
        {"SKROT", 9, "", "SKROT"},
    };
    std::string s =
        "[START]\r\nPlikDBF=ZLECENIA.DBF\r\nTabela_0=WYNIKI\r\n"
        "[WARUNKI_SQL]\r\nWarunek_0=SELECT COUNT(*) FROM RDB$DATABASE WHERE 1 = 0\r\n"
        "[OBLICZANE]\r\n";
    for (int k = 0; k < calculations; ++k)
        s += "WynikNr" + std::to_string(k) + "=" + kLines[k] + "\r\n";
    s += "[Tabela0]\r\nID=GENERATOR(GEN_WYNIKI)\r\nDBF_UNQ_KEY=PLIKDBF->NRKLI\r\n";
    for (const Column& c : kColumns)
        s += std::string(c.name) + "=" +
             (c.calculation < calculations
                  ? "OBLICZENIA->WYNIKNR" + std::to_string(c.calculation) + c.letter
                  : std::string("PLIKDBF->") + c.field) +
             "\r\n";
    return s;
}

// The data module running one definition as a run does, started again at the file's end.
struct Run {
    testing::ScriptedMessageBox messages;
    engine::TDane dane;
    definitions::TFormIni loader{dane, messages};
    std::chrono::steady_clock::time_point tickStart = std::chrono::steady_clock::now();
    std::int64_t records = 0;

    Run(int calculations, int recordsPerTransaction) {
        const auto file = Shared().folder / ("0" + std::to_string(calculations) + "-bench.ini");
        Shared().folder.Write(file.filename().string(), DefinitionText(calculations));
        config::OpenDatabase(dane.IBDatabase1, Shared().db.Location(), "SYSDBA", "masterkey");
        dane.RefreshCatalogue();
        dane.SetDbfFolder(Shared().folder.path().string());
        dane.RecordsPerTransaction = recordsPerTransaction;
        dane.ResetDefinition();
        loader.LoadDefinition(file);
        if (!dane.Definition.StopRequested && dane.OpenSourceTable())
            engine::PrepareStatements(dane);
        Check();
        dane.DefinitionActive = true;
    }
    ~Run() { engine::EndTick(dane); }

    void Check() const {
        if (dane.Definition.StopRequested)
            throw std::runtime_error(dane.MigrationErrorLog.empty() ? "stopped"
                                                                    : dane.MigrationErrorLog[0]);
    }

    void Step() {
        engine::ProcessSourceRecord(dane);
        Check();
        ++records;
        if (!dane.DefinitionActive) {
            dane.Dbf1->First();
            dane.DefinitionActive = true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - tickStart >= shell::kTickBudget) {
            engine::EndTick(dane);
            tickStart = now;
        }
    }
};

void BM_Run(benchmark::State& state) {
    if (state.range(2)) CreateLookupIndexes();
    Run run(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) run.Step();
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(run.records), benchmark::Counter::kIsRate);
}

}  // namespace

// The runs without indexes come first: the indexes, once made, stay.
BENCHMARK(BM_Run)
    ->ArgNames({"calculations", "per_commit", "indexed"})
    ->ArgsProduct({{kNone, kPure, kPureAndLookups}, {1, 100}, {0}})
    ->ArgsProduct({{kPureAndLookups}, {1, 100}, {1}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(2.0)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Shared();
    benchmark::RunSpecifiedBenchmarks();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    benchmark::Shutdown();
}
