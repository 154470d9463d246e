#pragma once
// Error entries of a migration run and the context that locates an error in the definition and
// the source data.

#include <string>
#include <vector>

#include "engine/MigrationDefinition.h"

namespace migracja::engine {

// CR LF + "Dla pliku " + file, then table (t >= 0) and line (c >= 0) when given, then the record
// number. Building it sets ErrorsOccurred and StopRequested: every error with a context ends the
// run. A table or line number outside the model is written as it is, without its details.
std::string ErrorContext(MigrationDefinition& definition, int t, int c);

using ErrorLog = std::vector<std::string>;

// Whether an entry of the error log ends the running definition: Stops::Run sets StopRequested,
// so that no further record is processed; Stops::No lets the definition go on.
enum class Stops { Run, No };

}  // namespace migracja::engine
