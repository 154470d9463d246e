#pragma once
// A fresh Firebird database for one test: dialect 1, default character set WIN1250, created
// embedded in a temporary folder (optionally from sample/schema.sql) and dropped on scope exit.

#include <filesystem>
#include <memory>
#include <string>

#include "fb/Fb.h"
#include "support/DatabaseFiles.h"
#include "support/TempDir.h"

namespace migracja::testing {

std::string SampleSchema();

class TestDatabase {
  public:
    enum class Schema { Empty, Sample };
    explicit TestDatabase(Schema schema = Schema::Sample);
    ~TestDatabase();

    // The location to put into Db.Ini or Database::DatabaseName: a plain file path.
    std::string Location() const { return file_.string(); }
    const TempDir& Dir() const { return dir_; }

    // A connection of the fixture's own, for setting up and checking rows.
    fb::Database& Db() { return *db_; }
    fb::Transaction& Tx() { return *tx_; }
    // Closes the fixture's own connection, so that another process can open the database (the
    // embedded engine locks a database file for one process). Exec and Scalar reconnect.
    void Detach();
    // Switches forced writes of the database file (gfix -write sync|async); closes the fixture's
    // connection. Without them a commit does not wait for the disk, which a test that commits
    // thousands of records one by one cannot afford; a killed process loses nothing the system
    // has been handed either way.
    void ForcedWrites(bool on);
    // Runs statements (";"-separated) and commits.
    void Exec(const std::string& sql);
    // First column of the first row as text ("" for NULL or no row), in a fresh read.
    std::string Scalar(const std::string& sql);
    int ScalarInt(const std::string& sql);
    // Ends every other connection to the database, as a server shutdown or a lost network
    // would: their next call fails, and so does rolling back what they had begun.
    void CutOtherConnections();

  private:
    TempDir dir_;
    std::filesystem::path file_;
    std::unique_ptr<fb::Database> db_;
    std::unique_ptr<fb::Transaction> tx_;
};

// The loopback server written by scripts/firebird-server.sh (build/firebird-server.conf).
struct ServerSettings {
    std::string host;
    std::string user;
    std::string password;
};
// Throws when the file is missing: server tests must fail, never skip.
ServerSettings ReadServerSettings();

}  // namespace migracja::testing
