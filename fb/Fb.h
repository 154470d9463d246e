#pragma once
// The Firebird access layer: one connection, long-lived transactions that are started on demand,
// and query and statement objects with SQL text and named parameters (":name"). Firebird itself
// knows only positional markers; the names are mapped here. All texts are Windows-1250 bytes, as
// on the connection (lc_ctype=WIN1250). This is the only code that includes Firebird's headers.
//
// The objects are components with fixed roles: a query or statement is bound to one transaction
// and a transaction to one connection for their whole life, so none of them can be moved. Closing
// the connection closes cursors and rolls back active transactions first; a transaction that is
// destroyed while active is rolled back. The Firebird interfaces a connection and a transaction
// hold are shared with the objects bound to them, so the objects may be destroyed in any order:
// a query outliving its transaction, or a transaction its connection, finds the handles ended
// and sends nothing more.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/Values.h"
#include "fb/FbHandle.h"

namespace Firebird {
class IStatement;
class IResultSet;
class IMessageMetadata;
}  // namespace Firebird

namespace migracja::fb {

struct ParamTarget;
struct ConnectionState;
struct TransactionState;

// A database failure: Firebird's own message (the formatted status vector) and the SQL that
// failed, when there was one. Conversion failures of this layer use the same type.
class Error : public std::runtime_error {
  public:
    Error(std::string message, std::string sql = {}, std::intptr_t gdsCode = 0);

    const std::string& Message() const { return message_; }
    const std::string& Sql() const { return sql_; }
    // The first error code of Firebird's status vector (isc_...), 0 for errors of this layer.
    std::intptr_t GdsCode() const { return gdsCode_; }

  private:
    std::string message_;
    std::string sql_;
    std::intptr_t gdsCode_;
};

class Transaction;
class SqlObject;

// Whether Firebird's error code says the connection is gone: the server or the database shut
// down, the network broken, the attachment ended.
bool IsConnectionLost(std::intptr_t gdsCode);

// The calls of this layer that wait for an answer from the database, by kind. Through a server
// each is one network round trip; embedded they cost no network but are counted the same, so a
// test can state a record's cost without timing anything. Cursor closes and statement frees are
// not counted: the client defers them and sends them with the next call. Opening a cursor and
// fetching its first batch of rows travel as one round trip (lookups and conditions read one
// row); the further batches of a query that walks many rows are not seen here.
struct RoundTrips {
    std::uint64_t attach = 0;
    std::uint64_t start = 0;    // transaction starts
    std::uint64_t commit = 0;   // commits and rollbacks
    std::uint64_t prepare = 0;  // statement preparation (metadata comes with it)
    std::uint64_t execute = 0;  // statements executed, savepoints included
    std::uint64_t open = 0;     // cursors opened, with their first rows
    std::uint64_t info = 0;     // questions about an executed statement (rows affected)

    std::uint64_t Total() const {
        return attach + start + commit + prepare + execute + open + info;
    }
    // The kinds every record of a run pays again; preparing and attaching are paid once.
    std::uint64_t PerRecordKinds() const { return start + commit + execute + open + info; }
};

RoundTrips operator-(const RoundTrips& a, const RoundTrips& b);

// Firebird converts a database's file name from UTF-8 to the character set of the process's
// locale before it opens the file; in the C locale (a program started with no LANG, by cron or
// by a service, and every program that never set its locale) that is ASCII, and a folder with a
// Polish letter cannot be opened. Sets the locale's character classes from the environment, or
// to C.UTF-8 when the environment's are not UTF-8. Called first in main.
void UseUtf8FileNames();

class Database {
  public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // The database name handed to the client library: a file path opens the database embedded,
    // "host:path" goes through a server.
    std::string DatabaseName;
    // Connection parameter lines "name=value"; the names known here are user_name, password,
    // lc_ctype, sql_role_name.
    std::vector<std::string> Params;
    int SqlDialect = 1;

