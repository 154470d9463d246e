#pragma once
// The record loop: one DBF record of the running definition per call. The record's fields are
// read, descrambled and converted from the legacy code page, the calculations are evaluated,
// and the tables are walked in order, each written when its conditions allow; all tables of one
// record are written in one transaction, so a record is in the database whole or not at all.
//
// With RecordsPerTransaction above 1 a write transaction holds up to that many records, each
// under a savepoint of its own: a failing record is rolled back to its savepoint alone, the
// records before it stay and are committed. CommitPendingRecords ends such a group; the caller
// calls it at least once per timer tick and whenever a definition or a run ends.

#include <cstdint>
#include <string>

#include "engine/Dane.h"

namespace migracja::engine {

// Processes the current record and moves to the next. Database failures propagate, after the
// record has been rolled back and the failure entered in the error log.
void ProcessSourceRecord(TDane& dane);

// Commits the records written since the last commit, when there are any. A failing commit
// rolls back, is entered in the error log (the records of the group are then not in the
// database) and propagates.
void CommitPendingRecords(TDane& dane);

// The end of a timer tick of a run: the pending records are committed, and the read transaction
// of the lookups, which nothing else commits, is ended too, so that no transaction of a long
// run stays open for more than a tick (an old transaction keeps Firebird from cleaning up).
void EndTick(TDane& dane);

// Whether the text condition of an INSERT table holds for the current record (true without one).
bool TextConditionHolds(const TDane& dane, const TableMapping& table);
bool CheckTableCondition(TDane& dane, int t);
bool CheckParentKeys(TDane& dane, int t);
void FindExistingKey(TDane& dane, int t);

bool CompareIntCondition(std::int32_t value, const std::string& text);
bool EmptyDateCondition(const std::string& text, DateTime date);
bool OtherPeriodCondition(std::int32_t value);

void DescrambleFields(TDane& dane);
void ConvertFieldEncoding(TDane& dane);

}  // namespace migracja::engine
