#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>

#include "app/FormImport.h"
#include "app/QtUi.h"
#include "base/Text.h"
#include "config/Connection.h"
#include "definitions/DefinitionLoader.h"
#include "support/DbfWriter.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
namespace mt = migracja::testing;

namespace {

// The real progress window over a real data module and loader.
struct ProgressProgram {
    mt::TestDatabase database;
    mt::TempDir dir{"migracja-progress"};
    mt::ScriptedMessageBox messages;
    engine::TDane dane;
    definitions::TFormIni loader{dane, messages};
    app::TFormImport window{dane, loader, nullptr};

    ProgressProgram() {
        config::OpenDatabase(dane.IBDatabase1, database.Location(), "SYSDBA", "masterkey");
        dane.RefreshCatalogue();
        dane.SetDbfFolder(dir.path().string());
        window.BindCounters();
    }

    // 1234 companies, each with a telephone; three tables, two of them REJESTR_FIRM.
    std::filesystem::path Definition() {
        mt::DbfWriter w;
        w.Field("NRKLI", 'C', 6).Field("TELEFON", 'C', 20);
        for (int i = 1; i <= 1234; ++i)
            w.Record({"K" + std::to_string(i), std::to_string(100000 + i)});
        w.WriteTo(dir / "FIRMY.DBF");
        const std::string ini =
            "[START]\r\nPlikDBF=FIRMY.DBF\r\nTabela_0=REJESTR_FIRM\r\nTabela_1=TELEFONY\r\n"
            "Tabela_2=REJESTR_FIRM\r\n[WARUNKI_SQL]\r\n"
            "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI\r\n"
            "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON\r\n"
            "[Tabela0]\r\nFIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)\r\nDBF_UNQ_KEY=PLIKDBF->NRKLI\r\n"
            "[Tabela1]\r\nTEL_ID=GENERATOR(GEN_TELEFONY)\r\nFIRMA_ID=GENERATOR(0)\r\n"
            "NUMER=PLIKDBF->TELEFON\r\n[Tabela2]\r\nFIRMA_ID=GENERATOR(0)\r\nF_SERWIS=(C)T\r\n";
        dir.Write("01-Firmy z telefonami.ini", ini);
        return dir / "01-Firmy z telefonami.ini";
    }
};

}  // namespace

TEST(ProgressWindowTest, ShowsTheDefinitionItsTotalAndOneCounterPerTable) {
    ProgressProgram p;
    app::TFormImport& w = p.window;
    EXPECT_EQ(w.windowTitle(), "Migracja");
    EXPECT_GE(w.minimumWidth(), 470);
    EXPECT_GE(w.minimumHeight(), 330);
    for (int j = 0; j < app::TFormImport::kCounterGroups; ++j)
        EXPECT_TRUE(w.CounterGroup(j)->isHidden()) << j;
    EXPECT_EQ(w.ReadDisplayText(), "      0");

    w.StartDefinition(p.Definition());
    ASSERT_TRUE(p.dane.DefinitionActive)
        << text::Win1250ToUtf8(p.dane.MigrationErrorLog.empty() ? "" : p.dane.MigrationErrorLog[0]);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), "Stan migracji 01-Firmy z telefonami");
    EXPECT_EQ(w.ReadGroup()->title(), "Odczytano z FIRMY.DBF");
    EXPECT_EQ(w.TotalDisplayText(), "   1234");
    EXPECT_EQ(w.ReadDisplayText(), "      0");
    // Two distinct tables, two counters; the UPDATE table shares the first.
    EXPECT_FALSE(w.CounterGroup(0)->isHidden());
    EXPECT_EQ(w.CounterGroup(0)->title(), "REJESTR_FIRM");
    EXPECT_EQ(w.CounterGroup(1)->title(), "TELEFONY");
    for (int j = 2; j < app::TFormImport::kCounterGroups; ++j)
        EXPECT_TRUE(w.CounterGroup(j)->isHidden()) << j;

    for (int i = 0; i < 3; ++i) w.Step();
    w.RefreshCounters();
    EXPECT_EQ(w.ReadDisplayText(), "      3");
    EXPECT_EQ(w.CounterText(0), "      3");
    EXPECT_EQ(w.CounterText(1), "      3");
    EXPECT_EQ(p.database.ScalarInt("SELECT COUNT(*) FROM REJESTR_FIRM WHERE F_SERWIS = 'T'"), 3);

    // The close box only hides the window; the run goes on.
    QCloseEvent close;
    QApplication::sendEvent(&w, &close);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(p.dane.DefinitionActive);
}

