// The delete-data window and the main window's maintenance commands, wired as the program wires
// them, over a real database under the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/FormZerujDB.h"
#include "app/Program.h"
#include "base/Text.h"
#include "config/Connection.h"
#include "engine/Dane.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::app::TFormZerujDB;

namespace {

QStringList ActionTexts(const QWidget* w) {
    QStringList texts;
    for (const QAction* a : w->actions()) texts << a->text();
    return texts;
}

QListWidgetItem* Item(QListWidget& list, const QString& text) {
    const auto found = list.findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
}

// Runs `act` on the next modal window the event loop shows, then closes it.
void OnNextModal(std::function<void(QWidget&)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr);
        act(*w);
        if (QApplication::activeModalWidget() != w) return;
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->buttons().front()->click();
        else
            w->close();
    });
}

QString MessageTextOf(QWidget& w) {
    auto* box = qobject_cast<QMessageBox*>(&w);
    return box ? box->text() : QStringLiteral("(no message box)");
}

}  // namespace

TEST(MaintenanceWindowTest, DeleteDataWindowListsTicksAndEmptiesTables) {
    migracja::testing::TestDatabase db;
    db.Exec(
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (1, '1234567');"
        "INSERT INTO CENNIK (CENA_ID, NAZWA) VALUES (1, 'A');");
    engine::TDane dane;
    config::OpenDatabase(dane.IBDatabase1, db.Location(), "SYSDBA", "x");
    dane.RefreshCatalogue();
    dane.DefinitionTables = {"TELEFONY", "WALUTY"};
    migracja::testing::ScriptedMessageBox messages;
    migracja::testing::ScriptedTextInput input;

    TFormZerujDB w(dane, messages, input);
    w.Controller().BuildList();
    w.show();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Usuwanie rekordów z tabel TARVIK 3 "));
    EXPECT_EQ(
        w.Warning()->text(),
        QStringLiteral("UWAGA !!!\nUsuwanie wszyskich\ndanych z zaznaczonych\ntabel TARVIK !!"));
    EXPECT_TRUE(w.Warning()->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(w.DeleteButton()->text(), QStringLiteral("Usuń rekordy"));
    EXPECT_EQ(w.ExitButton()->text(), QStringLiteral("Wyjście"));
    EXPECT_EQ(ActionTexts(w.TableList()), (QStringList{QStringLiteral("Zaznacz używane"),
                                                       QStringLiteral("Odznacz wszystkie")}));

    QListWidget& list = *w.TableList();
    // Firebird's own tables are not offered: emptying MON$ATTACHMENTS would disconnect users.
    for (const QString& own :
         {QStringLiteral("RDB$"), QStringLiteral("MON$"), QStringLiteral("SEC$")})
        EXPECT_EQ(list.findItems(own, Qt::MatchStartsWith).size(), 0) << own.toStdString();
    QListWidgetItem* telefony = Item(list, QStringLiteral("TELEFONY"));
    QListWidgetItem* waluty = Item(list, QStringLiteral("WALUTY"));
    QListWidgetItem* cennik = Item(list, QStringLiteral("CENNIK"));
    ASSERT_TRUE(telefony && waluty && cennik);
    EXPECT_EQ(telefony->checkState(), Qt::Checked);
    EXPECT_EQ(waluty->checkState(), Qt::Checked);
    EXPECT_FALSE(waluty->flags() & Qt::ItemIsEnabled);
    EXPECT_EQ(cennik->checkState(), Qt::Unchecked);

    w.TableList()->actions()[1]->trigger();  // "Odznacz wszystkie"
    EXPECT_EQ(telefony->checkState(), Qt::Unchecked);
    EXPECT_EQ(waluty->checkState(), Qt::Unchecked);
    w.TableList()->actions()[0]->trigger();  // "Zaznacz używane"
    EXPECT_EQ(telefony->checkState(), Qt::Checked);
    EXPECT_EQ(waluty->checkState(), Qt::Checked);

    input.answers.push_back(std::string("Qumbar"));
    messages.answers.push_back(ui::Answer::Yes);
    w.DeleteButton()->click();
    EXPECT_EQ(db.ScalarInt("SELECT COUNT(*) FROM TELEFONY"), 0);
    EXPECT_EQ(db.ScalarInt("SELECT COUNT(*) FROM CENNIK"), 1);
    EXPECT_EQ(telefony->checkState(), Qt::Unchecked);
    EXPECT_EQ(waluty->checkState(), Qt::Checked);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "Usunięto wszytkie rekordy z  1 tabel !"_w);

    w.ExitButton()->click();
    EXPECT_FALSE(w.isVisible());
}

