#include "engine/MigrationDefinition.h"

namespace migracja::engine {

void MigrationDefinition::Reset() {
    std::array<fb::Query*, kTableSlots> queries;
    for (int n = 0; n < kTableSlots; ++n) queries[n] = Tables[n].ConditionQuery;
    *this = MigrationDefinition{};
    for (int n = 0; n < kTableSlots; ++n) Tables[n].ConditionQuery = queries[n];
}

const CalculationDef& MigrationDefinition::CalculationAt(int k) const {
    static const CalculationDef kCleared;
    if (k < 0 || k >= CalculationCount()) return kCleared;
    return Calculations[static_cast<std::size_t>(k)];
}

}  // namespace migracja::engine
