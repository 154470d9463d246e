#pragma once
// The data module: the one connection to the target database, its three transactions, the query
// and statement objects with their fixed roles, the legacy DBF table, the loaded definition, the
// run flags and the error log. Every other part of the program reaches the database and the DBF
// files through it.
//
// Commit policy of the work that uses it:
//   - the tables of one DBF record: IBTransaction1, committed after the last table of the record,
//     rolled back instead when StopRequested is set by then;
//   - one initial record and the ALTER TABLE adding DBF_UNQ_KEY: IBTransaction1, committed at once;
//   - exists-queries, initial-record tests and reads: IBTransactionR, committed after the read;
//   - lookups of column sources and generator draws: IBTransactionR, not committed by themselves
//     (generator increments are outside transactions anyway).
// Transactions are never started in advance: whoever needs one starts it when it is not active.

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calc/CalcFunctions.h"
#include "calc/DescramblingSettings.h"
#include "calc/MigracjaUtil.h"
#include "dbf/DbfTable.h"
#include "engine/ErrorLog.h"
#include "engine/MigrationDefinition.h"
#include "engine/Rejects.h"
#include "engine/TargetContext.h"
#include "fb/Fb.h"

namespace migracja::engine {

struct BlockPlan;

struct SchemaVersion {
    int Major = 0;
    int Minor = 0;
    // "4.34": the minor part with at least two digits.
    std::string ToString() const;
    bool AtLeast(const SchemaVersion& minimum) const {
        return Major > minimum.Major || (Major == minimum.Major && Minor >= minimum.Minor);
    }
};

inline constexpr SchemaVersion kMinimumSchemaVersion{4, 34};

// "Select Gen_Id(<name>,1) ID from RDB$DataBase": the query that draws a generator's next value.
std::string GeneratorDrawSql(const std::string& generatorName);

// A lookup or exists-query that would read rows its own record has written, were the records
// grouped in one write transaction.
struct OwnRowsRead {
    int Table = -1;        // the table whose lookup or exists-query reads
    std::string Column;    // the lookup's column; empty for the exists-query
    std::string ReadName;  // the target table it reads (maybe through a view or a procedure)
    int Writer = -1;       // the earlier table of the record that writes it
};

class TDane {
  public:
    TDane();
    ~TDane();
    TDane(const TDane&) = delete;
    TDane& operator=(const TDane&) = delete;

    // Database objects, in the roles the program gives them.
    fb::Database IBDatabase1;
    fb::Transaction IBTransaction1;     // main write transaction of a run
    fb::Transaction IBTransactionR;     // lookups, reads, generator draws, delete-data statements
    fb::Transaction IBTransaction_UN;   // updates of the clean-up commands
    fb::Transaction IBTransactionLock;  // holds the run's lock row for the whole run (RunLock)
    fb::Statement IBSQLMigracja;        // INSERT/UPDATE per table and record, ALTER TABLE
    fb::Query IBTable1;                 // column names and types of a target table
    fb::Query IBQueryR;                 // lookups, exists-queries, context queries
    fb::Query IBQueryR1;                // the same reads while records are grouped (ReadQuery)
    fb::Query IBQueryGen;               // generator draws
    fb::Statement IBSQLDel;             // delete-data statements, owner-company marking
    fb::Query IBQueryTMP;               // schema version, auxiliary reads of delete-data
    fb::Query IBQuery_UN;               // selects of the clean-up commands
    fb::Statement IBSQL_UN;             // updates and inserts of the clean-up commands
    fb::Statement IBSQLSavepoint;       // the savepoint of each record while records are grouped
    // IBQuery0 .. IBQuery9: the SQL condition of table n runs in IBQuery(n).
    fb::Query& IBQuery(int n) { return *conditionQueries_.at(static_cast<std::size_t>(n)); }

    // Lists kept beside the model.
    std::vector<std::string> DatabaseTables;      // every table, system tables included
    std::vector<std::string> SystemTables;        // those the catalogue marks as the engine's own
    std::vector<std::string> DatabaseGenerators;  // upper case, system generators left out
    std::vector<std::string> DefinitionTables;    // upper case, of every listed definition
    ErrorLog MigrationErrorLog;

    // The owner company, branch and service team of the migrated data, settled at startup.
    TargetContext Target;

    // State of the calculation functions that lives as long as the program: the name splitter
    // learns from every name it splits whether the data put the given name or the surname
    // first, and column lengths are read from the system tables once per column.
    calc::NameSplitter PersonNameSplitter;
    calc::CharLengthCache CharLengthCache;

    // The running definition and its run state.
    MigrationDefinition Definition;
    bool DefinitionActive = false;

