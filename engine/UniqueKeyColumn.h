#pragma once
// The bookkeeping column DBF_UNQ_KEY that every target table gets when it lacks it: the legacy
// key of the record a row came from, so that a rerun finds the rows it wrote.

#include <string>
#include <string_view>

#include "engine/Dane.h"

namespace migracja::engine {

inline constexpr std::string_view kUniqueKeyColumn = "DBF_UNQ_KEY";

// "Alter Table <table> Add DBF_UNQ_KEY  VARCHAR(40) COLLATE PXW_PLK " through IBSQLMigracja,
// committed at once; on failure rolled back and the error propagates. IBTransaction1 is active
// again afterwards.
void AddUniqueKeyColumn(TDane& dane, const std::string& table);

}  // namespace migracja::engine
