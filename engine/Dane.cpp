#include "engine/Dane.h"

#include <cstdio>
#include <utility>

#include "base/Text.h"

namespace migracja::engine {

using namespace migracja::literals;

std::string SchemaVersion::ToString() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%2.2d", Major, Minor);
    return buf;
}

TDane::TDane()
    : IBTransaction1(IBDatabase1, "IBTransaction1"),
      IBTransactionR(IBDatabase1, "IBTransactionR"),
      IBTransaction_UN(IBDatabase1, "IBTransaction_UN"),
      IBTransactionLock(IBDatabase1, "IBTransactionLock"),
      IBSQLMigracja(IBTransaction1, "IBSQLMigracja"),
      IBTable1(IBTransaction1, "IBTable1"),
      IBQueryR(IBTransactionR, "IBQueryR"),
      IBQueryR1(IBTransaction1, "IBQueryR1"),
      IBQueryGen(IBTransactionR, "IBQueryGen"),
      IBSQLDel(IBTransactionR, "IBSQLDel"),
      IBQueryTMP(IBTransaction1, "IBQueryTMP"),
      IBQuery_UN(IBTransaction1, "IBQuery_UN"),
      IBSQL_UN(IBTransaction_UN, "IBSQL_UN"),
      IBSQLSavepoint(IBTransaction1, "IBSQLSavepoint") {
    IBDatabase1.SqlDialect = 1;
    for (int n = 0; n < kTableSlots; ++n) {
        conditionQueries_.push_back(
            std::make_unique<fb::Query>(IBTransaction1, "IBQuery" + std::to_string(n)));
        Definition.Tables[n].ConditionQuery = conditionQueries_.back().get();
    }
}

TDane::~TDane() {
    // The DBF file is unlocked and the connection closed before the objects go away.
    Dbf1.reset();
    definitionObjects_.clear();
    conditionQueries_.clear();
}

void TDane::ResetDefinition() {
    Definition.Reset();
    DefinitionActive = false;
    PendingRecords = 0;
    TransactionRecords = 1;
    OwnRowsReadBy.reset();
    Tally = RecordTally{};
    InitPlan.clear();
    Block.reset();
    BlockReason.clear();
    PredrawnKeys.clear();
    definitionObjects_.clear();
}

fb::Statement& TDane::NewDefinitionStatement(fb::Transaction& transaction,
                                             const std::string& name) {
    auto object = std::make_unique<fb::Statement>(transaction, name);
    fb::Statement& s = *object;
    definitionObjects_.push_back(std::move(object));
    return s;
}

fb::Query& TDane::NewDefinitionQuery(fb::Transaction& transaction, const std::string& name) {
    auto object = std::make_unique<fb::Query>(transaction, name);
    fb::Query& q = *object;
    definitionObjects_.push_back(std::move(object));
    return q;
}

void TDane::AddErrorWithContext(const std::string& message, int t, int c) {
    MigrationErrorLog.push_back(message + ErrorContext(Definition, t, c));
}

void TDane::AddError(std::string entry, Stops stops) {
    AddNote(std::move(entry), stops);
    Definition.ErrorsOccurred = true;
}

void TDane::AddNote(std::string entry, Stops stops) {
    MigrationErrorLog.push_back(std::move(entry));
    if (stops == Stops::Run) Definition.StopRequested = true;
}

SchemaVersion TDane::ReadSchemaVersion() {
    fb::CursorScope cursor(IBQueryTMP);
    IBTransaction1.StartIfNeeded();  // not committed: the next unit of work on it does that
    IBQueryTMP.SetSql("SELECT FIRST 1 VER_MAJOR, VER_MINOR FROM BD_VER ORDER BY ID DESC");
    IBQueryTMP.Open();
    SchemaVersion v;
    if (!IBQueryTMP.Eof()) {
        v.Major = IBQueryTMP.Fields(0).AsInteger();
        v.Minor = IBQueryTMP.Fields(1).AsInteger();
    }
    return v;
}

void TDane::RefreshCatalogue() {
    DatabaseTables.clear();
    SystemTables.clear();
    DatabaseGenerators.clear();
    if (!IBDatabase1.Connected()) return;
    fb::TransactionScope read(IBTransactionR, &IBQueryR);
    IBQueryR.SetSql(
        "Select RDB$RELATION_NAME from RDB$RELATIONS  where RDB$VIEW_BLR is NULL ORDER BY "
        "RDB$RELATION_NAME");
    for (IBQueryR.Open(); !IBQueryR.Eof(); IBQueryR.Next())
        DatabaseTables.emplace_back(text::TrimRight(IBQueryR.Fields(0).AsText()));
    // Besides RDB$, the monitoring (MON$) and security (SEC$) tables belong to Firebird itself;
    // the flag also covers any the engine adds in later versions.
    IBQueryR.SetSql("Select RDB$RELATION_NAME from RDB$RELATIONS where RDB$SYSTEM_FLAG <> 0");
    for (IBQueryR.Open(); !IBQueryR.Eof(); IBQueryR.Next())
        SystemTables.emplace_back(text::TrimRight(IBQueryR.Fields(0).AsText()));
    IBQueryR.SetSql("Select RDB$GENERATOR_NAME From RDB$GENERATORS Order by 1");
    for (IBQueryR.Open(); !IBQueryR.Eof(); IBQueryR.Next()) {
        std::string name = text::ToUpper(text::Trim(IBQueryR.Fields(0).AsText()));
        // System generators are named RDB$...; names shorter than four characters cannot be.
        if (name.size() < 4 || name[3] != '$') DatabaseGenerators.push_back(std::move(name));
    }
    read.Commit();
}

bool TDane::ContainsIgnoreCase(const std::vector<std::string>& list, const std::string& name) {
    for (const std::string& s : list)
        if (text::EqualsIgnoreCase(s, name)) return true;
    return false;
}

std::string GeneratorDrawSql(const std::string& generatorName) {
    return "Select Gen_Id(" + generatorName + ",1) ID from RDB$DataBase";
}

std::int32_t TDane::NextGeneratorValue(const std::string& generatorName) {
    IBQueryGen.Close();
    IBQueryGen.SetSql(GeneratorDrawSql(generatorName));
    return DrawGenerator(IBQueryGen);
}

std::int32_t TDane::DrawGenerator(fb::Query& draw) {
    fb::CursorScope cursor(draw);
    IBTransactionR.StartIfNeeded();  // not committed: increments are outside transactions
    draw.Open();
    return draw.FieldByName("ID").AsInteger();
}

std::int32_t TDane::NextKeyFromGenerator(int t, int c) {
    TableMapping& table = Definition.Tables.at(static_cast<std::size_t>(t));
    const ColumnMapping& column = table.Columns.at(static_cast<std::size_t>(c));
    const std::string& name = column.ExtraText;
    std::int32_t result = -1;
    if (!name.empty()) {
        // The column's own prepared draw, when preparation made one, is not prepared again.
        if (!PredrawnKeys.empty()) {
            result = PredrawnKeys.front();
            PredrawnKeys.pop_front();
        } else {
            result =
                column.ColumnQuery ? DrawGenerator(*column.ColumnQuery) : NextGeneratorValue(name);
        }
        table.LastKey = result;
    }
    if (result == -1) AddErrorWithContext("Błąd generatora "_w + name + " !", t, c);
    return result;
}

}  // namespace migracja::engine
