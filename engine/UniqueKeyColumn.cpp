#include "engine/UniqueKeyColumn.h"

namespace migracja::engine {

void AddUniqueKeyColumn(TDane& dane, const std::string& table) {
    fb::TransactionScope alter(dane.IBTransaction1, nullptr, fb::TransactionScope::Ends::Continues);
    dane.IBSQLMigracja.SetSql("Alter Table " + table + " Add " + std::string(kUniqueKeyColumn) +
                              "  VARCHAR(40) COLLATE PXW_PLK ");
    dane.IBSQLMigracja.ExecQuery();
    alter.Commit();
}

}  // namespace migracja::engine
