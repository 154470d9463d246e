#include "definitions/TargetSchema.h"

#include <vector>

#include "base/Text.h"

namespace migracja::definitions {

using namespace migracja::literals;

namespace {

// RDB$FIELDS.RDB$FIELD_TYPE codes.
enum : int {
    kFbSmallint = 7,
    kFbInteger = 8,
    kFbQuad = 9,
    kFbFloat = 10,
    kFbDFloat = 11,
    kFbDate = 12,
    kFbTime = 13,
    kFbChar = 14,
    kFbBigint = 16,
    kFbBoolean = 23,
    kFbDouble = 27,
    kFbTimestamp = 35,
    kFbVarchar = 37,
    kFbCString = 40,
    kFbBlob = 261,
};

constexpr int kTextBlobSubType = 1;

struct Column {
    std::string name;  // trimmed, as stored
    ValueKind kind;
};

std::vector<Column> ReadColumns(engine::TDane& dane, const std::string& relation) {
    fb::Query& q = dane.IBTable1;
    fb::CursorScope cursor(q);
    dane.IBTransaction1.StartIfNeeded();  // not committed: the load goes on in it
    q.SetSql(
        "Select RF.RDB$FIELD_NAME, F.RDB$FIELD_TYPE, F.RDB$FIELD_SUB_TYPE, F.RDB$FIELD_SCALE "
        "From RDB$RELATION_FIELDS RF Join RDB$FIELDS F On F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
        "Where RF.RDB$RELATION_NAME = :RELATION_NAME "
        "Order By RF.RDB$FIELD_POSITION, RF.RDB$FIELD_NAME");
    q.ParamByName("RELATION_NAME").SetText(relation);
    std::vector<Column> columns;
    for (q.Open(); !q.Eof(); q.Next()) {
        const FieldType type = FirebirdFieldType(q.Fields(1).AsInteger(), q.Fields(2).AsInteger(),
                                                 q.Fields(3).AsInteger());
        columns.push_back({std::string(text::Trim(q.Fields(0).AsText())), FieldKindOf(type)});
    }
    return columns;
}

bool HasUniqueKeyColumn(const std::vector<Column>& columns) {
    for (const Column& c : columns)
        if (c.name == engine::kUniqueKeyColumn) return true;
    return false;
}

// The catalogue's own spelling of the table, which the system tables are searched by.
const std::string* CatalogueName(const engine::TDane& dane, const std::string& table) {
    for (const std::string& name : dane.DatabaseTables)
        if (text::EqualsIgnoreCase(name, table)) return &name;
    return nullptr;
}

void Fill(engine::TargetTableSchema& schema, const std::vector<Column>& columns) {
    schema.ColumnNames.clear();
    schema.ColumnKinds.clear();
    for (const Column& c : columns) {
        schema.ColumnNames.push_back(text::ToUpper(c.name));
        schema.ColumnKinds.push_back(c.kind);
    }
}

}  // namespace

ValueKind FieldKindOf(FieldType type) {
    switch (type) {
        case FieldType::String:
        case FieldType::FixedChar:
        case FieldType::WideString:
        // Remarks and notes of the target databases are BLOBs: they take texts of any length
        // (text BLOBs in their character set, untyped ones as the bytes are).
        case FieldType::Memo:
        case FieldType::Blob:
            return ValueKind::Text;
        case FieldType::Smallint:
        case FieldType::Integer:
        case FieldType::Word:
        case FieldType::Largeint:
            return ValueKind::Integer;
        case FieldType::Float:
        case FieldType::Currency:
            return ValueKind::Money;
        case FieldType::Date:
        case FieldType::DateTime:
            return ValueKind::Date;
        case FieldType::Boolean:
            return ValueKind::Logical;
        default:
            return ValueKind::Other;
    }
}

FieldType FirebirdFieldType(int fieldType, int subType, int scale) {
    switch (fieldType) {
        case kFbSmallint:
            return scale < 0 ? FieldType::FixedPoint : FieldType::Smallint;
        case kFbInteger:
            return scale < 0 ? FieldType::FixedPoint : FieldType::Integer;
        case kFbBigint:
            return scale < 0 ? FieldType::FixedPoint : FieldType::Largeint;
        case kFbFloat:
        case kFbDFloat:
        case kFbDouble:
            return FieldType::Float;
        case kFbDate:
            return FieldType::Date;
        case kFbTimestamp:
            return FieldType::DateTime;
        case kFbTime:
            return FieldType::Time;
        case kFbChar:
            return FieldType::FixedChar;
        case kFbVarchar:
        case kFbCString:
            return FieldType::String;
        case kFbBoolean:
            return FieldType::Boolean;
        case kFbBlob:
            return subType == kTextBlobSubType ? FieldType::Memo : FieldType::Blob;
        case kFbQuad:
            return FieldType::Bytes;
        default:
            return FieldType::Unknown;
    }
}

ValueKind ParseResultType(std::string_view text) {
    if (text.size() < 2 || text[0] != '(') return ValueKind::Other;
    static constexpr std::string_view kLetters = "CNFD";
    const std::size_t pos = kLetters.find(text[1]);
    return pos == std::string_view::npos ? ValueKind::Other : static_cast<ValueKind>(pos + 1);
}

ColumnLimitError::ColumnLimitError(std::string table, int columns, bool countsUniqueKey)
    : engine::LimitError("Tabela "_w + table + " ma " + std::to_string(columns) + " kolumn" +
                         (countsUniqueKey ? " (razem z brakującą kolumną DBF_UNQ_KEY)"_w : "") +
                         ", a wczytać można najwyżej "_w + std::to_string(engine::kMaxColumns) +
                         " !"),
      table_(std::move(table)),
      columns_(columns),
      countsUniqueKey_(countsUniqueKey) {}

bool LoadTableSchema(engine::TDane& dane, engine::TargetTableSchema& schema,
                     const std::string& tableName) {
    schema.Name = tableName;
    const std::string* relation = CatalogueName(dane, tableName);
    if (!relation) return false;
    std::vector<Column> columns = ReadColumns(dane, *relation);
    const bool addKey = !HasUniqueKeyColumn(columns);
    // Checked before the table is altered: a table the load refuses is left as it was.
    const int count = static_cast<int>(columns.size());
    if (count > engine::kMaxColumns) throw ColumnLimitError(tableName, count, false);
    if (addKey && count + 1 > engine::kMaxColumns)
        throw ColumnLimitError(tableName, count + 1, true);
    if (addKey) {
        engine::AddUniqueKeyColumn(dane, schema.Name);
        columns = ReadColumns(dane, *relation);
        if (static_cast<int>(columns.size()) > engine::kMaxColumns)
            throw ColumnLimitError(tableName, static_cast<int>(columns.size()), false);
    }
    Fill(schema, columns);
    return true;
}

bool LoadTargetSchema(engine::TDane& dane, int n) {
    engine::TableMapping& table = dane.Definition.Tables.at(static_cast<std::size_t>(n));
    return LoadTableSchema(dane, table.Schema, table.TableName);
}

bool LoadInitSchema(engine::TDane& dane, int n) {
    engine::InitTableDef& init = dane.Definition.InitTables.at(static_cast<std::size_t>(n));
    return LoadTableSchema(dane, init.Schema, init.TableName);
}

}  // namespace migracja::definitions
