#include "engine/Binding.h"

#include <array>

#include "base/Text.h"
#include "engine/ParamNames.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

// How a column's value is bound.
enum class BindKind : unsigned char { NotBound, Text, Integer, Money, Date, Null };

ColumnMapping& Column(TDane& dane, int t, int c) {
    return dane.Definition.Tables[static_cast<std::size_t>(t)].Columns[static_cast<std::size_t>(c)];
}

const DbfFieldInfo& Field(const TDane& dane, int i) {
    return dane.Definition.DbfFields.at(static_cast<std::size_t>(i));
}

// The parameters of the diagnostic, one per line, up to and including column last.
std::string Diagnostic(const TableMapping& table, int t, int last) {
    std::string s = "POLA(" + std::to_string(t) + "): ";
    for (int c = 0; c <= last; ++c) {
        const ColumnMapping& m = table.Columns[static_cast<std::size_t>(c)];
        if (m.Source.Type != SourceType::Constant)
            s += m.ParamName + "{" + std::to_string(m.Source.Code()) + "} \r\n";
    }
    return s;
}

// Opens the column's lookup on the read transaction (started when needed, never committed
// here) and reads the first column of the first row; nothing when there is no row or the
// value is NULL.
template <class Read>
bool ReadLookup(fb::Query& q, Read&& read) {
    q.Close();
    q.GetTransaction().StartIfNeeded();
    fb::CursorScope closeAfter(q);
    q.Open();
    if (q.Eof() || q.Fields(0).IsNull()) return false;
    read(q.Fields(0));
    return true;
}

// The query of column c's lookup: its own prepared one, or, outside a prepared run (the objects
// were not made), the shared read query with the lookup's SQL. Asked once per lookup: setting
// the SQL again would clear the parameters just bound.
fb::Query& LookupQuery(TDane& dane, int t, int c) {
    ColumnMapping& m = Column(dane, t, c);
    if (m.ColumnQuery) return *m.ColumnQuery;
    fb::Query& shared = dane.ReadQuery();
    shared.Close();
    shared.SetSql(m.ExtraText);
    return shared;
}

// Binds the lookup's references (LookupParamName) on q; false when a reference had a kind
// that cannot be bound (an entry says which).
bool BindLookupParams(TDane& dane, fb::Query& q, int t, int c) {
    const MigrationDefinition& d = dane.Definition;
    const ColumnMapping& m = Column(dane, t, c);
    bool ok = true;
    for (int i = 0; i < m.RefCount(); ++i) {
        const ColumnRef& r = m.Refs[static_cast<std::size_t>(i)];
        fb::Param& p = q.ParamByName(LookupParamName(static_cast<std::size_t>(i)));
        if (r.From == RefKind::DbfField || r.From == RefKind::Calculation) {
            const bool dbf = r.From == RefKind::DbfField;
            const DbfFieldInfo* f = dbf ? &Field(dane, r.Source) : nullptr;
            const CalculationDef& calc = d.CalculationAt(dbf ? -1 : r.Source);
            if (!BindRecordValue(p, r.Kind, f, calc)) {
                ok = false;
                dane.AddErrorWithContext(
                    (dbf ? "Zły nr typu dla CASE (1..4) = "_w
                         : "Zły nr typu dla Select../ Obliczane.. (1..4) = "_w) +
                        std::to_string(static_cast<int>(r.Kind)) + " !",
                    t, c);
            }
        } else if (r.From == RefKind::TableKey) {
            p.SetInteger(d.Tables.at(static_cast<std::size_t>(r.Source)).LastKey);
        }
    }
    return ok;
}

// Binds and runs column c's lookup, reading its value with read; false (with the entry
// before + the lookup's SQL + after + context) when a reference could not be bound.
template <class Read>
bool RunLookup(TDane& dane, int t, int c, const std::string& before, const char* after,
               Read&& read) {
    fb::Query& q = LookupQuery(dane, t, c);
    if (!BindLookupParams(dane, q, t, c)) {
        dane.AddErrorWithContext(before + Column(dane, t, c).ExtraText + after, t, c);
        return false;
    }
    ReadLookup(q, read);
    return true;
}

}  // namespace

std::string LookupText(TDane& dane, int t, int c) {
    std::string value;
    RunLookup(dane, t, c, "Błąd Select-a "_w, " !",
              [&](const fb::Field& f) { value = f.AsText(); });
    return value;
}

std::int32_t LookupInteger(TDane& dane, int t, int c) {
    std::int32_t value = -1;
    RunLookup(dane, t, c, "Błąd Select-a "_w, " !",
              [&](const fb::Field& f) { value = f.AsInteger(); });
    return value;
}

Money LookupMoney(TDane& dane, int t, int c) {
    Money value;
    if (!RunLookup(dane, t, c, "Błąd F Select-a "_w, "  !",
                   [&](const fb::Field& f) { value = f.AsMoney(); }))
        return kFailedMoneyLookup;
    return value;
}