    // Opens with DatabaseName and Params; a failure leaves the connection closed and throws.
    void Open();
    // Rolls back active transactions, frees statements and detaches. Never throws.
    void Close();
    bool Connected() const;
    // Set when the database answered that this connection is gone (a server shut down or the
    // attachment ended by its administrator): nothing more is sent on it, since a rollback or a
    // detach could wait for ever for an answer. Cleared by the next connection.
    bool Lost() const;
    void MarkLost();

    // The round trips of this connection since it was made (the counts survive reconnects).
    const RoundTrips& Trips() const;
    RoundTrips& CountTrips();

  private:
    friend class Transaction;
    std::shared_ptr<ConnectionState> connection_;
};

class Transaction {
  public:
    // Parameter words in order, each one of the tags Firebird's TPB knows (e.g. "read_committed").
    Transaction(Database& db, std::string name,
                std::vector<std::string> params = {"read_committed", "rec_version", "nowait"});
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    const std::string& Name() const;
    const std::vector<std::string>& Params() const { return params_; }
    // The connection; not to be asked once the Database object is gone.
    Database& GetDatabase() const;

    void Start();
    // Commit and rollback close the cursors of the queries bound to this transaction first.
    void Commit();
    void Rollback();
    // Starts the transaction when it is not active.
    void StartIfNeeded() {
        if (!Active()) Start();
    }
    bool Active() const;
    // Rolls back when active; never throws (for cleanup while another error is on its way).
    void RollbackQuietly();
    // Savepoints of the active transaction: SAVEPOINT, RELEASE SAVEPOINT, ROLLBACK TO SAVEPOINT.
    void Savepoint(const std::string& name);
    void ReleaseSavepoint(const std::string& name);
    void RollbackToSavepoint(const std::string& name);

  private:
    friend class SqlObject;
    void ExecuteImmediate(const std::string& sql);

    std::vector<std::string> params_;
    std::vector<unsigned char> tpb_;
    std::shared_ptr<TransactionState> state_;
};

// A named parameter. An unassigned parameter is NULL; values stay until reassigned or the SQL
// text changes. The value is converted to the parameter's SQL type when the statement runs.
// A BLOB parameter takes any value as its text, of any length: the text is written into a new
// BLOB in the statement's transaction when the statement runs (a text BLOB in the column's
// character set, converted from the connection's Windows-1250 by Firebird; an untyped BLOB
// takes the bytes as they are).
class Param {
  public:
    enum class Kind { Null, Text, Integer, Money, Date };

    const std::string& Name() const { return name_; }
    void SetText(std::string_view value);
    void SetInteger(std::int32_t value);
    void SetMoney(Money value);
    void SetDate(DateTime value);
    void SetNull();
    bool IsNull() const { return kind_ == Kind::Null; }
    Kind GetKind() const { return kind_; }

  private:
    friend class SqlObject;
    explicit Param(std::string name) : name_(std::move(name)) {}
    std::string name_;
    Kind kind_ = Kind::Null;
    std::string text_;
    std::int64_t integer_ = 0;
    double real_ = 0;
};

// A column of the current row.
class Field {
  public:
    // The column's alias as the statement names it (upper case unless quoted in the SQL).
    const std::string& Name() const { return name_; }
    // Relation (table) name, empty for expressions.
    const std::string& Relation() const { return relation_; }
    bool IsNull() const;
    // NULL reads as the empty text, 0 or the empty date. A value that does not fit or cannot be
    // converted throws Error naming the column.
    std::string AsText() const;
    std::int32_t AsInteger() const;
    std::int64_t AsInt64() const;
    Money AsMoney() const;
    DateTime AsDate() const;
    // The same reads for a column where NULL means something of its own: nullopt for NULL.
    std::optional<std::string> AsOptionalText() const;
    std::optional<std::int32_t> AsOptionalInteger() const;

