#pragma once
// Making and removing whole databases, and running SQL scripts: what tests, benchmarks and the
// fixtures need to set a database up. The program itself only ever connects to one.

#include <string>
#include <string_view>
#include <vector>

#include "fb/Fb.h"

namespace migracja::testing {

// Creates a new database (page size 8192) and leaves db connected to it with these settings.
void CreateDatabase(fb::Database& db, const std::string& location, const std::string& user,
                    const std::string& password, const std::string& charset = "WIN1250",
                    int dialect = 1);
// Drops the database db is connected to; db is closed afterwards.
void DropDatabase(fb::Database& db);

// Splits an SQL script at ";" outside literals and comments; honours SET TERM and skips
// SET SQL DIALECT / SET NAMES lines. COMMIT statements are returned like others.
std::vector<std::string> SplitScript(std::string_view script);
// Runs a script statement by statement in the transaction, committing after each DDL statement
// and at the end (so later statements see the objects created before them).
void ExecuteScript(fb::Transaction& transaction, std::string_view script);

}  // namespace migracja::testing
