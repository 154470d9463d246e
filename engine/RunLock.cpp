#include "engine/RunLock.h"

#include <unistd.h>

#include "base/Text.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

// Firebird's codes for a row that another transaction has changed and not yet committed.
constexpr std::intptr_t kLockConflict = 335544345;
constexpr std::intptr_t kDeadlock = 335544336;
constexpr std::intptr_t kUpdateConflict = 335544451;

constexpr int kLockRow = 1;
constexpr int kHolderRow = 2;

bool IsConflict(const fb::Error& e) {
    const std::intptr_t code = e.GdsCode();
    return code == kLockConflict || code == kDeadlock || code == kUpdateConflict;
}

bool TableExists(TDane& dane) {
    fb::Query q(dane.IBTransactionR, "IBQueryLock");
    fb::TransactionScope read(dane.IBTransactionR, &q, fb::TransactionScope::Ends::IfStartedHere);
    q.SetSql(std::string("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = '") +
             kRunLockTable + "'");
    q.Open();
    const bool exists = q.Fields(0).AsInteger() > 0;
    read.Commit();
    return exists;
}

// The table and its two rows, each step committed at once as the bookkeeping column is.
void CreateLockTable(TDane& dane) {
    fb::Transaction& t = dane.IBTransaction1;
    fb::Statement s(t, "IBSQLLock");
    if (!TableExists(dane)) {
        try {
            t.StartIfNeeded();
            s.SetSql(std::string("CREATE TABLE ") + kRunLockTable +
                     " (ID INTEGER NOT NULL PRIMARY KEY, KATALOG VARCHAR(250), KOMPUTER "
                     "VARCHAR(100), START_MIGRACJI VARCHAR(30))");
            s.ExecQuery();
            t.Commit();
        } catch (const fb::Error&) {
            // Another run may have created it a moment ago.
            t.RollbackQuietly();
            if (!TableExists(dane)) throw;
        }
    }
    for (const int id : {kLockRow, kHolderRow}) {
        try {
            t.StartIfNeeded();
            s.SetSql(std::string("INSERT INTO ") + kRunLockTable + " (ID) SELECT " +
                     std::to_string(id) + " FROM RDB$DATABASE WHERE NOT EXISTS (SELECT 1 FROM " +
                     kRunLockTable + " WHERE ID = " + std::to_string(id) + ")");
            s.ExecQuery();
            t.Commit();
        } catch (const fb::Error& e) {
            // Inserted by another run at the same moment: the row is there either way.
            t.RollbackQuietly();
            if (!IsConflict(e) && e.GdsCode() != 335544665 /* unique key violation */) throw;
        }
    }
}

RunHolder ReadHolder(TDane& dane) {
    fb::Query q(dane.IBTransactionR, "IBQueryLock");
    fb::TransactionScope read(dane.IBTransactionR, &q, fb::TransactionScope::Ends::IfStartedHere);
    q.SetSql(std::string("SELECT KATALOG, KOMPUTER, START_MIGRACJI FROM ") + kRunLockTable +
             " WHERE ID = " + std::to_string(kHolderRow));
    q.Open();
    RunHolder h;
    if (!q.Eof()) {
        h.ProgramFolder = q.Fields(0).AsText();
        h.Machine = q.Fields(1).AsText();
        h.Started = q.Fields(2).AsText();
    }
    read.Commit();
    return h;
}

}  // namespace

std::string TakeRunLock(TDane& dane, const RunHolder& holder) {
    ReleaseRunLock(dane);
    CreateLockTable(dane);
    fb::Transaction& lock = dane.IBTransactionLock;
    try {
        lock.Start();
        fb::Statement s(lock, "IBSQLLock");
        s.SetSql(std::string("UPDATE ") + kRunLockTable +
                 " SET ID = ID WHERE ID = " + std::to_string(kLockRow));
        s.ExecQuery();
    } catch (const fb::Error& e) {
        lock.RollbackQuietly();
        if (!IsConflict(e)) throw;
        const RunHolder other = ReadHolder(dane);
        return "Do tej bazy danych trwa już migracja z katalogu "_w + other.ProgramFolder +
               " na komputerze "_w + other.Machine + ", rozpoczęta "_w + other.Started +
               ".\r\nDwie migracje naraz zapisałyby te same rekordy dwa razy; spróbuj ponownie "
               "po jej zakończeniu."_w;
    }
    // Who holds it, for a run that is refused; committed so that it can read it.
    fb::Transaction& t = dane.IBTransaction1;
    try {
        t.StartIfNeeded();
        fb::Statement s(t, "IBSQLLock");
        s.SetSql(std::string("UPDATE ") + kRunLockTable +
                 " SET KATALOG = :KATALOG, KOMPUTER = :KOMPUTER, START_MIGRACJI = :START WHERE "
                 "ID = " +
                 std::to_string(kHolderRow));
        s.ParamByName("KATALOG").SetText(holder.ProgramFolder.substr(0, 250));
        s.ParamByName("KOMPUTER").SetText(holder.Machine.substr(0, 100));
        s.ParamByName("START").SetText(holder.Started.substr(0, 30));
        s.ExecQuery();
        t.Commit();
    } catch (const fb::Error&) {
        t.RollbackQuietly();
        lock.RollbackQuietly();
        throw;
    }
    return {};
}

void ReleaseRunLock(TDane& dane) {
    dane.IBTransactionLock.RollbackQuietly();
}

std::string MachineName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "?";
    return name;
}

}  // namespace migracja::engine
