#pragma once
// The in-memory model of one loaded migration definition. It is reset before each definition is
// loaded, filled by the loader, completed when the DBF file is opened and when the statements
// are prepared, and read and updated record by record by the engine.
//
// The bounds are fixed: ten table slots (nine usable), 201 columns per table, 101 DBF fields, 100
// calculations, ten initial records. Growing a bounded list goes through Append, which refuses
// the element beyond the bound with a LimitError instead of writing past it.

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Text.h"
#include "base/Values.h"

namespace migracja::fb {
class Query;
class Statement;
class Param;
}  // namespace migracja::fb

namespace migracja::engine {

inline constexpr int kTableSlots = 10;        // Tabela_0 .. Tabela_9
inline constexpr int kMaxColumns = 201;       // columns read per target table
inline constexpr int kMaxDbfFields = 101;     // fields of the source DBF file
inline constexpr int kMaxCalculations = 100;  // WynikNr0 .. WynikNr99
inline constexpr int kInitTableSlots = 10;    // INITE Tabela_0 .. Tabela_9
inline constexpr int kMaxCalcArgs = 4;        // DBF field arguments of a calculation
inline constexpr int kMaxQueryParams = 6;     // references in an SQL condition or exists-query
inline constexpr int kMaxColumnRefs = 10;     // references in a column source
inline constexpr int kCounterSlots = 10;

// A bound of the model was exceeded; the message (Windows-1250) names the item and the limit.
class LimitError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

template <class T>
T& Append(std::vector<T>& list, std::size_t limit, T value, const std::string& what) {
    using namespace migracja::literals;
    if (list.size() >= limit)
        throw LimitError(what + " : dopuszczalne jest najwyżej "_w + std::to_string(limit) + " !");
    list.push_back(std::move(value));
    return list.back();
}

// One field of the open DBF file, with the current record's value in the slot of its kind.
struct DbfFieldInfo {
    std::string Name;
    ValueKind Kind = ValueKind::Other;
    int Length = 0;  // declared length, for text fields
    // A memo field is read from the memo file, and only when the definition refers to it, so
    // that memos nobody migrates cost nothing and cannot stop a run.
    bool Memo = false;
    bool Used = false;
    std::string TextValue;
    std::int32_t IntegerValue = 0;
    Money MoneyValue;
    DateTime DateValue = 0;
};

struct TargetTableSchema {
    std::string Name;
    std::vector<std::string> ColumnNames;  // upper case, in the table's field order
    std::vector<ValueKind> ColumnKinds;
    int ColumnCount() const { return static_cast<int>(ColumnNames.size()); }
};

// Where a column's value comes from.
enum class SourceType : int {
    Constant = 0,  // written into the statement as it is
    DbfField = 1,
    Calculation = 2,
    Lookup = 3,
    Generator = 4,
    TableKey = 5,  // the key an earlier table of the record was written with
    Now = 6,
};

// A column's source and the kind of value it gives: the first DBF field's, the calculation's
// type letter's, the target column's for a lookup; a generator and a key give integers, Now a
// date.
struct ColumnSource {
    SourceType Type = SourceType::Constant;
    ValueKind Kind = ValueKind::Other;

    // The number messages and the definitions listing show: the type's digit, then the kind's
    // (11 a text DBF field, 42 a generator). Users quote it in reports, so it must not change.
    int Code() const { return static_cast<int>(Type) * 10 + static_cast<int>(Kind); }

    friend bool operator==(ColumnSource, ColumnSource) = default;
};

// What a reference in a query names.
enum class RefKind : int {
    None = 0,
    DbfField = 1,
    Calculation = 2,  // a calculation's result
    TableKey = 3,     // the key of an earlier table of the record
};

// A reference inside a lookup query.
struct ColumnRef {
    RefKind From = RefKind::None;
    int Source = 0;
    ValueKind Kind = ValueKind::Other;
};

// A parameter of an SQL condition or exists-query: a DBF field or a calculation's result.
struct QueryParamRef {
    RefKind From = RefKind::None;
    int Source = 0;
    ValueKind Kind = ValueKind::Other;
};

// The test a text condition (WARUNKI) makes before a table is written; the numbers are those
// the definitions listing shows.
enum class TextCondition : int {
    None = 0,
    NotBlank = 1,              // LENGTH(TRIM( of a DBF field
    FoundInText = 2,           // POS( : the field's text occurs in the condition's text
    EmptyDate = 3,             // PUSTADATA(
    IntegerComparison = 4,     // IF(
    OtherReviewPeriod = 5,     // INNYOKRESPRZEGLADU(
    CalculationNotBlank = 11,  // LENGTH(TRIM( of a calculation's result
};

// How the text of the DBF file is converted to Windows-1250 (Kodowanie).
enum class DbfEncoding : int {
    None = 0,
    Mazovia = 1,
    CodePage852 = 2,
};

struct ColumnMapping {
    std::string TargetColumn;  // upper case, from the schema
    std::string SourceExpr;    // as read from the definition (trimmed by preparation)
    // Prepared.
    ColumnSource Source;
    bool NotNull = false;
    std::string ParamName;
    std::vector<ColumnRef> Refs;  // at most kMaxColumnRefs
    std::string ExtraText;
    std::string QuotedText;
    bool HasQuotedText = false;
    // Current values.
    std::string TextValue;
    std::int32_t IntegerValue = 0;
    Money MoneyValue;
    DateTime DateValue = 0;
    // Objects of the prepared statement, owned by the data module: the statement's parameter
    // of this column and the column's own prepared query (its lookup or its generator draw).
    fb::Param* BoundParam = nullptr;
    fb::Query* ColumnQuery = nullptr;

