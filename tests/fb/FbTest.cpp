#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>

#include "base/Text.h"
#include "fb/Fb.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::TempDir;
using migracja::testing::TestDatabase;

namespace {

// A connection of its own, opened the way the program opens it.
struct Connection {
    fb::Database db;
    fb::Transaction write{db, "IBTransaction1"};
    fb::Transaction read{db, "IBTransactionR"};
    explicit Connection(const std::string& location) {
        db.DatabaseName = location;
        db.Params = {"user_name=SYSDBA", "password=masterkey", "lc_ctype=WIN1250"};
        db.Open();
    }
};

constexpr const char* kAllTypes =
    "CREATE TABLE T (ID INTEGER NOT NULL, V VARCHAR(10) COLLATE PXW_PLK, C CHAR(5), "
    "S SMALLINT, I INTEGER, N92 NUMERIC(9,2), N154 NUMERIC(15,4), D DOUBLE PRECISION, "
    "F FLOAT, DT DATE)";

}  // namespace

TEST(FbLayerTest, EveryParameterKindRoundTripsThroughInsertAndSelect) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec(kAllTypes);
    Connection c(fixture.Location());
    c.write.Start();
    fb::Statement insert(c.write, "insert");
    insert.SetSql(
        "INSERT INTO T (ID, V, C, S, I, N92, N154, D, F, DT) "
        "VALUES (:ID, :V, :C, :S, :I, :N92, :N154, :D, :F, :DT)");
    const DateTime when = EncodeDateTime({2023, 7, 14, 9, 30, 15, 0});
    insert.ParamByName("id").SetInteger(1);
    insert.ParamByName("V").SetText("Łódź żółć"_w);
    insert.ParamByName("C").SetText("ąb"_w);
    insert.ParamByName("S").SetInteger(-32768);
    insert.ParamByName("I").SetInteger(2147483647);
    insert.ParamByName("N92").SetMoney(Money::FromRaw(123456789));  // 12345.6789 -> 12345.68
    insert.ParamByName("N154").SetMoney(Money::FromRaw(-98765432109));
    insert.ParamByName("D").SetMoney(Money::FromRaw(15));
    insert.ParamByName("F").SetInteger(3);
    insert.ParamByName("DT").SetDate(when);
    insert.ExecQuery();
    EXPECT_EQ(insert.RowsAffected(), 1u);
    // Every parameter left unassigned, or set to NULL, writes NULL.
    insert.ParamByName("ID").SetInteger(2);
    for (const char* name : {"V", "C", "S", "I", "N92", "N154", "D", "F", "DT"})
        insert.ParamByName(name).SetNull();
    insert.ExecQuery();
    c.write.Commit();

    c.read.Start();
    fb::Query q(c.read, "select");
    q.SetSql("SELECT V, C, S, I, N92, N154, D, F, DT FROM T WHERE ID = :ID");
    q.ParamByName("ID").SetInteger(1);
    q.Open();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldByName("V").AsText(), "Łódź żółć"_w);
    EXPECT_EQ(q.FieldByName("C").AsText(), "ąb   "_w);  // CHAR keeps its padding
    EXPECT_EQ(q.FieldByName("S").AsInteger(), -32768);
    EXPECT_EQ(q.FieldByName("I").AsInteger(), 2147483647);
    EXPECT_EQ(q.FieldByName("N92").AsMoney().raw, 123456800);
    EXPECT_EQ(q.FieldByName("N92").AsText(), "12345.68");
    EXPECT_EQ(q.FieldByName("N154").AsMoney().raw, -98765432109);
    EXPECT_EQ(q.FieldByName("D").AsMoney().raw, 15);
    EXPECT_EQ(q.FieldByName("F").AsInteger(), 3);
    EXPECT_DOUBLE_EQ(q.FieldByName("DT").AsDate(), when);
    EXPECT_EQ(FormatDateTime(q.FieldByName("DT").AsDate()), "2023-07-14 09:30:15");
    EXPECT_EQ(q.Fields(3).AsText(), "2147483647");
    q.Next();
    EXPECT_TRUE(q.Eof());

    q.ParamByName("ID").SetInteger(2);
    q.Open();
    ASSERT_FALSE(q.Eof());
    for (std::size_t i = 0; i < q.FieldCount(); ++i) EXPECT_TRUE(q.Fields(i).IsNull()) << i;
    EXPECT_EQ(q.FieldByName("V").AsText(), "");
    EXPECT_EQ(q.FieldByName("I").AsInteger(), 0);
    EXPECT_EQ(q.FieldByName("DT").AsDate(), 0.0);
    EXPECT_FALSE(q.FieldByName("V").AsOptionalText().has_value());
    c.read.Commit();
}

