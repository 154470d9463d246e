// Throughput of a migration run's timer ticks with a record step that does nothing: what the
// tick loop itself allows, before any DBF reading or database writing.
//
//   BM_TickBudget        one tick: records until the 20 ms budget is spent
//   BM_RunOneRecordTick  ticks of one record each, with the 2 ms timer wait between them
//   BM_RunBudgetedTick   budgeted ticks, with the same wait between them

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "shell/TickBudget.h"

namespace {

using migracja::shell::kTickBudget;
using migracja::shell::kTimerIntervalMs;
using migracja::shell::RunTickBudget;
using migracja::shell::SystemClock;

// A trivial record step; the stop flag is tested between records as in a run.
struct TrivialRun {
    std::int64_t records = 0;
    bool active = true;
    bool stopRequested = false;
    void Step() { benchmark::DoNotOptimize(++records); }
    bool More() const { return active && !stopRequested; }
};

void BM_TickBudget(benchmark::State& state) {
    SystemClock clock;
    TrivialRun run;
    for (auto _ : state)
        RunTickBudget(
            clock, kTickBudget, [&] { run.Step(); }, [&] { return run.More(); });
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(run.records), benchmark::Counter::kIsRate);
    state.counters["records/tick"] =
        benchmark::Counter(static_cast<double>(run.records), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_TickBudget)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// The event loop's part is stood in for by the timer's wait alone, which is its floor.
void WaitForTimer() {
    std::this_thread::sleep_for(std::chrono::milliseconds(kTimerIntervalMs));
}

void BM_RunOneRecordTick(benchmark::State& state) {
    TrivialRun run;
    for (auto _ : state) {
        run.Step();
        WaitForTimer();
    }
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(run.records), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunOneRecordTick)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void BM_RunBudgetedTick(benchmark::State& state) {
    SystemClock clock;
    TrivialRun run;
    for (auto _ : state) {
        RunTickBudget(
            clock, kTickBudget, [&] { run.Step(); }, [&] { return run.More(); });
        WaitForTimer();
    }
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(run.records), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunBudgetedTick)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
