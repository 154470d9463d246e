#pragma once
// A record carried to the server in one statement: a definition's tables compiled into one
// EXECUTE BLOCK whose input is the record's values, as the client computes them, and whose
// output is each table's key and whether it was written. Through a server every statement waits
// for the network, and today's path sends one per condition, generator, existence test and
// INSERT; the block sends one per record, and as one statement it is atomic, so it needs no
// savepoint of its own.
//
// The block changes nothing observable: when it fails, or a value would be refused, the record
// is written again statement by statement, with the keys the block had drawn already (generators
// are outside transactions), so the report and the keys are exactly those of that path.

#include <memory>
#include <string>
#include <vector>

#include "engine/Dane.h"

namespace migracja::engine {

struct BlockPlan;

// Whether the database is reached through a server ("host:path"), where round trips cost.
bool ThroughServer(const std::string& databaseName);

// Compiles the prepared definition into its block when it can be carried by one; otherwise
// leaves dane.Block empty. dane.BlockReason says which path the definition takes and why.
void PrepareBlockPath(TDane& dane);

// Writes the current record through the block. False when the record is to take today's path
// instead (nothing of it is written then; keys the block drew wait in dane.PredrawnKeys).
bool WriteRecordThroughBlock(TDane& dane);

}  // namespace migracja::engine