    int RefCount() const { return static_cast<int>(Refs.size()); }
};

struct TableMapping {
    // Loaded.
    std::string TableName;
    std::string Condition;
    std::int32_t SkipValue = 0;
    std::string SqlCondition;
    std::string ExistsQuery;
    TargetTableSchema Schema;
    std::vector<ColumnMapping> Columns;  // at most kMaxColumns
    // Prepared.
    bool IsInsert = false;
    bool HasExistsQuery = false;
    std::string Statement;
    int StatementColumnCount = 0;
    fb::Query* ConditionQuery = nullptr;            // IBQuery<n> of the data module, bound for good
    std::vector<QueryParamRef> SqlConditionParams;  // at most kMaxQueryParams
    std::string ExistsQuerySql;
    std::vector<QueryParamRef> ExistsParams;  // at most kMaxQueryParams
    TextCondition ConditionOperator = TextCondition::None;
    std::string ConditionText;
    int ConditionSource = 0;
    int CounterIndex = 0;
    // The prepared INSERT or UPDATE and the prepared exists-query, owned by the data module; each
    // table has its own, so that no statement is prepared again for every record.
    fb::Statement* WriteStatement = nullptr;
    fb::Query* ExistsQueryObject = nullptr;
    // Run.
    std::int32_t LastKey = -1;
    bool TableWritten = false;

    int ColumnCount() const { return static_cast<int>(Columns.size()); }
};

struct CalculationDef {
    int Function = 0;
    std::array<int, kMaxCalcArgs> ArgFields{-1, -1, -1, -1};
    std::array<ValueKind, kMaxCalcArgs> ArgKinds{};
    std::string TextArg;
    // Prepared: evaluated inside the record's block on the server rather than by the program
    // (BlockShortNames.h), unless the record is written statement by statement after all.
    bool InBlock = false;
    // Results of the current record.
    std::string TextResult;
    std::int32_t IntegerResult = 0;
    Money MoneyResult;
    DateTime DateResult = 0;
};

struct InitResultValue {
    std::string Text;
    std::int32_t Integer = 0;
    Money MoneyValue;
    DateTime Date = 0;
};

struct InitTableDef {
    std::string TableName;
    ValueKind ResultKind = ValueKind::Other;
    std::string IdColumn;
    std::string Condition;
    std::vector<ColumnMapping> Columns;  // only TargetColumn and SourceExpr are used
    TargetTableSchema Schema;
    // Run.
    InitResultValue InitResult;
    std::int32_t InitGeneratedKey = 0;

    int ColumnCount() const { return static_cast<int>(Columns.size()); }
};

struct MigrationDefinition {
    // Loaded.
    std::string DefinitionFile;  // the path of the definition file, for messages
    std::string DbfFileName;
    std::string SourceEncoding;
    std::string DbfIndexExpression;
    std::int32_t DecodeFrom = 0;
    std::int32_t DecodeTo = 0;
    int TableCount = 0;
    std::array<TableMapping, kTableSlots> Tables;
    std::array<std::string, kMaxCalculations> CalculationTexts;
    int InitTableCount = 0;
    std::array<InitTableDef, kInitTableSlots> InitTables;
    // Prepared.
    DbfEncoding EncodingMode = DbfEncoding::None;
    bool DecodeActive = false;
    std::vector<CalculationDef> Calculations;  // at most kMaxCalculations
    int CounterCount = 0;
    std::array<std::string, kCounterSlots> CounterCaptions;
    // At DBF open.
    std::vector<DbfFieldInfo> DbfFields;  // at most kMaxDbfFields
    std::int32_t DbfRecordCount = 0;
    // Run.
    std::array<std::int32_t, kCounterSlots> Counters{};
    bool StopRequested = false;
    bool ErrorsOccurred = false;
    std::int32_t CurrentRecordNo = 0;
    // Error contexts built so far: an entry with a context locates its error in one record.
    std::int32_t ContextEntries = 0;

    int CalculationCount() const { return static_cast<int>(Calculations.size()); }
    // Calculation k; a number no calculation has reads as the cleared results.
    const CalculationDef& CalculationAt(int k) const;
    int DbfFieldCount() const { return static_cast<int>(DbfFields.size()); }

    // Everything back to its empty value; the tables keep their bound condition queries.
    void Reset();
};

}  // namespace migracja::engine
