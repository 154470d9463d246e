#pragma once
// Firebird's SQL type codes as the access layer reports them (Field::SqlType), for code that
// decides by a column's type without including the client library's headers.

namespace migracja::fb {

// Firebird's SQL type codes (message metadata, nullable bit removed).
enum SqlType : unsigned {
    kSqlVarying = 448,
    kSqlText = 452,
    kSqlDouble = 480,
    kSqlFloat = 482,
    kSqlLong = 496,
    kSqlShort = 500,
    kSqlTimestamp = 510,
    kSqlBlob = 520,
    kSqlDFloat = 530,
    kSqlTime = 560,
    kSqlDate = 570,
    kSqlInt64 = 580,
    kSqlBoolean = 32764,
    kSqlNull = 32766,
};

}  // namespace migracja::fb
