// Preparation of the column sources: each mapped column gets its source code, its references
// and its value text in the statement; lookup queries are rewritten into parameterised queries.

#include <optional>

#include "base/Text.h"
#include "engine/ParamNames.h"
#include "engine/Prepare.h"
#include "engine/PrepareText.h"

namespace migracja::engine {

using namespace migracja::literals;
using namespace prep;

namespace {

// A number constant goes into the statement as it is written, so it must be a plain decimal
// number: anything else would change the statement itself.
bool IsNumberLiteral(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (IsDigit(s[i])) {
            digits = true;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

// Collects the DBF references of u (at most kMaxColumnRefs); false when the bound is exceeded.
bool CollectDbfRefs(TDane& dane, int n, ColumnMapping& m, const std::string& u) {
    for (std::size_t p = u.find(kDbfRef); p != std::string::npos; p = u.find(kDbfRef, p + 1)) {
        const std::string field = ReadName(u, p + kDbfRef.size());
        if (field.empty()) continue;
        const int i = FindDbfField(dane, field);
        if (i < 0) {
            dane.AddError(" i nie można określić skąd pobrać dane w : "_w + u, Stops::No);
            return true;
        }
        if (m.RefCount() == kMaxColumnRefs) {
            ReportLimit(dane, n, "pola DBF łączone w kolumnie "_w + m.TargetColumn, kMaxColumnRefs);
            return false;
        }
        ColumnRef r;
        r.From = RefKind::DbfField;
        r.Source = i;
        r.Kind = dane.Definition.DbfFields[static_cast<std::size_t>(i)].Kind;
        m.Refs.push_back(r);
    }
    return true;
}

// The column's statement parameter for a source of this type and kind.
std::string Mapped(ColumnMapping& m, SourceType type, ValueKind kind) {
    m.Source = ColumnSource{type, kind};
    m.ParamName = ColumnParamName(m.TargetColumn);
    return ":" + m.ParamName;
}

// Each reader below takes the source as written (s) and upper-cased (u) and returns the value
// text for the statement, empty when the source cannot be used; nullopt when the source is not
// of its form, or is but gives nothing to map, so that the next form is tried and a source no
// form takes is reported as a wrong definition.
using SourceValue = std::optional<std::string>;

// A constant (X)text, written into the statement as a literal.
SourceValue ConstantSource(TDane& dane, int n, int c, const std::string& s, const std::string& u) {
    if (s.size() > 3 && s[0] == '(' && s[2] == ')') {
        const ValueKind kind = KindOfLetter(u[1]);
        if (kind != ValueKind::Other) {
            const std::string value(text::TrimRight(std::string_view(s).substr(3)));
            if (kind == ValueKind::Text || kind == ValueKind::Date) return SqlQuoted(value);
            if (IsNumberLiteral(value)) return value;
            dane.AddErrorWithContext("Stała liczbowa "_w + s + " nie jest liczbą !"_w, n, c);
            return std::string();
        }
        dane.AddErrorWithContext("W " + s + "  zły typ [CNFD] z "_w, n, c);
    }
    return std::nullopt;
}

// DBF fields, joined for a text column, optionally with a quoted text.
SourceValue DbfFieldSource(TDane& dane, int n, int c, ColumnMapping& m, const std::string& s,
                           std::string& u) {
    if (s.size() > 9 && StartsWith(u, kDbfRef)) {
        m.HasQuotedText = TakeQuoted(u, m.QuotedText, 1) && !m.QuotedText.empty();
        if (!CollectDbfRefs(dane, n, m, u)) return std::string();
        if (m.RefCount() > 0) {
            const ValueKind first = m.Refs[0].Kind;
            for (int i = 1; i < m.RefCount(); ++i)
                if (m.Refs[static_cast<std::size_t>(i)].Kind != first)
                    dane.AddErrorWithContext("Różne typu pól do łączenia w "_w + u + "!", n, c);
            return Mapped(m, SourceType::DbfField, first);
        }
    }
    return std::nullopt;
}

// A calculation result, optionally with a type letter and a quoted text.
SourceValue CalculationSource(ColumnMapping& m, const std::string& s, const std::string& u) {
    if (s.size() > 19 && StartsWith(u, kCalcRef) && IsDigit(u[kCalcRef.size()])) {
        std::size_t end = kCalcRef.size();
        const int number = ReadCalculationNumber(u, end);
        std::string rest = u.substr(end);
        m.HasQuotedText = TakeQuoted(rest, m.QuotedText, 1) && !m.QuotedText.empty();
        rest = Trimmed(rest);
        m.Refs.push_back(ColumnRef{RefKind::Calculation, number, ValueKind::Text});
        ValueKind kind = ValueKind::Text;
        if (rest.size() > 2 && rest[0] == '(' && rest[2] == ')' &&
            KindOfLetter(rest[1]) != ValueKind::Other)
            kind = KindOfLetter(rest[1]);
        return Mapped(m, SourceType::Calculation, kind);
    }
    return std::nullopt;
}

// A named generator, or the key of an earlier table.
SourceValue GeneratorSource(TDane& dane, int n, int c, ColumnMapping& m, const std::string& s,
                            const std::string& u) {
    if (s.size() > 10 && StartsWith(u, kGeneratorRef)) {
        const char next = u[kGeneratorRef.size()];
        if (!IsDigit(next)) {
            const std::string name =
                GeneratorNameOf(std::string_view(u).substr(kGeneratorRef.size()));
            if (!TDane::ContainsIgnoreCase(dane.DatabaseGenerators, name)) {
                dane.AddErrorWithContext(" - Nie ma generatora o nazwie " + name + " !", n, c);
                return std::string();
            }
            m.ExtraText = name;
            return Mapped(m, SourceType::Generator, ValueKind::Integer);
        }
        const int table = next - '0';
        if (table < n) {
            m.Refs.push_back(ColumnRef{RefKind::TableKey, table, ValueKind::Integer});
            return Mapped(m, SourceType::TableKey, ValueKind::Integer);
        }
    }
    return std::nullopt;
}

// A lookup query; the kind of the target column decides how its value is read.
SourceValue LookupSource(TDane& dane, int n, int c, ColumnMapping& m, const std::string& s,
                         const std::string& u) {
    if (s.size() >= 21 && StartsWith(u, "SELECT ")) {
        m.ExtraText = RewriteLookupSql(dane, s, n, c);
        const TargetTableSchema& schema =
            dane.Definition.Tables[static_cast<std::size_t>(n)].Schema;
        for (int j = 0; j < schema.ColumnCount(); ++j)
            if (schema.ColumnNames[static_cast<std::size_t>(j)] == m.TargetColumn)
                return Mapped(m, SourceType::Lookup,
                              schema.ColumnKinds[static_cast<std::size_t>(j)]);
        dane.AddError("Brak pola " + m.TargetColumn + " w FB..", Stops::Run);
        return std::string();
    }
    return std::nullopt;
}

}  // namespace

std::string PrepareColumnSource(TDane& dane, int n, int c) {
    ColumnMapping& m =
        dane.Definition.Tables[static_cast<std::size_t>(n)].Columns[static_cast<std::size_t>(c)];
    m.Source = ColumnSource{};
    m.Refs.clear();
    m.SourceExpr = Trimmed(m.SourceExpr);
    std::string s = m.SourceExpr;
    std::string u = text::ToUpper(s);
    const std::string kNotNull = " NOT NULL";
    const std::size_t notNull = u.find(kNotNull);
    m.NotNull = notNull != std::string::npos;
    if (m.NotNull) {
        s.erase(notNull, kNotNull.size());
        u.erase(notNull, kNotNull.size());
    }

    // The forms in the order they are tried.
    if (SourceValue v = ConstantSource(dane, n, c, s, u)) return *v;
    if (SourceValue v = DbfFieldSource(dane, n, c, m, s, u)) return *v;
    if (SourceValue v = CalculationSource(m, s, u)) return *v;
    if (SourceValue v = GeneratorSource(dane, n, c, m, s, u)) return *v;
    if (SourceValue v = LookupSource(dane, n, c, m, s, u)) return *v;
    if (StartsWith(u, "NOW()")) return Mapped(m, SourceType::Now, ValueKind::Date);

    if (!s.empty()) dane.AddErrorWithContext("Błędna definicja ! "_w, n, c);
    return {};
}

std::string RewriteLookupSql(TDane& dane, const std::string& q, int n, int c) {
    MigrationDefinition& d = dane.Definition;
    ColumnMapping& m = d.Tables[static_cast<std::size_t>(n)].Columns[static_cast<std::size_t>(c)];
    const std::string u = text::ToUpper(q);
    m.Refs.clear();
    std::string out;
    std::size_t start = 0;
    auto fail = [&](const std::string& entry) {
        // A lookup whose references are not all parameters would run with text the database
        // cannot read, or with the wrong values: the definition does not run.
        dane.AddError(entry, Stops::Run);
        return out + q.substr(start);
    };
    for (;;) {
        const std::size_t at[3] = {u.find(kDbfRef, start), u.find(kCalcRef, start),
                                   u.find(kGeneratorRef, start)};
        int which = -1;
        for (int w = 0; w < 3; ++w)
            if (at[w] != std::string::npos && (which < 0 || at[w] < at[which])) which = w;
        if (which < 0) break;
        if (m.RefCount() == kMaxColumnRefs) {
            ReportLimit(dane, n, "odwołania w zapytaniu kolumny "_w + m.TargetColumn,
                        kMaxColumnRefs);
            return out + q.substr(start);
        }
        ColumnRef r;
        std::size_t end = at[which];
        if (which == 0) {
            end += kDbfRef.size();
            const std::string name = ReadName(u, end);
            end += name.size();
            r.From = RefKind::DbfField;
            r.Source = FindDbfField(dane, name);
            if (r.Source < 0) return fail(" - błąd w: "_w + q);
            r.Kind = d.DbfFields[static_cast<std::size_t>(r.Source)].Kind;
        } else if (which == 1) {
            end += kCalcRef.size();
            r.From = RefKind::Calculation;
            r.Source = ReadCalculationNumber(u, end);
            r.Kind = ValueKind::Text;
            if (r.Source < 0) return fail("Nieznany typ parametru : " + q + " w " + d.DbfFileName);
            if (end + 2 < u.size() && u[end] == '(' && u[end + 2] == ')') {
                const char letter = u[end + 1];
                if (KindOfLetter(letter) == ValueKind::Other)
                    return fail("Nieprawidłowy typ obliczeń: "_w + q + " w " + d.DbfFileName);
                r.Kind = KindOfLetter(letter);
                end += 3;
            }
        } else {
            end += kGeneratorRef.size();
            r.From = RefKind::TableKey;
            r.Source = ReadCalculationNumber(u, end);
            r.Kind = ValueKind::Integer;
            if (r.Source < 0) return fail("Nieznany typ parametru : " + q + " w " + d.DbfFileName);
            if (r.Source >= kTableSlots) {
                ReportLimit(dane, n,
                            "numer tabeli w GENERATOR( zapytania kolumny "_w + m.TargetColumn,
                            kTableSlots - 1);
                return out + q.substr(start);
            }
            if (end < u.size() && u[end] == ')') ++end;
        }
        m.Refs.push_back(r);
        out.append(q, start, at[which] - start);
        out += " :" + LookupParamName(m.Refs.size() - 1);
        start = end;
    }
    return out + q.substr(start);
}

}  // namespace migracja::engine