TEST(FbLayerTest, ValuesAreConvertedToTheColumnTypeOrRefusedClearly) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec(kAllTypes);
    Connection c(fixture.Location());
    c.write.Start();
    fb::Statement insert(c.write, "IBSQLMigracja");
    insert.SetSql("INSERT INTO T (ID, V, S, I, N92, DT) VALUES (:ID, :V, :S, :I, :N92, :DT)");
    insert.ParamByName("ID").SetText("7");    // text into an integer column
    insert.ParamByName("V").SetInteger(-42);  // integer into a text column
    insert.ParamByName("S").SetText(" 12 ");
    insert.ParamByName("I").SetMoney(Money::FromRaw(25000));  // 2.5 rounds away from zero
    insert.ParamByName("N92").SetText("1,5");
    insert.ParamByName("DT").SetText("2001-02-03");
    insert.ExecQuery();

    fb::Query q(c.write, "check");
    q.SetSql("SELECT V, S, I, N92, DT FROM T WHERE ID = 7");
    q.Open();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.Fields(0).AsText(), "-42");
    EXPECT_EQ(q.Fields(0).AsInteger(), -42);
    EXPECT_EQ(q.Fields(1).AsInteger(), 12);
    EXPECT_EQ(q.Fields(2).AsInteger(), 3);
    EXPECT_EQ(q.Fields(3).AsMoney().raw, 15000);
    EXPECT_EQ(FormatDateTime(q.Fields(4).AsDate()), "2001-02-03");
    EXPECT_THROW(q.Fields(4).AsInteger(), fb::Error);
    q.Close();

    auto expectRefused = [&](const char* param, auto set, const std::string& fragment) {
        insert.ParamByName("ID").SetInteger(8);
        for (const char* p : {"V", "S", "I", "N92", "DT"}) insert.ParamByName(p).SetNull();
        set(insert.ParamByName(param));
        try {
            insert.ExecQuery();
            ADD_FAILURE() << param << " was accepted";
        } catch (const fb::Error& e) {
            EXPECT_NE(e.Message().find(param), std::string::npos) << e.what();
            EXPECT_NE(e.Message().find(fragment), std::string::npos) << e.what();
            EXPECT_EQ(e.Sql(), insert.Sql());
        }
    };
    expectRefused(
        "V", [](fb::Param& p) { p.SetText("12345678901"); }, "does not fit VARCHAR(10)");
    expectRefused(
        "S", [](fb::Param& p) { p.SetInteger(40000); }, "does not fit");
    expectRefused(
        "I", [](fb::Param& p) { p.SetText("12a"); }, "is not a number");
    expectRefused(
        "DT", [](fb::Param& p) { p.SetText("2001-02-30"); }, "is not a date");
    expectRefused(
        "DT", [](fb::Param& p) { p.SetInteger(5); }, "cannot convert");

    q.SetSql("SELECT CAST(3000000000.0 AS DOUBLE PRECISION) BIG FROM RDB$DATABASE");
    q.Open();
    EXPECT_EQ(q.FieldByName("big").AsInt64(), 3000000000LL);
    try {
        q.FieldByName("BIG").AsInteger();
        ADD_FAILURE() << "a value beyond 32 bits was read as an integer";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Message().find("BIG"), std::string::npos) << e.what();
    }
    c.write.Rollback();
}

