#include "engine/InitialRecords.h"

#include <cerrno>
#include <cstdlib>

#include "base/Text.h"
#include "calc/MigracjaUtil.h"
#include "engine/PrepareText.h"
#include "fb/FbConvert.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

// The value a column of an initial record gets, in the slot of its working kind.
struct InitValue {
    ValueKind kind = ValueKind::Other;
    std::string text;
    std::int32_t integer = 0;
    Money money;
    DateTime date = 0;
};

bool ReadInteger(const std::string& s, std::int32_t& value) {
    const std::string t(text::Trim(s));
    if (t.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(t.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

ValueKind ColumnKind(const InitTableDef& init, const std::string& column) {
    for (int j = 0; j < init.Schema.ColumnCount(); ++j)
        if (init.Schema.ColumnNames[static_cast<std::size_t>(j)] == column)
            return init.Schema.ColumnKinds[static_cast<std::size_t>(j)];
    return ValueKind::Other;
}

// "Uwaga: Zapytanie: " with the query, a line at a time, and "Zwróciło 0 rekordów !".
std::string NoRowNote(const std::string& query) {
    std::string note = "Uwaga: Zapytanie: \"\r\n";
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('\n', start);
        if (end == std::string::npos) end = query.size();
        std::string line = query.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        note += line + "\r\n";
        start = end + 1;
    }
    return note + "\r\nZwróciło 0 rekordów !"_w;
}

// Phase 1: the value of every mapped column. Stops (with an entry) at the first column that
// cannot be given one.
std::vector<InitValue> ColumnValues(TDane& dane, int i) {
    MigrationDefinition& d = dane.Definition;
    InitTableDef& init = d.InitTables[static_cast<std::size_t>(i)];
    std::vector<InitValue> values(init.Columns.size());
    for (int c = 0; c < init.ColumnCount(); ++c) {
        const ColumnMapping& m = init.Columns[static_cast<std::size_t>(c)];
        InitValue& v = values[static_cast<std::size_t>(c)];
        v.kind = ColumnKind(init, m.TargetColumn);
        bool handled = false;
        const std::string trimmed(text::Trim(m.SourceExpr));
        const std::string e = text::ToUpper(trimmed);
        const std::size_t n = e.size();
        if (v.kind != ValueKind::Other) {
            if (n > 3 && e[0] == '(' && e[2] == ')') {
                const char letter = e[1];
                const std::size_t place = std::string_view("CNFD").find(letter);
                if (place == std::string_view::npos ||
                    static_cast<int>(place + 1) != static_cast<int>(v.kind))
                    dane.AddErrorWithContext("Błąd Typu pola INITE: "_w + e + " !", -1, -1);
                handled = true;
                const std::string value = trimmed.substr(3);
                if (letter == 'C') {
                    v.text = value;
                } else if (letter == 'N') {
                    if (!ReadInteger(value, v.integer))
                        dane.AddErrorWithContext(
                            "Wartość "_w + value + " nie jest liczbą całkowitą (INITE nr "_w +
                                std::to_string(i) + ", " + m.TargetColumn + ") !",
                            -1, -1);
                } else if (letter == 'F') {
                    v.money = calc::MoneyFromDigitsAnywhere(value);
                } else if (letter == 'D') {
                    const auto date = fb::ParseDateTime(value);
                    if (date)
                        v.date = *date;
                    else
                        dane.AddErrorWithContext(
                            "Wartość "_w + value + " nie jest datą (INITE nr "_w +
                                std::to_string(i) + ", " + m.TargetColumn + ") !",
                            -1, -1);
                }
            } else if (n == 5 && e == "NOW()") {
                handled = true;
                v.date = LocalNow();
            } else if (n > 12 && e.compare(0, 7, "SELECT ") == 0) {
                fb::TransactionScope read(dane.IBTransactionR, &dane.IBQueryR);
                dane.IBQueryR.SetSql(e);
                dane.IBQueryR.Open();
                if (!dane.IBQueryR.Eof()) {
                    handled = true;
                    const fb::Field& f = dane.IBQueryR.Fields(0);
                    switch (v.kind) {
                        case ValueKind::Text:
                            v.text = f.AsText();
                            break;
                        case ValueKind::Integer:
                            v.integer = f.AsInteger();
                            break;
                        case ValueKind::Money:
                            v.money = f.AsMoney();
                            break;
                        case ValueKind::Date:
                            v.date = f.AsDate();
                            break;
                        default:
                            break;
                    }
                } else {
                    dane.AddNote(NoRowNote(e), Stops::No);
                }
                read.Commit();
            } else if (n > 10 && e.compare(0, 10, "GENERATOR(") == 0) {
                const std::string g = prep::GeneratorNameOf(std::string_view(e).substr(10));
                if (g.size() == 1 && g[0] >= '0' && g[0] <= '9') {
                    v.integer = d.InitTables[static_cast<std::size_t>(g[0] - '0')].InitGeneratedKey;
                    handled = true;
                } else if (TDane::ContainsIgnoreCase(dane.DatabaseGenerators, g)) {
                    handled = true;
                    if (dane.DryRun) {
                        v.kind = ValueKind::Other;  // no value is drawn in a dry run
                        dane.InitPlan.push_back("  " + m.TargetColumn + " = next value of " + g);
                    } else {
                        v.integer = dane.NextGeneratorValue(g);
                        init.InitGeneratedKey = v.integer;
                    }
                }
            }
        }
        if (!handled)
            dane.AddErrorWithContext("Błąd dla pola INITE nr "_w + std::to_string(c) + "   " +
                                         m.TargetColumn + "  TabelaInite= " + std::to_string(i) +
                                         "-" + init.TableName + "  !",
                                     -1, -1);
        if (d.StopRequested) return {};
    }
    return values;
}

std::string BuildStatement(const InitTableDef& init, const std::vector<InitValue>& values) {
    std::string columns, list;
    for (std::size_t c = 0; c < values.size(); ++c) {
        const InitValue& v = values[c];
        std::string item;
        switch (v.kind) {
            case ValueKind::Text:
                item = prep::SqlQuoted(v.text);
                break;
            case ValueKind::Integer:
                item = std::to_string(v.integer);
                break;
            case ValueKind::Money:
            case ValueKind::Date:
                item = ":p" + std::to_string(c) + "m";
                break;
            default:
                continue;  // logical columns are left out
        }
        if (!columns.empty()) {
            columns += ",";
            list += ",";
        }
        columns += init.Columns[c].TargetColumn;
        list += item;
    }
    return "INSERT INTO " + init.TableName + " (" + columns + " ) VALUES ( " + list + " )";
}

void BindValues(fb::Statement& statement, const std::vector<InitValue>& values) {
    for (std::size_t c = 0; c < values.size(); ++c) {
        const InitValue& v = values[c];
        if (v.kind != ValueKind::Money && v.kind != ValueKind::Date) continue;
        fb::Param& p = statement.ParamByName("p" + std::to_string(c) + "m");
        if (v.kind == ValueKind::Money)
            p.SetMoney(v.money);
        else
            p.SetDate(v.date);
    }
}

}  // namespace

bool InitRecordExists(TDane& dane, int i) {
    const InitTableDef& init = dane.Definition.InitTables[static_cast<std::size_t>(i)];
    fb::TransactionScope read(dane.IBTransactionR, &dane.IBQueryR);
    dane.IBQueryR.SetSql("Select Count(*) From " + init.TableName + " where " + init.Condition);
    dane.IBQueryR.Open();
    const bool exists = !dane.IBQueryR.Eof() && dane.IBQueryR.Fields(0).AsInteger() > 0;
    read.Commit();
    return exists;
}

void ReadInitResult(TDane& dane, int i) {
    MigrationDefinition& d = dane.Definition;
    InitTableDef& init = d.InitTables[static_cast<std::size_t>(i)];
    const int kind = static_cast<int>(init.ResultKind);
    if (kind < 1) {
        dane.AddError("Typ wyniku INITE = 0   (Dla tab nr =" + std::to_string(i), Stops::Run);
        return;
    }
    fb::TransactionScope read(dane.IBTransactionR, &dane.IBQueryR);
    dane.IBQueryR.SetSql("Select " + init.IdColumn + " From " + init.TableName + " where " +
                         init.Condition);
    dane.IBQueryR.Open();
    if (!dane.IBQueryR.Eof()) {
        const fb::Field& f = dane.IBQueryR.Fields(0);
        switch (init.ResultKind) {
            case ValueKind::Text:
                init.InitResult.Text = f.AsText();
                break;
            case ValueKind::Integer:
                init.InitResult.Integer = f.AsInteger();
                break;
            case ValueKind::Money:
                init.InitResult.MoneyValue = f.AsMoney();
                break;
            case ValueKind::Date:
                init.InitResult.Date = f.AsDate();
                break;
            default:
                break;
        }
    }
    read.Commit();
}

std::string BuildInitInsert(TDane& dane, int i) {
    const std::vector<InitValue> values = ColumnValues(dane, i);
    if (dane.Definition.StopRequested) return {};
    return BuildStatement(dane.Definition.InitTables[static_cast<std::size_t>(i)], values);
}

void InsertInitRecord(TDane& dane, int i) {
    const std::vector<InitValue> values = ColumnValues(dane, i);
    if (dane.Definition.StopRequested) return;
    const InitTableDef& init = dane.Definition.InitTables[static_cast<std::size_t>(i)];
    fb::Statement& insert = dane.IBSQLMigracja;
    fb::TransactionScope write(dane.IBTransaction1, nullptr, fb::TransactionScope::Ends::Continues);
    insert.SetSql(BuildStatement(init, values));
    BindValues(insert, values);
    insert.ExecQuery();
    write.Commit();
}

void CreateInitialRecords(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    if (d.StopRequested || d.InitTableCount == 0) return;
    for (int i = 0; i < d.InitTableCount; ++i) {
        const InitTableDef& init = d.InitTables[static_cast<std::size_t>(i)];
        try {
            if (InitRecordExists(dane, i)) {
                ReadInitResult(dane, i);
                if (dane.DryRun)
                    dane.InitPlan.push_back("initial record " + std::to_string(i) + " (" +
                                            init.TableName + ") exists");
            } else if (dane.DryRun) {
                dane.InitPlan.push_back("initial record " + std::to_string(i) + " (" +
                                        init.TableName + ") would be inserted:");
                const std::string insert = BuildInitInsert(dane, i);
                if (!insert.empty()) dane.InitPlan.push_back("  " + insert);
            } else {
                InsertInitRecord(dane, i);
                if (InitRecordExists(dane, i)) {
                    ReadInitResult(dane, i);
                } else {
                    dane.AddError("Błąd definicji dla Inite nr "_w + std::to_string(i) + " !",
                                  Stops::Run);
                }
            }
        } catch (const fb::Error& e) {
            // The user sees the failure; the report must hold it too.
            dane.AddErrorWithContext(e.Message() + (e.Sql().empty() ? "" : "\r\n" + e.Sql()) +
                                         "\r\n(INITE nr " + std::to_string(i) + ", " +
                                         init.TableName + ")",
                                     -1, -1);
            throw;
        }
    }
}

}  // namespace migracja::engine
