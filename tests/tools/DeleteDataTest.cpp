// The delete-data window's behaviour over a real database: the list, the password, the last
// warning, what survives, the generators, and a failure half-way.
#include <gtest/gtest.h>

#include <algorithm>

#include "ToolsFixture.h"
#include "base/Text.h"
#include "support/ScriptedUi.h"
#include "tools/DeleteData.h"
#include "tools/DeleteDataWindow.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::ToolsFixture;

namespace {

struct Item {
    std::string name;
    bool enabled, checked;
};

class RecordedList : public tools::DeleteDataView {
  public:
    std::vector<Item> items;
    std::vector<bool> busy;  // every change of the cursor
    int freezes = 0, messagesRun = 0;

    void ClearTables() override { items.clear(); }
    void AddTable(const std::string& name, bool enabled, bool checked) override {
        items.push_back({name, enabled, checked});
    }
    bool TableChecked(int i) const override {
        return items.at(static_cast<std::size_t>(i)).checked;
    }
    void SetTableChecked(int i, bool checked) override {
        items.at(static_cast<std::size_t>(i)).checked = checked;
    }
    void FreezeTables(bool frozen) override { freezes += frozen ? 1 : 0; }
    void SetBusy(bool b) override { busy.push_back(b); }
    void ProcessPendingMessages() override { ++messagesRun; }

    Item& Named(const std::string& name) {
        for (Item& i : items)
            if (i.name == name) return i;
        throw std::runtime_error("no item " + name);
    }
    void CheckOnly(const std::vector<std::string>& names) {
        for (Item& i : items)
            i.checked = std::find(names.begin(), names.end(), i.name) != names.end();
    }
};

struct Window : ToolsFixture {
    RecordedList list;
    migracja::testing::ScriptedMessageBox messages;
    migracja::testing::ScriptedTextInput input;
    tools::DeleteDataWindow window{dane, list, messages, input};

    Window() {
        db.Exec(
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT) VALUES (3, 'A');"
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT) VALUES (7, 'Właściciel');"
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT) VALUES (9, 'B');"
            "INSERT INTO TELEFONY (TEL_ID, FIRMA_ID, NUMER) VALUES (1, 3, '1234567');"
            "INSERT INTO TELEFONY (TEL_ID, FIRMA_ID, NUMER) VALUES (2, 9, '7654321');"
            "INSERT INTO CENNIK (CENA_ID, NAZWA) VALUES (1, 'Przegląd');"
            "INSERT INTO KODY98 (ID, KOD) VALUES (1, 'K');"
            "INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (7);"
            "SET GENERATOR GEN_REJESTR_FIRM TO 9;"
            "SET GENERATOR GEN_TELEFONY TO 2;"
            "SET GENERATOR GEN_CENNIK TO 1;");
        dane.Target.SelectedFirmaId = 7;
        dane.DefinitionTables = {"REJESTR_FIRM", "TELEFONY", "KODY98"};
        window.BuildList();
    }

    // Types the password and confirms the last warning.
    void Delete(std::optional<std::string> password = "QUMBAR", bool confirm = true) {
        input.answers.push_back(password);
        messages.answers.push_back(confirm ? ui::Answer::Yes : ui::Answer::No);
        window.OnDeleteRecords();
    }
    int Count(const std::string& table) { return db.ScalarInt("SELECT COUNT(*) FROM " + table); }
};

}  // namespace