TEST(FbLayerTest, FloatingValuesOutOfRangeAreRefusedNamingTheValueAndTheColumn) {
    // A floating value converted to a date, an integer or money is checked before the
    // conversion (beyond the range the conversion is undefined) and refused with the value.
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec(kAllTypes);
    fixture.Exec(
        "INSERT INTO T (ID, D) VALUES (1, 1e300); INSERT INTO T (ID, D) VALUES (2, -1e300);"
        "INSERT INTO T (ID, D) VALUES (3, 2958465.5); INSERT INTO T (ID, D) VALUES (4, "
        "-693593.5)");
    Connection c(fixture.Location());
    c.write.Start();
    fb::Statement insert(c.write, "IBSQLMigracja");
    insert.SetSql(
        "INSERT INTO T (ID, V, S, I, N92, F, DT) VALUES (:ID, :V, :S, :I, :N92, :F, "
        ":DT)");
    auto expectRefused = [&](const char* param, auto set, const std::string& value) {
        SCOPED_TRACE(param);
        insert.ParamByName("ID").SetInteger(10);
        for (const char* p : {"V", "S", "I", "N92", "F", "DT"}) insert.ParamByName(p).SetNull();
        set(insert.ParamByName(param));
        try {
            insert.ExecQuery();
            ADD_FAILURE() << param << " was accepted";
        } catch (const fb::Error& e) {
            EXPECT_NE(e.Message().find("parameter " + std::string(param) + ": value " + value),
                      std::string::npos)
                << e.what();
        }
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, const char*> dates[] = {{1e300, "1e+300"},
                                                    {-1e300, "-1e+300"},
                                                    {1e10, "10000000000"},
                                                    {-1e10, "-10000000000"},
                                                    {nan, "nan"}};
    for (const auto& [bad, shown] : dates) {
        expectRefused(
            "DT", [&](fb::Param& p) { p.SetDate(bad); }, shown);
        expectRefused(
            "V", [&](fb::Param& p) { p.SetDate(bad); }, shown);
    }
    expectRefused(
        "DT", [](fb::Param& p) { p.SetDate(3e6); }, "3000000 is not a date");

    // The last day and the first day, with a time of day, are dates still.
    insert.ParamByName("ID").SetInteger(11);
    for (const char* p : {"V", "S", "I", "N92", "F"}) insert.ParamByName(p).SetNull();
    insert.ParamByName("DT").SetDate(2958465.5);
    insert.ExecQuery();
    insert.ParamByName("ID").SetInteger(12);
    insert.ParamByName("DT").SetDate(-693593.5);
    insert.ExecQuery();

    fb::Query q(c.write, "IBQueryR");
    q.SetSql("SELECT ID, D FROM T WHERE ID < 10 ORDER BY ID");
    q.Open();
    for (const char* value : {"1e+300", "-1e+300"}) {
        ASSERT_FALSE(q.Eof());
        const fb::Field& d = q.FieldByName("D");
        for (auto read :
             {+[](const fb::Field& f) { f.AsDate(); }, +[](const fb::Field& f) { f.AsMoney(); },
              +[](const fb::Field& f) { f.AsInt64(); },
              +[](const fb::Field& f) { f.AsInteger(); }}) {
            try {
                read(d);
                ADD_FAILURE() << value << " was read";
            } catch (const fb::Error& e) {
                EXPECT_NE(e.Message().find("column D: value " + std::string(value)),
                          std::string::npos)
                    << e.what();
            }
        }
        q.Next();
    }
    EXPECT_EQ(FormatDateTime(q.FieldByName("D").AsDate()), "9999-12-31 12:00:00");
    q.Next();
    EXPECT_EQ(FormatDateTime(q.FieldByName("D").AsDate()), "0001-01-01 12:00:00");
    q.Close();
    q.SetSql("SELECT EXTRACT(YEAR FROM DT) FROM T WHERE ID = 11");
    q.Open();
    EXPECT_EQ(q.Fields(0).AsInteger(), 9999);
    c.write.Rollback();
    EXPECT_THROW(DecodeDateTime(1e300), std::range_error);
    EXPECT_EQ(DecodeDateTime(-693593.5).year, 1);
}

TEST(FbLayerTest, TextsOfAnyLengthAreWrittenIntoBlobsAndReadBack) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec(
        "CREATE TABLE B (ID INTEGER, M BLOB SUB_TYPE TEXT, U BLOB SUB_TYPE TEXT CHARACTER SET "
        "UTF8, R BLOB, N BLOB SUB_TYPE TEXT CHARACTER SET NONE)");
    Connection c(fixture.Location());
    c.write.Start();
    fb::Statement insert(c.write, "IBSQLMigracja");
    insert.SetSql("INSERT INTO B (ID, M, U, R, N) VALUES (:ID, :M, :U, :R, :N)");
    const std::string polish = "Zażółć gęślą jaźń"_w;
    std::string longText;
    while (longText.size() < 100000) longText += polish + "\r\n";
    const std::string bytes("\x00\x01\xff\x80 binary", 12);
    insert.ParamByName("ID").SetInteger(1);
    insert.ParamByName("M").SetText(longText);
    insert.ParamByName("U").SetText(polish);
    insert.ParamByName("R").SetText(bytes);
    insert.ParamByName("N").SetText(polish);
    insert.CheckParam(insert.ParamByName("M"));  // no length to exceed
    insert.ExecQuery();
    // Numbers and dates go in as their text, an empty text as an empty BLOB, NULL as NULL.
    insert.ParamByName("ID").SetInteger(2);
    insert.ParamByName("M").SetMoney(Money::FromRaw(125000));
    insert.ParamByName("U").SetDate(EncodeDateTime({2024, 3, 1}));
    insert.ParamByName("R").SetText("");
    insert.ExecQuery();
    insert.ParamByName("ID").SetInteger(3);
    for (const char* p : {"M", "U", "R"}) insert.ParamByName(p).SetNull();
    insert.ExecQuery();
    c.write.Commit();

    // Firebird itself reads the texts back in the connection's Windows-1250.
    EXPECT_EQ(fixture.Scalar("SELECT CAST(U AS VARCHAR(100)) FROM B WHERE ID = 1"), polish);
    EXPECT_EQ(fixture.Scalar("SELECT CHAR_LENGTH(U) FROM B WHERE ID = 1"),
              std::to_string(text::Win1250ToUtf8(polish).size() - 9));  // 9 two-byte letters
    EXPECT_EQ(fixture.Scalar("SELECT CAST(SUBSTRING(M FROM 1 FOR 40) AS VARCHAR(40)) FROM B "
                             "WHERE ID = 1"),
              longText.substr(0, 40));
    EXPECT_EQ(fixture.Scalar("SELECT OCTET_LENGTH(M) FROM B WHERE ID = 1"),
              std::to_string(longText.size()));
    EXPECT_EQ(fixture.Scalar("SELECT OCTET_LENGTH(R) FROM B WHERE ID = 1"), "12");
    EXPECT_EQ(fixture.Scalar("SELECT CAST(N AS VARCHAR(100)) FROM B WHERE ID = 1"), polish);

    // And the layer reads them as texts too.
    c.read.Start();
    fb::Query q(c.read, "IBQueryR");
    q.SetSql("SELECT M, U, R FROM B ORDER BY ID");
    q.Open();
    EXPECT_EQ(q.Fields(0).AsText(), longText);
    EXPECT_EQ(q.Fields(1).AsText(), polish);
    EXPECT_EQ(q.Fields(2).AsText(), bytes);
    q.Next();
    EXPECT_EQ(q.Fields(0).AsText(), "12.5");
    EXPECT_EQ(q.Fields(1).AsText(), "2024-03-01");
    EXPECT_FALSE(q.Fields(2).IsNull());
    EXPECT_EQ(q.Fields(2).AsText(), "");
    q.Next();
    EXPECT_TRUE(q.Fields(0).IsNull());
    EXPECT_EQ(q.Fields(0).AsText(), "");
    q.Close();
    c.read.Commit();
}

