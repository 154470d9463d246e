#pragma once
// A data module connected to a fresh sample database, and reading rows back as text.

#include <string>
#include <vector>

#include "base/Text.h"
#include "base/Values.h"
#include "config/Connection.h"
#include "engine/Dane.h"
#include "support/TestDatabase.h"

namespace migracja::testing {

struct ToolsFixture {
    TestDatabase db;
    engine::TDane dane;

    ToolsFixture() {
        config::OpenDatabase(dane.IBDatabase1, db.Location(), "SYSDBA", "x");
        dane.RefreshCatalogue();
    }

    // Every row of a query, its columns joined by "|", NULL as "NULL", in UTF-8.
    std::vector<std::string> Rows(const std::string& sql) {
        fb::Database& d = db.Db();
        if (!d.Connected()) d.Open();
        fb::Transaction& tx = db.Tx();
        if (tx.Active()) tx.Commit();
        tx.Start();
        fb::Query q(tx, "rows");
        q.SetSql(sql);
        std::vector<std::string> rows;
        for (q.Open(); !q.Eof(); q.Next()) {
            std::string row;
            for (std::size_t c = 0; c < q.FieldCount(); ++c) {
                if (c) row += "|";
                row += q.Fields(c).IsNull() ? "NULL" : text::Win1250ToUtf8(q.Fields(c).AsText());
            }
            rows.push_back(row);
        }
        q.Close();
        tx.Commit();
        return rows;
    }

    int Generator(const std::string& name) {
        return db.ScalarInt("SELECT GEN_ID(" + name + ", 0) FROM RDB$DATABASE");
    }
};

// A fixed local time for the bookkeeping columns.
inline DateTime FixedNow() {
    CivilDateTime c;
    c.year = 2024;
    c.month = 5;
    c.day = 6;
    c.hour = 10;
    c.minute = 20;
    c.second = 30;
    return EncodeDateTime(c);
}

}  // namespace migracja::testing
