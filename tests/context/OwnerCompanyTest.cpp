#include <gtest/gtest.h>

#include "base/Text.h"
#include "context/ContextFixture.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::ContextFixture;

TEST(OwnerCompanyTest, SingleOwnerIsSettledWithItsFullNameAndMarked) {
    ContextFixture f;
    f.AddKeyColumn();
    f.AddCompany(1, "ABC", "ABC Serwis Kas Fiskalnych Spółka z o.o."_w, "Łódź"_w, true);
    f.AddCompany(2, "Klient", "Klient Sp. j.", "Radom", false);
    f.AddCompany(3, "Dawny", "Dawny właściciel"_w, "Radom", false);
    // A customer whose key came from the legacy data, and a stale owner marker.
    f.db.Exec("UPDATE REJESTR_FIRM SET DBF_UNQ_KEY = 'K-2' WHERE FIRMA_ID = 2");
    f.db.Exec("UPDATE REJESTR_FIRM SET DBF_UNQ_KEY = '  0' WHERE FIRMA_ID = 3");

    const context::CheckResult r = f.service.CheckOwnerCompany();

    EXPECT_TRUE(r.settled);
    EXPECT_FALSE(r.none);
    EXPECT_TRUE(f.grid.shown.empty());
    EXPECT_EQ(f.ctx.SelectedFirmaId, 1);
    EXPECT_EQ(f.ctx.SelectedFirmaName, "ABC Serwis Kas Fiskalnych Spółka z o.o."_w);
    EXPECT_EQ(f.db.Scalar("SELECT DBF_UNQ_KEY || '|' || F_SERWIS FROM REJESTR_FIRM "
                          "WHERE FIRMA_ID = 1"),
              "  0|T");
    // Settling without a window does not clear markers elsewhere.
    EXPECT_EQ(f.MarkedCompanies(), "1,3");
    EXPECT_EQ(f.db.Scalar("SELECT DBF_UNQ_KEY FROM REJESTR_FIRM WHERE FIRMA_ID = 2"), "K-2");
    EXPECT_EQ(f.db.Scalar("SELECT F_SERWIS FROM REJESTR_FIRM WHERE FIRMA_ID = 2"), "N");
    EXPECT_EQ(f.service.LastCheckError(), "");
    // The check leaves the read transaction free for the next reader.
    EXPECT_FALSE(f.dane.IBQueryR.IsOpen());
}

TEST(OwnerCompanyTest, KeyColumnIsAddedToTheCompanyRegisterOnlyWhenMissing) {
    ContextFixture f;
    const char* count =
        "SELECT COUNT(*) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'REJESTR_FIRM' "
        "AND RDB$FIELD_NAME = 'DBF_UNQ_KEY'";
    ASSERT_EQ(f.db.ScalarInt(count), 0);
    f.AddCompany(7, "Jedyna", "Jedyna firma", "Kraków"_w, true);

    EXPECT_TRUE(f.service.CheckOwnerCompany().settled);
    EXPECT_EQ(f.db.ScalarInt(count), 1);
    EXPECT_EQ(f.db.ScalarInt("SELECT f.RDB$FIELD_LENGTH FROM RDB$RELATION_FIELDS rf JOIN "
                             "RDB$FIELDS f ON f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE WHERE "
                             "rf.RDB$RELATION_NAME = 'REJESTR_FIRM' AND "
                             "rf.RDB$FIELD_NAME = 'DBF_UNQ_KEY'"),
              40);
    EXPECT_EQ(f.MarkedCompanies(), "7");

    // A second start finds the column and does not try to add it again.
    EXPECT_TRUE(f.service.CheckOwnerCompany().settled);
    EXPECT_EQ(f.db.ScalarInt(count), 1);
    EXPECT_EQ(f.service.LastCheckError(), "");
}

TEST(OwnerCompanyTest, NoOwnerCompanyIsReportedAsNone) {
    ContextFixture f;
    f.AddCompany(1, "Klient", "Klient", "Radom", false);  // in the register, not an owner

    const context::CheckResult r = f.service.CheckOwnerCompany();
    EXPECT_FALSE(r.settled);
    EXPECT_TRUE(r.none);
    EXPECT_EQ(f.ctx.SelectedFirmaId, -1);
    EXPECT_EQ(f.MarkedCompanies(), "");
}