TEST(FbLayerTest, NamedParametersMapOntoPositionalMarkers) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec("CREATE TABLE P (A INTEGER, B VARCHAR(20))");
    Connection c(fixture.Location());
    c.write.Start();
    fb::Statement s(c.write, "insert");
    // The same name twice; a colon inside a literal, a quoted name and comments is no parameter.
    s.SetSql(
        "INSERT INTO P (A, B) /* :notme */ SELECT :x, ':y' || :Tail -- :comment\n"
        "FROM RDB$DATABASE WHERE :X > 0 AND 'a:b' = 'a:b'");
    ASSERT_EQ(s.ParamCount(), 2u);
    EXPECT_EQ(s.Params(0).Name(), "x");
    EXPECT_EQ(s.Params(1).Name(), "Tail");
    EXPECT_EQ(s.FindParam("y"), nullptr);
    EXPECT_EQ(s.FindParam("notme"), nullptr);
    EXPECT_EQ(s.FindParam("comment"), nullptr);
    EXPECT_THROW(s.ParamByName("y"), fb::Error);
    s.ParamByName("X").SetInteger(5);
    s.ParamByName("tail").SetText("!");
    s.ExecQuery();
    s.ParamByName("X").SetInteger(-1);  // the WHERE uses the same value: nothing inserted
    s.ExecQuery();
    EXPECT_EQ(s.RowsAffected(), 0u);
    c.write.Commit();
    EXPECT_EQ(fixture.Scalar("SELECT A || B FROM P"), "5:y!");
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM P"), 1);
}

TEST(FbLayerTest, ReadTransactionSeesOnlyCommittedRows) {
    TestDatabase fixture;
    Connection c(fixture.Location());
    c.write.Start();
    fb::Statement insert(c.write, "IBSQLMigracja");
    insert.SetSql("INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (:id)");
    insert.ParamByName("id").SetInteger(11);
    insert.ExecQuery();

    fb::Query lookup(c.read, "IBQueryR");
    lookup.SetSql("SELECT COUNT(*) N FROM FIRMY_TARVIK");
    c.read.Start();
    lookup.Open();
    EXPECT_EQ(lookup.FieldByName("N").AsInteger(), 0);
    // The write transaction sees its own row.
    fb::Query own(c.write, "IBQuery0");
    own.SetSql("SELECT COUNT(*) FROM FIRMY_TARVIK");
    own.Open();
    EXPECT_EQ(own.Fields(0).AsInteger(), 1);
    c.write.Commit();
    EXPECT_FALSE(own.IsOpen());  // commit closes the cursors of its queries
    lookup.Open();               // read committed: the next statement sees the commit
    EXPECT_EQ(lookup.FieldByName("N").AsInteger(), 1);
    c.read.Commit();
}

TEST(FbLayerTest, NowaitMakesAConflictingUpdateFailAtOnce) {
    TestDatabase fixture;
    fixture.Exec("INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (1)");
    Connection first(fixture.Location());
    Connection second(fixture.Location());
    first.write.Start();
    second.write.Start();
    fb::Statement a(first.write, "a"), b(second.write, "b");
    a.SetSql("UPDATE FIRMY_TARVIK SET FIRMA_ID = 2 WHERE FIRMA_ID = 1");
    b.SetSql("UPDATE FIRMY_TARVIK SET FIRMA_ID = 3 WHERE FIRMA_ID = 1");
    a.ExecQuery();
    try {
        b.ExecQuery();
        FAIL() << "the second update did not conflict";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Message().find("update conflicts with concurrent update"), std::string::npos)
            << e.Message();
        EXPECT_NE(e.GdsCode(), 0);
        EXPECT_EQ(e.Sql(), b.Sql());
    }
    second.write.Rollback();
    first.write.Commit();
    EXPECT_EQ(fixture.ScalarInt("SELECT FIRMA_ID FROM FIRMY_TARVIK"), 2);
}

TEST(FbLayerTest, ErrorsCarryFirebirdsMessageAndTheSql) {
    TestDatabase fixture;
    Connection c(fixture.Location());
    c.read.Start();
    fb::Query q(c.read, "IBQueryR");
    q.SetSql("SELECT NOPE FROM FIRMY_TARVIK");
    try {
        q.Open();
        FAIL();
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Message().find("Column unknown"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("NOPE"), std::string::npos) << e.Message();
        EXPECT_EQ(e.Sql(), "SELECT NOPE FROM FIRMY_TARVIK");
        EXPECT_NE(std::string(e.what()).find("SQL: SELECT NOPE"), std::string::npos);
    }
    fb::Transaction idle(c.db, "idle");
    fb::Query notStarted(idle, "q");
    notStarted.SetSql("SELECT 1 FROM RDB$DATABASE");
    EXPECT_THROW(notStarted.Open(), fb::Error);
    EXPECT_TRUE(c.read.Active());  // the failed open leaves the transaction usable
    q.SetSql("SELECT Gen_Id(GEN_TELEFONY,1) ID from RDB$DataBase");
    q.Open();
    EXPECT_EQ(q.FieldByName("ID").AsInteger(), 1);
    q.Open();
    EXPECT_EQ(q.FieldByName("ID").AsInteger(), 2);
    q.Close();
    // Generator increments are outside transactions: a rollback keeps them.
    c.read.Rollback();
    c.read.Start();
    q.Open();
    EXPECT_EQ(q.FieldByName("ID").AsInteger(), 3);
}

