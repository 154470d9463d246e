// The three choice windows as the context service opens them over a real database, under the
// offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <functional>

#include "app/ChoiceWindow.h"
#include "base/Text.h"
#include "config/Connection.h"
#include "context/TargetContextService.h"
#include "engine/Dane.h"
#include "support/ScriptedUi.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::app::ChoiceWindow;

namespace {

struct Shown {
    QString title;
    QStringList headers;
    std::vector<Qt::Alignment> headerAlignments;
    QStringList buttons;
    QString defaultButton;
    std::vector<QStringList> cells;
    std::vector<std::vector<Qt::CheckState>> checks;
    std::vector<std::vector<Qt::Alignment>> alignments;
    bool editable = false;
};

QTableWidget& Grid(ChoiceWindow& w) {
    return *w.findChild<QTableWidget*>();
}

QPushButton& Button(ChoiceWindow& w, const QString& text) {
    for (QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == text) return *b;
    throw std::runtime_error("no button " + text.toStdString());
}

Shown Inspect(ChoiceWindow& w) {
    Shown s;
    s.title = w.windowTitle();
    QTableWidget& g = Grid(w);
    for (int c = 0; c < g.columnCount(); ++c) {
        s.headers << g.horizontalHeaderItem(c)->text();
        s.headerAlignments.push_back(g.horizontalHeader()->defaultAlignment());
    }
    for (QPushButton* b : w.findChildren<QPushButton*>()) {
        s.buttons << b->text();
        if (b->isDefault()) s.defaultButton = b->text();
    }
    for (int r = 0; r < g.rowCount(); ++r) {
        QStringList row;
        std::vector<Qt::CheckState> checks;
        std::vector<Qt::Alignment> aligns;
        for (int c = 0; c < g.columnCount(); ++c) {
            const QTableWidgetItem* item = g.item(r, c);
            row << item->text();
            const QVariant check = item->data(Qt::CheckStateRole);
            checks.push_back(check.isValid() ? check.value<Qt::CheckState>()
                                             : Qt::PartiallyChecked);  // no check box
            aligns.push_back(Qt::Alignment(item->textAlignment()) & Qt::AlignHorizontal_Mask);
            if (item->flags() & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)) s.editable = true;
        }
        s.cells.push_back(row);
        s.checks.push_back(checks);
        s.alignments.push_back(aligns);
    }
    return s;
}

void DoubleClick(ChoiceWindow& w, int row) {
    QTableWidget& g = Grid(w);
    QWidget* viewport = g.viewport();
    const QPointF at = g.visualItemRect(g.item(row, 0)).center();
    const QPointF global = viewport->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent e(type, at, global, Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(viewport, &e);
    }
}

// Opens the real window for every request of the core, records what it shows and lets the test
// act on it; the window's own answer goes back to the core.
class WindowDriver : public ui::GridChoice {
  public:
    std::function<void(ChoiceWindow&)> act;
    std::vector<Shown> shown;

    ui::GridChoiceResult Choose(const ui::GridChoiceRequest& request) override {
        ChoiceWindow w(request);
        w.show();
        QApplication::processEvents();
        shown.push_back(Inspect(w));
        if (act) act(w);
        EXPECT_FALSE(w.isVisible()) << "the action closes the window";
        return w.Result();
    }
};

struct Fixture {
    migracja::testing::TestDatabase db;
    engine::TDane dane;
    engine::TargetContext ctx;
    WindowDriver windows;
    migracja::testing::ScriptedMessageBox messages;
    context::TargetContextService service{dane, ctx, windows, messages};

    Fixture() {
        db.Exec(
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, MIASTO1) VALUES "
            "(1, 'ABC', 'ABC Serwis', 'Radom');"
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, MIASTO1) VALUES "
            "(2, 'Żuraw', 'Żuraw Kasy Fiskalne', 'Łódź');"
            "INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (1);"
            "INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (2);"
            "INSERT INTO REJESTR_LOKALIZACJI (MIEJSCE_ID, FIRMA_ID, NAZWA_MIEJSCA, KOD_POCZTOWY, "
            "MIASTO_POCZTA, MIASTO, ULICA, NR_DOMU, NR_LOKALU) VALUES "
            "(10, 2, 'Biuro', '90-001', 'Łódź', 'Łódź', 'Piotrkowska', '12a', '3');"
            "INSERT INTO REJESTR_LOKALIZACJI (MIEJSCE_ID, FIRMA_ID, NAZWA_MIEJSCA, KOD_POCZTOWY, "
            "MIASTO_POCZTA, MIASTO, ULICA, NR_DOMU, NR_LOKALU) VALUES "
            "(11, 2, 'Sklep', '95-100', 'Zgierz', 'Zgierz', 'Długa', '7', '');"
            "INSERT INTO GRUPY_SERWIS (GS_ID, PREFIX, NAZWA, WSPOLNA_EWIDENCJA) VALUES "
            "(1, 'SRW', 'Serwis główny', 'T');"
            "INSERT INTO GRUPY_SERWIS (GS_ID, PREFIX, NAZWA, WSPOLNA_EWIDENCJA) VALUES "
            "(2, 'MOB', 'Mobilny', 'N');"
            "INSERT INTO GRUPY_SERWIS_POWIAZANIA (GSP_ID, GS_ID, TYP, POLE_ID) VALUES (1, 1, 'F', "
            "2);"
            "INSERT INTO GRUPY_SERWIS_POWIAZANIA (GSP_ID, GS_ID, TYP, POLE_ID) VALUES (2, 2, 'F', 2);"_w);
        config::OpenDatabase(dane.IBDatabase1, db.Location(), "SYSDBA", "x");
        service.CheckOwnerCompany();  // two owners: nothing settled
    }
};

}  // namespace