TEST(DeleteDataTest, ListsUserTablesWithProtectedOnesDisabledAndUsedOnesTicked) {
    Window w;
    std::vector<std::string> names;
    for (const Item& i : w.list.items) names.push_back(i.name);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    for (const Item& i : w.list.items)
        EXPECT_EQ(i.enabled, !tools::IsProtectedTable(i.name)) << i.name;
    EXPECT_EQ(names.size(),
              w.dane.DatabaseTables.size() -
                  std::count_if(w.dane.DatabaseTables.begin(), w.dane.DatabaseTables.end(),
                                [](const std::string& t) { return t.find('$') == 3; }));
    // Ticked exactly where a definition writes the table, disabled ones included.
    EXPECT_TRUE(w.list.Named("REJESTR_FIRM").checked);
    EXPECT_TRUE(w.list.Named("TELEFONY").checked);
    EXPECT_TRUE(w.list.Named("KODY98").checked);
    EXPECT_FALSE(w.list.Named("KODY98").enabled);
    EXPECT_FALSE(w.list.Named("BD_VER").enabled);
    EXPECT_FALSE(w.list.Named("CENNIK").checked);

    w.window.OnUncheckAll();
    for (const Item& i : w.list.items) EXPECT_FALSE(i.checked);
    w.list.Named("CENNIK").checked = true;
    w.window.OnCheckUsed();
    for (const Item& i : w.list.items)
        EXPECT_EQ(i.checked,
                  i.name == "REJESTR_FIRM" || i.name == "TELEFONY" || i.name == "KODY98");
    EXPECT_EQ(w.list.freezes, 2);
}

TEST(DeleteDataTest, FirebirdsOwnTablesAreNeitherListedNorEmptied) {
    Window w;
    // The monitoring and security tables are Firebird's as much as RDB$...: emptying
    // MON$ATTACHMENTS through a server would disconnect every other user.
    for (const char* own : {"RDB$RELATIONS", "MON$ATTACHMENTS", "MON$STATEMENTS", "SEC$USERS"}) {
        SCOPED_TRACE(own);
        EXPECT_TRUE(std::find(w.dane.DatabaseTables.begin(), w.dane.DatabaseTables.end(), own) !=
                    w.dane.DatabaseTables.end());
        EXPECT_TRUE(std::find(w.dane.SystemTables.begin(), w.dane.SystemTables.end(), own) !=
                    w.dane.SystemTables.end());
        EXPECT_TRUE(tools::IsSystemTable(w.dane, own));
        for (const Item& i : w.list.items) EXPECT_NE(i.name, own);
        try {
            tools::DeleteData(w.dane, {"TELEFONY", own});
            ADD_FAILURE() << "accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Tabela "_w + own +
                          " jest tabelą systemową Firebird-a i nie może być wyczyszczona."_w);
        }
        EXPECT_THROW(tools::DeleteTableRows(w.dane, own, false, false), std::invalid_argument);
    }
    // Only Firebird's tables: the user's tables are not marked.
    for (const std::string& t : w.dane.SystemTables) EXPECT_EQ(t.find('$'), 3u) << t;
    EXPECT_FALSE(tools::IsSystemTable(w.dane, "TELEFONY"));
    EXPECT_EQ(w.Count("TELEFONY"), 2);
    EXPECT_GE(w.Count("MON$ATTACHMENTS"), 1);

    // Nor is the lock that keeps a second run out while one runs.
    w.db.Exec("CREATE TABLE MIGRACJA_BLOKADA (ID INTEGER NOT NULL PRIMARY KEY);");
    w.dane.RefreshCatalogue();
    w.window.BuildList();
    for (const Item& i : w.list.items) EXPECT_NE(i.name, "MIGRACJA_BLOKADA");
    EXPECT_EQ(tools::DeleteDataRefusal(w.dane, {"MIGRACJA_BLOKADA"}),
              "Tabela MIGRACJA_BLOKADA jest blokadą migracji, którą program zakłada sam, i nie "
              "może być wyczyszczona."_w);
}

TEST(DeleteDataTest, WrongPasswordCancelAndNoDeleteNothing) {
    Window w;
    w.input.answers = {std::string("qumbar1"), std::nullopt};
    w.window.OnDeleteRecords();
    w.window.OnDeleteRecords();
    EXPECT_TRUE(w.messages.shown.empty());
    EXPECT_EQ(w.input.prompts,
              (std::vector<std::string>{"Hasło zazwalające na usuwanie|Podaj hasło:"_w,
                                        "Hasło zazwalające na usuwanie|Podaj hasło:"_w}));
    w.Delete("QUMBAR", false);
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0].text,
              "Hasło prawidłowe. \r\nCzy na pewno usunąć wszystkie dane z wybranych tabel ?"_w);
    EXPECT_EQ(w.messages.shown[0].caption, "Ostatnie ostrzeżenie"_w);
    EXPECT_EQ(w.messages.shown[0].buttons, ui::Buttons::YesNo);
    EXPECT_EQ(w.Count("REJESTR_FIRM"), 3);
    EXPECT_EQ(w.Count("TELEFONY"), 2);
    EXPECT_TRUE(w.list.busy.empty());
}