TEST(FbLayerTest, DestroyingAnActiveTransactionRollsItBack) {
    TestDatabase fixture;
    Connection c(fixture.Location());
    {
        fb::Transaction t(c.db, "scoped");
        t.Start();
        fb::Statement s(t, "s");
        s.SetSql("INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (5)");
        s.ExecQuery();
    }
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM FIRMY_TARVIK"), 0);
    // Closing the connection rolls back what is pending and closes cursors first.
    c.write.Start();
    fb::Statement s(c.write, "s");
    s.SetSql("INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (6)");
    s.ExecQuery();
    fb::Query open(c.write, "open");
    open.SetSql("SELECT FIRMA_ID FROM FIRMY_TARVIK");
    open.Open();
    c.db.Close();
    EXPECT_FALSE(c.db.Connected());
    EXPECT_FALSE(c.write.Active());
    EXPECT_FALSE(open.IsOpen());
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM FIRMY_TARVIK"), 0);
    // The objects keep working after reconnecting.
    c.db.Open();
    c.write.Start();
    s.ExecQuery();
    c.write.Commit();
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM FIRMY_TARVIK"), 1);
}

TEST(FbLayerTest, ObjectsMayBeDestroyedInAnyOrder) {
    TestDatabase fixture;
    fixture.Exec("INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (1)");
    const std::string location = fixture.Location();
    const auto open = [&](fb::Database& db) {
        db.DatabaseName = location;
        db.Params = {"user_name=SYSDBA", "password=masterkey", "lc_ctype=WIN1250"};
        db.Open();
    };
    // A query with an open cursor and a pending insert outliving first its transaction, then
    // its connection.
    {
        auto db = std::make_unique<fb::Database>();
        auto t = std::make_unique<fb::Transaction>(*db, "t");
        auto insert = std::make_unique<fb::Statement>(*t, "insert");
        auto q = std::make_unique<fb::Query>(*t, "q");
        open(*db);
        t->Start();
        insert->SetSql("INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (2)");
        insert->ExecQuery();
        q->SetSql("SELECT FIRMA_ID FROM FIRMY_TARVIK");
        q->Open();
        ASSERT_FALSE(q->Eof());
        t.reset();
        EXPECT_FALSE(q->IsOpen());
        EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM FIRMY_TARVIK"), 1);
        db.reset();
        q.reset();
        insert.reset();
    }
    // A transaction and a prepared query outliving the connection: the connection's end rolls
    // the transaction back and frees the statement, and nothing is sent afterwards.
    {
        auto db = std::make_unique<fb::Database>();
        auto t = std::make_unique<fb::Transaction>(*db, "t");
        auto q = std::make_unique<fb::Query>(*t, "q");
        open(*db);
        t->Start();
        q->SetSql("SELECT FIRMA_ID FROM FIRMY_TARVIK");
        q->Open();
        db.reset();
        EXPECT_FALSE(t->Active());
        EXPECT_FALSE(q->Prepared());
        EXPECT_THROW(t->Start(), fb::Error);
        t.reset();
        q.reset();
    }
    // Every connection above has ended: the fixture can still change the database alone.
    fixture.Exec("DELETE FROM FIRMY_TARVIK");
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM FIRMY_TARVIK"), 0);
    EXPECT_EQ(
        fixture.ScalarInt("SELECT COUNT(*) FROM MON$ATTACHMENTS "
                          "WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0"),
        0);
}

TEST(FbLayerTest, ScriptsSplitAtTerminatorsOutsideLiteralsAndComments) {
    const auto parts = migracja::testing::SplitScript(
        "SET SQL DIALECT 1;\n/* a; comment */ CREATE TABLE A (X VARCHAR(5) DEFAULT ';');\n"
        "-- line; comment\nINSERT INTO A VALUES (';');\nSET TERM ^ ;\n"
        "CREATE PROCEDURE P AS BEGIN EXIT; END^\nSET TERM ; ^\nCOMMIT;");
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[0], "CREATE TABLE A (X VARCHAR(5) DEFAULT ';')");
    EXPECT_EQ(parts[1], "INSERT INTO A VALUES (';')");
    EXPECT_EQ(parts[2], "CREATE PROCEDURE P AS BEGIN EXIT; END");
    EXPECT_EQ(parts[3], "COMMIT");
}

TEST(FbLayerTest, SampleSchemaIsDialectOneWin1250WithTheSchemaVersion) {
    TestDatabase fixture;
    EXPECT_EQ(fixture.ScalarInt("SELECT MON$SQL_DIALECT FROM MON$DATABASE"), 1);
    EXPECT_EQ(text::Trim(fixture.Scalar("SELECT RDB$CHARACTER_SET_NAME FROM RDB$DATABASE")),
              "WIN1250");
    EXPECT_EQ(
        fixture.Scalar("SELECT FIRST 1 VER_MAJOR || '.' || VER_MINOR FROM BD_VER ORDER BY ID DESC"),
        "4.34");
    EXPECT_EQ(fixture.ScalarInt(
                  "SELECT COUNT(*) FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME = 'GEN_TELEFONY'"),
              1);
}

