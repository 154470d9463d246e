#include "cli/Commands.h"

namespace migracja::cli {

int RunDbIni(const Args&) { throw UsageError{"this command is not available yet"}; }

}  // namespace migracja::cli
