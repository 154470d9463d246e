#include "engine/UniqueKeyColumn.h"

namespace migracja::engine {

void AddUniqueKeyColumn(TDane& dane, const std::string& table) {
    fb::Transaction& tx = dane.IBTransaction1;
    {
        fb::TransactionScope alter(tx);
        dane.IBSQLMigracja.SetSql("Alter Table " + table + " Add " + std::string(kUniqueKeyColumn) +
                                  "  VARCHAR(40) COLLATE PXW_PLK ");
        dane.IBSQLMigracja.ExecQuery();
        alter.Commit();
    }
    tx.StartIfNeeded();
}

}  // namespace migracja::engine
