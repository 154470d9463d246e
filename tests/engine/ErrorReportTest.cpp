#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "base/Text.h"
#include "engine/ErrorReport.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::engine::WriteErrorReport;

namespace {

const DateTime kStart = EncodeDateTime({2024, 3, 5, 9, 7, 59, 600});

std::string IsoDate(const CivilDateTime& c) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
    return buf;
}

struct Report {
    migracja::testing::TempDir dir{"migracja-err"};
    migracja::testing::ScriptedMessageBox messages;
    migracja::testing::RecordingFileViewer viewer;
    engine::TDane dane;

    std::optional<std::filesystem::path> Write(const engine::ShortDateFormatter& f = IsoDate,
                                               DateTime start = kStart) {
        return WriteErrorReport(dane, start, dir.path(), messages, viewer, f);
    }
};

// Sets an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(ErrorReportTest, FileHoldsTheEntriesAsBytesWithCrLfAndIsOverwritten) {
    Report r;
    r.dir.Write("Migracja 2024-03-05 09_07.err", "an older report of the same minute, longer");
    r.dane.MigrationErrorLog = {"Błąd generatora GEN_X !\r\nDla pliku KLI.DBF"_w,
                                "Wyjście z programu."_w};
    const auto file = r.Write();
    ASSERT_TRUE(file);
    EXPECT_EQ(*file, r.dir / "Migracja 2024-03-05 09_07.err");
    EXPECT_EQ(r.dir.Read("Migracja 2024-03-05 09_07.err"),
              "B\xB3\xB9"
              "d generatora GEN_X !\r\nDla pliku KLI.DBF\r\nWyj\x9C"
              "cie z programu.\r\n");
    // No entry asked to be shown.
    EXPECT_TRUE(r.messages.shown.empty());
    EXPECT_TRUE(r.viewer.opened.empty());
}

TEST(ErrorReportTest, ManualStopWritesOneLineAndAsksNothing) {
    Report r;
    r.dane.Definition.StopRequested = true;
    r.dane.MigrationErrorLog.push_back("Przerwanie ręczne"_w);
    const auto file = r.Write();
    ASSERT_TRUE(file);
    EXPECT_EQ(migracja::testing::ReadFileBytes(*file),
              "Przerwanie r\xEA"
              "czne\r\n");
    EXPECT_TRUE(r.messages.shown.empty());
    EXPECT_TRUE(r.viewer.opened.empty());
}

TEST(ErrorReportTest, FatalErrorAsksAndOpensOnlyOnYes) {
    Report r;
    r.dane.AddErrorWithContext("Błąd parametru !"_w, -1, -1);
    r.dane.MigrationErrorLog.push_back("Przerwanie ręczne"_w);
    ASSERT_TRUE(r.dane.Definition.ErrorsOccurred);

    const auto file = r.Write();  // the scripted box answers No
    ASSERT_TRUE(file);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    const auto& asked = r.messages.shown[0];
    EXPECT_EQ(asked.text,
              "Błąd parametru !\r\nDla pliku \r\nNr odczytanego rekordu = 0\r\n"
              "Przerwanie ręczne\r\n\r\nCzy pokazać komunikat w notatniku ?"_w);
    EXPECT_EQ(asked.caption, "");
    EXPECT_EQ(asked.icon, ui::Icon::Question);
    EXPECT_EQ(asked.buttons, ui::Buttons::YesNo);
    EXPECT_TRUE(r.viewer.opened.empty());
    EXPECT_TRUE(std::filesystem::exists(*file));  // No keeps the file

    r.messages.answers.push_back(ui::Answer::Yes);
    r.Write();
    EXPECT_EQ(r.viewer.opened, std::vector<std::string>{file->string()});
}

TEST(ErrorReportTest, EmptyLogWritesNothing) {
    Report r;
    r.dane.Definition.ErrorsOccurred = true;
    EXPECT_FALSE(r.Write());
    EXPECT_TRUE(std::filesystem::is_empty(r.dir.path()));
    EXPECT_TRUE(r.messages.shown.empty());
}

TEST(ErrorReportTest, SlashesOfTheDateFormatDoNotLoseTheReport) {
    Report r;
    r.dane.MigrationErrorLog.push_back("Przerwanie ręczne"_w);
    const auto file = r.Write([](const CivilDateTime& c) {
        return std::to_string(c.day) + "/" + std::to_string(c.month) + "/" +
               std::to_string(c.year) + " <x:y>";
    });
    ASSERT_TRUE(file);
    EXPECT_EQ(file->filename().string(), "Migracja 5-3-2024 -x-y- 09_07.err");
    EXPECT_EQ(file->parent_path(), r.dir.path());
    EXPECT_TRUE(std::filesystem::exists(*file));
}

TEST(ErrorReportTest, SystemFormatComesFromTheEnvironmentLocale) {
    // The C locale writes %x as mm/dd/yy; its slashes are replaced.
    ScopedEnv all("LC_ALL", "C");
    EXPECT_EQ(engine::SystemShortDate({2024, 3, 5}), "03/05/24");
    EXPECT_EQ(engine::ErrorReportFileName(kStart), "Migracja 03-05-24 09_07.err");
    // Before any run the start is the zero date.
    EXPECT_EQ(engine::ErrorReportFileName(0), "Migracja 12-30-99 00_00.err");
    {
        // A locale the system does not have falls back to C rather than failing the report.
        ScopedEnv bogus("LC_ALL", "xx_YY.nonexistent");
        EXPECT_EQ(engine::ErrorReportFileName(kStart), "Migracja 03-05-24 09_07.err");
    }
}

TEST(ErrorReportTest, ZeroStartGivesTheZeroDateToTheFormatter) {
    Report r;
    r.dane.MigrationErrorLog.push_back("Wyjście z programu."_w);
    const auto file = r.Write(IsoDate, 0);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->filename().string(), "Migracja 1899-12-30 00_00.err");
}

TEST(ErrorReportTest, UnsavableFileRaisesBeforeAsking) {
    Report r;
    r.dane.AddErrorWithContext("Błąd"_w, -1, -1);
    try {
        WriteErrorReport(r.dane, kStart, r.dir / "nie-ma-katalogu", r.messages, r.viewer, IsoDate);
        ADD_FAILURE() << "saved";
    } catch (const std::runtime_error& e) {
        // Shown by the default handler: in Polish, naming the file and why.
        EXPECT_EQ(std::string(e.what()),
                  "Nie można zapisać raportu błędów "_w +
                      (r.dir / "nie-ma-katalogu" / "Migracja 2024-03-05 09_07.err").string() +
                      ": nie ma takiego pliku ani folderu");
    }
    EXPECT_TRUE(r.messages.shown.empty());
}
