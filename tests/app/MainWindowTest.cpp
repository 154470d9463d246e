#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "../shell/ShellFixture.h"
#include "app/Application.h"
#include "app/FormMigracji.h"
#include "app/FormSetToDbf.h"
#include "app/FormWait.h"
#include "app/QtUi.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::app::TFormMigracji;
using migracja::shell::Control;
using migracja::testing::ScriptedFolderChoice;
namespace mt = migracja::testing;

namespace {

// The real main window wired to the real controller, data module and loader, with scripted
// answers for the message boxes and the target context, driven by Qt's own timer.
struct QtProgram {
    mt::TestDatabase database;
    mt::TempDir dir{"migracja-app"};
    std::filesystem::path dbfFolder = dir / "dbf";
    std::filesystem::path definitions = dir / "Definicje Migracji";

    TFormMigracji window;
    app::TFormWait wait;
    mt::ScriptedMessageBox messages;
    engine::TDane dane;
    mt::FakeClock clock;
    definitions::TFormIni loader{dane, messages};
    mt::FakeProgress progress{dane, loader, clock};
    mt::FakeContext context;
    mt::ScriptedFolderDialog folderDialog;
    mt::RecordingReport report{dane};
    app::QtOneShotTimer timer{[this] { controller.OnTimer(); }};
    shell::MigrationController controller{shell::ControllerParts{dir.path(), dane, loader, window,
                                                                 progress, context, folderDialog,
                                                                 report, messages, timer, clock}};
    int quits = 0;

    QtProgram() {
        window.TakeImages(wait);
        window.SetController(&controller);
        window.SetQuitHandler([this] { ++quits; });
        config::WriteDbSettings(dir.path(), database.Location(), std::nullopt, "x");
        std::filesystem::create_directories(dbfFolder);
        std::filesystem::create_directories(definitions);
        config::WriteDbfFolder(dir.path(), dbfFolder.string());
    }
    ~QtProgram() {
        timer.Stop();
        window.SetController(nullptr);
    }

    void WriteSource(const std::string& name, bool versionField = false) {
        mt::DbfWriter w;
        w.Field("NR", 'N', 4);
        if (versionField) w.Field("FORMALNE", 'C', 1);
        w.Record(versionField ? std::vector<std::string>{"1", "T"} : std::vector<std::string>{"1"})
            .WriteTo(dbfFolder / name);
    }
    void WriteDefinition(const std::string& name, const std::string& dbfFile) {
        mt::WriteFileBytes(definitions / name,
                           "[START]\r\nPlikDBF=" + dbfFile + "\r\nTabela_0=TELEFONY\r\n");
    }

    // Shows the window and lets the event loop run the startup until it comes to rest.
    void ShowAndStart() {
        window.show();
        window.activateWindow();
        RunUntilRest();
    }
    void RunUntilRest() {
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            const int step = controller.StartupStep();
            if ((step == shell::kBusy || step == shell::kIdle) && !timer.Active()) break;
        }
    }
    bool Enabled(Control c) { return window.Button(c)->isEnabled(); }
    QListWidget& List() { return *window.DefinitionList(); }
    std::vector<Qt::CheckState> Checks() {
        std::vector<Qt::CheckState> c;
        for (int i = 0; i < List().count(); ++i) c.push_back(List().item(i)->checkState());
        return c;
    }
};

// Stands for a desktop whose focus-stealing prevention never activates a new window: the
// window is shown, but its activation events are swallowed before the window sees them.
class NoActivation : public QObject {
  public:
    int swallowed = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::WindowActivate) return false;
        ++swallowed;
        return true;
    }
};

QStringList ActionTexts(const QWidget* w) {
    QStringList texts;
    for (const QAction* a : w->actions()) texts << a->text();
    return texts;
}

}  // namespace

