#include <gtest/gtest.h>

#include "base/Text.h"
#include "context/ContextFixture.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::ContextFixture;

namespace {

// One owner company already settled, as the startup leaves it before the branch step.
struct Settled : ContextFixture {
    Settled() {
        AddCompany(5, "ABC", "ABC Serwis", "Radom", true);
        AddCompany(6, "Inna", "Inna firma", "Radom", false);
        if (!service.CheckOwnerCompany().settled) throw std::runtime_error("company not settled");
    }
};

}  // namespace

TEST(BranchTest, CompanyWithoutBranchesOpensNoWindowAndShowsThePlaceholderWithoutLabel) {
    Settled f;
    f.AddBranch(1, 6, "Oddział innej firmy"_w);  // another company's branch does not count

    EXPECT_FALSE(f.service.CheckBranches());
    EXPECT_EQ(f.ctx.SelectedMiejsceId, -1);
    EXPECT_EQ(f.ctx.SelectedMiejsceName, "(Nie zdefiniowano oddziałów)"_w);

    f.ctx.SelectedGsName = "Zespół A"_w;
    EXPECT_FALSE(f.service.ShowChoice());  // anything but Yes declines
    ASSERT_EQ(f.messages.shown.size(), 1u);
    const migracja::testing::ShownMessage& m = f.messages.shown[0];
    EXPECT_EQ(m.text,
              "Po uruchomieniu programu wybrano: \r\n"
              "Firma (właściciel) :  ABC Serwis , \r\n"
              "(Nie zdefiniowano oddziałów) , \r\n"
              "Zespół serwisowy :  Zespół A  ! \r\n"
              "\r\n"
              "Czy akceptujesz ten wybór ?"_w);
    EXPECT_EQ(m.caption, "Migracja dla...");
    EXPECT_EQ(m.icon, ui::Icon::Question);
    EXPECT_EQ(m.buttons, ui::Buttons::YesNo);
}

TEST(BranchTest, ChosenBranchIsTakenFromItsRowAndShownWithTheLabel) {
    Settled f;
    f.AddBranch(11, 5, "Sklep Zachód"_w, "12a");
    f.AddBranch(12, 5, "Biuro", "3");
    f.AddBranch(13, 6, "Obcy", "9");

    ASSERT_TRUE(f.service.CheckBranches());
    EXPECT_EQ(f.ctx.SelectedMiejsceName, "(Bez przypisywania oddziału)"_w);

    f.grid.answers.push_back(ui::GridChoiceResult::Row(1));
    ASSERT_TRUE(f.service.ChooseBranch());
    ASSERT_EQ(f.grid.shown.size(), 1u);
    const ui::GridChoiceRequest& w = f.grid.shown[0];
    EXPECT_EQ(w.caption, "Wybór lokalizacji (0ddziału)"_w);
    std::vector<std::string> titles;
    for (const ui::GridColumn& c : w.columns) titles.push_back(c.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"Nazwa miejsca", "kod poczt.", "Miasto-poczta",
                                                "Miejscowość"_w, "Ulica", "Nr domu", "Nr lokalu"}));
    EXPECT_EQ(w.columns[5].align, ui::GridColumn::Align::Center);
    EXPECT_EQ(w.columns[0].align, ui::GridColumn::Align::Left);
    EXPECT_EQ(w.extraButtons, std::vector<std::string>{"Bez wyboru"});
    // Only the company's branches, ordered by name.
    ASSERT_EQ(w.rows.size(), 2u);
    EXPECT_EQ(w.rows[0], (std::vector<std::string>{"Biuro", "00-001", "Warszawa", "Warszawa",
                                                   "Prosta", "3", "2"}));
    EXPECT_EQ(w.rows[1][0], "Sklep Zachód"_w);
    EXPECT_EQ(w.rows[1][5], "12a");

    EXPECT_EQ(f.ctx.SelectedMiejsceId, 11);
    EXPECT_EQ(f.ctx.SelectedMiejsceName, "Sklep Zachód"_w);
    EXPECT_NE(f.service.ChoiceText().find("\r\nOddział :  Sklep Zachód , \r\n"_w),
              std::string::npos);
}

