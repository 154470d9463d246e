#include <gtest/gtest.h>

#include "LoaderFixture.h"
#include "base/Text.h"
#include "definitions/TargetSchema.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::definitions::FieldType;
using migracja::testing::LoaderFixture;

namespace {

std::string Columns(const std::string& table, int count, const std::string& first = "") {
    std::string sql = "CREATE TABLE " + table + " (";
    for (int i = 0; i < count; ++i)
        sql += (i ? ", " : "") + (i == 0 && !first.empty() ? first : "K" + std::to_string(i)) +
               " INTEGER";
    return sql + ")";
}

}  // namespace

TEST(TargetSchemaTest, MissingUniqueKeyIsAddedLastWithItsTypeAndCollation) {
    LoaderFixture f;
    ASSERT_FALSE(f.HasColumn("REJESTR_FIRM", "DBF_UNQ_KEY"));
    const std::vector<std::string> before = f.DatabaseColumns("REJESTR_FIRM");
    ASSERT_TRUE(f.Load(f.Write("01-firmy.ini", {"[START]", "Tabela_0=Rejestr_Firm", "[Tabela0]",
                                                "dbf_unq_key=PLIKDBF->NRKLI"})));
    std::vector<std::string> expected = before;
    expected.push_back("DBF_UNQ_KEY");
    const engine::TableMapping& t = f.dane.Definition.Tables[0];
    EXPECT_EQ(t.Schema.ColumnNames, expected);
    EXPECT_EQ(f.DatabaseColumns("REJESTR_FIRM"), expected);
    EXPECT_EQ(t.Schema.ColumnKinds.back(), ValueKind::Text);
    ASSERT_EQ(t.ColumnCount(), 1);  // the new column is mapped like any other
    EXPECT_EQ(t.Columns[0].TargetColumn, "DBF_UNQ_KEY");
    EXPECT_EQ(f.db.Scalar("SELECT F.RDB$FIELD_TYPE || ' ' || F.RDB$CHARACTER_LENGTH || ' ' || "
                          "TRIM(C.RDB$COLLATION_NAME) FROM RDB$RELATION_FIELDS RF "
                          "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
                          "JOIN RDB$COLLATIONS C ON C.RDB$COLLATION_ID = RF.RDB$COLLATION_ID "
                          "AND C.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID "
                          "WHERE RF.RDB$RELATION_NAME = 'REJESTR_FIRM' "
                          "AND RF.RDB$FIELD_NAME = 'DBF_UNQ_KEY'"),
              "37 40 PXW_PLK");
    // The write transaction is ready for the run, and the table takes legacy keys.
    EXPECT_TRUE(f.dane.IBTransaction1.Active());
    f.db.Exec("INSERT INTO REJESTR_FIRM (FIRMA_ID, DBF_UNQ_KEY) VALUES (1, '" +
              std::string(40, 'x') + "')");

    // A second load finds the column and leaves the table alone.
    ASSERT_TRUE(f.Load(f.Write("02-firmy.ini", {"[START]", "Tabela_0=REJESTR_FIRM"})));
    EXPECT_EQ(f.dane.Definition.Tables[0].Schema.ColumnNames, expected);
    EXPECT_EQ(f.DatabaseColumns("REJESTR_FIRM"), expected);
}