TEST(MainWindowTest, CaptionsButtonsMenusAndStatusBars) {
    QtProgram p;
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("Migracja do Tarvik"));
    EXPECT_EQ(p.window.windowTitle(), QStringLiteral("Migracja danych TARVIK z DBF do Firebird-a"));
    EXPECT_EQ(p.window.Button(Control::StartMigration)->text(), QStringLiteral("Start migracji"));
    EXPECT_EQ(p.window.Button(Control::DbfFolder)->text(), QStringLiteral("Ścieżka do DBF-ów"));
    EXPECT_EQ(p.window.Button(Control::DeleteData)->text(), QStringLiteral("Usuń dane z FB"));
    EXPECT_EQ(p.window.Button(Control::ChosenFor)->text(), QStringLiteral("Wybrane dla.."));
    EXPECT_EQ(p.window.Button(Control::Exit)->text(), QStringLiteral("Wyjście"));
    EXPECT_FALSE(p.Enabled(Control::StartMigration));
    for (Control c : {Control::DbfFolder, Control::DeleteData, Control::ChosenFor, Control::Exit})
        EXPECT_TRUE(p.Enabled(c));
    for (Control c : {Control::StartMigration, Control::DbfFolder, Control::DeleteData,
                      Control::ChosenFor, Control::Exit})
        EXPECT_FALSE(p.window.Button(c)->icon().isNull());
    EXPECT_EQ(
        ActionTexts(p.window.DefinitionList()),
        (QStringList{QStringLiteral("Zaznacz wszystkie"), QStringLiteral("Odznacz wszystkie")}));
    EXPECT_EQ(ActionTexts(p.window.ButtonPanel()),
              (QStringList{QStringLiteral("Usuń spacje z nr fabrycznego"),
                           QStringLiteral("Rozłącz sklejone nr-y telefonów")}));
    EXPECT_EQ(p.window.DbfStatusBar()->objectName(), QStringLiteral("LMDStatusBar2"));
    EXPECT_EQ(p.window.DatabaseStatusBar()->objectName(), QStringLiteral("LMDStatusBar1"));
    EXPECT_EQ(p.wait.windowTitle(), QStringLiteral("Trwa przetwarzanie"));
    EXPECT_FALSE(p.wait.isVisible());
    // The maintenance commands are not plugged in: triggering them changes nothing.
    for (QAction* a : p.window.ButtonPanel()->actions()) a->trigger();
    EXPECT_TRUE(p.messages.shown.empty());
}

TEST(MainWindowTest, AFailedStartupLeavesStartAndTheLegacyButtonsDisabled) {
    QtProgram p;
    p.WriteSource("TARV01.DBF");
    p.WriteDefinition("01-a.ini", "TARV01.DBF");
    p.ShowAndStart();
    ASSERT_EQ(p.controller.StartupStep(), shell::kBusy);
    ASSERT_EQ(p.messages.shown.size(), 1u);
    EXPECT_EQ(p.window.DbfStatusBar()->text(),
              QString::fromStdString(p.dbfFolder.string()) +
                  QStringLiteral("  — Brak pliku  TARV09.DBF  !!!"));
    EXPECT_TRUE(p.window.DatabaseStatusBar()->text().isEmpty());
    EXPECT_FALSE(p.Enabled(Control::StartMigration));
    EXPECT_FALSE(p.Enabled(Control::DeleteData));
    EXPECT_FALSE(p.Enabled(Control::ChosenFor));
    EXPECT_TRUE(p.Enabled(Control::DbfFolder));
    EXPECT_TRUE(p.Enabled(Control::Exit));
    EXPECT_EQ(p.List().count(), 0);
}

TEST(MainWindowTest, TheStartupRunsWhenTheWindowIsShownButNeverActivated) {
    QtProgram p;
    p.WriteSource("TARV09.DBF", true);
    p.WriteSource("TARV01.DBF");
    p.WriteDefinition("01-a.ini", "TARV01.DBF");
    NoActivation filter;
    p.window.installEventFilter(&filter);
    p.window.show();
    p.RunUntilRest();
    p.window.activateWindow();  // whatever the platform does with it, it is swallowed
    QCoreApplication::processEvents();
    ASSERT_EQ(p.controller.StartupStep(), shell::kIdle);
    EXPECT_TRUE(p.Enabled(Control::StartMigration));
    EXPECT_EQ(p.List().count(), 1);
    p.window.removeEventFilter(&filter);
}