TEST(BranchTest, NoBranchChoiceGivesMinusTwoAndCancelKeepsEverything) {
    Settled f;
    f.AddBranch(11, 5, "Biuro");
    ASSERT_TRUE(f.service.CheckBranches());

    EXPECT_FALSE(f.service.ChooseBranch());  // cancelled or closed
    EXPECT_EQ(f.ctx.SelectedMiejsceId, -1);
    EXPECT_EQ(f.ctx.SelectedMiejsceName, "(Bez przypisywania oddziału)"_w);

    f.grid.answers.push_back(ui::GridChoiceResult::Button(0));
    EXPECT_TRUE(f.service.ChooseBranch());
    EXPECT_EQ(f.ctx.SelectedMiejsceId, -2);
    EXPECT_EQ(f.ctx.SelectedMiejsceName, "(Bez przypisywania oddziału)"_w);
    // "No branch" is not a branch: the placeholder stands without the label.
    const std::string text = f.service.ChoiceText();
    EXPECT_EQ(text.find("Oddział"_w), std::string::npos);
    EXPECT_NE(text.find("\r\n(Bez przypisywania oddziału) , \r\n"_w), std::string::npos);
}

TEST(BranchTest, DatabaseErrorInTheCountLeavesTheChoiceToTheWindow) {
    Settled f;
    f.db.Exec("DROP TABLE REJESTR_LOKALIZACJI");

    EXPECT_TRUE(f.service.CheckBranches());
    EXPECT_EQ(f.ctx.SelectedMiejsceName, "(Bez przypisywania oddziału)"_w);
    EXPECT_NE(f.service.LastCheckError().find("REJESTR_LOKALIZACJI"), std::string::npos);
    EXPECT_FALSE(f.dane.IBTransactionR.Active());
    EXPECT_THROW(f.service.ChooseBranch(), fb::Error);
    EXPECT_EQ(f.ctx.SelectedMiejsceId, -1);

    // The next check that succeeds forgets the error.
    EXPECT_TRUE(f.service.CheckServiceTeam().none);
    EXPECT_EQ(f.service.LastCheckError(), "");
}

TEST(ServiceTeamTest, SingleTeamOfTheCompanyIsSettledAndOtherLinksAreNotOffered) {
    Settled f;
    f.AddTeam(1, "SRW", "Serwis główny"_w, "T");
    f.AddTeam(2, "OBC", "Zespół innej firmy"_w, "N");
    f.AddTeam(3, "KLI", "Zespół klienta"_w, "N");
    f.LinkTeam(1, 1, "F", 5);
    f.LinkTeam(2, 2, "F", 6);  // another company's team
    f.LinkTeam(3, 3, "K", 5);  // linked to the company's id, but not as a company

    const context::CheckResult r = f.service.CheckServiceTeam();
    EXPECT_TRUE(r.settled);
    EXPECT_FALSE(r.none);
    EXPECT_TRUE(f.grid.shown.empty());
    EXPECT_EQ(f.ctx.SelectedGsId, 1);
    EXPECT_EQ(f.ctx.SelectedGsPrefix, "SRW");
    EXPECT_EQ(f.ctx.SelectedGsName, "Serwis główny"_w);
    EXPECT_EQ(f.ctx.SelectedGsSharedRegister, "T");
}