TEST(OwnerCompanyTest, TwoOwnersAreChosenInTheWindowAndOnlyTheChosenOneKeepsTheMarker) {
    ContextFixture f;
    f.AddKeyColumn();
    f.AddCompany(1, "ABC", "ABC Serwis", "Gdańsk"_w, true);
    f.AddCompany(2, "Żuraw"_w, "Żuraw Kasy Fiskalne"_w, "Poznań"_w, true);
    f.AddCompany(3, "Klient", "Klient", "Radom", false);
    f.db.Exec("UPDATE REJESTR_FIRM SET DBF_UNQ_KEY = '  0' WHERE FIRMA_ID IN (1, 3)");

    const context::CheckResult r = f.service.CheckOwnerCompany();
    EXPECT_FALSE(r.settled);
    EXPECT_FALSE(r.none);
    EXPECT_EQ(f.ctx.SelectedFirmaId, -1);
    EXPECT_EQ(f.MarkedCompanies(), "1,3");  // the check itself marks nothing

    f.grid.PickRowStartingWith("Żuraw"_w);
    ASSERT_TRUE(f.service.ChooseCompany());
    ASSERT_EQ(f.grid.shown.size(), 1u);
    const ui::GridChoiceRequest& w = f.grid.shown[0];
    EXPECT_EQ(w.caption, "Wybór firmy"_w);
    ASSERT_EQ(w.columns.size(), 3u);
    EXPECT_EQ(w.columns[0].title, "Skrót nazwy"_w);
    EXPECT_EQ(w.columns[1].title, "Pełna nazwa firmy"_w);
    EXPECT_EQ(w.columns[2].title, "Miasto");
    EXPECT_TRUE(w.extraButtons.empty());
    ASSERT_EQ(w.rows.size(), 2u);  // owners only
    const std::vector<std::string> abc{"ABC", "ABC Serwis", "Gdańsk"_w};
    const std::vector<std::string> zuraw{"Żuraw"_w, "Żuraw Kasy Fiskalne"_w, "Poznań"_w};
    EXPECT_TRUE((w.rows[0] == abc && w.rows[1] == zuraw) ||
                (w.rows[0] == zuraw && w.rows[1] == abc));

    EXPECT_EQ(f.ctx.SelectedFirmaId, 2);
    EXPECT_EQ(f.ctx.SelectedFirmaName, "Żuraw"_w);  // the short name, as picked
    EXPECT_EQ(f.MarkedCompanies(), "2");
    EXPECT_EQ(f.db.Scalar("SELECT F_SERWIS FROM REJESTR_FIRM WHERE FIRMA_ID = 2"), "T");

    f.ctx.SelectedMiejsceName = "(Nie zdefiniowano oddziałów)"_w;
    f.ctx.SelectedGsName = "Serwis";
    f.messages.answers.push_back(ui::Answer::Yes);
    EXPECT_TRUE(f.service.ShowChoice());
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_NE(f.messages.shown[0].text.find("Firma (właściciel) :  Żuraw , \r\n"_w),
              std::string::npos);
}

TEST(OwnerCompanyTest, CancellingTheCompanyWindowChangesNothing) {
    ContextFixture f;
    f.AddKeyColumn();
    f.AddCompany(1, "A", "A", "X", true);
    f.AddCompany(2, "B", "B", "Y", true);
    f.db.Exec("UPDATE REJESTR_FIRM SET DBF_UNQ_KEY = '  0' WHERE FIRMA_ID = 1");

    EXPECT_FALSE(f.service.ChooseCompany());
    EXPECT_EQ(f.grid.shown.size(), 1u);
    EXPECT_EQ(f.ctx.SelectedFirmaId, -1);
    EXPECT_EQ(f.MarkedCompanies(), "1");

    // An extra button the company window does not have, or a row that is not there, is no
    // confirmation either.
    f.grid.answers.push_back(ui::GridChoiceResult::Button(0));
    f.grid.answers.push_back(ui::GridChoiceResult::Row(2));
    EXPECT_FALSE(f.service.ChooseCompany());
    EXPECT_FALSE(f.service.ChooseCompany());
    EXPECT_EQ(f.ctx.SelectedFirmaId, -1);
    EXPECT_EQ(f.MarkedCompanies(), "1");
}

