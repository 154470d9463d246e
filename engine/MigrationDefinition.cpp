#include "engine/MigrationDefinition.h"

namespace migracja::engine {

void MigrationDefinition::Reset() {
    std::array<fb::Query*, kTableSlots> queries;
    for (int n = 0; n < kTableSlots; ++n) queries[n] = Tables[n].ConditionQuery;
    *this = MigrationDefinition{};
    for (int n = 0; n < kTableSlots; ++n) Tables[n].ConditionQuery = queries[n];
}

}  // namespace migracja::engine