    // Settings of a run, read from Migracja.ini when the run starts: the constants of the legacy
    // scrambling and how many source records one write transaction may hold (each record under a
    // savepoint of its own, so a failing record is undone alone).
    calc::ScramblingConstants Scrambling = calc::kDefaultScramblingConstants;
    int RecordsPerTransaction = 1;
    // What the running definition gets (set by its preparation): RecordsPerTransaction, or 1
    // when a record's query would see the rows of its own record (OwnRowsReadBy says which).
    int TransactionRecords = 1;
    std::optional<OwnRowsRead> OwnRowsReadBy;
    // Records written in the open IBTransaction1 and not yet committed: PendingRecords of them
    // from the one numbered FirstPendingRecord (its CurrentRecordNo) on. CommittedCounters are
    // the counters before the first of them, what the database holds when the group is lost.
    int PendingRecords = 0;
    std::int32_t FirstPendingRecord = 0;
    std::array<std::int32_t, kCounterSlots> CommittedCounters{};
    // Records set aside in this run, with their limit; and what the record loop counted for the
    // running definition (cleared with it).
    RejectSet Rejects;
    RecordTally Tally;
    // Every definition that ran in this run, for the summary; and the text the report file ends
    // with (empty: the report holds the entries only).
    std::vector<DefinitionOutcome> Outcomes;
    std::string ReportTrailer;
    // Where the record loop's reads of the target database go: lookups, exists-queries and the
    // calculations that query. One record per transaction: IBQueryR on IBTransactionR, which sees
    // every earlier record committed. Records grouped in one write transaction: IBQueryR1 on
    // IBTransaction1 itself, so that a record still sees the rows of the earlier records of its
    // group. The write transaction is never committed by a read.
    bool ReadsInWriteTransaction() const { return TransactionRecords > 1; }
    fb::Query& ReadQuery() { return ReadsInWriteTransaction() ? IBQueryR1 : IBQueryR; }
    fb::Transaction& ReadTransaction() {
        return ReadsInWriteTransaction() ? IBTransaction1 : IBTransactionR;
    }
    // The block that carries a record of the running definition in one statement through a
    // server (BlockPath.h); empty when the definition takes today's path, and BlockReason says
    // which path and why. UseBlockPath off keeps every definition on today's path. Keys a
    // failed block drew wait in PredrawnKeys for today's path, which takes them before drawing.
    bool UseBlockPath = true;
    std::shared_ptr<BlockPlan> Block;
    std::string BlockReason;
    std::deque<std::int32_t> PredrawnKeys;

    // A dry run of the preparation: initial records are looked up and described in InitPlan
    // but neither inserted nor given generator values.
    bool DryRun = false;
    std::vector<std::string> InitPlan;

    // Empties the model and the run state and frees the objects prepared for the definition; the
    // lists are kept, so the error log collects the entries of every definition of a run.
    void ResetDefinition();

    // Query and statement objects prepared for the loaded definition, one per table, lookup and
    // exists-query; they live until the next ResetDefinition.
    fb::Statement& NewDefinitionStatement(fb::Transaction& transaction, const std::string& name);
    fb::Query& NewDefinitionQuery(fb::Transaction& transaction, const std::string& name);

    // Appends "message + context" to the error log; the context sets StopRequested and
    // ErrorsOccurred.
    void AddErrorWithContext(const std::string& message, int t, int c);
    // Appends an error to the log and sets ErrorsOccurred, so that the report is offered at the
    // end of the run; Stops::Run sets StopRequested as well.
    void AddError(std::string entry, Stops stops);
    // Appends an entry that is no error of the definition (ErrorsOccurred is left alone): a note
    // beside the errors, or with Stops::Run the reason the definition stops.
    void AddNote(std::string entry, Stops stops);

    // "SELECT FIRST 1 VER_MAJOR, VER_MINOR FROM BD_VER ORDER BY ID DESC" on IBQueryTMP.
    SchemaVersion ReadSchemaVersion();
    // Refills DatabaseTables, SystemTables and DatabaseGenerators; all stay empty when not
    // connected.
    void RefreshCatalogue();
    static bool ContainsIgnoreCase(const std::vector<std::string>& list, const std::string& name);

    // Draws the next value of a generator on IBQueryGen (IBTransactionR started when needed, not
    // committed). Database errors propagate.
    std::int32_t NextGeneratorValue(const std::string& generatorName);
    // The same draw on a query object prepared with GeneratorDrawSql.
    std::int32_t DrawGenerator(fb::Query& draw);
    // Draws for column c of table t (its ExtraText names the generator) and makes the value the
    // table's LastKey; -1 with an error entry when the name is empty or the draw yields -1.
    std::int32_t NextKeyFromGenerator(int t, int c);

    // The legacy DBF table of the running definition, opened exclusively.
    std::optional<dbf::DbfTable> Dbf1;
    const std::filesystem::path& DbfFolder() const { return dbfFolder_; }
    // Closes the table; a folder text longer than one character becomes the DBF folder.
    void SetDbfFolder(const std::string& folder);
    // Opens DbfFileName of the loaded definition (found without regard to letter case), fills
    // DbfFields and DbfRecordCount, applies the index expression and moves to the first record.
    // False, with the table closed, when the file holds no whole record. DBF errors (missing,
    // locked, damaged file, an expression that cannot be evaluated) propagate as DbfError.
    bool OpenSourceTable();
    // Closes the table and, for a definition with an index expression, removes "MIGRACJA.MDX"
    // (from the working directory when there is one there, otherwise from the DBF folder).
    void CloseSourceTable();
    // Copies the current record into DbfFields, counts it and clears TableWritten of all tables.
    // Memo fields are read only when the definition refers to them (Used). A number field
    // holding no number (overflow marks, stray text) is an error entry that sets the record
    // aside; a damaged memo throws DbfError.
    void ReadSourceRecord();
    // Moves to the next visited record; false at the end.
    bool AdvanceSourceRecord();
    bool SourceAtEnd() const { return !Dbf1 || Dbf1->Eof(); }
    // Throws DbfError naming the file when another program has changed the open file since it
    // was opened (its size, modification time, or the header's date or record count). Cheap:
    // the record loop's end of a tick calls it.
    void CheckSourceUnchanged() const;

  private:
    // An error entry for a value of the current record that cannot be read.
    void ReportUnreadable(int i);

    std::vector<std::unique_ptr<fb::Query>> conditionQueries_;
    std::vector<std::unique_ptr<fb::SqlObject>> definitionObjects_;
    std::filesystem::path dbfFolder_;
    dbf::DbfTable::Stamp sourceStamp_;
};

}  // namespace migracja::engine
