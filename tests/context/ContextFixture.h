#pragma once
// A fresh sample database, a data module connected to it the way the program connects, and the
// context service with scripted windows.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "config/Connection.h"
#include "config/Ui.h"
#include "context/TargetContextService.h"
#include "engine/Dane.h"
#include "support/ScriptedUi.h"
#include "support/TestDatabase.h"

namespace migracja::testing {

// Records every window the core opens; answers from a queue, then from pick (which sees the
// rows), else cancels.
class ScriptedGridChoice : public ui::GridChoice {
  public:
    std::vector<ui::GridChoiceRequest> shown;
    std::deque<ui::GridChoiceResult> answers;
    std::function<ui::GridChoiceResult(const ui::GridChoiceRequest&)> pick;

    // Picks the row whose first cell is text.
    void PickRowStartingWith(std::string text) {
        pick = [text](const ui::GridChoiceRequest& r) {
            for (std::size_t i = 0; i < r.rows.size(); ++i)
                if (!r.rows[i].empty() && r.rows[i][0] == text)
                    return ui::GridChoiceResult::Row(static_cast<int>(i));
            return ui::GridChoiceResult::Cancelled();
        };
    }

    ui::GridChoiceResult Choose(const ui::GridChoiceRequest& request) override {
        shown.push_back(request);
        if (answers.empty()) return pick ? pick(request) : ui::GridChoiceResult::Cancelled();
        const ui::GridChoiceResult a = answers.front();
        answers.pop_front();
        return a;
    }
};

struct ContextFixture {
    TestDatabase db;
    engine::TDane dane;
    engine::TargetContext ctx;
    ScriptedGridChoice grid;
    ScriptedMessageBox messages;
    context::TargetContextService service{dane, ctx, grid, messages};

    ContextFixture() { config::OpenDatabase(dane.IBDatabase1, db.Location(), "SYSDBA", "x"); }

    // A row of REJESTR_FIRM; owner companies are listed in FIRMY_TARVIK too.
    void AddCompany(int id, const std::string& shortName, const std::string& fullName,
                    const std::string& city, bool owner) {
        db.Exec("INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, MIASTO1) VALUES (" +
                std::to_string(id) + ", '" + shortName + "', '" + fullName + "', '" + city + "')");
        if (owner)
            db.Exec("INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (" + std::to_string(id) + ")");
    }
    void AddBranch(int id, int company, const std::string& name, const std::string& nrDomu = "1") {
        db.Exec(
            "INSERT INTO REJESTR_LOKALIZACJI (MIEJSCE_ID, FIRMA_ID, NAZWA_MIEJSCA, KOD_POCZTOWY, "
            "MIASTO_POCZTA, MIASTO, ULICA, NR_DOMU, NR_LOKALU) VALUES (" +
            std::to_string(id) + ", " + std::to_string(company) + ", '" + name +
            "', '00-001', 'Warszawa', 'Warszawa', 'Prosta', '" + nrDomu + "', '2')");
    }
    void AddTeam(int id, const std::string& prefix, const std::string& name,
                 const std::string& shared) {
        db.Exec("INSERT INTO GRUPY_SERWIS (GS_ID, PREFIX, NAZWA, WSPOLNA_EWIDENCJA) VALUES (" +
                std::to_string(id) + ", '" + prefix + "', '" + name + "', '" + shared + "')");
    }
    void LinkTeam(int linkId, int team, const std::string& typ, int poleId) {
        db.Exec("INSERT INTO GRUPY_SERWIS_POWIAZANIA (GSP_ID, GS_ID, TYP, POLE_ID) VALUES (" +
                std::to_string(linkId) + ", " + std::to_string(team) + ", '" + typ + "', " +
                std::to_string(poleId) + ")");
    }
    void AddKeyColumn() {
        db.Exec("ALTER TABLE REJESTR_FIRM ADD DBF_UNQ_KEY VARCHAR(40) COLLATE PXW_PLK");
    }
    // FIRMA_IDs carrying the owner marker, in order, e.g. "2,5".
    std::string MarkedCompanies() {
        return db.Scalar(
            "SELECT CAST(LIST(FIRMA_ID, ',') AS VARCHAR(200)) FROM (SELECT FIRMA_ID FROM "
            "REJESTR_FIRM WHERE "
            "DBF_UNQ_KEY = '  0' ORDER BY FIRMA_ID)");
    }
};

}  // namespace migracja::testing
