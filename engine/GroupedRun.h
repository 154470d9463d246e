#pragma once
// Whether the running definition may group records in one write transaction.
//
// A record must see the database exactly as it would with one transaction per record, whatever
// RekordowNaTransakcje says. Grouped, the reads of a record run in the group's write
// transaction, which holds the earlier records of the group (as committed records would be
// seen) but also the rows this record has just written to its earlier tables, which a record of
// its own transaction reads only after its commit. The calculations are evaluated before the
// record's first row and are safe; a lookup or an exists-query of table t is not when it reads a
// table that a table before t writes, directly or through the views, procedures and triggers
// involved. Such a definition runs with one record per transaction.

#include <optional>
#include <string>
#include <vector>

#include "engine/Dane.h"

namespace migracja::engine {

// Sets dane.TransactionRecords for the loaded, prepared definition: RecordsPerTransaction,
// or 1 when a query of a record would see rows of its own record (dane.OwnRowsReadBy says
// which). Reads the dependencies of the database's views, procedures and triggers.
void DecideGrouping(TDane& dane);

// For the progress window: why the definition runs one record per transaction although
// RekordowNaTransakcje allows more (Windows-1250); empty when it runs as the setting says.
std::string GroupingNote(const TDane& dane);

// The first lookup or exists-query of a table after table 0 that reads what an earlier table of
// the same record writes (directly or through views, procedures and triggers); none when no
// query of a record could see the record's own rows in its write transaction.
std::optional<OwnRowsRead> FindOwnRowsRead(TDane& dane);

// The names of tables, views and procedures an SQL text mentions: its identifiers outside
// literals and comments, upper case unless quoted.
std::vector<std::string> NamesInSql(const std::string& sql);

}  // namespace migracja::engine
