#include "context/TargetContextService.h"

#include <initializer_list>
#include <optional>
#include <string_view>

#include "base/Text.h"
#include "engine/Dane.h"
#include "engine/UniqueKeyColumn.h"
#include "fb/Fb.h"

namespace migracja::context {

using namespace migracja::literals;

namespace {

// Multi-line SQL as the query components hold it: every line ends with CR LF.
std::string SqlLines(std::initializer_list<std::string> lines) {
    std::string sql;
    for (const std::string& line : lines) sql += line + "\r\n";
    return sql;
}

std::string TeamSql(const std::string& company) {
    return SqlLines({"Select gs.GS_ID, gs.PREFIX, gs.NAZWA, gs.WSPOLNA_EWIDENCJA ",
                     "From GRUPY_SERWIS gs, GRUPY_SERWIS_POWIAZANIA gsp ", "where gsp.typ = 'F' ",
                     " and gsp.gs_id = gs.Gs_id ", " and gsp.POLE_ID = " + company + " "});
}

// Runs a grid window's query on the main transaction and hands every row to perRow. The
// transaction is committed, or rolled back, only when this read started it.
template <class PerRow>
void ReadRows(fb::Query& query, PerRow&& perRow) {
    fb::TransactionScope read(query.GetTransaction(), &query,
                              fb::TransactionScope::Ends::IfStartedHere);
    for (query.Open(); !query.Eof(); query.Next()) perRow(query);
    read.Commit();
}

ui::GridColumn Column(std::string title, int widthChars,
                      ui::GridColumn::Align align = ui::GridColumn::Align::Left,
                      bool checkBox = false) {
    return {std::move(title), widthChars, align, checkBox};
}

bool ChosenRow(const ui::GridChoiceResult& r, std::size_t rowCount) {
    return r.kind == ui::GridChoiceResult::Kind::Row && r.index >= 0 &&
           static_cast<std::size_t>(r.index) < rowCount;
}

}  // namespace

TargetContextService::TargetContextService(engine::TDane& dane, engine::TargetContext& context,
                                           ui::GridChoice& grid, ui::MessageBox& messages)
    : dane_(dane), context_(context), grid_(grid), messages_(messages) {}

void TargetContextService::FailCheck(const std::exception& e) {
    lastCheckError_ = e.what();
}

void TargetContextService::EnsureUniqueKeyColumn() {
    fb::Query& q = dane_.IBQueryR;
    bool present = false;
    {
        fb::TransactionScope read(dane_.IBTransactionR, &q);
        q.SetSql(
            "Select RDB$FIELD_NAME from RDB$RELATION_FIELDS where RDB$RELATION_NAME = "
            "'REJESTR_FIRM'");
        for (q.Open(); !q.Eof(); q.Next())
            if (text::TrimRight(q.Fields(0).AsText()) == engine::kUniqueKeyColumn) present = true;
        read.Commit();
    }
    if (!present) engine::AddUniqueKeyColumn(dane_, "REJESTR_FIRM");
}

CheckResult TargetContextService::CheckOwnerCompany() {
    lastCheckError_.clear();
    // Outside the check's error handling: a table that cannot take the key column stops the
    // startup instead of sending the user to the company window.
    EnsureUniqueKeyColumn();

    const std::int32_t savedId = context_.SelectedFirmaId;
    const std::string savedName = context_.SelectedFirmaName;
    CheckResult result;
    try {
        fb::Query& q = dane_.IBQueryR;
        fb::TransactionScope read(dane_.IBTransactionR, &q);
        q.SetSql(
            "SELECT fs.FIRMA_ID, rf.NAZWA_FIRMY From FIRMY_TARVIK fs, REJESTR_FIRM rf where "
            "(fs.FIRMA_ID = rf.FIRMA_ID)");
        q.Open();
        std::optional<std::pair<std::int32_t, std::string>> only;
        if (q.Eof()) {
            result.none = true;
        } else {
            std::pair<std::int32_t, std::string> first{q.Fields(0).AsInteger(),
                                                       q.Fields(1).AsText()};
            q.Next();
            if (q.Eof()) only = std::move(first);
        }
        q.Close();
        if (only) {
            context_.SelectedFirmaId = only->first;
            context_.SelectedFirmaName = only->second;
            MarkOwnerCompany();  // commits the read transaction and starts it again
            result.settled = true;
        }
        read.Commit();
    } catch (const fb::Error& e) {
        // Nothing is settled, so the company is taken back too: the window's first marking
        // must clear the marker, not write it for a company that was never confirmed.
        context_.SelectedFirmaId = savedId;
        context_.SelectedFirmaName = savedName;
        FailCheck(e);
        return CheckResult{};
    }
    return result;
}

void TargetContextService::MarkOwnerCompany() {
    fb::Statement& st = dane_.IBSQLDel;
    fb::TransactionScope write(dane_.IBTransactionR, nullptr,
                               fb::TransactionScope::Ends::Continues);
    if (context_.SelectedFirmaId < 0)
        st.SetSql("Update REJESTR_FIRM Set DBF_UNQ_KEY = null where DBF_UNQ_KEY = '" +
                  std::string(kOwnerMarker) + "'");
    else
        st.SetSql("Update REJESTR_FIRM Set DBF_UNQ_KEY = '" + std::string(kOwnerMarker) +
                  "', F_SERWIS = 'T' where FIRMA_ID = " + std::to_string(context_.SelectedFirmaId));
    st.ExecQuery();
    write.Commit();
}

std::vector<TargetContextService::Company> TargetContextService::OwnerCompanies() {
    fb::Query q(dane_.IBTransaction1, "IBQueryWyborFirmy");
    q.SetSql(
        SqlLines({"SELECT fs.FIRMA_ID, rf.NAZWA_SKROT, rf.NAZWA_FIRMY,", "rf.MIASTO1",
                  "From FIRMY_TARVIK fs, REJESTR_FIRM rf", "Where (fs.FIRMA_ID = rf.FIRMA_ID)"}));
    std::vector<Company> companies;
    ReadRows(q, [&](fb::Query& row) {
        companies.push_back(
            {row.FieldByName("FIRMA_ID").AsInteger(), row.FieldByName("NAZWA_SKROT").AsText(),
             row.FieldByName("NAZWA_FIRMY").AsText(), row.FieldByName("MIASTO1").AsText()});
    });
    return companies;
}

void TargetContextService::TakeCompany(const Company& company) {
    const std::int32_t savedId = context_.SelectedFirmaId;
    const std::string savedName = context_.SelectedFirmaName;
    try {
        // The first marking runs with no company and so clears the marker everywhere; only the
        // chosen row carries it afterwards.
        context_.SelectedFirmaId = -1;
        MarkOwnerCompany();
        context_.SelectedFirmaId = company.id;
        context_.SelectedFirmaName = company.shortName;
        MarkOwnerCompany();
    } catch (const fb::Error&) {
        // A company whose marker was not written is not settled.
        context_.SelectedFirmaId = savedId;
        context_.SelectedFirmaName = savedName;
        throw;
    }
}

bool TargetContextService::ChooseCompany() {
    const std::vector<Company> companies = OwnerCompanies();
    ui::GridChoiceRequest request;
    request.caption = "Wybór firmy"_w;
    request.columns = {Column("Skrót nazwy"_w, 40), Column("Pełna nazwa firmy"_w, 90),
                       Column("Miasto", 30)};
    for (const Company& c : companies) request.rows.push_back({c.shortName, c.fullName, c.city});

    const ui::GridChoiceResult answer = grid_.Choose(request);
    if (!ChosenRow(answer, companies.size())) return false;
    TakeCompany(companies[static_cast<std::size_t>(answer.index)]);
    return true;
}

bool TargetContextService::CheckBranches() {
    lastCheckError_.clear();
    try {
        fb::Query& q = dane_.IBQueryR;
        fb::TransactionScope read(dane_.IBTransactionR, &q);
        q.SetSql(SqlLines({"Select Count(*) from REJESTR_LOKALIZACJI ",
                           " where FIRMA_ID = " + std::to_string(context_.SelectedFirmaId) + " "}));
        q.Open();
        const bool hasBranches = !q.Eof() && q.Fields(0).AsInt64() > 0;
        read.Commit();
        context_.SelectedMiejsceName =
            hasBranches ? "(Bez przypisywania oddziału)"_w : "(Nie zdefiniowano oddziałów)"_w;
        return hasBranches;
    } catch (const fb::Error& e) {
        FailCheck(e);
        // Whether branches exist is unknown: the branch window lets the user decide (or shows
        // the failure again), rather than migrating as if the company had none.
        context_.SelectedMiejsceName = "(Bez przypisywania oddziału)"_w;
        return true;
    }
}

std::vector<TargetContextService::Branch> TargetContextService::Branches() {
    fb::Query q(dane_.IBTransaction1, "IBQueryWyborOddzialu");
    q.SetSql(
        SqlLines({"Select  MIEJSCE_ID,  NAZWA_MIEJSCA,  KOD_POCZTOWY ,",
                  "MIASTO_POCZTA, MIASTO,  ULICA,  NR_DOMU, NR_LOKALU", "From  REJESTR_LOKALIZACJI",
                  "Where  FIRMA_ID = :pFIRMA_ID", "Order by NAZWA_MIEJSCA"}));
    q.ParamByName("pFIRMA_ID").SetInteger(context_.SelectedFirmaId);
    std::vector<Branch> branches;
    ReadRows(q, [&](fb::Query& row) {
        branches.push_back(
            {row.FieldByName("MIEJSCE_ID").AsInteger(), row.FieldByName("NAZWA_MIEJSCA").AsText(),
             row.FieldByName("KOD_POCZTOWY").AsText(), row.FieldByName("MIASTO_POCZTA").AsText(),
             row.FieldByName("MIASTO").AsText(), row.FieldByName("ULICA").AsText(),
             row.FieldByName("NR_DOMU").AsText(), row.FieldByName("NR_LOKALU").AsText()});
    });
    return branches;
}

void TargetContextService::TakeBranch(const Branch& branch) {
    context_.SelectedMiejsceId = branch.id;
    context_.SelectedMiejsceName = branch.name;
}

void TargetContextService::TakeNoBranch() {
    context_.SelectedMiejsceId = -2;  // the name keeps "(Bez przypisywania oddziału)"
}

bool TargetContextService::ChooseBranch() {
    const std::vector<Branch> branches = Branches();
    ui::GridChoiceRequest request;
    request.caption = "Wybór lokalizacji (0ddziału)"_w;
    request.columns = {
        Column("Nazwa miejsca", 45), Column("kod poczt.", 10),
        Column("Miasto-poczta", 30), Column("Miejscowość"_w, 30),
        Column("Ulica", 34),         Column("Nr domu", 7, ui::GridColumn::Align::Center),
        Column("Nr lokalu", 3)};
    request.extraButtons = {"Bez wyboru"};
    for (const Branch& b : branches)
        request.rows.push_back(
            {b.name, b.postalCode, b.postTown, b.town, b.street, b.house, b.flat});

    const ui::GridChoiceResult answer = grid_.Choose(request);
    if (answer.kind == ui::GridChoiceResult::Kind::Button && answer.index == 0) {
        TakeNoBranch();
        return true;
    }
    if (!ChosenRow(answer, branches.size())) return false;
    TakeBranch(branches[static_cast<std::size_t>(answer.index)]);
    return true;
}

void TargetContextService::TakeTeam(const Team& team) {
    context_.SelectedGsId = team.id;
    context_.SelectedGsPrefix = team.prefix;
    context_.SelectedGsName = team.name;
    context_.SelectedGsSharedRegister = team.sharedRegister;
}

CheckResult TargetContextService::CheckServiceTeam() {
    lastCheckError_.clear();
    CheckResult result;
    try {
        fb::Query& q = dane_.IBQueryR;
        fb::TransactionScope read(dane_.IBTransactionR, &q);
        q.SetSql(TeamSql(std::to_string(context_.SelectedFirmaId)));
        q.Open();
        std::optional<Team> only;
        if (q.Eof()) {
            result.none = true;
        } else {
            Team first{q.Fields(0).AsInteger(), q.Fields(1).AsText(), q.Fields(2).AsText(),
                       q.Fields(3).AsText()};
            q.Next();
            if (q.Eof()) only = std::move(first);
        }
        read.Commit();
        if (only) {
            TakeTeam(*only);
            result.settled = true;
        }
    } catch (const fb::Error& e) {
        FailCheck(e);
        return CheckResult{};
    }
    return result;
}

std::vector<TargetContextService::Team> TargetContextService::ServiceTeams() {
    fb::Query q(dane_.IBTransaction1, "IBQueryZespolSerwisowy");
    q.SetSql(TeamSql(":pNF_ID"));
    q.ParamByName("pNF_ID").SetInteger(context_.SelectedFirmaId);
    std::vector<Team> teams;
    ReadRows(q, [&](fb::Query& row) {
        teams.push_back({row.Fields(0).AsInteger(), row.Fields(1).AsText(), row.Fields(2).AsText(),
                         row.Fields(3).AsText()});
    });
    return teams;
}

bool TargetContextService::ChooseServiceTeam() {
    const std::vector<Team> teams = ServiceTeams();
    ui::GridChoiceRequest request;
    request.caption = "Wybór zespołu serwisowego"_w;
    request.columns = {Column("Prefix", 8), Column("Nazwa zespołu serwisowego"_w, 50),
                       Column("Wspólna ewidencja"_w, 0, ui::GridColumn::Align::Center, true)};
    for (const Team& t : teams) request.rows.push_back({t.prefix, t.name, t.sharedRegister});

    const ui::GridChoiceResult answer = grid_.Choose(request);
    if (!ChosenRow(answer, teams.size())) return false;
    TakeTeam(teams[static_cast<std::size_t>(answer.index)]);
    return true;
}

std::string TargetContextService::ChoiceText() const {
    std::string s = "Po uruchomieniu programu wybrano: \r\n"_w;
    s += "Firma (właściciel) :  "_w + context_.SelectedFirmaName + " , \r\n";
    if (context_.SelectedMiejsceId >= 0) s += "Oddział :  "_w;
    s += context_.SelectedMiejsceName + " , \r\n";
    s += "Zespół serwisowy :  "_w + context_.SelectedGsName + "  ! \r\n\r\n";
    s += "Czy akceptujesz ten wybór ?"_w;
    return s;
}

bool TargetContextService::ShowChoice() {
    return messages_.Ask(ChoiceText(), "Migracja dla...");
}

}  // namespace migracja::context