TEST(DeleteDataTest, EmptiesTheTicksKeepingTheOwnerAndResetsGenerators) {
    Window w;
    w.list.CheckOnly({"REJESTR_FIRM", "TELEFONY", "CENNIK", "KODY98", "FIRMY_TARVIK"});
    // TELEFONY points at the companies: it must go before REJESTR_FIRM, which the list shows
    // first.
    w.db.Exec(
        "ALTER TABLE TELEFONY ADD CONSTRAINT FK_TEL_FIRMA FOREIGN KEY (FIRMA_ID) REFERENCES "
        "REJESTR_FIRM (FIRMA_ID);");
    w.Delete("qumbar");  // typed in lower case

    EXPECT_EQ(w.Rows("SELECT FIRMA_ID FROM REJESTR_FIRM"), (std::vector<std::string>{"7"}));
    EXPECT_EQ(w.Count("TELEFONY"), 0);
    EXPECT_EQ(w.Count("CENNIK"), 0);
    EXPECT_EQ(w.Count("FIRMY_TARVIK"), 0);
    EXPECT_EQ(w.Count("KODY98"), 1);  // protected, even though ticked
    EXPECT_EQ(w.Generator("GEN_REJESTR_FIRM"), 8);
    EXPECT_EQ(w.Generator("GEN_TELEFONY"), 50000);
    EXPECT_EQ(w.Generator("GEN_CENNIK"), 50000);
    EXPECT_EQ(w.Generator("GEN_KATEGORIE"), 0);  // not ticked
    for (const char* t : {"REJESTR_FIRM", "TELEFONY", "CENNIK", "FIRMY_TARVIK"})
        EXPECT_FALSE(w.list.Named(t).checked) << t;
    EXPECT_TRUE(w.list.Named("KODY98").checked);
    EXPECT_EQ(w.list.busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(w.list.messagesRun, 4);

    ASSERT_EQ(w.messages.shown.size(), 2u);
    EXPECT_EQ(w.messages.shown[1].text, "Usunięto wszytkie rekordy z  4 tabel !"_w);
    EXPECT_EQ(w.messages.shown[1].caption, "Koniec usuwania");
    EXPECT_EQ(w.messages.shown[1].icon, ui::Icon::Information);
}

TEST(DeleteDataTest, KeepsTheFiscalRegisterCategoryAndPointsItsGroupAtItself) {
    Window w;
    w.db.Exec(
        "INSERT INTO KATEGORIE (KATEGORIA_ID, KATEGORIA_NAD_ID, NAZWA, TABELA_DEF_MODEL) VALUES "
        "(12, -1, 'Kasy', 'DEF_KASYFISKALNE_MODEL');");
    // ID_GRUPY_AKCJI of category 12 before, and after the deletion.
    for (const auto& [group, after] : {std::pair{"NULL", "12"}, {"40", "12"}, {"5", "5"}}) {
        w.db.Exec(std::string("UPDATE KATEGORIE SET ID_GRUPY_AKCJI = ") + group +
                  " WHERE KATEGORIA_ID = 12;"
                  "INSERT INTO KATEGORIE (KATEGORIA_ID, KATEGORIA_NAD_ID, TABELA_DEF_MODEL) "
                  "VALUES (13, 12, 'DEF_KASYFISKALNE_MODEL');"
                  "INSERT INTO KATEGORIE (KATEGORIA_ID, KATEGORIA_NAD_ID, TABELA_DEF_MODEL) "
                  "VALUES (30, -1, 'INNE');"
                  "SET GENERATOR GEN_KATEGORIE TO 30;");
        w.list.CheckOnly({"KATEGORIE"});
        w.Delete();
        EXPECT_EQ(w.Rows("SELECT KATEGORIA_ID, ID_GRUPY_AKCJI FROM KATEGORIE"),
                  (std::vector<std::string>{std::string("12|") + after}))
            << group;
        EXPECT_EQ(w.Generator("GEN_KATEGORIE"), 13);
    }
    // Without such a category every row goes and the generator restarts high.
    w.db.Exec("UPDATE KATEGORIE SET TABELA_DEF_MODEL = 'INNE';");
    w.list.CheckOnly({"KATEGORIE"});
    w.Delete();
    EXPECT_EQ(w.Count("KATEGORIE"), 0);
    EXPECT_EQ(w.Generator("GEN_KATEGORIE"), 50000);
}

TEST(DeleteDataTest, AFailureNamesTheTableAndTheTablesAlreadyEmptied) {
    Window w;
    w.db.Exec(
        "INSERT INTO DEF_KASYFISKALNE_MODEL (MODEL_ID, NAZWA) VALUES (1, 'Elzab');"
        "INSERT INTO EWIDENCJA_SPRZETU (SPRZET_ID, MODEL_ID) VALUES (1, 1);"
        "ALTER TABLE EWIDENCJA_SPRZETU ADD CONSTRAINT FK_SPRZET_MODEL FOREIGN KEY (MODEL_ID) "
        "REFERENCES DEF_KASYFISKALNE_MODEL (MODEL_ID);");
    w.list.CheckOnly({"CENNIK", "DEF_KASYFISKALNE_MODEL", "TELEFONY"});
    w.Delete();

    EXPECT_EQ(w.Count("CENNIK"), 0);
    EXPECT_EQ(w.Count("DEF_KASYFISKALNE_MODEL"), 1);
    EXPECT_EQ(w.Count("TELEFONY"), 2);  // after the failure nothing more is touched
    EXPECT_EQ(w.Generator("GEN_TELEFONY"), 2);
    EXPECT_FALSE(w.list.Named("CENNIK").checked);
    EXPECT_TRUE(w.list.Named("DEF_KASYFISKALNE_MODEL").checked);
    EXPECT_EQ(w.list.busy, (std::vector<bool>{true, false}));

    ASSERT_EQ(w.messages.shown.size(), 2u);  // the warning and the failure, no count
    const migracja::testing::ShownMessage& m = w.messages.shown[1];
    EXPECT_EQ(m.icon, ui::Icon::Error);
    EXPECT_EQ(
        m.text.rfind("Nie udało się usunąć rekordów z tabeli DEF_KASYFISKALNE_MODEL :\r\n"_w, 0),
        0u)
        << m.text;
    EXPECT_NE(m.text.find("FK_SPRZET_MODEL"), std::string::npos) << m.text;
    EXPECT_EQ(m.text.substr(m.text.rfind("\r\n") + 2), "Wyczyszczone tabele: CENNIK");
    EXPECT_FALSE(w.dane.IBTransactionR.Active());
}

TEST(DeleteDataTest, RefusesTheCompaniesWhenNoOwnerIsChosen) {
    Window w;
    w.dane.Target.SelectedFirmaId = -1;
    w.list.CheckOnly({"TELEFONY", "REJESTR_FIRM"});
    w.window.OnDeleteRecords();
    EXPECT_TRUE(w.input.prompts.empty());
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0].icon, ui::Icon::Exclamation);
    EXPECT_EQ(w.Count("TELEFONY"), 2);
    EXPECT_EQ(w.Count("REJESTR_FIRM"), 3);

    // The same rules guard the operation itself, for callers without the window.
    EXPECT_THROW(tools::DeleteData(w.dane, {"REJESTR_FIRM"}), std::invalid_argument);
    EXPECT_THROW(tools::DeleteData(w.dane, {"BD_VER"}), std::invalid_argument);
    EXPECT_THROW(tools::DeleteData(w.dane, {"RDB$RELATIONS"}), std::invalid_argument);
    EXPECT_THROW(tools::DeleteData(w.dane, {"TELEFONY; DROP TABLE CENNIK"}), std::invalid_argument);
    EXPECT_EQ(w.Count("BD_VER"), 1);
}
