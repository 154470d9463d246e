#include <gtest/gtest.h>

#include "base/Text.h"
#include "fb/Fb.h"
#include "support/TestDatabase.h"

using namespace migracja;
using migracja::testing::ReadServerSettings;
using migracja::testing::TempDir;

// These run against the Firebird server on loopback; a missing server is a failure.
TEST(FbServerTest, ConnectsThroughTheServerAndSeesCommittedWork) {
    const auto server = ReadServerSettings();
    TempDir dir("migracja-srv");
    const std::string location = server.host + ":" + (dir.path() / "srv.fdb").string();
    {
        fb::Database creator;
        migracja::testing::CreateDatabase(creator, location, server.user, server.password);
        fb::Transaction t(creator, "ddl");
        migracja::testing::ExecuteScript(
            t,
            "CREATE TABLE X (A VARCHAR(10)); INSERT INTO X VALUES ('\xBF"
            "aba');");
    }
    fb::Database db;
    db.DatabaseName = location;
    db.Params = {"user_name=" + server.user, "password=" + server.password, "lc_ctype=WIN1250"};
    db.Open();
    ASSERT_TRUE(db.Connected());
    fb::Transaction read(db, "IBTransactionR");
    read.Start();
    fb::Query q(read, "q");
    q.SetSql(
        "SELECT A, MON$REMOTE_PROTOCOL FROM X, MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = "
        "CURRENT_CONNECTION");
    q.Open();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.Fields(0).AsText(),
              "\xBF"
              "aba");
    EXPECT_FALSE(q.Fields(1).IsNull());  // a remote protocol: the server, not embedded
    read.Commit();
    migracja::testing::DropDatabase(db);
}

TEST(FbServerTest, AWrongPasswordIsRefusedWithFirebirdsMessage) {
    const auto server = ReadServerSettings();
    TempDir dir("migracja-srv");
    const std::string location = server.host + ":" + (dir.path() / "srv.fdb").string();
    fb::Database creator;
    migracja::testing::CreateDatabase(creator, location, server.user, server.password);

    fb::Database db;
    db.DatabaseName = location;
    db.Params = {"user_name=" + server.user, "password=wrong" + server.password,
                 "lc_ctype=WIN1250"};
    try {
        db.Open();
        FAIL() << "a wrong password was accepted";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Message().find("user name and password are not defined"), std::string::npos)
            << e.Message();
    }
    EXPECT_FALSE(db.Connected());
    migracja::testing::DropDatabase(creator);
}

TEST(FbServerTest, RowsAffectedIsTheCountOfTheLastExecutionWhenAskedAfterwards) {
    // The count is fetched from Firebird only when asked for, so it must still belong to the
    // last execution after later work in the transaction and after its commit, embedded and
    // through the server alike.
    const auto server = ReadServerSettings();
    TempDir dir("migracja-srv");
    for (const std::string& location : {(dir.path() / "embedded.fdb").string(),
                                        server.host + ":" + (dir.path() / "srv.fdb").string()}) {
        SCOPED_TRACE(location);
        fb::Database db;
        migracja::testing::CreateDatabase(db, location, server.user, server.password);
        fb::Transaction t(db, "write");
        migracja::testing::ExecuteScript(t,
                                         "CREATE TABLE X (A INTEGER); INSERT INTO X VALUES (1);"
                                         "INSERT INTO X VALUES (2); INSERT INTO X VALUES (3);");
        t.Start();
        fb::Statement update(t, "update");
        update.SetSql("UPDATE X SET A = A + 10 WHERE A < :LIMIT");
        update.ParamByName("LIMIT").SetInteger(3);
        update.ExecQuery();
        fb::Statement other(t, "other");
        other.SetSql("DELETE FROM X WHERE A = 3");
        other.ExecQuery();
        t.Commit();
        EXPECT_EQ(update.RowsAffected(), 2u);
        EXPECT_EQ(other.RowsAffected(), 1u);
        t.Start();
        update.ParamByName("LIMIT").SetInteger(0);
        update.ExecQuery();
        EXPECT_EQ(update.RowsAffected(), 0u);
        // New text, not executed yet: nothing counted.
        update.SetSql("UPDATE X SET A = 0");
        EXPECT_EQ(update.RowsAffected(), 0u);
        // A failing execution counts nothing either.
        other.SetSql("INSERT INTO X VALUES ('not a number')");
        EXPECT_THROW(other.ExecQuery(), fb::Error);
        EXPECT_EQ(other.RowsAffected(), 0u);
        t.Rollback();
        migracja::testing::DropDatabase(db);
    }
}

TEST(FbServerTest, AUserAndPasswordWithPolishLettersConnect) {
    // The connection's texts are Windows-1250, as Db.Ini stores them; the server keeps users and
    // passwords in UTF-8. A password with a Polish letter was refused before it was sent, as "Bad
    // international character in tag isc_dpb_password", whatever the locale.
    using namespace migracja::literals;
    const auto server = ReadServerSettings();
    fb::UseUtf8FileNames();
    TempDir dir("migracja-srv-żółw");
    const std::string location = server.host + ":" + (dir.path() / "baza.fdb").string();
    fb::Database admin;
    migracja::testing::CreateDatabase(admin, location, server.user, server.password);
    const std::string password = "Zażółć1"_w;
    {
        fb::Transaction t(admin, "users");
        migracja::testing::ExecuteScript(
            t, "CREATE OR ALTER USER MIGRACJA_PL PASSWORD '" + password + "' USING PLUGIN Srp");
    }
    fb::Database db;
    db.DatabaseName = location;
    db.Params = {"user_name=MIGRACJA_PL", "password=" + password, "lc_ctype=WIN1250"};
    EXPECT_NO_THROW(db.Open());
    EXPECT_TRUE(db.Connected());
    db.Close();
    db.Params = {"user_name=MIGRACJA_PL", "password=" + "Zazolc1"_w, "lc_ctype=WIN1250"};
    EXPECT_THROW(db.Open(), fb::Error);
    fb::Transaction t(admin, "users");
    migracja::testing::ExecuteScript(t, "DROP USER MIGRACJA_PL USING PLUGIN Srp");
}
