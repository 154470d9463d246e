#include <gtest/gtest.h>

#include "base/Text.h"
#include "config/Connection.h"
#include "config/Settings.h"
#include "support/ScriptedUi.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::ScriptedMessageBox;
using migracja::testing::TempDir;
using migracja::testing::TestDatabase;

TEST(ConnectionTest, MissingDbIniIsReportedAndLeavesTheConnectionAlone) {
    TempDir programDir;
    fb::Database db;
    db.DatabaseName = "untouched";
    ScriptedMessageBox messages;
    EXPECT_FALSE(config::ConnectFromSettings(db, programDir.path(), messages));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Brak ustawień dostępu do bazy danych TAVRIK !\r\n(Brak pliku Db.Ini)"_w);
    EXPECT_EQ(messages.shown[0].caption, "Brak połączenia"_w);
    EXPECT_EQ(messages.shown[0].icon, ui::Icon::Exclamation);
    EXPECT_EQ(messages.shown[0].buttons, ui::Buttons::Ok);
    EXPECT_EQ(db.DatabaseName, "untouched");
    EXPECT_TRUE(db.Params.empty());
}

TEST(ConnectionTest, ConnectsEmbeddedFromDbIniWithTheThreeParameterLines) {
    TestDatabase fixture;
    TempDir programDir;
    config::WriteDbSettings(programDir.path(), fixture.Location(), std::nullopt, "tajne");
    fb::Database db;
    ScriptedMessageBox messages;
    ASSERT_TRUE(config::ConnectFromSettings(db, programDir.path(), messages));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(db.DatabaseName, fixture.Location());
    const std::vector<std::string> expected{"user_name=SYSDBA", "password=tajne",
                                            "lc_ctype=WIN1250"};
    EXPECT_EQ(db.Params, expected);
    EXPECT_EQ(db.SqlDialect, 1);
    // Reconnecting replaces the parameters instead of adding to them.
    config::OpenDatabase(db, fixture.Location(), "ADMIN", "x");
    ASSERT_TRUE(db.Connected());
    const std::vector<std::string> again{"user_name=ADMIN", "password=x", "lc_ctype=WIN1250"};
    EXPECT_EQ(db.Params, again);
}

TEST(ConnectionTest, AFailedConnectRaisesFirebirdsErrorAndStaysClosed) {
    TempDir programDir;
    config::WriteDbSettings(programDir.path(), (programDir.path() / "missing.fdb").string(),
                            std::nullopt, "x");
    fb::Database db;
    ScriptedMessageBox messages;
    try {
        config::ConnectFromSettings(db, programDir.path(), messages);
        FAIL() << "connected to a missing database";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Message().find("missing.fdb"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(db.Connected());
    EXPECT_TRUE(messages.shown.empty());
}

TEST(ConnectionTest, ServerLocationGoesThroughTheServer) {
    const auto server = migracja::testing::ReadServerSettings();
    TempDir dir("migracja-srv");
    const std::string location = server.host + ":" + (dir.path() / "srv.fdb").string();
    fb::Database creator;
    migracja::testing::CreateDatabase(creator, location, server.user, server.password);
    creator.Close();
    config::WriteDbSettings(dir.path(), location, server.user, server.password);
    fb::Database db;
    ScriptedMessageBox messages;
    ASSERT_TRUE(config::ConnectFromSettings(db, dir.path(), messages));
    fb::Transaction t(db, "t");
    t.Start();
    fb::Query q(t, "q");
    q.SetSql(
        "SELECT MON$REMOTE_PROTOCOL FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = "
        "CURRENT_CONNECTION");
    q.Open();
    EXPECT_NE(text::Trim(q.Fields(0).AsText()), "");
    t.Commit();
    migracja::testing::DropDatabase(db);
}

TEST(ConnectionTest, ADatabaseInAFolderWithPolishLettersOpensFromDbIni) {
    // Db.Ini holds the location in Windows-1250; the file system names the folder in UTF-8.
    fb::UseUtf8FileNames();
    TempDir folder("migracja-klient-Łódź");
    const std::string location = (folder.path() / "baza ż.fdb").string();
    {
        fb::Database creator;
        migracja::testing::CreateDatabase(creator, location, "SYSDBA", "masterkey");
    }
    TempDir programDir;
    config::WriteDbSettings(programDir.path(), text::Utf8ToWin1250(location), std::nullopt,
                            "hasło"_w);
    fb::Database db;
    ScriptedMessageBox messages;
    ASSERT_TRUE(config::ConnectFromSettings(db, programDir.path(), messages));
    EXPECT_TRUE(db.Connected());
    EXPECT_EQ(db.DatabaseName, location);
}
