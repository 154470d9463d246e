// Preparation of what decides per record: DBF field lookup, text conditions, calculations, and
// the SQL conditions and exists-queries rewritten into parameterised queries.

#include "base/Text.h"
#include "calc/MigracjaUtil.h"
#include "engine/FunctionTable.h"
#include "engine/ParamNames.h"
#include "engine/Prepare.h"
#include "engine/PrepareText.h"

namespace migracja::engine {

using namespace migracja::literals;
using namespace prep;

std::string ReadName(const std::string& text, std::size_t from, std::size_t max) {
    std::size_t end = from;
    while (end < text.size() && end - from < max && calc::IsFieldNameChar(text[end])) ++end;
    return from < text.size() ? text.substr(from, end - from) : std::string();
}

void ReportLimit(TDane& dane, int n, const std::string& what, int limit) {
    dane.AddErrorWithContext("Definicja przekracza ograniczenie programu: "_w + what +
                                 " - najwyżej "_w + std::to_string(limit) + " !\r\n(plik " +
                                 dane.Definition.DefinitionFile + ")",
                             n, -1);
}

int FindDbfField(TDane& dane, const std::string& name) {
    MigrationDefinition& d = dane.Definition;
    for (int i = 0; i < d.DbfFieldCount(); ++i)
        if (d.DbfFields[static_cast<std::size_t>(i)].Name == name) {
            d.DbfFields[static_cast<std::size_t>(i)].Used = true;
            return i;
        }
    dane.AddError("W pliku " + d.DbfFileName + " brak pola o nazwie " + name, Stops::Run);
    return -1;
}

void ParseConditions(TDane& dane) {
    struct Operator {
        std::string_view word;
        TextCondition test;
    };
    static constexpr Operator kOperators[] = {
        {"LENGTH(TRIM(", TextCondition::NotBlank},
        {"POS(", TextCondition::FoundInText},
        {"PUSTADATA(", TextCondition::EmptyDate},
        {"IF(", TextCondition::IntegerComparison},
        {"INNYOKRESPRZEGLADU(", TextCondition::OtherReviewPeriod},
    };
    MigrationDefinition& d = dane.Definition;
    for (int n = 0; n < kTableSlots; ++n) {
        TableMapping& t = d.Tables[static_cast<std::size_t>(n)];
        t.ConditionOperator = TextCondition::None;
        std::string w = text::ToUpper(text::Trim(t.Condition));
        for (const Operator& o : kOperators) {
            if (t.ConditionOperator != TextCondition::None) break;
            if (!StartsWith(w, o.word)) continue;
            w = Trimmed(std::string_view(w).substr(o.word.size()));
            if (StartsWith(w, kDbfRef)) {
                w.erase(0, kDbfRef.size());
                t.ConditionOperator = o.test;
                t.ConditionText = "???";
                std::string quoted;
                if (TakeQuoted(w, quoted, 0)) t.ConditionText = quoted;
            } else if (o.test == TextCondition::NotBlank && StartsWith(w, kCalcRef)) {
                w.erase(0, kCalcRef.size());
                t.ConditionOperator = TextCondition::CalculationNotBlank;
                t.ConditionText = "???";
            }
            if (t.ConditionOperator == TextCondition::None) continue;
            w = Trimmed(w);
            const std::string name = ReadName(w, 0, 12);
            if (name.empty()) {
                dane.AddErrorWithContext("Brak pola DBF  !", n, -1);
                return;
            }
            if (t.ConditionOperator == TextCondition::CalculationNotBlank) {
                t.ConditionSource = name.size() == 1 && IsDigit(name[0]) ? name[0] - '0' : -1;
                if (t.ConditionSource == -1) {
                    dane.AddErrorWithContext("Błąd pola obliczanego "_w + name + " !", n, -1);
                    return;
                }
            } else {
                t.ConditionSource = FindDbfField(dane, name);
                if (t.ConditionSource == -1)
                    dane.AddErrorWithContext("Nie ma pola DBF o nazwie: " + name + " !", n, -1);
            }
        }
        if (d.StopRequested) return;
    }
}

void ParseCalculations(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    d.Calculations.clear();
    for (int k = 0; k < kMaxCalculations; ++k) {
        const std::string& asRead = d.CalculationTexts[static_cast<std::size_t>(k)];
        std::string t = text::ToUpper(text::Trim(asRead));
        const std::size_t ref = t.find(kDbfRef);
        if (t.size() <= 9 || ref == std::string::npos || ref == 0) continue;

        std::string name = Trimmed(std::string_view(t).substr(0, ref));
        if (!name.empty() && name.back() == '(') name = Trimmed(name.substr(0, name.size() - 1));
        const int function = FindFunction(name);
        if (function < 0) {
            dane.AddError(
                "Nieznana funkcja obliczeniowa "_w + name + " !\r\n" + "Plik " + d.DbfFileName,
                Stops::Run);
            return;
        }

        t.erase(0, ref);
        for (char last : {';', ')'}) {
            if (!t.empty() && t.back() == last) t = Trimmed(t.substr(0, t.size() - 1));
        }
        CalculationDef entry;
        entry.Function = function;
        std::string quoted;
        std::string rest = t;
        if (TakeQuoted(rest, quoted, 1) && !quoted.empty()) {
            entry.TextArg = quoted;
            t = rest;
        }

        if (FunctionByNumber(function)->Takes(kNoDbfField)) {
            entry.ArgFields[0] = -1;
            entry.ArgKinds[0] = ValueKind::Other;
        } else {
            int found = 0;
            for (std::size_t p = t.find(kDbfRef); p != std::string::npos;
                 p = t.find(kDbfRef, p + 1)) {
                const std::string field = ReadName(t, p + kDbfRef.size());
                if (field.empty()) continue;
                const int i = FindDbfField(dane, field);
                if (i < 0) {
                    dane.AddError(" i nie można określić skąd pobrać dane w : "_w + t, Stops::No);
                    break;
                }
                if (found == kMaxCalcArgs) {
                    ReportLimit(dane, -1,
                                "pola DBF w obliczeniu WynikNr"_w + std::to_string(k) + " (" +
                                    std::string(text::Trim(asRead)) + ")",
                                kMaxCalcArgs);
                    return;
                }
                entry.ArgFields[static_cast<std::size_t>(found)] = i;
                entry.ArgKinds[static_cast<std::size_t>(found)] =
                    d.DbfFields[static_cast<std::size_t>(i)].Kind;
                ++found;
            }
            if (found == 0) {
                dane.AddNote(" ..brak pól do wyliczeń nr "_w + std::to_string(k) + " !" + asRead,
                             Stops::No);
                return;
            }
        }
        d.Calculations.push_back(std::move(entry));
    }
}

namespace {

// The rewrite shared by SQL conditions and exists-queries: every reference becomes " :" + its
// ParamName. False when a reference could not be read.
bool RewriteConditionSql(TDane& dane, int n, const std::string& query, bool existsQuery,
                         std::string& output, std::vector<QueryParamRef>& params) {
    MigrationDefinition& d = dane.Definition;
    const std::string q = text::ToUpper(text::Trim(query));
    output.clear();
    params.clear();
    std::size_t start = 0;
    std::size_t dbf = q.find(kDbfRef);
    std::size_t calc = q.find(kCalcRef);
    while (dbf != std::string::npos || calc != std::string::npos) {
        if (static_cast<int>(params.size()) == kMaxQueryParams) {
            ReportLimit(dane, n,
                        (existsQuery ? "odwołania do pól DBF i obliczeń w zapytaniu GdyJest_"_w
                                     : "odwołania do pól DBF i obliczeń w warunku SQL Warunek_"_w) +
                            std::to_string(n),
                        kMaxQueryParams);
            return false;
        }
        QueryParamRef r;
        r.Kind = ValueKind::Text;
        const bool fromDbf = calc == std::string::npos || (dbf != std::string::npos && dbf < calc);
        r.From = fromDbf ? RefKind::DbfField : RefKind::Calculation;
        std::size_t at, end;
        if (fromDbf) {
            at = dbf;
            const std::string name = ReadName(q, at + kDbfRef.size());
            r.Source = FindDbfField(dane, name);
            if (r.Source < 0) {
                dane.AddError(
                    (existsQuery ? " -preParam gdy jest, błąd w: "_w : " - błąd w: "_w) + q,
                    Stops::No);
                return false;
            }
            const ValueKind kind = d.DbfFields[static_cast<std::size_t>(r.Source)].Kind;
            r.Kind = kind == ValueKind::Logical ? ValueKind::Text : kind;
            end = at + kDbfRef.size() + name.size();
            dbf = q.find(kDbfRef, end);
        } else {
            at = calc;
            end = at + kCalcRef.size();
            if (end >= q.size() || !IsDigit(q[end])) {
                dane.AddError((existsQuery ? " -preParam gdy jest, błąd w nr Obliczen : "_w
                                           : " - błąd nr Obliczenia w: "_w) +
                                  q,
                              Stops::No);
                return false;
            }
            r.Source = ReadCalculationNumber(q, end);
            if (end + 2 < q.size() && q[end] == '(' && q[end + 2] == ')') {
                r.Kind = KindOfLetter(q[end + 1]);
                end += 3;
            }
            calc = q.find(kCalcRef, end);
        }
        params.push_back(r);
        output.append(q, start, at - start);
        output += " :" + ParamName(r.Source, params.size() - 1);
        start = end;
    }
    output.append(q, start, std::string::npos);
    return true;
}

}  // namespace

// A query whose references could not all be read cannot decide anything about a record, so
// the definition does not run, whatever the entry's own flags.
void PrepareSqlCondition(TDane& dane, int n) {
    TableMapping& t = dane.Definition.Tables[static_cast<std::size_t>(n)];
    std::string sql;
    if (RewriteConditionSql(dane, n, t.SqlCondition, false, sql, t.SqlConditionParams))
        t.ConditionQuery->SetSql(sql);
    else
        dane.Definition.StopRequested = true;
}

void PrepareExistsQuery(TDane& dane, int n) {
    TableMapping& t = dane.Definition.Tables[static_cast<std::size_t>(n)];
    if (!RewriteConditionSql(dane, n, t.ExistsQuery, true, t.ExistsQuerySql, t.ExistsParams))
        dane.Definition.StopRequested = true;
}

}  // namespace migracja::engine
