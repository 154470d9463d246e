#include "engine/CalculationQueries.h"

#include <unordered_set>

#include "base/Text.h"

namespace migracja::engine {

using namespace migracja::literals;
using calc::SqlQuoted;

namespace {

// The first column of the first row as an integer, -1 when the query yields no row.
std::int32_t FirstInteger(fb::Query& q, std::string sql) {
    q.SetSql(std::move(sql));
    fb::CursorScope closing(q);
    q.Open();
    return q.Eof() ? -1 : q.Fields(0).AsInteger();
}

// The read transaction is read-committed: every query sees what was committed before it ran,
// rows of earlier records and of other connections alike. So it is not ended and started anew
// for a lookup (a commit costs a synchronous write, several per record); the run ends it once
// per tick.
void StartRead(TDane& dane) {
    dane.ReadQuery().Close();
    dane.ReadTransaction().StartIfNeeded();
}

struct ColumnAndTable {
    std::string column;
    std::string table;
};

// "NAZWA_SKROT FROM REJESTR_FIRM" split at " FROM "; nothing when it has none.
std::optional<ColumnAndTable> SplitColumnFromTable(std::string_view t) {
    const std::size_t at = t.find(" FROM ");
    if (at == std::string_view::npos) return std::nullopt;
    return ColumnAndTable{std::string(text::Trim(t.substr(0, at))),
                          std::string(text::Trim(t.substr(at + 5)))};
}

}  // namespace

std::int32_t GetFIRMA_ID_Zlecenia(TDane& dane, std::string_view key, std::string_view prefix,
                                  std::string_view serviceFlag) {
    StartRead(dane);
    const std::string trimmed(text::TrimRight(key));
    const std::string sql =
        serviceFlag == "T"
            ? "SELECT FIRMA_ID from REJESTR_FIRM where DBF_UNQ_KEY = " + SqlQuoted(trimmed) +
                  " and  F_SERWIS='T' "
            : "SELECT FIRMA_ID from REJESTR_FIRM where DBF_UNQ_KEY = " +
                  SqlQuoted(std::string(prefix) + trimmed) + " and F_PODATNIK='T' ";
    return FirstInteger(dane.ReadQuery(), sql);
}

std::int32_t SelectWgNr(TDane& dane, std::string_view key, std::int32_t role,
                        std::string_view suffix) {
    const char* column = nullptr;
    switch (role) {
        case 1:
            column = "F_PRODUCENT_FISK";
            break;
        case 2:
            column = "F_SERWIS";
            break;
        case 4:
            column = "F_PODATNIK";
            break;
        case 7:
            column = "F_DYSTRYBUTOR";
            break;
        default:
            return -1;
    }
    std::string fullKey(key);
    if (role == 4) fullKey += suffix;
    StartRead(dane);
    return FirstInteger(dane.ReadQuery(), "Select FIRMA_ID From REJESTR_FIRM where DBF_UNQ_KEY = " +
                                              SqlQuoted(text::TrimRight(fullKey)) + " and (" +
                                              column + " = 'T')");
}

std::int32_t GetIDAktywnejKasy(TDane& dane, std::string_view number) {
    fb::Query& q = dane.ReadQuery();
    StartRead(dane);
    q.SetSql(
        "Select SPRZET_ID, POP_NR_UNIKAT, NR_UNIKAT, NAST_NR_UNIKAT\r\n"
        " from DEF_KASYFISKALNE_SPRZET Where POP_NR_UNIKAT = :pPOP_NR_UNIKAT\r\n");
    fb::CursorScope closing(q);
    std::int32_t result = -1;
    std::string current(number);
    // Every number the chain has been asked for; asking again would repeat the same steps.
    std::unordered_set<std::string> asked;
    for (;;) {
        asked.insert(std::string(text::TrimRight(current)));
        // Compared as the number was written: without what ends it.
        q.ParamByName("pPOP_NR_UNIKAT").SetText(text::TrimRight(current));
        q.Open();
        if (q.Eof()) break;
        result = q.FieldByName("SPRZET_ID").AsInteger();
        if (text::Trim(q.FieldByName("NAST_NR_UNIKAT").AsText()).size() < 2) break;
        std::string next = q.FieldByName("NR_UNIKAT").AsText();
        q.Close();
        if (asked.count(std::string(text::TrimRight(next))) != 0) {
            MigrationDefinition& d = dane.Definition;
            dane.AddError("Zapętlony łańcuch kas fiskalnych: numer "_w + next +
                              " wraca w łańcuchu od numeru "_w + std::string(number) + " przy " +
                              d.DbfFileName,
                          Stops::Run);
            return -1;
        }
        current = std::move(next);
    }
    return result;
}

int DeclaredCharLength(TDane& dane, std::string_view columnFromTable) {
    if (const auto cached = dane.CharLengthCache.Find(columnFromTable)) return *cached;
    int length = 20;
    if (const auto names = SplitColumnFromTable(columnFromTable)) {
        fb::Query& q = dane.ReadQuery();
        StartRead(dane);
        q.SetSql(
            "Select RDB$CHARACTER_LENGTH From RDB$RELATION_FIELDS r, RDB$FIELDS f  Where "
            "r.RDB$FIELD_SOURCE = f.RDB$FIELD_NAME  and ((f.RDB$FIELD_TYPE = 37) or "
            "(f.RDB$FIELD_TYPE = 14))  and r.RDB$RELATION_NAME = " +
            SqlQuoted(names->table) + " " + " and r.RDB$FIELD_NAME = " + SqlQuoted(names->column) +
            " ");
        fb::CursorScope closing(q);
        q.Open();
        if (!q.Eof()) length = q.Fields(0).AsOptionalInteger().value_or(length);
    }
    // Stored only once it is known: a failed read must not leave the default behind.
    dane.CharLengthCache.Store(std::string(columnFromTable), length);
    return length;
}

std::string NextUniqueSkrot(TDane& dane, std::string_view wanted,
                            std::string_view columnFromTable) {
    std::string base(text::TrimRight(wanted));
    dane.ReadQuery().Close();
    const auto names = SplitColumnFromTable(columnFromTable);
    if (!names) return base;
    const std::string& column = names->column;
    const std::string select = "Select " + std::string(columnFromTable) + " Where (";
    fb::Query& q = dane.ReadQuery();

    StartRead(dane);
    bool taken = false;
    {
        q.SetSql(select + column + " = " + SqlQuoted(base) + " )  Order by 1");
        fb::CursorScope closing(q);
        q.Open();
        taken = !q.Eof();
    }
    if (!taken) return base;

    // Room for the "#" and a digit within the column.
    const int length = DeclaredCharLength(dane, columnFromTable);
    if (length - 2 < static_cast<int>(base.size()))
        base.resize(base.size() >= 2 ? base.size() - 2 : 0);
    const std::size_t baseLength = base.size();

    StartRead(dane);
    q.SetSql(select + column + " STARTING " + SqlQuoted(base + "#") + " or " + column + " = " +
             SqlQuoted(base) + " )  Order by 1");
    fb::CursorScope closing(q);
    bool baseTaken = false, hashTaken = false;
    std::int64_t highest = -1;
    for (q.Open(); !q.Eof(); q.Next()) {
        // CHAR columns come back padded; the comparison in SQL ignores trailing blanks too.
        const std::string v(text::TrimRight(q.Fields(0).AsText()));
        if (v == base) {
            baseTaken = true;
        } else if (v == base + "#") {
            hashTaken = true;
        } else if (v.size() > baseLength + 1 && v[baseLength] == '#') {
            std::int32_t n = 0;
            if (calc::DigitsOnlyToInt(std::string_view(v).substr(baseLength + 1), n) && n > highest)
                highest = n;
        }
    }
    if (highest >= 0) return base + "#" + std::to_string(highest + 1);
    if (hashTaken) return base + "#0";
    if (baseTaken) return base + "#";
    return base;
}

}  // namespace migracja::engine
