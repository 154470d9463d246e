#pragma once
// What the test program's main sets up before anything else, as the program's main does.

#include "shell/StopSignals.h"

namespace migracja::testing {

// SIGINT and SIGTERM of the test program, received on their own thread since main began.
shell::StopSignals& AppStopSignals();

}  // namespace migracja::testing