TEST(OwnerCompanyTest, DatabaseErrorInTheCheckSettlesNothingAndKeepsItsText) {
    ContextFixture f;
    f.AddCompany(1, "A", "A", "X", true);
    f.db.Exec("DROP TABLE FIRMY_TARVIK");

    const context::CheckResult r = f.service.CheckOwnerCompany();
    EXPECT_FALSE(r.settled);
    EXPECT_FALSE(r.none);  // unknown, so the company window opens rather than "no company"
    EXPECT_EQ(f.ctx.SelectedFirmaId, -1);
    EXPECT_NE(f.service.LastCheckError().find("FIRMY_TARVIK"), std::string::npos)
        << f.service.LastCheckError();
    EXPECT_FALSE(f.dane.IBTransactionR.Active());

    // The window's own query meets the same fault; that one is not swallowed.
    EXPECT_THROW(f.service.ChooseCompany(), fb::Error);
}

TEST(OwnerCompanyTest, FailedMarkingInsideTheCheckTakesTheCompanyBack) {
    ContextFixture f;
    f.AddKeyColumn();
    f.AddCompany(1, "A", "Pierwsza", "X", true);
    f.db.Exec(
        "CREATE EXCEPTION E_ZABLOKOWANE 'rejestr zablokowany';"
        "SET TERM ^ ;"
        "CREATE TRIGGER T_BLOKADA FOR REJESTR_FIRM BEFORE UPDATE AS BEGIN "
        "  IF (NEW.DBF_UNQ_KEY = '  0') THEN EXCEPTION E_ZABLOKOWANE; END^"
        "SET TERM ; ^");

    const context::CheckResult r = f.service.CheckOwnerCompany();
    EXPECT_FALSE(r.settled);
    EXPECT_FALSE(r.none);
    EXPECT_EQ(f.ctx.SelectedFirmaId, -1);
    EXPECT_NE(f.service.LastCheckError().find("rejestr zablokowany"), std::string::npos)
        << f.service.LastCheckError();
    EXPECT_EQ(f.MarkedCompanies(), "");

    // In the window a failed marking propagates, and the company is not taken.
    f.grid.answers.push_back(ui::GridChoiceResult::Row(0));
    EXPECT_THROW(f.service.ChooseCompany(), fb::Error);
    EXPECT_EQ(f.ctx.SelectedFirmaId, -1);
    EXPECT_EQ(f.MarkedCompanies(), "");
    EXPECT_FALSE(f.dane.IBTransactionR.Active());
}

TEST(OwnerCompanyTest, RegisterThatCannotTakeTheKeyColumnStopsTheCheck) {
    ContextFixture f;
    // Without the table the catalogue has no DBF_UNQ_KEY and the ALTER fails; that failure is
    // not one of the check's own.
    f.db.Exec("DROP TABLE REJESTR_FIRM");
    EXPECT_THROW(f.service.CheckOwnerCompany(), fb::Error);
    EXPECT_FALSE(f.dane.IBTransaction1.Active());
}

TEST(OwnerCompanyTest, ACutConnectionReportsTheFailedStatementNotTheFailedRollback) {
    {
        ContextFixture f;
        f.AddKeyColumn();
        f.dane.IBTransactionR.StartIfNeeded();  // a lookup left it open, as lookups do
        f.db.CutOtherConnections();
        try {
            f.service.CheckOwnerCompany();
            FAIL() << "the cut connection went unnoticed";
        } catch (const fb::Error& e) {
            EXPECT_NE(e.Sql().find("from RDB$RELATION_FIELDS"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(f.dane.IBTransactionR.Active());
    }
    ContextFixture f;
    f.AddKeyColumn();
    f.AddCompany(2, "B", "Druga", "Y", true);
    f.dane.IBTransactionR.StartIfNeeded();
    f.db.CutOtherConnections();
    f.ctx.SelectedFirmaId = 2;
    try {
        f.service.MarkOwnerCompany();
        FAIL() << "the cut connection went unnoticed";
    } catch (const fb::Error& e) {
        EXPECT_NE(e.Sql().find("Update REJESTR_FIRM Set DBF_UNQ_KEY = '  0'"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(f.dane.IBTransactionR.Active());
}
