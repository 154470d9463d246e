#pragma once
// The lock that keeps two runs from migrating into one database at the same time. Neither run
// would see the other's uncommitted rows in its existence tests, so both would insert the same
// legacy records. A run holds a row of the bookkeeping table MIGRACJA_BLOKADA, which the
// program creates when it is missing, updated by a transaction of its own for the whole run;
// a second run's update of that row fails at once (no wait). The lock ends with the
// connection, so a run that dies leaves none behind. A second row tells a refused run who
// holds the lock.

#include <string>

#include "engine/Dane.h"

namespace migracja::engine {

inline constexpr const char* kRunLockTable = "MIGRACJA_BLOKADA";

// Who runs: the program folder, the machine and the start of the run, Windows-1250.
struct RunHolder {
    std::string ProgramFolder;
    std::string Machine;
    std::string Started;
};

// Takes the lock for a run (creating the table when needed). Empty on success; otherwise the
// refusal (Windows-1250) that names who holds it. Other database errors propagate.
std::string TakeRunLock(TDane& dane, const RunHolder& holder);
// Ends the lock; nothing happens when none is held or the connection is gone.
void ReleaseRunLock(TDane& dane);

// The name of this machine, for RunHolder.
std::string MachineName();

}  // namespace migracja::engine