TEST(ChoiceWindowTest, CompanyWindowShowsItsColumnsAndDoubleClickConfirmsTheRow) {
    Fixture f;
    int zuraw = -1;
    f.windows.act = [&](ChoiceWindow& w) {
        QTableWidget& g = Grid(w);
        for (int r = 0; r < g.rowCount(); ++r)
            if (g.item(r, 0)->text() == QString::fromUtf8("Żuraw")) zuraw = r;
        DoubleClick(w, zuraw);
    };
    ASSERT_TRUE(f.service.ChooseCompany());

    const Shown& s = f.windows.shown.at(0);
    EXPECT_EQ(s.title, QString::fromUtf8("Wybór firmy"));
    EXPECT_EQ(s.headers, QStringList({QString::fromUtf8("Skrót nazwy"),
                                      QString::fromUtf8("Pełna nazwa firmy"), "Miasto"}));
    for (Qt::Alignment a : s.headerAlignments) EXPECT_EQ(a, Qt::AlignCenter);
    EXPECT_EQ(s.buttons, QStringList({"&Wybierz", "&Anuluj"}));
    EXPECT_EQ(s.defaultButton, "&Wybierz");
    EXPECT_FALSE(s.editable);
    ASSERT_EQ(s.cells.size(), 2u);
    ASSERT_GE(zuraw, 0);
    EXPECT_EQ(s.cells[static_cast<std::size_t>(zuraw)],
              QStringList({QString::fromUtf8("Żuraw"), QString::fromUtf8("Żuraw Kasy Fiskalne"),
                           QString::fromUtf8("Łódź")}));
    EXPECT_EQ(f.ctx.SelectedFirmaId, 2);
    EXPECT_EQ(f.ctx.SelectedFirmaName, "Żuraw"_w);
}

TEST(ChoiceWindowTest, CompanyWindowConfirmsTheCurrentRowWithWybierzAndCancelsWithAnuluj) {
    Fixture f;
    QString picked;
    f.windows.act = [&](ChoiceWindow& w) {
        Grid(w).setCurrentCell(1, 2);
        picked = Grid(w).item(1, 0)->text();
        Button(w, "&Wybierz").click();
    };
    ASSERT_TRUE(f.service.ChooseCompany());
    EXPECT_EQ(f.ctx.SelectedFirmaId, picked == "ABC" ? 1 : 2);

    f.windows.act = [&](ChoiceWindow& w) { Button(w, "&Anuluj").click(); };
    const auto before = f.ctx.SelectedFirmaId;
    EXPECT_FALSE(f.service.ChooseCompany());
    EXPECT_EQ(f.ctx.SelectedFirmaId, before);
}