DateTime LookupDate(TDane& dane, int t, int c) {
    DateTime value = kNoDate;
    if (!RunLookup(dane, t, c, "Błąd F Select-a "_w, " !",
                   [&](const fb::Field& f) { value = f.AsDate(); }))
        return kFailedDate;
    return value;
}

std::string EvaluateTextSource(TDane& dane, int t, int c, bool& null) {
    const ColumnMapping& m = Column(dane, t, c);
    std::string value;
    bool resolved = false;
    const bool isText = m.Source.Kind == ValueKind::Text;
    const SourceType type = m.Source.Type;
    if (isText && (type == SourceType::DbfField || type == SourceType::Calculation) &&
        m.RefCount() > 0) {
        for (const ColumnRef& r : m.Refs)
            value += type == SourceType::DbfField
                         ? Field(dane, r.Source).TextValue
                         : dane.Definition.CalculationAt(r.Source).TextResult;
        if (m.HasQuotedText) value += m.QuotedText;
        resolved = true;
    } else if (isText && type == SourceType::Lookup) {
        value = LookupText(dane, t, c);
        resolved = true;
    }
    value.resize(BoundText(value).size());
    if (!resolved) {
        dane.AddErrorWithContext("Błąd String case  nr "_w + std::to_string(m.Source.Code()) + " !",
                                 t, c);
    } else if (!m.NotNull && value.empty()) {
        null = true;
    }
    return value;
}

std::int32_t EvaluateIntegerSource(TDane& dane, int t, int c, bool& null) {
    const MigrationDefinition& d = dane.Definition;
    const ColumnMapping& m = Column(dane, t, c);
    std::int32_t value = kUnresolvedInteger;
    const bool refs = m.RefCount() > 0;
    // Only the integer sources give a value here; a generator and a key give nothing else.
    switch (m.Source.Kind == ValueKind::Integer ? m.Source.Type : SourceType::Constant) {
        case SourceType::DbfField:
            if (refs) value = Field(dane, m.Refs[0].Source).IntegerValue;
            break;
        case SourceType::Calculation:
            if (refs) value = d.CalculationAt(m.Refs[0].Source).IntegerResult;
            break;
        case SourceType::Lookup:
            value = LookupInteger(dane, t, c);
            break;
        case SourceType::Generator:
            value = dane.NextKeyFromGenerator(t, c);
            break;
        case SourceType::TableKey:
            if (refs) {
                const int table = m.Refs[0].Source;
                const std::int32_t key = d.Tables[static_cast<std::size_t>(table)].LastKey;
                if (table <= t && key >= 0) value = key;
            }
            break;
        default:
            break;
    }
    if (value == kUnresolvedInteger)
        dane.AddErrorWithContext("Błąd Num case nr "_w + std::to_string(m.Source.Code()), t, c);
    else if (!m.NotNull && value == -1)
        null = true;
    return value;
}

Money EvaluateMoneySource(TDane& dane, int t, int c, bool& null) {
    MigrationDefinition& d = dane.Definition;
    const ColumnMapping& m = Column(dane, t, c);
    Money value = kUnresolvedMoney;
    const bool refs = m.RefCount() > 0;
    if (m.Source == ColumnSource{SourceType::DbfField, ValueKind::Money} && refs)
        value = Field(dane, m.Refs[0].Source).MoneyValue;
    else if (m.Source == ColumnSource{SourceType::Calculation, ValueKind::Money} && refs)
        value = d.CalculationAt(m.Refs[0].Source).MoneyResult;
    else if (m.Source == ColumnSource{SourceType::Lookup, ValueKind::Money})
        value = LookupMoney(dane, t, c);
    if (value == kUnresolvedMoney) {
        dane.AddError("Błąd F Currency case nr "_w + std::to_string(m.Source.Code()) + " (W " +
                          d.DbfFileName + ")",
                      Stops::Run);
    } else if (!m.NotNull && value.raw == 0) {
        null = true;
    }
    return value;
}

DateTime EvaluateDateSource(TDane& dane, int t, int c, bool& null) {
    const ColumnMapping& m = Column(dane, t, c);
    DateTime value = 0;
    const bool refs = m.RefCount() > 0;
    if (m.Source == ColumnSource{SourceType::DbfField, ValueKind::Date} && refs)
        value = Field(dane, m.Refs[0].Source).DateValue;
    else if (m.Source == ColumnSource{SourceType::Calculation, ValueKind::Date} && refs)
        value = dane.Definition.CalculationAt(m.Refs[0].Source).DateResult;
    else if (m.Source == ColumnSource{SourceType::Lookup, ValueKind::Date})
        value = LookupDate(dane, t, c);
    else if (m.Source.Type == SourceType::Now)
        value = LocalNow();
    if (value == kFailedDate)
        dane.AddErrorWithContext(
            "Błąd FDateTime case nr "_w + std::to_string(m.Source.Code()) + " !", t, c);
    else if (!m.NotNull && value < kFailedDate)
        null = true;
    return value;
}