TEST(MainWindowTest, TheStartupRunsOnceHoweverOftenTheWindowIsShownAndActivated) {
    QtProgram p;
    p.WriteSource("TARV01.DBF");  // no TARV09.DBF: the startup fails with one message
    p.ShowAndStart();
    ASSERT_EQ(p.controller.StartupStep(), shell::kBusy);
    for (int i = 0; i < 3; ++i) {
        p.window.hide();
        p.window.show();
        p.window.activateWindow();
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&p.window, &activate);
        p.RunUntilRest();
    }
    EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
    EXPECT_EQ(p.messages.shown.size(), 1u);
}

TEST(MainWindowTest, ASuccessfulStartupFillsTheCheckListAndEnablesStart) {
    QtProgram p;
    p.WriteSource("TARV09.DBF", true);
    p.WriteSource("TARV01.DBF");
    p.WriteDefinition("02-jest.ini", "TARV01.DBF");
    p.WriteDefinition("01-brak.ini", "TARV07.DBF");
    p.WriteDefinition("03-zażółć.ini", "tarv09.dbf");
    p.ShowAndStart();
    ASSERT_EQ(p.controller.StartupStep(), shell::kIdle);
    EXPECT_TRUE(p.messages.shown.empty());
    EXPECT_TRUE(p.Enabled(Control::StartMigration));
    EXPECT_EQ(p.window.DbfStatusBar()->text(),
              QStringLiteral("Import z : ") + QString::fromStdString(p.dbfFolder.string()));
    EXPECT_EQ(
        p.window.DatabaseStatusBar()->text(),
        QStringLiteral("Jest połączenie z : ") + QString::fromStdString(p.database.Location()));

    QListWidget& list = p.List();
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.item(0)->text(), QStringLiteral("01-brak"));
    EXPECT_EQ(list.item(1)->text(), QStringLiteral("02-jest"));
    EXPECT_EQ(list.item(2)->text(), QStringLiteral("03-zażółć"));
    EXPECT_FALSE(list.item(0)->flags().testFlag(Qt::ItemIsEnabled));
    EXPECT_TRUE(list.item(1)->flags().testFlag(Qt::ItemIsEnabled));
    EXPECT_EQ(p.Checks(), (std::vector<Qt::CheckState>{Qt::Unchecked, Qt::Checked, Qt::Checked}));
    EXPECT_EQ(list.currentRow(), 0);

    // Clicking a check box toggles an enabled item, not a disabled one.
    auto clickCheckBox = [&](int row) {
        const QRect r = list.visualItemRect(list.item(row));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          QPoint(r.left() + r.height() / 2, r.center().y()));
    };
    clickCheckBox(1);
    clickCheckBox(0);
    EXPECT_EQ(p.Checks(), (std::vector<Qt::CheckState>{Qt::Unchecked, Qt::Unchecked, Qt::Checked}));
    clickCheckBox(1);
    EXPECT_EQ(list.item(1)->checkState(), Qt::Checked);

    // "Zaznacz wszystkie" ticks the disabled item too; "Odznacz wszystkie" clears every mark.
    list.actions().at(0)->trigger();
    EXPECT_EQ(p.Checks(), (std::vector<Qt::CheckState>{Qt::Checked, Qt::Checked, Qt::Checked}));
    EXPECT_TRUE(list.updatesEnabled());
    list.actions().at(1)->trigger();
    EXPECT_EQ(p.Checks(),
              (std::vector<Qt::CheckState>{Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));

    // A run disables the list and the run buttons; at its end they come back.
    clickCheckBox(1);
    QTest::mouseClick(p.window.Button(Control::StartMigration), Qt::LeftButton);
    EXPECT_FALSE(list.isEnabled());
    EXPECT_FALSE(p.Enabled(Control::Exit));
    QElapsedTimer elapsed;
    elapsed.start();
    while (p.controller.StartupStep() == shell::kRunning && elapsed.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(p.progress.started, std::vector<std::string>{"02-jest.ini"});
    ASSERT_EQ(p.messages.shown.size(), 1u);
    EXPECT_EQ(p.messages.shown[0].text, "Koniec migracji !"_w);
    EXPECT_TRUE(list.isEnabled());
    EXPECT_TRUE(p.Enabled(Control::StartMigration));
    EXPECT_EQ(list.item(1)->checkState(), Qt::Unchecked);

    // "Wyjście" ends the program without the close check: the database stays connected.
    QTest::mouseClick(p.window.Button(Control::Exit), Qt::LeftButton);
    EXPECT_EQ(p.quits, 1);
    EXPECT_TRUE(p.dane.IBDatabase1.Connected());
    // The close box runs it.
    p.window.close();
    EXPECT_FALSE(p.dane.IBDatabase1.Connected());
    EXPECT_FALSE(p.window.isVisible());
}

TEST(MainWindowTest, DbfFolderDialogShowsTheFolderBrowsesAndConfirms) {
    mt::TempDir programDir;
    ScriptedFolderChoice picker;
    app::TFormWait wait;
    app::QtDbfFolderDialog seam(programDir.path(), picker, &wait, nullptr);
    QStringList seen;
    seam.beforeShow = [&](app::TFormSetToDbf& d) {
        seen << d.windowTitle() << d.EditPathToDbf()->text() << d.OkButton()->text()
             << d.CancelButton()->text();
        EXPECT_TRUE(d.BrowseButton()->text().isEmpty() || !d.BrowseButton()->icon().isNull());
        QList<QLabel*> labels = d.findChildren<QLabel*>();
        ASSERT_EQ(labels.size(), 1);
        seen << labels[0]->text();
        // Browse with nothing typed starts in the program directory.
        d.EditPathToDbf()->clear();
        picker.answers.push_back("/dane/źródło"_w);
        QTest::mouseClick(d.BrowseButton(), Qt::LeftButton);
        QTimer::singleShot(0, d.OkButton(), [&d] { d.OkButton()->click(); });
    };
    const std::optional<std::string> confirmed = seam.Show("/stary");
    ASSERT_EQ(seen.size(), 5);
    EXPECT_EQ(seen[0], QStringLiteral("Ustawienie ścieżki do plików *.DBF"));
    EXPECT_EQ(seen[1], QStringLiteral("/stary"));
    EXPECT_EQ(seen[2], QStringLiteral("&OK"));
    EXPECT_EQ(seen[3], QStringLiteral("&Anuluj"));
    EXPECT_EQ(seen[4], QStringLiteral("Ścieżka do baz *.DBF od starego TARVIK"));
    EXPECT_EQ(picker.titles,
              std::vector<std::string>{"Gdzie znajdują się pliki  *.DBF  (bazy TARVIK)"_w});
    EXPECT_EQ(picker.startFolders, std::vector<std::string>{programDir.path().string()});
    EXPECT_EQ(confirmed, std::optional<std::string>("/dane/źródło"_w));

    // "&Anuluj" answers nothing.
    seam.beforeShow = [](app::TFormSetToDbf& d) {
        QTimer::singleShot(0, d.CancelButton(), [&d] { d.CancelButton()->click(); });
    };
    EXPECT_EQ(seam.Show("/stary"), std::nullopt);
}

TEST(MainWindowTest, AnExceptionFromAnEventHandlerIsShownAndTheProgramGoesOn) {
    static std::vector<std::string> shown;
    shown.clear();
    app::TApplication::SetExceptionHandler(
        [](const std::exception& e) { shown.push_back(e.what()); });
    QTimer source;
    source.setSingleShot(true);
    bool after = false;
    QObject::connect(&source, &QTimer::timeout,
                     [] { throw fb::Error("Błąd zapisu"_w, "INSERT INTO TELEFONY VALUES (1)"); });
    source.start(0);
    QTimer::singleShot(50, [&] { after = true; });
    QElapsedTimer elapsed;
    elapsed.start();
    while (!after && elapsed.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    app::TApplication::SetExceptionHandler(nullptr);
    EXPECT_TRUE(after);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Błąd zapisu\nSQL: INSERT INTO TELEFONY VALUES (1)"_w);
    EXPECT_EQ(app::MessageText(shown[0]),
              QStringLiteral("Błąd zapisu\nSQL: INSERT INTO TELEFONY VALUES (1)"));
}