TEST(TargetSchemaTest, ColumnKindsFollowTheStoredTypes) {
    LoaderFixture f;
    f.db.Exec(
        "CREATE TABLE RODZAJE (T_CHAR CHAR(3), T_VARCHAR VARCHAR(5), T_SMALL SMALLINT, "
        "T_INT INTEGER, T_NUM40 NUMERIC(4,0), T_NUM92 NUMERIC(9,2), T_DEC42 DECIMAL(4,2), "
        "T_NUM152 NUMERIC(15,2), T_DOUBLE DOUBLE PRECISION, T_FLOAT FLOAT, T_DATE DATE, "
        "T_MEMO BLOB SUB_TYPE 1, T_BLOB BLOB, T_BOOL BOOLEAN, T_CALC COMPUTED BY (T_INT + 1), "
        "DBF_UNQ_KEY VARCHAR(40))");
    f.dane.RefreshCatalogue();
    ASSERT_TRUE(f.Load(f.Write("01-rodzaje.ini", {"[START]", "Tabela_0=RODZAJE"})));
    const engine::TargetTableSchema& s = f.dane.Definition.Tables[0].Schema;
    using K = ValueKind;
    const std::vector<std::pair<std::string, K>> expected{
        {"T_CHAR", K::Text},      {"T_VARCHAR", K::Text},  {"T_SMALL", K::Integer},
        {"T_INT", K::Integer},    {"T_NUM40", K::Integer}, {"T_NUM92", K::Other},
        {"T_DEC42", K::Other},    {"T_NUM152", K::Money},  {"T_DOUBLE", K::Money},
        {"T_FLOAT", K::Money},    {"T_DATE", K::Date},     {"T_MEMO", K::Text},
        {"T_BLOB", K::Text},      {"T_BOOL", K::Logical},  {"T_CALC", K::Integer},
        {"DBF_UNQ_KEY", K::Text},
    };
    ASSERT_EQ(s.ColumnCount(), static_cast<int>(expected.size()));
    for (int j = 0; j < s.ColumnCount(); ++j) {
        EXPECT_EQ(s.ColumnNames[j], expected[j].first);
        EXPECT_EQ(s.ColumnKinds[j], expected[j].second) << s.ColumnNames[j];
    }
    // Types a dialect-1 connection cannot declare, by their RDB$FIELD_TYPE codes.
    EXPECT_EQ(definitions::FieldKindOf(definitions::FirebirdFieldType(13, 0, 0)), K::Other);
    EXPECT_EQ(definitions::FieldKindOf(definitions::FirebirdFieldType(12, 0, 0)), K::Date);
    EXPECT_EQ(definitions::FieldKindOf(definitions::FirebirdFieldType(16, 0, 0)), K::Integer);
    EXPECT_EQ(definitions::FieldKindOf(definitions::FirebirdFieldType(16, 1, -2)), K::Other);
}

TEST(TargetSchemaTest, ResultTypeTakesOnlyCapitalLetters) {
    using definitions::ParseResultType;
    EXPECT_EQ(ParseResultType("(C)"), ValueKind::Text);
    EXPECT_EQ(ParseResultType("(N)"), ValueKind::Integer);
    EXPECT_EQ(ParseResultType("(F)"), ValueKind::Money);
    EXPECT_EQ(ParseResultType("(D"), ValueKind::Date);
    for (const char* other : {"(n)", "(d)", "(X)", "(", "", "?", "N", " (N)", "()"})
        EXPECT_EQ(ParseResultType(other), ValueKind::Other) << other;
}