    // SQL type (SQL_... code without the nullable bit), sub-type, scale and byte length.
    unsigned SqlType() const { return type_; }
    int Scale() const { return scale_; }
    unsigned Length() const { return length_; }

  private:
    friend class SqlObject;
    const SqlObject* owner_ = nullptr;
    unsigned index_ = 0;
    std::string name_;
    std::string relation_;
    unsigned type_ = 0;
    int subType_ = 0;
    int scale_ = 0;
    unsigned length_ = 0;
    unsigned offset_ = 0;
    unsigned nullOffset_ = 0;
    [[noreturn]] void Fail(const std::string& what) const;
};

// Common part of queries and statements: SQL text, named parameters, preparation, the output row.
class SqlObject {
  public:
    SqlObject(Transaction& transaction, std::string name);
    virtual ~SqlObject();
    SqlObject(const SqlObject&) = delete;
    SqlObject& operator=(const SqlObject&) = delete;

    const std::string& Name() const { return name_; }
    // The transaction; not to be asked once the Transaction object is gone.
    Transaction& GetTransaction() const;

    // Replaces the SQL text: closes the object, frees the prepared statement and rebuilds the
    // parameter list from the ":name" markers (not inside string literals, quoted names or
    // comments). The same name may appear more than once; names ignore case. Setting the text
    // it already has keeps the prepared statement and only clears the parameters to NULL, so
    // code that sets its text before every run does not prepare it again on the server.
    void SetSql(std::string sql);
    const std::string& Sql() const { return sql_; }
    // The SQL sent to Firebird, with "?" markers.
    const std::string& PositionalSql() const { return positionalSql_; }

    std::size_t ParamCount() const { return params_.size(); }
    Param& Params(std::size_t i) { return *params_.at(i); }
    Param& ParamByName(std::string_view name);
    Param* FindParam(std::string_view name);

    // Converts the parameter's value to the SQL type of its markers now, preparing first when
    // needed: a value the column cannot take is refused here, while the parameter is set, with
    // the layer's message naming it, rather than later in the middle of the execution. (A BLOB
    // takes every value; it is written when the statement runs, not here.)
    void CheckParam(const Param& param);

    // The "?" markers of PositionalSql in order, the name of the parameter each stands for, and
    // (prepared) the SQL type the server described for it as a PSQL declaration such as
    // "VARCHAR(40) CHARACTER SET WIN1250"; empty for a type that has no such declaration here.
    std::size_t MarkerCount() const { return markers_.size(); }
    const std::string& MarkerName(std::size_t k) const { return params_[markers_.at(k)]->Name(); }
    std::string MarkerDeclaration(std::size_t k);

    // Prepares now; otherwise the first run prepares. Prepared statements survive commits. A
    // failure leaves the object unprepared, so the next run prepares again and reports the same.
    void Prepare();
    bool Prepared() const { return static_cast<bool>(statement_); }

    // The output columns, available once prepared (query: after Open).
    std::size_t FieldCount() const { return fields_.size(); }
    const Field& Fields(std::size_t i) const { return fields_.at(i); }
    const Field& FieldByName(std::string_view name) const;
    const Field* FindField(std::string_view name) const;

  protected:
    friend struct TransactionState;
    friend class Field;
    virtual void CloseCursor() = 0;
    void ReleaseStatement();
    void FreeStatement();
    void RequireActiveTransaction() const;
    void BuildInput();
    // Writes the parameter of marker k into the input message; with materialize false a BLOB
    // is not created (the check before execution).
    void WriteInput(std::size_t marker, bool materialize = true);
    // The BLOB of a BLOB marker: the parameter's value as text, written into a new BLOB.
    void WriteBlob(std::size_t marker, const std::string& text);
    std::string ReadBlob(const unsigned char* id) const;
    static std::string TextOf(const Param& param);
    // The parameter's value converted into the place the target describes.
    static void WriteValue(const ParamTarget& target, const Param& param);
    void PrepareStatement();
    ConnectionState& Connection() const;