TEST(MaintenanceWindowTest, TheProgramWiresTheMaintenanceCommandsToTheMainWindow) {
    migracja::testing::TestDatabase db;
    db.Exec(
        "INSERT INTO EWIDENCJA_SPRZETU (SPRZET_ID, NR_FABRYCZNY) VALUES (1, 'AB 12');"
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (1, '1234567, 7654321');"
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (2, 'fax 1234567, mob 765');"
        "SET GENERATOR GEN_TELEFONY TO 10;");
    migracja::testing::TempDir dir{"migracja-app"};
    app::TProgram program(dir.path());
    config::OpenDatabase(program.Dane().IBDatabase1, db.Location(), "SYSDBA", "x");
    program.Dane().RefreshCatalogue();
    QWidget* panel = program.FormMigracji().ButtonPanel();

    QString shown;
    OnNextModal([&](QWidget& w) { shown = MessageTextOf(w); });
    panel->actions()[0]->trigger();  // "Usuń spacje z nr fabrycznego"
    EXPECT_EQ(shown,
              QStringLiteral("Liczba rekordów w których z numeru fabrycznego usunięto spacje = 1"));
    EXPECT_EQ(db.Scalar("SELECT NR_FABRYCZNY FROM EWIDENCJA_SPRZETU"), "AB12");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    OnNextModal([&](QWidget& w) { shown = MessageTextOf(w); });
    panel->actions()[1]->trigger();  // "Rozłącz sklejone nr-y telefonów"
    // The row that could not be read does not change the box; it is counted under the bars.
    EXPECT_EQ(shown, QStringLiteral("Liczba rekordów w których rozłączono numery telefonów = 2"));
    EXPECT_EQ(program.FormMigracji().Note(),
              QStringLiteral(
                  "Liczba rekordów pozostawionych bez zmian (nie udało się odczytać numerów) = 1"));
    EXPECT_EQ(db.ScalarInt("SELECT COUNT(*) FROM TELEFONY"), 3);

    QString title, passwordTitle;
    int tables = 0;
    bool overTheWindow = false;
    OnNextModal([&](QWidget& w) {
        title = w.windowTitle();
        auto* form = qobject_cast<TFormZerujDB*>(&w);
        if (!form) return;
        tables = form->TableList()->count();
        form->TableList()->actions()[1]->trigger();  // "Odznacz wszystkie"
        // The password box opens over the delete window; cancelling it deletes nothing.
        OnNextModal([&](QWidget& box) {
            passwordTitle = box.windowTitle();
            overTheWindow = box.parentWidget() == form;
        });
        form->DeleteButton()->click();
    });
    program.FormMigracji().Button(shell::Control::DeleteData)->click();
    EXPECT_EQ(title, QStringLiteral("Usuwanie rekordów z tabel TARVIK 3 "));
    EXPECT_GT(tables, 10);
    EXPECT_EQ(passwordTitle, QStringLiteral("Hasło zazwalające na usuwanie"));
    EXPECT_TRUE(overTheWindow);
    EXPECT_EQ(db.ScalarInt("SELECT COUNT(*) FROM TELEFONY"), 3);
}
