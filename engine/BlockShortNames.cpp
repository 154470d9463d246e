#include "engine/BlockShortNames.h"

#include "base/Text.h"
#include "calc/CalcFunctions.h"
#include "engine/BlockPlan.h"
#include "engine/CalculationQueries.h"
#include "engine/FunctionTable.h"
#include "fb/SqlTypes.h"

namespace migracja::engine {

namespace {

// The length kShortNameInput declares.
constexpr int kMaxWanted = 4000;

// PSQL giving the text of the variable v in SQL quotes, as the program quotes it.
std::string Quoted(const std::string& v) {
    return "'''' || REPLACE(" + v + ", '''', '''''') || ''''";
}

// Whether every reader of calculation k's result takes it whole as a text column's value.
bool ResultGoesWholeIntoColumns(const MigrationDefinition& d, int k) {
    for (const TableMapping& table : d.Tables) {
        for (std::size_t c = 0; c < table.Columns.size(); ++c) {
            const ColumnMapping& m = table.Columns[c];
            for (const ColumnRef& r : m.Refs) {
                const bool calculation = m.Source.Type == SourceType::Calculation ||
                                         (m.Source.Type == SourceType::Lookup &&
                                          r.From == RefKind::Calculation);
                if (!calculation || r.Source != k) continue;
                if (m.Source != ColumnSource{SourceType::Calculation, ValueKind::Text} ||
                    m.RefCount() != 1 || m.HasQuotedText ||
                    static_cast<int>(c) >= table.StatementColumnCount)
                    return false;
            }
        }
        for (const auto* refs : {&table.SqlConditionParams, &table.ExistsParams})
            for (const QueryParamRef& r : *refs)
                if (r.From == RefKind::Calculation && r.Source == k) return false;
        if (table.ConditionOperator == TextCondition::CalculationNotBlank &&
            table.ConditionSource == k)
            return false;
    }
    return true;
}

}  // namespace

std::vector<int> ShortNameCalculationsForBlock(const MigrationDefinition& d) {
    std::vector<int> found;
    for (int k = 0; k < d.CalculationCount(); ++k) {
        const CalculationDef& c = d.Calculations[static_cast<std::size_t>(k)];
        const CalculationFunction* f = FunctionByNumber(c.Function);
        if (!f || f->Name != "NextUniqueSkrot") continue;
        if (c.ArgFields[0] < 0 || c.ArgFields[0] >= d.DbfFieldCount() ||
            c.ArgKinds[0] != ValueKind::Text)
            continue;
        if (c.TextArg.find(" FROM ") == std::string::npos) continue;
        if (ResultGoesWholeIntoColumns(d, k)) found.push_back(k);
    }
    return found;
}

std::optional<std::string> ShortNameBlockInput(const TDane& dane, int k) {
    const MigrationDefinition& d = dane.Definition;
    const CalculationDef& c = d.Calculations[static_cast<std::size_t>(k)];
    const std::string& wanted = d.DbfFields[static_cast<std::size_t>(c.ArgFields[0])].TextValue;
    // An empty field leaves the calculation out and its result empty.
    if (wanted.empty()) return std::nullopt;
    return std::string(text::TrimRight(wanted));
}

std::string ShortNameBlockCode(TDane& dane, int k, std::string& declares) {
    const CalculationDef& c = dane.Definition.Calculations[static_cast<std::size_t>(k)];
    const std::string& T = c.TextArg;
    const std::string column(text::Trim(T.substr(0, T.find(" FROM "))));
    const std::string select = "Select " + T + " Where (";

    // The name must come back as a text, as the program reads it.
    unsigned length = 0;
    {
        fb::Query probe(dane.IBTransaction1, "IBQuerySkrot");
        probe.SetSql(select + column + " = '' )  Order by 1");
        try {
            probe.Prepare();
        } catch (const fb::Error&) {
            return {};  // the program's query fails as it fails today
        }
        if (probe.FieldCount() != 1) return {};
        const fb::Field& f = probe.Fields(0);
        if (f.SqlType() != fb::kSqlText && f.SqlType() != fb::kSqlVarying) return {};
        length = std::max(1u, f.Length());
    }
    const int declared = DeclaredCharLength(dane, T);

    const std::string K = Num(k), R = "R" + K, S = "S" + K, V = "SV" + K;
    declares += "DECLARE " + R + " VARCHAR(" + Num(kMaxWanted + 12) +
                ") CHARACTER SET WIN1250; DECLARE " + V + " VARCHAR(" + std::to_string(length) +
                ") CHARACTER SET WIN1250; ";
    if (declares.find("DECLARE SB ") == std::string::npos)
        declares += "DECLARE SB VARCHAR(" + Num(kMaxWanted) +
                    ") CHARACTER SET WIN1250; DECLARE SH SMALLINT; DECLARE SBT SMALLINT; DECLARE "
                    "SHT SMALLINT; DECLARE SOK SMALLINT; DECLARE SL INTEGER; DECLARE SI INTEGER; "
                    "DECLARE SC INTEGER; DECLARE SHI INTEGER; DECLARE SN DOUBLE PRECISION; ";

    const std::string taken =
        calc::SqlQuoted(select + column + " = ") + " || " + Quoted("SB") + " || " + calc::SqlQuoted(" )  Order by 1");
    const std::string similar = calc::SqlQuoted(select + column + " STARTING ") + " || " +
                                Quoted("SB || '#'") + " || " + calc::SqlQuoted(" or " + column + " = ") +
                                " || " + Quoted("SB") + " || " + calc::SqlQuoted(" )  Order by 1");
    std::string s = R + " = ''; IF (" + S + " IS NOT NULL) THEN BEGIN SB = " + S + "; " + R +
                    " = SB; SH = 0; FOR EXECUTE STATEMENT " + taken + " INTO :" + V +
                    " DO BEGIN SH = 1; LEAVE; END IF (SH = 1) THEN BEGIN ";
    // Room for the "#" and a digit within the column.
    s += "IF (" + Num(declared - 2) +
         " < CHAR_LENGTH(SB)) THEN SB = LEFT(SB, MAXVALUE(CHAR_LENGTH(SB) - 2, 0)); ";
    s += "SL = CHAR_LENGTH(SB); SBT = 0; SHT = 0; SHI = -1; FOR EXECUTE STATEMENT " + similar +
         " INTO :" + V + " DO BEGIN " + V + " = COALESCE(" + V + ", ''); " + TrimEnd(V);
    // Compared byte for byte, as the program compares: the same length, and equal under the
    // character set's own collation, which is binary.
    s += "IF (CHAR_LENGTH(" + V + ") = SL AND " + V + " = SB) THEN SBT = 1; ";
    s += "ELSE IF (CHAR_LENGTH(" + V + ") = SL + 1 AND " + V + " = SB || '#') THEN SHT = 1; ";
    s += "ELSE IF (CHAR_LENGTH(" + V + ") > SL + 1 AND ASCII_VAL(SUBSTRING(" + V +
         " FROM SL + 1 FOR 1)) = 35) THEN BEGIN SI = SL + 2; SN = 0; SOK = 1; ";
    s += "WHILE (SOK = 1 AND SI <= CHAR_LENGTH(" + V + ")) DO BEGIN SC = ASCII_VAL(SUBSTRING(" +
         V + " FROM SI FOR 1)); IF (SC < 48 OR SC > 57) THEN SOK = 0; ELSE BEGIN SN = SN * 10 + "
         "SC - 48; IF (SN > 2147483647) THEN SOK = 0; END SI = SI + 1; END ";
    s += "IF (SOK = 1 AND SN > SHI) THEN SHI = SN; END END ";
    // The next number past the largest integer is the program's to write. (A sum is a double
    // in dialect 1: cast back, or it would be written with decimals.)
    s += "IF (SHI = 2147483647) THEN " + std::string(kFailTheBlock);
    s += "IF (SHI >= 0) THEN " + R + " = SB || '#' || CAST(CAST(SHI + 1 AS INTEGER) AS VARCHAR(11)); ELSE IF (SHT = "
         "1) THEN " + R + " = SB || '#0'; ELSE IF (SBT = 1) THEN " + R + " = SB || '#'; ELSE " +
         R + " = SB; END END ";
    return s;
}

std::string ShortNameColumnValue(const ColumnMapping& m, const std::string& name) {
    std::string s = name + " = R" + Num(m.Refs[0].Source) + "; " + TrimEnd(name);
    if (!m.NotNull) s += "IF (" + name + " = '') THEN " + name + " = NULL; ";
    return s;
}

}  // namespace migracja::engine