TEST(ServiceTeamTest, SeveralTeamsAreChosenInTheReadOnlyWindowWithTheSharedRegisterAsCheckBox) {
    Settled f;
    f.AddTeam(1, "SRW", "Serwis", "T");
    f.AddTeam(2, "MOB", "Mobilny", "N");
    f.AddTeam(3, "KLI", "Nie ten", "T");
    f.LinkTeam(1, 1, "F", 5);
    f.LinkTeam(2, 2, "F", 5);
    f.LinkTeam(3, 3, "X", 5);

    const context::CheckResult r = f.service.CheckServiceTeam();
    EXPECT_FALSE(r.settled);
    EXPECT_FALSE(r.none);
    EXPECT_EQ(f.ctx.SelectedGsId, -1);

    f.grid.PickRowStartingWith("MOB");
    ASSERT_TRUE(f.service.ChooseServiceTeam());
    const ui::GridChoiceRequest& w = f.grid.shown.at(0);
    EXPECT_EQ(w.caption, "Wybór zespołu serwisowego"_w);
    ASSERT_EQ(w.columns.size(), 3u);
    EXPECT_EQ(w.columns[0].title, "Prefix");
    EXPECT_EQ(w.columns[1].title, "Nazwa zespołu serwisowego"_w);
    EXPECT_EQ(w.columns[2].title, "Wspólna ewidencja"_w);
    EXPECT_FALSE(w.columns[1].checkBox);
    EXPECT_TRUE(w.columns[2].checkBox);
    EXPECT_TRUE(w.extraButtons.empty());
    ASSERT_EQ(w.rows.size(), 2u);  // the 'X' link is not offered
    for (const auto& row : w.rows) EXPECT_NE(row[0], "KLI");

    EXPECT_EQ(f.ctx.SelectedGsId, 2);
    EXPECT_EQ(f.ctx.SelectedGsPrefix, "MOB");
    EXPECT_EQ(f.ctx.SelectedGsName, "Mobilny");
    EXPECT_EQ(f.ctx.SelectedGsSharedRegister, "N");

    f.grid.pick = nullptr;
    f.ctx.SelectedGsId = -1;
    EXPECT_FALSE(f.service.ChooseServiceTeam());  // cancel takes nothing
    EXPECT_EQ(f.ctx.SelectedGsId, -1);
}

TEST(ServiceTeamTest, CompanyWithoutTeamIsReportedAsNone) {
    Settled f;
    f.AddTeam(1, "SRW", "Serwis", "T");
    f.LinkTeam(1, 1, "K", 5);

    const context::CheckResult r = f.service.CheckServiceTeam();
    EXPECT_FALSE(r.settled);
    EXPECT_TRUE(r.none);
    EXPECT_EQ(f.ctx.SelectedGsId, -1);
}

TEST(ServiceTeamTest, DatabaseErrorInTheCheckSettlesNothing) {
    Settled f;
    f.db.Exec("DROP TABLE GRUPY_SERWIS_POWIAZANIA");

    const context::CheckResult r = f.service.CheckServiceTeam();
    EXPECT_FALSE(r.settled);
    EXPECT_FALSE(r.none);
    EXPECT_EQ(f.ctx.SelectedGsId, -1);
    EXPECT_NE(f.service.LastCheckError().find("GRUPY_SERWIS_POWIAZANIA"), std::string::npos);
    EXPECT_FALSE(f.dane.IBTransactionR.Active());
}

TEST(ContextStartupTest, OneCompanyAndOneTeamAreSettledWithoutAnyWindow) {
    ContextFixture f;
    f.AddCompany(3, "Firma", "Firma Pełna"_w, "Radom", true);
    f.AddTeam(8, "S1", "Serwis", "N");
    f.LinkTeam(1, 8, "F", 3);

    // The order of the startup, through the interface the main window uses.
    context::ContextSteps& steps = f.service;
    steps.Context().SelectedFirmaId = -1;
    ASSERT_TRUE(steps.CheckOwnerCompany().settled);
    steps.Context().SelectedMiejsceId = -1;
    EXPECT_FALSE(steps.CheckBranches());
    steps.Context().SelectedGsId = -1;
    ASSERT_TRUE(steps.CheckServiceTeam().settled);

    EXPECT_EQ(&steps.Context(), &f.ctx);
    EXPECT_EQ(f.ctx.SelectedFirmaId, 3);
    EXPECT_EQ(f.ctx.SelectedMiejsceId, -1);
    EXPECT_EQ(f.ctx.SelectedGsId, 8);
    EXPECT_TRUE(f.grid.shown.empty());
    EXPECT_TRUE(f.messages.shown.empty());
    f.messages.answers.push_back(ui::Answer::Yes);
    EXPECT_TRUE(steps.ShowChoice());
    EXPECT_NE(f.messages.shown.at(0).text.find("Firma Pełna"_w), std::string::npos);
    EXPECT_FALSE(f.dane.IBQueryR.IsOpen());
}
