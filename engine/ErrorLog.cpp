#include "engine/ErrorLog.h"

#include "base/Text.h"

namespace migracja::engine {

using namespace migracja::literals;

std::string ErrorContext(MigrationDefinition& d, int t, int c) {
    std::string s = "\r\nDla pliku " + d.DbfFileName;
    const bool tableKnown = t >= 0 && t < kTableSlots;
    if (t >= 0) {
        s += "\r\nNr Tabeli = " + std::to_string(t) + "   Nazwa: ";
        if (tableKnown) s += d.Tables[t].TableName;
    }
    if (c >= 0) {
        s += "\r\nNr Linii " + std::to_string(c) + "  Treść: "_w;
        // A line past the last mapped column (an UPDATE link checked after them all) still has
        // the shape "column = source", both empty.
        const bool mapped = tableKnown && c < d.Tables[t].ColumnCount();
        const ColumnMapping* m = mapped ? &d.Tables[t].Columns[c] : nullptr;
        s += (m ? m->TargetColumn : std::string()) + " = " + (m ? m->SourceExpr : std::string());
    }
    s += "\r\nNr odczytanego rekordu = " + std::to_string(d.CurrentRecordNo);
    d.ErrorsOccurred = true;
    d.StopRequested = true;
    ++d.ContextEntries;
    return s;
}

}  // namespace migracja::engine
