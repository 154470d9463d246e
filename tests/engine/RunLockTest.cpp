// Two runs into one database: the second is refused at once, naming who runs, and a lock never
// outlives the run or the connection that holds it. Embedded, two connections of one process
// share the database file (another process cannot open it at all while one has it open);
// through the server the connections are those of two workstations.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "base/Text.h"
#include "config/Connection.h"
#include "engine/RunLock.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::TestDatabase;

namespace {

struct Connection {
    engine::TDane dane;
    explicit Connection(const std::string& location, const std::string& user = "SYSDBA",
                        const std::string& password = "masterkey") {
        config::OpenDatabase(dane.IBDatabase1, location, user, password);
    }
};

const engine::RunHolder kFirst{"/opt/Migracja Łódź"_w, "stacja-1", "2026-12-09 10:15:00"};
const engine::RunHolder kSecond{"/opt/kopia", "stacja-2", "2026-12-09 10:16:00"};

void ExpectExclusion(const std::function<std::unique_ptr<Connection>()>& connect,
                     const std::function<void(Connection&)>& cut) {
    auto first = connect();
    auto second = connect();
    ASSERT_EQ(engine::TakeRunLock(first->dane, kFirst), "");
    const std::string refusal = engine::TakeRunLock(second->dane, kSecond);
    EXPECT_EQ(refusal,
              "Do tej bazy danych trwa już migracja z katalogu /opt/Migracja Łódź na komputerze "
              "stacja-1, rozpoczęta 2026-12-09 10:15:00.\r\nDwie migracje naraz zapisałyby te "
              "same rekordy dwa razy; spróbuj ponownie po jej zakończeniu."_w);
    EXPECT_FALSE(second->dane.IBTransactionLock.Active());

    // The end of the run ends the lock.
    engine::ReleaseRunLock(first->dane);
    ASSERT_EQ(engine::TakeRunLock(second->dane, kSecond), "");
    EXPECT_NE(engine::TakeRunLock(first->dane, kFirst).find("stacja-2"), std::string::npos);

    // A run that dies: its connection ends, and so does its lock.
    cut(*second);
    auto third = connect();
    EXPECT_EQ(engine::TakeRunLock(third->dane, kFirst), "");
    engine::ReleaseRunLock(third->dane);
    // Taking the lock again in the same connection, as the next run does.
    EXPECT_EQ(engine::TakeRunLock(third->dane, kFirst), "");
    EXPECT_EQ(engine::TakeRunLock(third->dane, kFirst), "");
}

}  // namespace

TEST(RunLockTest, ASecondRunIsRefusedAtOnceEmbeddedAndALostConnectionLeavesNoLock) {
    TestDatabase db;
    ExpectExclusion([&] { return std::make_unique<Connection>(db.Location()); },
                    [](Connection& r) { r.dane.IBDatabase1.Close(); });
    // The bookkeeping table holds the lock row and the row naming the last run.
    EXPECT_EQ(db.ScalarInt("SELECT COUNT(*) FROM MIGRACJA_BLOKADA"), 2);
    EXPECT_EQ(db.Scalar("SELECT KOMPUTER FROM MIGRACJA_BLOKADA WHERE ID = 2"), "stacja-1");
}

TEST(RunLockTest, ASecondRunIsRefusedAtOnceThroughTheServerAndADroppedConnectionLeavesNoLock) {
    const auto server = migracja::testing::ReadServerSettings();
    migracja::testing::TempDir dir("migracja-lock");
    const std::string location = server.host + ":" + (dir.path() / "lock.fdb").string();
    {
        fb::Database creator;
        creator.Params = {"user_name=" + server.user, "password=" + server.password};
        migracja::testing::CreateDatabase(creator, location, server.user, server.password);
        creator.Close();
    }
    ExpectExclusion(
        [&] { return std::make_unique<Connection>(location, server.user, server.password); },
        [&](Connection& r) {
            // The workstation's connection is dropped by the server, as a lost network would.
            fb::Transaction own(r.dane.IBDatabase1, "own");
            own.Start();
            fb::Query id(own, "id");
            id.SetSql("SELECT CURRENT_CONNECTION FROM RDB$DATABASE");
            id.Open();
            const std::string attachment = id.Fields(0).AsText();
            id.Close();
            own.Commit();
            Connection cutter(location, server.user, server.password);
            fb::Transaction t(cutter.dane.IBDatabase1, "cut");
            t.Start();
            fb::Statement s(t, "cut");
            s.SetSql("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + attachment);
            s.ExecQuery();
            t.Commit();
        });
    fb::Database dropper;
    dropper.DatabaseName = location;
    dropper.Params = {"user_name=" + server.user, "password=" + server.password};
    dropper.Open();
    migracja::testing::DropDatabase(dropper);
}
