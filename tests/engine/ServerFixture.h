#pragma once
// The engine's connection moved to the Firebird server on loopback, on the fixture's database
// file, and reads on that connection: the fixture's own embedded connection cannot open a
// database the server has open.

#include <filesystem>
#include <string>
#include <vector>

#include "engine/CompanyAndPhone.h"
#include "engine/EngineFixture.h"

namespace migracja::testing {

inline void ThroughTheServer(EngineFixture& f) {
    const auto server = ReadServerSettings();
    f.db.Detach();
    f.dane.IBDatabase1.Close();
    namespace fs = std::filesystem;
    fs::permissions(f.db.Location(), fs::perms::owner_read | fs::perms::owner_write |
                                         fs::perms::group_read | fs::perms::group_write |
                                         fs::perms::others_read | fs::perms::others_write);
    config::OpenDatabase(f.dane.IBDatabase1, server.host + ":" + f.db.Location(), server.user,
                         server.password);
    f.dane.RefreshCatalogue();
}

// Every row of the query, its columns as text joined by "|", one row a line.
inline std::string RowsThroughTheServer(EngineFixture& f, const std::string& sql) {
    fb::Query q(f.dane.IBTransactionR, "rows");
    fb::TransactionScope read(f.dane.IBTransactionR, &q);
    q.SetSql(sql);
    std::string rows;
    for (q.Open(); !q.Eof(); q.Next()) {
        for (std::size_t i = 0; i < q.FieldCount(); ++i)
            rows += (i ? "|" : "") + text::Win1250ToUtf8(q.Fields(i).AsText());
        rows += "\n";
    }
    read.Commit();
    return rows;
}

inline int CountThroughTheServer(EngineFixture& f, const std::string& sql) {
    return std::stoi(RowsThroughTheServer(f, sql));
}

// The definition of the round-trip measurements: REJESTR_FIRM with a generator key, an SQL
// condition and an existence test; TELEFONY with its own generator key, an SQL condition, the
// first table's key and the company's legacy key; extra lines follow.
inline std::vector<std::string> KeyedCompanyAndPhone(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> lines = {"DBF_UNQ_KEY=PLIKDBF->NRKLI"};
    lines.insert(lines.end(), extra.begin(), extra.end());
    return CompanyAndPhone(lines);
}

}  // namespace migracja::testing
