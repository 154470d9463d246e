#pragma once
// Initial records: rows that must exist before the first source record of a definition, such as
// a catalogue entry all migrated rows refer to. Each is looked up by its condition, inserted
// from constants, the current time, SELECT queries and generators when it is missing, and one
// of its columns is read as its result. Each inserted record is committed at once.

#include <string>

#include "engine/Dane.h"

namespace migracja::engine {

// All initial records of the loaded definition; nothing when StopRequested is set or there are
// none. A database failure rolls its transaction back, is entered in the error log and
// propagates.
void CreateInitialRecords(TDane& dane);

bool InitRecordExists(TDane& dane, int i);
void ReadInitResult(TDane& dane, int i);
void InsertInitRecord(TDane& dane, int i);

// The INSERT that InsertInitRecord would execute, built from the values its columns get; empty
// when a column cannot be given a value (the entries say why). Queries and generators are run
// to get the values; nothing is written.
std::string BuildInitInsert(TDane& dane, int i);

}  // namespace migracja::engine