TEST(ChoiceWindowTest, BranchWindowShowsSevenColumnsWithCentredHouseNumberAndNoBranchButton) {
    Fixture f;
    f.ctx.SelectedFirmaId = 2;
    ASSERT_TRUE(f.service.CheckBranches());
    f.windows.act = [&](ChoiceWindow& w) { Button(w, "Bez wyboru").click(); };
    ASSERT_TRUE(f.service.ChooseBranch());
    EXPECT_EQ(f.ctx.SelectedMiejsceId, -2);

    const Shown& s = f.windows.shown.at(0);
    EXPECT_EQ(s.title, QString::fromUtf8("Wybór lokalizacji (0ddziału)"));
    EXPECT_EQ(s.headers,
              QStringList({"Nazwa miejsca", "kod poczt.", "Miasto-poczta",
                           QString::fromUtf8("Miejscowość"), "Ulica", "Nr domu", "Nr lokalu"}));
    EXPECT_EQ(s.buttons, QStringList({"&Wybierz", "Bez wyboru", "&Anuluj"}));
    EXPECT_EQ(s.defaultButton, "&Wybierz");
    ASSERT_EQ(s.cells.size(), 2u);
    EXPECT_EQ(s.cells[0], QStringList({"Biuro", "90-001", QString::fromUtf8("Łódź"),
                                       QString::fromUtf8("Łódź"), "Piotrkowska", "12a", "3"}));
    EXPECT_EQ(s.alignments[0][5], Qt::AlignHCenter);
    EXPECT_EQ(s.alignments[0][4], Qt::AlignLeft);

    f.windows.act = [&](ChoiceWindow& w) { DoubleClick(w, 1); };
    ASSERT_TRUE(f.service.ChooseBranch());
    EXPECT_EQ(f.ctx.SelectedMiejsceId, 11);
    EXPECT_EQ(f.ctx.SelectedMiejsceName, "Sklep");

    f.windows.act = [&](ChoiceWindow& w) { w.close(); };  // the close box cancels
    EXPECT_FALSE(f.service.ChooseBranch());
    EXPECT_EQ(f.ctx.SelectedMiejsceId, 11);
}

TEST(ChoiceWindowTest, TeamWindowShowsTheSharedRegisterAsReadOnlyCheckBoxes) {
    Fixture f;
    f.ctx.SelectedFirmaId = 2;
    ASSERT_FALSE(f.service.CheckServiceTeam().settled);
    int mobilny = -1;
    f.windows.act = [&](ChoiceWindow& w) {
        for (int r = 0; r < Grid(w).rowCount(); ++r)
            if (Grid(w).item(r, 0)->text() == "MOB") mobilny = r;
        Grid(w).setCurrentCell(mobilny, 0);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);  // Enter presses the default button
    };
    ASSERT_TRUE(f.service.ChooseServiceTeam());

    const Shown& s = f.windows.shown.at(0);
    EXPECT_EQ(s.title, QString::fromUtf8("Wybór zespołu serwisowego"));
    EXPECT_EQ(s.headers, QStringList({"Prefix", QString::fromUtf8("Nazwa zespołu serwisowego"),
                                      QString::fromUtf8("Wspólna ewidencja")}));
    EXPECT_EQ(s.buttons, QStringList({"&Wybierz", "&Anuluj"}));
    EXPECT_FALSE(s.editable);
    ASSERT_EQ(s.cells.size(), 2u);
    ASSERT_GE(mobilny, 0);
    const std::size_t srw = mobilny == 0 ? 1 : 0;
    EXPECT_EQ(s.checks[srw][2], Qt::Checked);
    EXPECT_EQ(s.checks[static_cast<std::size_t>(mobilny)][2], Qt::Unchecked);
    EXPECT_EQ(s.checks[srw][1], Qt::PartiallyChecked);  // the name column has no check box
    EXPECT_EQ(s.cells[srw][2], "");                     // the box stands instead of "T"

    EXPECT_EQ(f.ctx.SelectedGsId, 2);
    EXPECT_EQ(f.ctx.SelectedGsPrefix, "MOB");
    EXPECT_EQ(f.ctx.SelectedGsSharedRegister, "N");
}

TEST(ChoiceWindowTest, EmptyGridCannotBeConfirmed) {
    ui::GridChoiceRequest r;
    r.caption = "Wybór firmy"_w;
    r.columns = {{"Miasto", 30, ui::GridColumn::Align::Left, false}};
    ChoiceWindow w(r);
    w.show();
    EXPECT_FALSE(Button(w, "&Wybierz").isEnabled());
    Button(w, "&Wybierz").click();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Result().kind, ui::GridChoiceResult::Kind::Cancelled);
}

TEST(ChoiceWindowTest, DesktopSeamRunsTheWindowModally) {
    ui::GridChoiceRequest r;
    r.caption = "Wybór zespołu serwisowego"_w;
    r.columns = {{"Prefix", 8, ui::GridColumn::Align::Left, false}};
    r.rows = {{"A"}, {"B"}};
    app::ModalChoiceWindows seam;
    QTimer::singleShot(0, [] {
        auto* w = qobject_cast<ChoiceWindow*>(QApplication::activeModalWidget());
        if (!w) {
            ADD_FAILURE() << "no modal choice window";
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
            return;
        }
        Grid(*w).setCurrentCell(1, 0);
        Button(*w, "&Wybierz").click();
    });
    const ui::GridChoiceResult result = seam.Choose(r);
    EXPECT_EQ(result.kind, ui::GridChoiceResult::Kind::Row);
    EXPECT_EQ(result.index, 1);
}