std::string EvaluateLogicalSource(TDane& dane, int t, int c, bool& null) {
    const ColumnMapping& m = Column(dane, t, c);
    if (m.Source != ColumnSource{SourceType::DbfField, ValueKind::Logical} || m.RefCount() == 0)
        return {};
    std::string value = Field(dane, m.Refs[0].Source).TextValue;
    if (value == "F") value = "N";
    if (!m.NotNull && text::Trim(value).empty()) {
        value.clear();
        null = true;
    }
    return value;
}

bool BindRecordValue(fb::Param& p, ValueKind kind, const DbfFieldInfo* f,
                     const CalculationDef& calc) {
    switch (kind) {
        case ValueKind::Text:
            p.SetText(BoundText(f ? f->TextValue : calc.TextResult));
            return true;
        case ValueKind::Integer:
            p.SetInteger(f ? f->IntegerValue : calc.IntegerResult);
            return true;
        case ValueKind::Money:
            p.SetMoney(f ? f->MoneyValue : calc.MoneyResult);
            return true;
        case ValueKind::Date:
            p.SetDate(f ? f->DateValue : calc.DateResult);
            return true;
        default:
            return false;
    }
}

void WriteTable(TDane& dane, int t, bool insert) {
    MigrationDefinition& d = dane.Definition;
    TableMapping& table = d.Tables[static_cast<std::size_t>(t)];
    const int count = table.StatementColumnCount;
    std::array<BindKind, kMaxColumns> bind{};
    for (int c = 0; c < count; ++c) {
        ColumnMapping& m = table.Columns[static_cast<std::size_t>(c)];
        if (m.Source.Type == SourceType::Constant) continue;
        bool null = false;
        BindKind& how = bind[static_cast<std::size_t>(c)];
        try {
            switch (m.Source.Kind) {
                case ValueKind::Text:
                    how = BindKind::Text;
                    m.TextValue = EvaluateTextSource(dane, t, c, null);
                    break;
                case ValueKind::Integer:
                    how = BindKind::Integer;
                    m.IntegerValue = EvaluateIntegerSource(dane, t, c, null);
                    break;
                case ValueKind::Money:
                    how = BindKind::Money;
                    m.MoneyValue = EvaluateMoneySource(dane, t, c, null);
                    break;
                case ValueKind::Date:
                    how = BindKind::Date;
                    m.DateValue = EvaluateDateSource(dane, t, c, null);
                    break;
                case ValueKind::Logical:
                    // A logical value is written as its letter.
                    how = BindKind::Text;
                    m.TextValue = EvaluateLogicalSource(dane, t, c, null);
                    break;
                default:
                    dane.AddErrorWithContext(
                        "Brak typu danych dla nr " + std::to_string(m.Source.Code()) + " !", t, c);
            }
        } catch (const fb::Error& e) {
            // A lookup or generator query failed: the record cannot be written, and the report
            // must say where, not only the message the user is shown.
            dane.AddErrorWithContext(e.Message() + (e.Sql().empty() ? "" : "\r\n" + e.Sql()), t, c);
            throw;
        }
        if (null) how = BindKind::Null;
    }
    if (d.StopRequested) return;

    fb::Statement& statement = table.WriteStatement ? *table.WriteStatement : dane.IBSQLMigracja;
    if (!table.WriteStatement) statement.SetSql(table.Statement);
    try {
        for (int c = 0; c < count; ++c) {
            ColumnMapping& m = table.Columns[static_cast<std::size_t>(c)];
            if (m.Source.Type == SourceType::Constant) continue;
            fb::Param& p = m.BoundParam ? *m.BoundParam : statement.ParamByName(m.ParamName);
            switch (bind[static_cast<std::size_t>(c)]) {
                case BindKind::Text:
                    p.SetText(m.TextValue);
                    try {
                        statement.CheckParam(p);
                    } catch (const fb::Error& e) {
                        throw fb::Error(e.Message() + "\r\nDana:  »"_w + m.TextValue +
                                            "«  jest za długa !\r\n"_w + Diagnostic(table, t, c),
                                        statement.Sql());
                    }
                    break;
                case BindKind::Integer:
                    p.SetInteger(m.IntegerValue);
                    break;
                case BindKind::Money:
                    p.SetMoney(m.MoneyValue);
                    break;
                case BindKind::Date:
                    p.SetDate(m.DateValue);
                    break;
                case BindKind::Null:
                    p.SetNull();
                    break;
                default:
                    break;
            }
        }
        statement.ExecQuery();
        if (insert) ++d.Counters[static_cast<std::size_t>(table.CounterIndex)];
        table.TableWritten = true;
    } catch (const fb::Error& e) {
        // The report must explain the failure on its own: the statement, then the database's
        // message with the report's line breaks.
        std::string entry = statement.Sql() + "\r\n";
        for (std::size_t i = 0; i < e.Message().size(); ++i) {
            if (e.Message()[i] == '\n' && (i == 0 || e.Message()[i - 1] != '\r')) entry += '\r';
            entry += e.Message()[i];
        }
        dane.AddError(std::move(entry), Stops::Run);
        throw;
    } catch (...) {
        dane.AddError(statement.Sql(), Stops::Run);
        throw;
    }
}

}  // namespace migracja::engine
