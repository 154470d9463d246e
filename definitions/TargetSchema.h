#pragma once
// The structure of the target tables a definition names, read from the database's system tables,
// and the bookkeeping column DBF_UNQ_KEY that the loader adds to every target table lacking it.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Values.h"
#include "engine/Dane.h"
#include "engine/MigrationDefinition.h"
#include "engine/UniqueKeyColumn.h"

namespace migracja::definitions {

// Field types as a dataset layer reports them; database and DBF fields share the classification.
enum class FieldType {
    Unknown,
    String,      // variable character string
    FixedChar,   // fixed character string
    WideString,  // wide string
    Smallint,
    Integer,
    Word,  // unsigned 16-bit
    Largeint,
    Float,
    Currency,
    Date,
    DateTime,
    Boolean,
    FixedPoint,  // NUMERIC and DECIMAL stored as scaled integers
    Time,
    Blob,
    Memo,
    TimeStamp,
    Bytes,
    VarBytes,
};

// The value kind of a field type: text (BLOBs and memos included, which take texts), integer,
// money, date, logical, or 0 for everything the engine cannot carry (fixed-point numeric, time
// alone, time stamps, bytes).
ValueKind FieldKindOf(FieldType type);

// The field type of a Firebird column from RDB$FIELDS. Columns stored as scaled SMALLINT, INTEGER
// or BIGINT (a negative RDB$FIELD_SCALE) are fixed-point; with scale 0 they hold whole numbers
// and are integers whatever RDB$FIELD_SUB_TYPE says. Dialect 1 stores NUMERIC and DECIMAL of
// more than nine digits as DOUBLE PRECISION, which cannot be told from a declared DOUBLE
// PRECISION at scale 0, so all of them are floating point. A dialect-1 DATE is a TIMESTAMP and
// so a date-time. Text BLOBs are memos.
FieldType FirebirdFieldType(int fieldType, int subType, int scale);

// A TypWyniku_<n> value: "(C)" 1 .. "(D)" 4 by the position of the second character in "CNFD",
// capital letters only; anything else 0.
ValueKind ParseResultType(std::string_view text);

// A target table with more columns than the model holds. The table is left unchanged.
class ColumnLimitError : public engine::LimitError {
  public:
    ColumnLimitError(std::string table, int columns, bool countsUniqueKey);
    const std::string& Table() const { return table_; }
    // Columns the table has, plus DBF_UNQ_KEY when CountsUniqueKey (it would have to be added).
    int Columns() const { return columns_; }
    bool CountsUniqueKey() const { return countsUniqueKey_; }

  private:
    std::string table_;
    int columns_;
    bool countsUniqueKey_;
};

// Fills the schema with the columns of the named table in field order (RDB$FIELD_POSITION),
// names upper case, through IBTable1 on IBTransaction1. False when the table is not in
// DatabaseTables. Adds DBF_UNQ_KEY when the table lacks it and reads the columns again. Throws
// ColumnLimitError when the table has, or would get, more than 201 columns (nothing is altered
// then), and fb::Error for database failures.
bool LoadTableSchema(engine::TDane& dane, engine::TargetTableSchema& schema,
                     const std::string& tableName);

// The schema of table n of the loaded definition, its name copied to the schema.
bool LoadTargetSchema(engine::TDane& dane, int n);
// The schema of initial record n.
bool LoadInitSchema(engine::TDane& dane, int n);

}  // namespace migracja::definitions