TEST(TargetSchemaTest, TablesWiderThanTheModelEndTheLoadUnchanged) {
    LoaderFixture f;
    f.db.Exec(Columns("SZEROKA", 202) + ";" + Columns("PELNA", 201) + ";" +
              Columns("MIESCI_SIE", 200));
    f.dane.RefreshCatalogue();

    const auto wide = f.Write(
        "01-szeroka.ini",
        {"[START]", "PlikDBF=S.DBF", "Tabela_0=TELEFONY", "Tabela_1=KATEGORIE", "Tabela_2=SZEROKA",
         "Tabela_3=GRUPY_SERWIS", "[INITE]", "Tabela_0=REJESTR_LOKALIZACJI"});
    ASSERT_TRUE(f.Load(wide));
    const engine::MigrationDefinition& d = f.dane.Definition;
    EXPECT_TRUE(d.StopRequested);
    EXPECT_TRUE(d.ErrorsOccurred);
    EXPECT_EQ(d.TableCount, 2);
    ASSERT_EQ(f.dane.MigrationErrorLog.size(), 1u);
    EXPECT_EQ(f.dane.MigrationErrorLog[0],
              "Tabela SZEROKA ma 202 kolumn, a wczytać można najwyżej 201 !"_w + "\r\n(plik " +
                  text::Utf8ToWin1250(wide.string()) + ")\r\nDla pliku S.DBF" +
                  "\r\nNr Tabeli = 2   Nazwa: SZEROKA\r\nNr odczytanego rekordu = 0");
    EXPECT_EQ(d.Tables[2].Schema.ColumnCount(), 0);
    // The load ended there: nothing behind the wide table was checked or altered.
    EXPECT_FALSE(f.HasColumn("SZEROKA", "DBF_UNQ_KEY"));
    EXPECT_FALSE(f.HasColumn("GRUPY_SERWIS", "DBF_UNQ_KEY"));
    EXPECT_FALSE(f.HasColumn("REJESTR_LOKALIZACJI", "DBF_UNQ_KEY"));
    EXPECT_EQ(d.InitTableCount, 0);

    // 201 columns fit, but not with the key column the load would have to add.
    f.dane.MigrationErrorLog.clear();
    ASSERT_TRUE(
        f.Load(f.Write("02-pelna.ini", {"[INITE]", "Tabela_0=KATEGORIE", "Tabela_1=PELNA"})));
    ASSERT_EQ(f.dane.MigrationErrorLog.size(), 1u);
    EXPECT_EQ(f.dane.MigrationErrorLog[0].rfind(
                  "Tabela PELNA ma 202 kolumn (razem z brakującą kolumną DBF_UNQ_KEY), a wczytać "
                  "można najwyżej 201 ! (INITE Tabela_1)\r\n(plik "_w,
                  0),
              0u);
    EXPECT_EQ(f.dane.Definition.InitTableCount, 1);
    EXPECT_TRUE(f.dane.Definition.StopRequested);
    EXPECT_FALSE(f.HasColumn("PELNA", "DBF_UNQ_KEY"));

    // 200 columns and the key make exactly the bound.
    f.dane.MigrationErrorLog.clear();
    std::vector<std::string> lines{"[START]", "Tabela_0=MIESCI_SIE", "[Tabela0]"};
    for (int i = 0; i < 200; ++i)
        lines.push_back("K" + std::to_string(i) + "=(N)" + std::to_string(i));
    lines.push_back("DBF_UNQ_KEY=PLIKDBF->NR");
    ASSERT_TRUE(f.Load(f.Write("03-miesci.ini", lines)));
    EXPECT_TRUE(f.dane.MigrationErrorLog.empty());
    EXPECT_FALSE(f.dane.Definition.StopRequested);
    EXPECT_EQ(f.dane.Definition.Tables[0].Schema.ColumnCount(), 201);
    EXPECT_EQ(f.dane.Definition.Tables[0].ColumnCount(), 201);
}

TEST(TargetSchemaTest, FailureToAddTheKeyRollsBackAndPropagates) {
    LoaderFixture f;
    f.db.Exec("CREATE TABLE ZNIKA (A INTEGER)");
    f.dane.RefreshCatalogue();
    f.db.Exec("DROP TABLE ZNIKA");  // the catalogue still lists it
    f.dane.IBTransaction1.StartIfNeeded();
    try {
        f.Load(f.Write("01-znika.ini",
                       {"[START]", "Tabela_0=TELEFONY", "Tabela_1=ZNIKA", "Tabela_2=KATEGORIE"}));
        FAIL() << "no error";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Sql().find("Alter Table ZNIKA Add DBF_UNQ_KEY  VARCHAR(40) COLLATE PXW_PLK "),
                  std::string::npos)
            << e.Sql();
    }
    EXPECT_FALSE(f.dane.IBTransaction1.Active());
    EXPECT_TRUE(f.HasColumn("TELEFONY", "DBF_UNQ_KEY"));  // committed before the failure
    EXPECT_FALSE(f.HasColumn("KATEGORIE", "DBF_UNQ_KEY"));
}

TEST(TargetSchemaTest, ACutConnectionReportsTheAlterTableNotTheFailedRollback) {
    LoaderFixture f;
    f.dane.IBTransaction1.StartIfNeeded();
    f.db.CutOtherConnections();
    try {
        engine::AddUniqueKeyColumn(f.dane, "TELEFONY");
        FAIL() << "the cut connection went unnoticed";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Sql().find("Alter Table TELEFONY Add DBF_UNQ_KEY"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(f.dane.IBTransaction1.Active());
}