TEST(ProgressWindowTest, StopEndsTheRunBetweenRecordsWithItsOwnEntryOnly) {
    ProgressProgram p;
    app::TFormImport& w = p.window;
    w.StartDefinition(p.Definition());
    w.Step();
    w.RefreshCounters();
    QTest::mouseClick(w.findChild<QPushButton*>("Stop"), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(p.dane.Definition.StopRequested);
    EXPECT_FALSE(p.dane.Definition.ErrorsOccurred);
    ASSERT_EQ(p.dane.MigrationErrorLog.size(), 1u);
    EXPECT_EQ(p.dane.MigrationErrorLog.back(), "Przerwanie ręczne"_w);
    // The record after the stop is read but not written; the counters stay.
    w.Step();
    w.RefreshCounters();
    EXPECT_EQ(w.CounterText(0), "      1");
    EXPECT_EQ(p.database.ScalarInt("SELECT COUNT(*) FROM REJESTR_FIRM"), 1);
    EXPECT_EQ(w.ReadDisplayText(), "      1");
}

TEST(ProgressWindowTest, NumbersAreRightAlignedInSevenCharactersAndLongerOnesWiden) {
    EXPECT_EQ(app::TFormImport::Formatted(0), "      0");
    EXPECT_EQ(app::TFormImport::Formatted(1234), "   1234");
    EXPECT_EQ(app::TFormImport::Formatted(12345678), "12345678");
}

TEST(ProgressWindowTest, WithARejectLimitTheRejectedRecordsAreCountedAsTheRunGoesOn) {
    for (int limit : {0, 5}) {
        SCOPED_TRACE(limit);
        ProgressProgram p;
        const std::filesystem::path definition = p.Definition();
        // The second telephone is longer than its column.
        mt::DbfWriter w;
        w.Field("NRKLI", 'C', 6).Field("TELEFON", 'C', 30);
        w.Record({"K1", "100001"}).Record({"K2", std::string(25, '7')}).Record({"K3", "100003"});
        w.WriteTo(p.dir / "FIRMY.DBF");
        p.dane.Rejects.StartRun(limit, p.dir / "Odrzucone");
        app::TFormImport& window = p.window;
        window.StartDefinition(definition);
        EXPECT_EQ(window.RejectedGroup()->isHidden(), limit == 0);
        EXPECT_EQ(window.RejectedDisplayText(), "      0");
        window.Step();
        if (limit == 0) {
            // The first failing record stops the run, as without the setting.
            EXPECT_THROW(window.Step(), fb::Error);
            EXPECT_TRUE(p.dane.Definition.StopRequested);
            continue;
        }
        window.Step();
        window.Step();
        window.RefreshCounters();
        EXPECT_EQ(window.RejectedDisplayText(), "      1");
        EXPECT_EQ(window.ReadDisplayText(), "      3");
        EXPECT_EQ(window.CounterText(1), "      2");
    }
}

TEST(ProgressWindowTest, SaysWhyADefinitionRunsOneRecordPerTransaction) {
    ProgressProgram p;
    app::TFormImport& w = p.window;
    p.dane.RecordsPerTransaction = 100;
    const std::filesystem::path plain = p.Definition();
    w.StartDefinition(plain);
    ASSERT_TRUE(p.dane.DefinitionActive);
    EXPECT_TRUE(w.GroupingNote()->isHidden());
    p.dane.CloseSourceTable();

    // The telephone's lookup reads the company table 0 of the same record has just written:
    // grouped, it would see that row; one record per transaction it does not.
    std::string ini = p.dir.Read("01-Firmy z telefonami.ini");
    ini.replace(ini.find("FIRMA_ID=GENERATOR(0)\r\nNUMER"),
                std::string("FIRMA_ID=GENERATOR(0)").size(),
                "POLE_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI\r\n"
                "FIRMA_ID=GENERATOR(0)");
    p.dir.Write("02-Firmy z polem.ini", ini);
    w.StartDefinition(p.dir / "02-Firmy z polem.ini");
    ASSERT_TRUE(p.dane.DefinitionActive)
        << text::Win1250ToUtf8(p.dane.MigrationErrorLog.empty() ? "" : p.dane.MigrationErrorLog[0]);
    EXPECT_FALSE(w.GroupingNote()->isHidden());
    EXPECT_EQ(w.GroupingNote()->text(),
              "Rekordów na transakcję: 1 zamiast 100, bo odczyt pola POLE_ID tabeli nr 1 czyta "
              "REJESTR_FIRM, którą zapisuje tabela nr 0 tego samego rekordu.");
}
