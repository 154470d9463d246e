#include "support/TestDatabase.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace migracja::testing {

std::string SampleSchema() {
    return ReadFileBytes(std::filesystem::path(MIGRACJA_SOURCE_DIR) / "sample" / "schema.sql");
}

namespace {

// The sample database is made once per test program and copied for every test: making it
// costs a second of synchronous writes, copying it a few milliseconds.
class SampleTemplate {
  public:
    SampleTemplate() : dir_("migracja-template"), file_(dir_.path() / "sample.fdb") {
        fb::Database db;
        fb::Transaction tx(db, "template");
        CreateDatabase(db, file_.string(), "SYSDBA", "masterkey");
        ExecuteScript(tx, SampleSchema());
        db.Close();
    }
    const std::filesystem::path& File() const { return file_; }

  private:
    TempDir dir_;
    std::filesystem::path file_;
};

const std::filesystem::path& SampleTemplateFile() {
    static const SampleTemplate sample;
    return sample.File();
}

}  // namespace

TestDatabase::TestDatabase(Schema schema)
    : dir_("migracja-db"),
      file_(dir_.path() / "test.fdb"),
      db_(std::make_unique<fb::Database>()),
      tx_(std::make_unique<fb::Transaction>(*db_, "fixture")) {
    if (schema == Schema::Sample) {
        std::filesystem::copy_file(SampleTemplateFile(), file_);
        db_->DatabaseName = file_.string();
        db_->Params = {"user_name=SYSDBA", "password=masterkey", "lc_ctype=WIN1250"};
        db_->Open();
    } else {
        CreateDatabase(*db_, file_.string(), "SYSDBA", "masterkey");
    }
}

TestDatabase::~TestDatabase() {
    // Other connections of the test are gone by now; if one lingers, the folder removal of
    // TempDir still takes the file away.
    try {
        if (!db_->Connected()) db_->Open();
        DropDatabase(*db_);
    } catch (const fb::Error&) {
        db_->Close();
    }
    tx_.reset();
    db_.reset();
}

void TestDatabase::Detach() {
    db_->Close();
}

void TestDatabase::ForcedWrites(bool on) {
    Detach();
    const std::string command = std::string("gfix -user SYSDBA -password masterkey -write ") +
                                (on ? "sync" : "async") + " '" + file_.string() + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

void TestDatabase::Exec(const std::string& sql) {
    if (!db_->Connected()) db_->Open();
    ExecuteScript(*tx_, sql);
}

std::string TestDatabase::Scalar(const std::string& sql) {
    if (!db_->Connected()) db_->Open();
    if (tx_->Active()) tx_->Commit();
    tx_->Start();
    fb::Query q(*tx_, "fixture query");
    q.SetSql(sql);
    q.Open();
    std::string value = q.Eof() ? "" : q.Fields(0).AsText();
    q.Close();
    tx_->Commit();
    return value;
}

int TestDatabase::ScalarInt(const std::string& sql) {
    return std::stoi(Scalar(sql));
}

void TestDatabase::CutOtherConnections() {
    Exec("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
}

ServerSettings ReadServerSettings() {
    const auto path = std::filesystem::path(MIGRACJA_SOURCE_DIR) / "build" / "firebird-server.conf";
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("no " + path.string() +
                                 ": start the test server with scripts/firebird-server.sh");
    ServerSettings s;
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "host") s.host = value;
        if (key == "user") s.user = value;
        if (key == "password") s.password = value;
    }
    return s;
}

}  // namespace migracja::testing
