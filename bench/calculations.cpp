// What calculations cost a run. The record step of a definition with one target table (read the
// record into the field slots, evaluate the calculations, draw the key from a generator, insert
// the row, commit: one transaction per record, embedded database, forced writes as by default)
// is timed with no calculations, with five that compute from the record alone, and with those
// five and five that look rows up in the target database; the same steps without the insert
// show the calculations' own share. The rows always get the same columns, filled from the
// calculations where there are some and from the DBF fields otherwise.
//
//   pure     GetImie, GetNazwisko, KodPocztowyZKreska, Get1PrefixNIP, WartoscBrutto
//   lookups  GetFIRMA_ID_Zlecenia, SelectWgNr twice, GetIDAktywnejKasy (a chain of two devices),
//            NextUniqueSkrot (half of the wanted names are taken)

#include "engine/Calculations.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "calc/FunctionTable.h"
#include "config/Connection.h"
#include "engine/Dane.h"
#include "support/DbfWriter.h"
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

struct Run {
    engine::TDane dane;
    bool write;
    std::int64_t records = 0;

    Run(int calculations, bool writeRows, bool indexed) : write(writeRows) {
        if (indexed) CreateLookupIndexes();
        config::OpenDatabase(dane.IBDatabase1, Shared().db.Location(), "SYSDBA", "masterkey");
        dane.SetDbfFolder(Shared().folder.path().string());
        dane.Definition.DbfFileName = "ZLECENIA.DBF";
        if (!dane.OpenSourceTable()) throw std::runtime_error("no records");
        if (calculations >= kPure) {
            Add("GetImie", {"OSOBA"});
            Add("GetNazwisko", {"OSOBA"});
            Add("KodPocztowyZKreska", {"KOD"});
            Add("Get1PrefixNIP", {"NIP"});
            Add("WartoscBrutto", {"ILOSC", "CENA", "VAT"});
        }
        if (calculations >= kPureAndLookups) {
            Add("GetFIRMA_ID_Zlecenia", {"NRKLI", "NRKLI", "SERW"});
            Add("SelectWgNr", {"NRKLI", "ROLA", "NRKLI"});
            Add("SelectWgNr", {"NRKLI", "ROLA2", "NRKLI"});
            Add("GetIDAktywnejKasy", {"KASA"});
            Add("NextUniqueSkrot", {"SKROT"}, "NAZWA_SKROT FROM REJESTR_FIRM");
        }
        dane.IBSQLMigracja.SetSql(
            "INSERT INTO WYNIKI (ID, IMIE, NAZWISKO, KOD, NIP, KWOTA, FIRMA_ID, SPRZET_ID, SKROT, "
            "DBF_UNQ_KEY) VALUES (:pID, :pIMIE, :pNAZWISKO, :pKOD, :pNIP, :pKWOTA, :pFIRMA_ID, "
            ":pSPRZET_ID, :pSKROT, :pDBF_UNQ_KEY)");
    }

    int Field(const std::string& name) const {
        const auto& fields = dane.Definition.DbfFields;
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (fields[i].Name == name) return static_cast<int>(i);
        throw std::runtime_error("no field " + name);
    }

    void Add(const char* function, std::vector<std::string> fields, std::string text = "") {
        engine::CalculationDef c;
        c.Function = calc::FindFunction(function);
        c.TextArg = std::move(text);
        for (std::size_t n = 0; n < fields.size(); ++n) {
            c.ArgFields[n] = Field(fields[n]);
            c.ArgKinds[n] = dane.Definition.DbfFields[c.ArgFields[n]].Kind;
        }
        dane.Definition.Calculations.push_back(std::move(c));
    }

    // Calculation k's text or the field's text when there is no such calculation.
    const std::string& Text(int k, int field) const {
        const auto& c = dane.Definition.Calculations;
        return k < static_cast<int>(c.size()) ? c[k].TextResult
                                              : dane.Definition.DbfFields[field].TextValue;
    }

    void Step() {
        dane.ReadSourceRecord();
        engine::EvaluateCalculations(dane);
        if (dane.Definition.StopRequested) throw std::runtime_error(dane.MigrationErrorLog.at(0));
        if (write) {
            const auto& f = dane.Definition.DbfFields;
            const auto& c = dane.Definition.Calculations;
            const bool lookups = c.size() >= kPureAndLookups;
            fb::Statement& insert = dane.IBSQLMigracja;
            const std::int32_t key = dane.NextGeneratorValue("GEN_WYNIKI");
            dane.IBTransaction1.StartIfNeeded();
            insert.Params(0).SetInteger(key);
            insert.Params(1).SetText(Text(0, 1));
            insert.Params(2).SetText(Text(1, 1));
            insert.Params(3).SetText(Text(2, 2));
            insert.Params(4).SetText(Text(3, 3));
            insert.Params(5).SetMoney(c.size() >= kPure ? c[4].MoneyResult : f[5].MoneyValue);
            insert.Params(6).SetInteger(lookups ? c[5].IntegerResult : f[9].IntegerValue);
            insert.Params(7).SetInteger(lookups ? c[8].IntegerResult : f[10].IntegerValue);
            insert.Params(8).SetText(Text(9, 8));
            insert.Params(9).SetText(f[0].TextValue);
            insert.ExecQuery();
            dane.IBTransaction1.Commit();
        }
        ++records;
        if (!dane.AdvanceSourceRecord()) dane.Dbf1->First();
    }
};

void BM_RecordStep(benchmark::State& state) {
    Run run(static_cast<int>(state.range(0)), state.range(1) != 0, state.range(2) != 0);
    for (auto _ : state) run.Step();
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(run.records), benchmark::Counter::kIsRate);
}

}  // namespace

// The runs without indexes come first: the indexes, once made, stay.
BENCHMARK(BM_RecordStep)
    ->ArgNames({"calculations", "insert", "indexed"})
    ->ArgsProduct({{kNone, kPure, kPureAndLookups}, {0, 1}, {0}})
    ->Args({kPureAndLookups, 0, 1})
    ->Args({kPureAndLookups, 1, 1})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(1.0)
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