    std::shared_ptr<TransactionState> transaction_;
    std::string name_;
    std::string sql_;
    std::string positionalSql_;
    std::vector<std::unique_ptr<Param>> params_;
    std::vector<std::size_t> markers_;  // for each "?" the index into params_
    struct InputSlot {
        unsigned type = 0;
        int subType = 0;       // BLOB: 1 text
        unsigned charSet = 0;  // text BLOB: the column's character set
        int scale = 0;
        unsigned length = 0;
        unsigned offset = 0;
        unsigned nullOffset = 0;
    };
    std::vector<InputSlot> inputSlots_;  // the described parameter types, read once at Prepare
    Handle<Firebird::IStatement> statement_;
    Handle<Firebird::IMessageMetadata> inMeta_;
    Handle<Firebird::IMessageMetadata> outMeta_;
    std::vector<unsigned char> inBuffer_;
    std::vector<unsigned char> outBuffer_;
    std::vector<Field> fields_;
};

// A query object: Open runs the SELECT and moves to the first row (Eof when there is none).
class Query : public SqlObject {
  public:
    Query(Transaction& transaction, std::string name);
    ~Query() override;

    void Open();
    void Next();
    bool Eof() const { return eof_; }
    bool IsOpen() const { return cursor_ || open_; }
    void Close() { CloseCursor(); }

  private:
    void CloseCursor() override;
    Handle<Firebird::IResultSet> cursor_;
    bool open_ = false;
    bool eof_ = true;
};

// A statement object: executed only; a singleton result (RETURNING, EXECUTE PROCEDURE) can be
// read through Fields afterwards.
class Statement : public SqlObject {
  public:
    Statement(Transaction& transaction, std::string name);
    ~Statement() override;

    void ExecQuery();
    // Rows inserted, updated or deleted by the last execution. Asked of Firebird only when
    // wanted: through a server the question is a round trip of its own, which every execution
    // would otherwise pay.
    std::uint64_t RowsAffected() const;

  private:
    void CloseCursor() override {}
    // The prepared statement of the last execution, until its count has been read.
    mutable Firebird::IStatement* executed_ = nullptr;
    mutable std::uint64_t rowsAffected_ = 0;
};

// Closes a query when the scope is left, however it is left.
class CursorScope {
  public:
    explicit CursorScope(Query& query) : query_(query) {}
    ~CursorScope() { query_.Close(); }
    CursorScope(const CursorScope&) = delete;
    CursorScope& operator=(const CursorScope&) = delete;

  private:
    Query& query_;
};

// One unit of work on a long-lived transaction: closes the query it works with, starts the
// transaction when it is not active, and at the end either commits (Commit) or, when the scope
// is left without Commit (an exception on its way), rolls back quietly so that the original
// error is the one that travels on.
//
// A read that may run inside a larger unit of work ends the transaction only when it started
// it (IfStartedHere); otherwise the commit or rollback is left to whoever started it.
//
// A unit of work whose changes must be permanent at once while the transaction's other work goes
// on (a column added while a definition loads, an initial record, the owner company marked in
// the middle of a read) commits and starts the transaction again (Continues): the long-lived
// transaction, or the larger unit of work around the scope, then carries on in the new one. A
// failure still rolls back and leaves the transaction ended.
class TransactionScope {
  public:
    enum class Ends { Always, IfStartedHere, Continues };

    explicit TransactionScope(Transaction& transaction, Query* query = nullptr,
                              Ends ends = Ends::Always);
    ~TransactionScope();
    TransactionScope(const TransactionScope&) = delete;
    TransactionScope& operator=(const TransactionScope&) = delete;

    // Closes the query and commits (and, Continues, starts the transaction again); a failing
    // commit rolls back and throws.
    void Commit();

  private:
    Transaction& transaction_;
    Query* query_;
    bool ends_;  // whether this scope commits or rolls back
    bool continues_;
    bool done_ = false;
};

}  // namespace migracja::fb
