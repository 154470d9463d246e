#include <algorithm>

#include "base/Text.h"
#include "engine/Binding.h"
#include "engine/BlockPlan.h"
#include "engine/ParamNames.h"
#include "fb/SqlTypes.h"

namespace migracja::engine {

std::string RenameMarkers(const std::string& sql,
                          const std::function<std::string(std::size_t)>& name) {
    std::string out;
    std::size_t k = 0;
    for (std::size_t i = 0; i < sql.size();) {
        const char c = sql[i];
        std::size_t j = i + 1;
        if (c == '\'' || c == '"') {
            while (j < sql.size() && sql[j] != c) ++j;
            j = std::min(j + 1, sql.size());
        } else if (c == '-' && j < sql.size() && sql[j] == '-') {
            j = sql.find('\n', i);
            j = j == std::string::npos ? sql.size() : j;
        } else if (c == '/' && j < sql.size() && sql[j] == '*') {
            j = sql.find("*/", i + 2);
            j = j == std::string::npos ? sql.size() : j + 2;
        } else if (c == '?') {
            out += ":" + name(k++);
            i = j;
            continue;
        }
        out.append(sql, i, j - i);
        i = j;
    }
    return out;
}

std::string TrimEnd(const std::string& v) {
    return "WHILE (CHAR_LENGTH(" + v + ") > 0 AND ASCII_VAL(RIGHT(" + v + ", 1)) <= 32) DO " +
           v + " = LEFT(" + v + ", CHAR_LENGTH(" + v + ") - 1); ";
}

std::string DeclareMarker(fb::SqlObject& o, std::size_t k, std::string& missing) {
    const std::string type = o.MarkerDeclaration(k);
    if (type.empty()) missing = o.Name() + ": parameter " + o.MarkerName(k);
    return type;
}

namespace {

// The declared type of column m's parameter in the table's statement; empty when it has none.
std::string TargetDeclaration(const TableMapping& table, const ColumnMapping& m) {
    fb::Statement& ws = *table.WriteStatement;
    for (std::size_t k = 0; k < ws.MarkerCount(); ++k)
        if (text::EqualsIgnoreCase(ws.MarkerName(k), m.ParamName)) return ws.MarkerDeclaration(k);
    return {};
}

bool IsWholeNumber(const fb::Field& f) {
    return f.SqlType() == fb::kSqlShort || f.SqlType() == fb::kSqlLong ||
           f.SqlType() == fb::kSqlInt64;
}

// An amount read into L as the program reads it, for a double column (the only kind of column
// an amount goes to): the number rounded half away from zero to four decimals (the money value,
// times 10,000, in MF), no row or NULL as 0, written as the quotient. Every step is exact in
// double arithmetic below 2^51; an amount further out, and the mark of an unresolved amount
// (-1000.01), are left to today's path.
std::string AmountCode(const std::string& L, bool notNull) {
    std::string s = "MP = COALESCE(" + L + ", 0) * 10000; IF (ABS(MP) >= 2251799813685248) THEN " +
                    kFailTheBlock +
                    "MF = FLOOR(MP); MD = MP - MF; IF (MD > 0.5 OR (MD = 0.5 AND MP > 0)) THEN "
                    "MF = MF + 1; IF (MF = " +
                    std::to_string(kUnresolvedMoney.raw) + ") THEN " + kFailTheBlock + L +
                    " = MF / 10000; ";
    if (!notNull) s += "IF (MF = 0) THEN " + L + " = NULL; ";
    return s;
}

// A date read into L as the program reads it. No row or NULL is no date, written as NULL; the
// program writes a mark for it under NOT NULL, which the block leaves to today's path, as it
// leaves the mark of a failed date (a tenth of a day into 30 December 1899). Any other time
// stamp is written back to the tenth of a millisecond; one before that moment is NULL unless
// the column says NOT NULL.
std::string DateCode(const std::string& L, bool notNull) {
    const std::string mark = "CAST('1899-12-30 02:24:00' AS TIMESTAMP)";
    std::string s = "IF (" + L + " IS NULL) THEN BEGIN " + (notNull ? kFailTheBlock : "") +
                    "END ELSE IF (" + L + " = " + mark + ") THEN " + kFailTheBlock;
    if (!notNull) s += "ELSE IF (" + L + " < " + mark + ") THEN " + L + " = NULL; ";
    return s;
}

}  // namespace

bool IsBlockLookup(const ColumnMapping& m) {
    return m.Source.Type == SourceType::Lookup &&
           (m.Source.Kind == ValueKind::Text || m.Source.Kind == ValueKind::Integer ||
            m.Source.Kind == ValueKind::Money || m.Source.Kind == ValueKind::Date);
}

// Its one result column must convert on the server as the program converts it: text from text,
// an integer from a whole number, an amount from a number into a double, a date from a date or
// a time stamp into a time stamp.
std::string LookupObstacle(const TDane& dane, const TableMapping& table, const ColumnMapping& m) {
    const fb::Query* q = m.ColumnQuery;
    if (!q || !q->Prepared()) return "its lookup is not prepared";
    if (q->FieldCount() != 1) return "its lookup returns more than one column";
    const fb::Field& f = q->Fields(0);
    switch (m.Source.Kind) {
        case ValueKind::Text:
            if (f.SqlType() != fb::kSqlText && f.SqlType() != fb::kSqlVarying)
                return "its lookup returns no text";
            if (f.Length() > 32765) return "its lookup returns a text too long for a variable";
            break;
        case ValueKind::Integer:
            if (!IsWholeNumber(f) || f.Scale() != 0) return "its lookup returns no whole number";
            break;
        case ValueKind::Money:
            if (!IsWholeNumber(f) && f.SqlType() != fb::kSqlDouble &&
                f.SqlType() != fb::kSqlFloat)
                return "its lookup of an amount returns no number";
            if (TargetDeclaration(table, m) != "DOUBLE PRECISION")
                return "its amount goes to a column of another type than a double";
            break;
        case ValueKind::Date:
            if (f.SqlType() != fb::kSqlTimestamp && f.SqlType() != fb::kSqlDate)
                return "its lookup of a date returns no date";
            if (TargetDeclaration(table, m) != "TIMESTAMP")
                return "its date goes to a column of another type than a time stamp";
            break;
        default:
            return "its lookup gives a value of another kind";
    }
    for (std::size_t k = 0; k < q->MarkerCount(); ++k) {
        std::size_t i = 0;
        while (i < m.Refs.size() && !text::EqualsIgnoreCase(LookupParamName(i), q->MarkerName(k)))
            ++i;
        if (i == m.Refs.size()) return "its lookup has a parameter without a reference";
        const ColumnRef& r = m.Refs[i];
        if (r.From == RefKind::TableKey && r.Source >= dane.Definition.TableCount)
            return "its lookup reads the key of a table that is not there";
        if ((r.From == RefKind::DbfField || r.From == RefKind::Calculation) &&
            (r.Kind == ValueKind::Other || r.Kind == ValueKind::Logical))
            return "its lookup has a reference of a kind that cannot be bound";
        if (r.From != RefKind::DbfField && r.From != RefKind::Calculation &&
            r.From != RefKind::TableKey)
            return "its lookup has an unknown reference";
    }
    return {};
}

// The first column of the first row, no row or NULL reading as the empty text, -1, 0 or no
// date; a text without the blanks and control characters that end it; an empty text, -1, 0 or
// no date as NULL unless the column says NOT NULL. A value today's path refuses (-200000001,
// the mark of an unresolved number) makes the block fail, and the record is written by today's
// path, which reports it; so does a text too long for its column, which the INSERT refuses.
std::string LookupCode(std::vector<BlockInput>& inputs, std::string& header, std::string& declares,
                       std::string& missing, const TableMapping& table, int t, int c) {
    const ColumnMapping& m = table.Columns[static_cast<std::size_t>(c)];
    fb::Query& q = *m.ColumnQuery;
    const std::string L = "L" + Num(t) + "_" + Num(c);
    std::string type;
    switch (m.Source.Kind) {
        case ValueKind::Text:
            type = "VARCHAR(" + std::to_string(std::max(1u, q.Fields(0).Length())) +
                   ") CHARACTER SET WIN1250";
            break;
        case ValueKind::Integer:
            type = "INTEGER";
            break;
        case ValueKind::Money:
            type = "DOUBLE PRECISION";
            if (declares.find("DECLARE MP ") == std::string::npos)
                declares += "DECLARE MP DOUBLE PRECISION; DECLARE MF DOUBLE PRECISION; DECLARE MD "
                            "DOUBLE PRECISION; ";
            break;
        default:
            type = "TIMESTAMP";
            break;
    }
    declares += "DECLARE " + L + " " + type + "; ";
    std::vector<std::string> names(q.MarkerCount());
    for (std::size_t k = 0; k < q.MarkerCount(); ++k) {
        std::size_t i = 0;
        while (!text::EqualsIgnoreCase(LookupParamName(i), q.MarkerName(k))) ++i;
        const ColumnRef& r = m.Refs[i];
        if (r.From == RefKind::TableKey) {
            names[k] = "K" + Num(r.Source);
            continue;
        }
        names[k] = "Q" + L + "_" + Num(static_cast<int>(k));
        const std::string declaration = DeclareMarker(q, k, missing);
        header += (header.empty() ? "" : ", ") + names[k] + " " + declaration + " = :" + names[k];
        inputs.push_back({BlockInput::From::LookupParam, t, c, names[k], static_cast<int>(i)});
    }
    const std::string select =
        RenameMarkers(q.PositionalSql(), [&](std::size_t k) { return names[k]; });
    std::string s = L + " = NULL; FOR " + select + " INTO :" + L + " DO LEAVE; ";
    switch (m.Source.Kind) {
        case ValueKind::Text:
            s += L + " = COALESCE(" + L + ", ''); " + TrimEnd(L);
            if (!m.NotNull) s += "IF (" + L + " = '') THEN " + L + " = NULL; ";
            break;
        case ValueKind::Integer:
            s += L + " = COALESCE(" + L + ", -1); IF (" + L + " = " +
                 std::to_string(kUnresolvedInteger) + ") THEN " + kFailTheBlock;
            if (!m.NotNull) s += "IF (" + L + " = -1) THEN " + L + " = NULL; ";
            break;
        case ValueKind::Money:
            s += AmountCode(L, m.NotNull);
            break;
        default:
            s += DateCode(L, m.NotNull);
            break;
    }
    return s;
}

}  // namespace migracja::engine
