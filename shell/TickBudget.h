#pragma once
// How much of a run one timer tick does. One record per tick would cap a run at a few hundred
// records per second (less where timers are coarse), so a tick goes on with further records
// until its time budget is spent, and only then returns to the event loop to repaint and to
// handle the Stop button.

#include <chrono>

#include "shell/Seams.h"

namespace migracja::shell {

inline constexpr int kTimerIntervalMs = 2;
inline constexpr std::chrono::milliseconds kTickBudget{20};

// Runs step() once, then again while more() holds and the budget has not passed since the
// start. Returns the number of steps run. The first step always runs: a stop requested between
// ticks is seen by the record loop itself, which reads the record and writes nothing.
template <class Step, class More>
int RunTickBudget(Clock& clock, std::chrono::nanoseconds budget, Step&& step, More&& more) {
    const Clock::TimePoint start = clock.Now();
    int steps = 0;
    do {
        step();
        ++steps;
    } while (more() && clock.Now() - start < budget);
    return steps;
}

}  // namespace migracja::shell
