#include "engine/GroupedRun.h"

#include <set>

#include "base/Text.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

bool NameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// What a name depends on, as the database records it, to any depth: the tables behind a view,
// what a procedure or a trigger reads or writes. A name that is not such an object has none.
class Dependencies {
  public:
    explicit Dependencies(TDane& dane)
        : query_(dane.IBTransactionR, "IBQueryDeps"),
          scope_(dane.IBTransactionR, &query_, fb::TransactionScope::Ends::IfStartedHere) {}

    std::set<std::string> Closure(std::set<std::string> names) {
        std::vector<std::string> todo(names.begin(), names.end());
        while (!todo.empty()) {
            const std::string name = std::move(todo.back());
            todo.pop_back();
            for (std::string& on : DependedOn(name))
                if (names.insert(on).second) todo.push_back(std::move(on));
        }
        return names;
    }

    // The user triggers of a table, which run with every row written to it.
    std::vector<std::string> Triggers(const std::string& table) {
        return Column(
            "SELECT RDB$TRIGGER_NAME FROM RDB$TRIGGERS WHERE RDB$RELATION_NAME = :OBJ AND "
            "COALESCE(RDB$SYSTEM_FLAG, 0) = 0",
            table);
    }

    void Done() { scope_.Commit(); }

  private:
    std::vector<std::string> DependedOn(const std::string& name) {
        return Column(
            "SELECT DISTINCT RDB$DEPENDED_ON_NAME FROM RDB$DEPENDENCIES WHERE "
            "RDB$DEPENDENT_NAME = :OBJ",
            name);
    }

    std::vector<std::string> Column(const std::string& sql, const std::string& value) {
        if (query_.Sql() != sql) query_.SetSql(sql);
        query_.Close();
        query_.ParamByName("OBJ").SetText(value);
        std::vector<std::string> found;
        for (query_.Open(); !query_.Eof(); query_.Next())
            found.emplace_back(text::TrimRight(query_.Fields(0).AsText()));
        query_.Close();
        return found;
    }

    fb::Query query_;
    fb::TransactionScope scope_;
};

}  // namespace

std::vector<std::string> NamesInSql(const std::string& sql) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < sql.size();) {
        const char c = sql[i];
        if (c == '\'') {
            const std::size_t end = sql.find('\'', i + 1);
            i = end == std::string::npos ? sql.size() : end + 1;
        } else if (c == '"') {
            const std::size_t end = sql.find('"', i + 1);
            if (end == std::string::npos) break;
            names.push_back(sql.substr(i + 1, end - i - 1));
            i = end + 1;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            const std::size_t end = sql.find('\n', i);
            i = end == std::string::npos ? sql.size() : end + 1;
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const std::size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? sql.size() : end + 2;
        } else if (c == ':') {
            // A parameter, not a name.
            for (++i; i < sql.size() && NameChar(sql[i]);) ++i;
        } else if (NameChar(c) && !(c >= '0' && c <= '9')) {
            std::size_t end = i;
            while (end < sql.size() && NameChar(sql[end])) ++end;
            names.push_back(text::ToUpper(sql.substr(i, end - i)));
            i = end;
        } else if (c >= '0' && c <= '9') {
            while (i < sql.size() && NameChar(sql[i])) ++i;
        } else {
            ++i;
        }
    }
    return names;
}

std::optional<OwnRowsRead> FindOwnRowsRead(TDane& dane) {
    const MigrationDefinition& d = dane.Definition;

    // The queries that run after the record's first row: lookups and exists-queries of the
    // tables after table 0.
    struct Reader {
        int table;
        std::string column;
        std::string sql;
    };
    std::vector<Reader> readers;
    for (int t = 1; t < d.TableCount; ++t) {
        const TableMapping& table = d.Tables[static_cast<std::size_t>(t)];
        for (const ColumnMapping& m : table.Columns)
            if (m.Source.Type == SourceType::Lookup)
                readers.push_back({t, m.TargetColumn, m.ExtraText});
        if (table.HasExistsQuery) readers.push_back({t, {}, table.ExistsQuerySql});
    }
    if (readers.empty()) return std::nullopt;

    Dependencies deps(dane);
    // What writing table s touches: the table and whatever its triggers reach.
    std::vector<std::set<std::string>> written;
    for (int s = 0; s < d.TableCount; ++s) {
        const std::string name = text::ToUpper(d.Tables[static_cast<std::size_t>(s)].TableName);
        std::set<std::string> triggers;
        for (std::string& trigger : deps.Triggers(name)) triggers.insert(std::move(trigger));
        std::set<std::string> reach = deps.Closure(std::move(triggers));
        reach.insert(name);
        written.push_back(std::move(reach));
    }
    for (const Reader& r : readers) {
        const std::vector<std::string> named = NamesInSql(r.sql);
        const std::set<std::string> reads = deps.Closure({named.begin(), named.end()});
        for (int s = 0; s < r.table; ++s) {
            for (const std::string& name : written[static_cast<std::size_t>(s)]) {
                if (!reads.contains(name) || !TDane::ContainsIgnoreCase(dane.DatabaseTables, name))
                    continue;
                deps.Done();
                return OwnRowsRead{r.table, r.column, name, s};
            }
        }
    }
    deps.Done();
    return std::nullopt;
}

void DecideGrouping(TDane& dane) {
    dane.TransactionRecords = 1;
    dane.OwnRowsReadBy.reset();
    if (dane.RecordsPerTransaction <= 1) return;
    dane.OwnRowsReadBy = FindOwnRowsRead(dane);
    if (!dane.OwnRowsReadBy) dane.TransactionRecords = dane.RecordsPerTransaction;
}

std::string GroupingNote(const TDane& dane) {
    const std::optional<OwnRowsRead>& by = dane.OwnRowsReadBy;
    if (!by) return {};
    return "Rekordów na transakcję: "_w + std::to_string(dane.TransactionRecords) + " zamiast "_w +
           std::to_string(dane.RecordsPerTransaction) + ", bo "_w +
           (by->Column.empty() ? "zapytanie GdyJest"_w : "odczyt pola "_w + by->Column) +
           " tabeli nr "_w + std::to_string(by->Table) + " czyta "_w + by->ReadName +
           ", którą zapisuje tabela nr "_w + std::to_string(by->Writer) + " tego samego rekordu."_w;
}

}  // namespace migracja::engine