TEST(FbLayerTest, SettingTheSameTextKeepsThePreparedStatementAndClearsTheParameters) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec("CREATE TABLE T (ID INTEGER NOT NULL, V VARCHAR(10))");
    Connection c(fixture.Location());
    c.write.Start();
    fb::Statement insert(c.write, "insert");
    const std::string sql = "INSERT INTO T (ID, V) VALUES (:ID, :V)";
    insert.SetSql(sql);
    insert.ParamByName("ID").SetInteger(1);
    insert.ParamByName("V").SetText("a");
    insert.ExecQuery();
    ASSERT_TRUE(insert.Prepared());
    insert.SetSql(sql);
    EXPECT_TRUE(insert.Prepared());
    // The value of the earlier row is not carried over: an unassigned parameter is NULL.
    insert.ParamByName("ID").SetInteger(2);
    insert.ExecQuery();
    c.write.Commit();
    // Another text prepares anew and still works after the commit.
    c.write.Start();
    insert.SetSql("INSERT INTO T (ID) VALUES (:ID)");
    EXPECT_FALSE(insert.Prepared());
    insert.ParamByName("ID").SetInteger(3);
    insert.ExecQuery();
    c.write.Commit();
    EXPECT_EQ(fixture.Scalar("SELECT V FROM T WHERE ID = 1"), "a");
    EXPECT_EQ(fixture.Scalar("SELECT COALESCE(V, 'null') FROM T WHERE ID = 2"), "null");
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM T"), 3);
}

TEST(FbLayerTest, AFailedPrepareLeavesTheObjectUnpreparedAndReportsTheSameErrorAgain) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec("CREATE TABLE T (ID INTEGER NOT NULL)");
    Connection c(fixture.Location());
    c.read.Start();
    fb::Query q(c.read, "q");
    // A positional marker beside a named one: Firebird counts two, the layer knows one name.
    q.SetSql("SELECT COUNT(*) FROM T WHERE ID = :ID OR ID = ?");
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            q.Open();
            FAIL() << "the marker count mismatch was not reported";
        } catch (const fb::Error& e) {
            EXPECT_NE(std::string(e.what()).find("parameter markers"), std::string::npos)
                << e.what();
        }
        EXPECT_FALSE(q.Prepared());
    }
    q.SetSql("SELECT COUNT(*) FROM T WHERE ID = :ID");
    q.ParamByName("ID").SetInteger(1);
    q.Open();
    EXPECT_EQ(q.Fields(0).AsInteger(), 0);
}

TEST(FbLayerTest, ATransactionScopeCommitsOnSuccessAndRollsBackWithoutMaskingTheError) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)");
    Connection c(fixture.Location());
    fb::Statement insert(c.write, "insert");
    {
        fb::TransactionScope scope(c.write);
        insert.SetSql("INSERT INTO T (ID) VALUES (1)");
        insert.ExecQuery();
        scope.Commit();
    }
    EXPECT_FALSE(c.write.Active());
    try {
        fb::TransactionScope scope(c.write);
        insert.SetSql("INSERT INTO T (ID) VALUES (2)");
        insert.ExecQuery();
        insert.SetSql("INSERT INTO T (ID) VALUES (1)");  // primary key violation
        insert.ExecQuery();
        scope.Commit();
        FAIL() << "the violation was not reported";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Message().find("PRIMARY"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(c.write.Active());
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM T"), 1);
}

TEST(FbLayerTest, AContinuingScopeCommitsAndTheWorkAroundItGoesOnInANewTransaction) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)");
    Connection c(fixture.Location());
    fb::Statement insert(c.write, "insert");
    insert.SetSql("INSERT INTO T (ID) VALUES (:ID)");
    fb::TransactionScope outer(c.write);
    insert.ParamByName("ID").SetInteger(1);
    insert.ExecQuery();
    const fb::RoundTrips before = c.db.Trips();
    {
        fb::TransactionScope unit(c.write, nullptr, fb::TransactionScope::Ends::Continues);
        insert.ParamByName("ID").SetInteger(2);
        insert.ExecQuery();
        unit.Commit();
    }
    const fb::RoundTrips trips = c.db.Trips() - before;
    EXPECT_EQ(trips.commit, 1u);
    EXPECT_EQ(trips.start, 1u);
    ASSERT_TRUE(c.write.Active());
    // One transaction: the work before the unit is committed with it.
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM T"), 2);
    insert.ParamByName("ID").SetInteger(3);
    insert.ExecQuery();
    // A failing unit rolls back the work since the last commit and leaves the transaction ended.
    try {
        fb::TransactionScope unit(c.write, nullptr, fb::TransactionScope::Ends::Continues);
        insert.ParamByName("ID").SetInteger(1);
        insert.ExecQuery();
        unit.Commit();
        FAIL() << "the violation was not reported";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Message().find("PRIMARY"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(c.write.Active());
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM T"), 2);
}

TEST(FbLayerTest, RollingBackToASavepointUndoesOnlyTheWorkAfterIt) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)");
    Connection c(fixture.Location());
    fb::Statement insert(c.write, "insert");
    c.write.Start();
    insert.SetSql("INSERT INTO T (ID) VALUES (:ID)");
    insert.ParamByName("ID").SetInteger(1);
    insert.ExecQuery();
    c.write.Savepoint("R1");
    insert.ParamByName("ID").SetInteger(2);
    insert.ExecQuery();
    c.write.RollbackToSavepoint("R1");
    c.write.ReleaseSavepoint("R1");
    c.write.Savepoint("R2");
    insert.ParamByName("ID").SetInteger(3);
    insert.ExecQuery();
    c.write.ReleaseSavepoint("R2");
    c.write.Commit();
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM T"), 2);
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM T WHERE ID = 2"), 0);
}

