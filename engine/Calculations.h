#pragma once
// The calculations of the running definition, evaluated once per source record after its fields
// are read and converted and before any of its statements runs.

#include "engine/Dane.h"

namespace migracja::engine {

// Evaluates every accepted calculation of dane.Definition in order and stores each result in
// its slot. Errors become entries of the error log and set StopRequested; database errors of
// the functions that query the target database propagate.
// A calculation the record's block evaluates (InBlock, with a block prepared) is left out.
void EvaluateCalculations(TDane& dane);

// Evaluates the calculations EvaluateCalculations left to the block, for a record the block
// did not write: it is written statement by statement with every result in its slot.
void EvaluateBlockCalculations(TDane& dane);

}  // namespace migracja::engine
