#include "tools/SerialCleanup.h"

#include <algorithm>

#include "base/Text.h"
#include "engine/Dane.h"
#include "fb/Fb.h"
#include "tools/SqlText.h"

namespace migracja::tools {

using namespace migracja::literals;

std::vector<SerialChange> RemoveSerialSpaces(
    engine::TDane& dane, const std::function<void(const SerialChange&)>& onChanged) {
    // Read in full first: the rows are then changed one by one without a cursor open over them.
    std::vector<SerialChange> candidates;
    {
        fb::TransactionScope read(dane.IBTransaction1, &dane.IBQuery_UN);
        fb::Query& q = dane.IBQuery_UN;
        q.SetSql(
            "select  SPRZET_ID, NR_FABRYCZNY from EWIDENCJA_SPRZETU where NR_FABRYCZNY "
            "containing ' ' ");
        for (q.Open(); !q.Eof(); q.Next()) {
            SerialChange c;
            c.sprzetId = q.Fields(0).AsInteger();
            c.before = q.Fields(1).AsText();
            // Reference devices are named so on purpose, blanks included.
            if (c.before.find("WZORCOWY") != std::string::npos) continue;
            c.after = c.before;
            std::erase(c.after, ' ');
            if (c.after != c.before) candidates.push_back(std::move(c));
        }
        read.Commit();
    }

    std::vector<SerialChange> changed;
    for (SerialChange& c : candidates) {
        fb::TransactionScope unit(dane.IBTransaction_UN);
        dane.IBSQL_UN.SetSql("Update EWIDENCJA_SPRZETU set NR_FABRYCZNY = " + SqlQuoted(c.after) +
                             " where SPRZET_ID = " + std::to_string(c.sprzetId));
        dane.IBSQL_UN.ExecQuery();
        unit.Commit();
        changed.push_back(std::move(c));
        if (onChanged) onChanged(changed.back());
    }
    return changed;
}

void ShowSerialCleanupResult(ui::MessageBox& messages, std::size_t changed) {
    if (changed > 0)
        messages.Inform("Liczba rekordów w których z numeru fabrycznego usunięto spacje = "_w +
                            std::to_string(changed),
                        "Koniec usuwania spacji w numerze fabrycznym"_w);
    else
        messages.Inform("Numery fabryczne nie zawierają spacji"_w, "");
}

}  // namespace migracja::tools