TEST(FbLayerTest, AScopeInsideALargerUnitOfWorkLeavesItsEndToWhoeverStartedIt) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)");
    Connection c(fixture.Location());
    fb::Statement insert(c.write, "insert");
    fb::Query count(c.write, "count");
    using Ends = fb::TransactionScope::Ends;

    // Started here: committed at the end like any scope.
    {
        fb::TransactionScope scope(c.write, &count, Ends::IfStartedHere);
        insert.SetSql("INSERT INTO T (ID) VALUES (1)");
        insert.ExecQuery();
        scope.Commit();
    }
    EXPECT_FALSE(c.write.Active());
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM T"), 1);

    // Inside work begun before: neither the commit nor an error ends that work.
    c.write.Start();
    insert.SetSql("INSERT INTO T (ID) VALUES (2)");
    insert.ExecQuery();
    {
        fb::TransactionScope scope(c.write, &count, Ends::IfStartedHere);
        count.SetSql("SELECT COUNT(*) FROM T");
        count.Open();
        EXPECT_EQ(count.Fields(0).AsInteger(), 2);  // sees the uncommitted row of its unit
        scope.Commit();
        EXPECT_FALSE(count.IsOpen());
    }
    ASSERT_TRUE(c.write.Active());
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM T"), 1);
    try {
        fb::TransactionScope scope(c.write, &count, Ends::IfStartedHere);
        count.SetSql("SELECT COUNT(*) FROM NIE_MA");
        count.Open();
        FAIL() << "no error";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Message().find("NIE_MA"), std::string::npos) << e.Message();
    }
    ASSERT_TRUE(c.write.Active());
    c.write.Commit();
    EXPECT_EQ(fixture.ScalarInt("SELECT COUNT(*) FROM T"), 2);
}

TEST(FbLayerTest, WhenTheConnectionIsCutTheStatementsErrorTravelsNotTheRollbacks) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)");
    Connection c(fixture.Location());
    fb::Statement insert(c.write, "insert");
    fb::Query read(c.read, "read");
    c.write.Start();
    c.read.Start();
    fixture.CutOtherConnections();
    try {
        fb::TransactionScope scope(c.write);
        insert.SetSql("INSERT INTO T (ID) VALUES (1)");
        insert.ExecQuery();
        scope.Commit();
        FAIL() << "the cut connection went unnoticed";
    } catch (const fb::Error& e) {
        EXPECT_EQ(e.Sql(), "INSERT INTO T (ID) VALUES (1)") << e.what();
    }
    EXPECT_FALSE(c.write.Active());
    try {
        fb::TransactionScope scope(c.read, &read, fb::TransactionScope::Ends::IfStartedHere);
        read.SetSql("SELECT COUNT(*) FROM T");
        read.Open();
        FAIL() << "the cut connection went unnoticed";
    } catch (const fb::Error& e) {
        EXPECT_EQ(e.Sql(), "SELECT COUNT(*) FROM T") << e.what();
    }
}

TEST(FbLayerTest, TheConnectionCountsTheCallsThatWaitForTheDatabase) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec("CREATE TABLE R (ID INTEGER); CREATE GENERATOR G");
    Connection c(fixture.Location());
    EXPECT_EQ(c.db.Trips().attach, 1u);
    EXPECT_EQ(c.db.Trips().Total(), 1u);

    fb::Statement insert(c.write, "insert");
    fb::Query gen(c.write, "gen");
    insert.SetSql("INSERT INTO R (ID) VALUES (:ID)");
    gen.SetSql("SELECT GEN_ID(G, 1) FROM RDB$DATABASE");
    const fb::RoundTrips before = c.db.Trips();
    c.write.Start();
    c.write.Savepoint("S");
    for (int i = 0; i < 3; ++i) {
        gen.Open();
        insert.SetSql("INSERT INTO R (ID) VALUES (:ID)");  // the same text: not prepared again
        insert.ParamByName("ID").SetInteger(gen.Fields(0).AsInteger());
        insert.ExecQuery();
    }
    EXPECT_EQ(insert.RowsAffected(), 1u);
    c.write.Commit();
    const fb::RoundTrips t = c.db.Trips() - before;
    EXPECT_EQ(t.start, 1u);
    EXPECT_EQ(t.prepare, 2u);
    EXPECT_EQ(t.execute, 4u);  // the savepoint and three INSERTs
    EXPECT_EQ(t.open, 3u);
    EXPECT_EQ(t.info, 1u);
    EXPECT_EQ(t.commit, 1u);
    EXPECT_EQ(t.Total(), 12u);
    EXPECT_EQ(t.PerRecordKinds(), 10u);

    // A rollback is a round trip like a commit; a failed statement was sent all the same.
    c.write.Start();
    insert.SetSql("INSERT INTO R (ID) VALUES ('x')");
    const fb::RoundTrips beforeFailure = c.db.Trips();
    EXPECT_THROW(insert.ExecQuery(), fb::Error);
    c.write.Rollback();
    const fb::RoundTrips f = c.db.Trips() - beforeFailure;
    EXPECT_EQ(f.prepare + f.execute + f.commit, 3u) << f.prepare << " " << f.execute;
}

