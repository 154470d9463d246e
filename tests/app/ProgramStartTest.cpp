#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ProgramStart.h"
#include "config/Settings.h"
#include "shell/Version.h"
#include "support/DbfWriter.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

using namespace migracja;
namespace mt = migracja::testing;
namespace fs = std::filesystem;

namespace {

// A customer's program folder away from the executable: its own database, DBF folder and one
// definition, the owner company and its service team settled without asking.
struct CustomerFolder {
    mt::TestDatabase database;
    mt::TempDir dir{"migracja-klient"};
    fs::path dbf = dir / "DBF";

    CustomerFolder() {
        database.Exec(
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY, F_SERWIS) "
            "VALUES (1, 'SERWIS', 'Serwis Kas', 'T');"
            "INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (1);"
            "INSERT INTO GRUPY_SERWIS (GS_ID, PREFIX, NAZWA, WSPOLNA_EWIDENCJA) "
            "VALUES (1, 'LDZ', 'Zespol', 'N');"
            "INSERT INTO GRUPY_SERWIS_POWIAZANIA (GSP_ID, GS_ID, TYP, POLE_ID) "
            "VALUES (1, 1, 'F', 1);");
        config::WriteDbSettings(dir.path(), database.Location(), std::nullopt, "x");
        config::WriteDbfFolder(dir.path(), dbf.string());
        fs::create_directories(dbf);
        mt::DbfWriter version;
        version.Field("FORMALNE", 'C', 1);
        version.Record({"T"}).WriteTo(dbf / "TARV09.DBF");
        mt::DbfWriter companies;
        companies.Field("NR", 'N', 4);
        companies.Record({"1"}).WriteTo(dbf / "TARV01.DBF");
        fs::create_directories(dir / "Definicje Migracji");
        mt::WriteFileBytes(dir / "Definicje Migracji" / "01-Firmy.ini",
                           "[START]\r\nPlikDBF=TARV01.DBF\r\nTabela_0=TELEFONY\r\n");
    }
};

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

// The built window program with these arguments, its output captured.
ProgramRun RunProgram(const std::string& args) {
    mt::TempDir captures("migracja-out");
    const std::string command = std::string(MIGRACJA_BIN_DIR) + "/migracja " + args + " >" +
                                (captures / "out").string() + " 2>" + (captures / "err").string() +
                                " </dev/null";
    const int raw = std::system(command.c_str());
    ProgramRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = mt::ReadFileBytes(captures / "out");
    r.err = mt::ReadFileBytes(captures / "err");
    return r;
}

}  // namespace

TEST(ProgramStartTest, WithDirTheWindowWorksOnThatFolder) {
    CustomerFolder customer;
    shell::StartOptions options;
    const std::string program = "migracja";
    std::vector<std::string> words = {program, "--dir", customer.dir.path().string()};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    ASSERT_FALSE(app::ReadStartOptions(static_cast<int>(argv.size()), argv.data(), options));
    const auto folder = app::ChooseProgramFolder(options);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->dir, customer.dir.path());

    // A message box would mean the startup failed; its text is kept and the box closed.
    QStringList boxes;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes << box->text();
            box->close();
        }
    });
    watch.start(20);
    const auto started = app::StartProgram(*folder);
    started->FormMigracji().activateWindow();
    QElapsedTimer elapsed;
    elapsed.start();
    while (started->Controller().StartupStep() != shell::kIdle && boxes.isEmpty() &&
           elapsed.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    watch.stop();

    ASSERT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
    ASSERT_EQ(started->Controller().StartupStep(), shell::kIdle);
    const app::TFormMigracji& window = started->FormMigracji();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Migracja danych TARVIK z DBF do Firebird-a (") +
                                        QString::fromStdString(customer.dir.path().string()) +
                                        QStringLiteral(")"));
    EXPECT_EQ(window.DbfStatusBar()->text(),
              QStringLiteral("Import z : ") + QString::fromStdString(customer.dbf.string()));
    EXPECT_EQ(window.DatabaseStatusBar()->text(),
              QStringLiteral("Jest połączenie z : ") +
                  QString::fromStdString(customer.database.Location()));
    ASSERT_EQ(window.DefinitionList()->count(), 1);
    EXPECT_EQ(window.DefinitionList()->item(0)->text(), QStringLiteral("01-Firmy"));
    EXPECT_TRUE(window.Button(shell::Control::StartMigration)->isEnabled());
    EXPECT_EQ(started->Controller().DefinitionFolder(), customer.dir / "Definicje Migracji");
}

TEST(ProgramStartTest, VersionHelpAndBadUsageNeedNoDisplay) {
    const ProgramRun version = RunProgram("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, shell::VersionLine("migracja"));

    const ProgramRun help = RunProgram("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: migracja [--dir PROGRAMDIR]", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);

    const ProgramRun missing = RunProgram("--dir /nonexistent/klient");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("/nonexistent/klient is not a folder"), std::string::npos)
        << missing.err;
    EXPECT_EQ(RunProgram("--colour red").status, 2);
}