// What carrying a record in one statement rests on: a block with input parameters (only the
// header's markers are parameters; ":K" in the body is the block's variable) and RETURNS runs in
// one execution. A handler undoes the inner block it guards, not the statements before the
// failing one in its own block, so a record's statements go into an inner block. The generator
// draws stay (generators are outside transactions): the block has to hand the drawn keys back
// for the record to be written again with them.
TEST(FbLayerTest, AnExecuteBlockRunsARecordInOneCallAndReturnsItsKeys) {
    TestDatabase fixture(TestDatabase::Schema::Empty);
    fixture.Exec(
        "CREATE TABLE R (ID INTEGER NOT NULL PRIMARY KEY, V VARCHAR(5), D DATE, M NUMERIC(15,4));"
        "CREATE GENERATOR G");
    Connection c(fixture.Location());
    c.write.Start();
    fb::Statement block(c.write, "block");
    block.SetSql(
        "EXECUTE BLOCK (X_V TYPE OF COLUMN R.V = :X_V, X_D TYPE OF COLUMN R.D = :X_D, "
        "X_M TYPE OF COLUMN R.M = :X_M, X_TWICE SMALLINT = :X_TWICE) "
        "RETURNS (K INTEGER, DONE INTEGER, N INTEGER) AS "
        "BEGIN "
        "  DONE = 0; "
        "  BEGIN "
        "    BEGIN "
        "      K = GEN_ID(G, 1); "
        "      SELECT COUNT(*) FROM R WHERE V = :X_V INTO :N; "
        "      INSERT INTO R (ID, V, D, M) VALUES (:K, :X_V, :X_D, :X_M); "
        "      IF (X_TWICE = 1) THEN INSERT INTO R (ID, V) VALUES (:K, :X_V); "
        "      DONE = 1; "
        "    END "
        "    WHEN ANY DO DONE = -GDSCODE; "
        "  END "
        "  SUSPEND; "
        "END");
    EXPECT_EQ(block.ParamCount(), 4u);
    block.Prepare();
    ASSERT_EQ(block.FieldCount(), 3u);

    auto run = [&](const char* v, int twice) {
        block.ParamByName("X_V").SetText(v);
        block.ParamByName("X_D").SetDate(EncodeDateTime({2020, 1, 2}));
        block.ParamByName("X_M").SetMoney(Money::FromRaw(12345));
        block.ParamByName("X_TWICE").SetInteger(twice);
        block.ExecQuery();
    };
    const fb::RoundTrips before = c.db.Trips();
    run("abc", 0);
    EXPECT_EQ((c.db.Trips() - before).Total(), 1u);
    EXPECT_EQ(block.FieldByName("K").AsInteger(), 1);
    EXPECT_EQ(block.FieldByName("DONE").AsInteger(), 1);
    EXPECT_EQ(block.FieldByName("N").AsInteger(), 0);

    // The too-long text is refused by the client, as the INSERT's own parameter would be.
    block.ParamByName("X_V").SetText("abcdef");
    EXPECT_THROW(block.CheckParam(block.ParamByName("X_V")), fb::Error);

    run("xyz", 1);  // the second INSERT violates the key
    EXPECT_EQ(block.FieldByName("K").AsInteger(), 2);
    EXPECT_NE(block.FieldByName("DONE").AsInteger(), 1);
    c.write.Commit();
    EXPECT_EQ(fixture.Scalar("SELECT COUNT(*) FROM R"), "1");
    EXPECT_EQ(fixture.Scalar("SELECT M FROM R WHERE ID = 1"), "1.2345");
    EXPECT_EQ(fixture.Scalar("SELECT GEN_ID(G, 0) FROM RDB$DATABASE"), "2");
}

TEST(FbLayerTest, AFolderAndAPasswordWithPolishLettersOpenTheDatabaseEmbedded) {
    // A folder named as users name them and a password from Db.Ini (Windows-1250), whatever the
    // locale the program was started in.
    using namespace migracja::literals;
    fb::UseUtf8FileNames();
    TempDir dir("migracja-klient-Łódź");
    const std::string location = (dir.path() / "baza ż.fdb").string();
    {
        fb::Database creator;
        migracja::testing::CreateDatabase(creator, location, "SYSDBA", "masterkey");
    }
    fb::Database db;
    db.DatabaseName = location;
    db.Params = {"user_name=SYSDBA", "password=" + "hasło"_w, "lc_ctype=WIN1250"};
    EXPECT_NO_THROW(db.Open());
    EXPECT_TRUE(db.Connected());
}
