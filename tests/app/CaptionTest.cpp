// Captions as the window system shows them, not only as Qt holds them: the offscreen platform has
// no window system, so the test starts a private X server and runs its probe there, in a child
// of this test program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/Application.h"
#include "app/FormImport.h"
#include "app/FormMigracji.h"
#include "app/FormZerujDB.h"
#include "app/NativeCaption.h"
#include "app/QtUi.h"
#include "base/Text.h"
#include "definitions/DefinitionLoader.h"
#include "engine/Dane.h"
#include "support/ScriptedUi.h"

using namespace migracja;
using namespace migracja::literals;
namespace fs = std::filesystem;

namespace {

constexpr const char* kProbeVariable = "MIGRACJA_CAPTION_PROBE";

// The caption shown for w once the window system has it.
QString Shown(QWidget& w) {
    QCoreApplication::processEvents();
    const std::optional<QString> caption = app::NativeCaption(w);
    return caption ? *caption : QStringLiteral("(no caption on this platform)");
}

// The caption of the next modal box, read while it is open; the box is then closed.
QString CaptionOfModal(const std::function<void()>& open) {
    QString caption = QStringLiteral("(no modal window)");
    QTimer::singleShot(50, [&caption] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) return;
        caption = Shown(*w);
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->buttons().front()->click();
        else
            w->close();
    });
    open();
    return caption;
}

// Runs a program and waits for it; its wait status.
int RunAndWait(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

}  // namespace

// The probe, run by the test below on the X server it started; skipped anywhere else.
TEST(CaptionOnX, EveryCaptionIsExactlyTheProgramsOwn) {
    if (!std::getenv(kProbeVariable)) GTEST_SKIP() << "run by CaptionTest on an X server";
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));

    app::TFormMigracji main;
    main.show();
    EXPECT_EQ(Shown(main), QStringLiteral("Migracja danych TARVIK z DBF do Firebird-a"));

    engine::TDane dane;
    migracja::testing::ScriptedMessageBox scripted;
    definitions::TFormIni loader(dane, scripted);
    app::TFormImport progress(dane, loader, nullptr);
    progress.show();
    EXPECT_EQ(Shown(progress), QStringLiteral("Migracja"));

    migracja::testing::ScriptedTextInput input;
    app::TFormZerujDB deleteWindow(dane, scripted, input);
    deleteWindow.show();
    EXPECT_EQ(Shown(deleteWindow), QStringLiteral("Usuwanie rekordów z tabel TARVIK 3 "));

    app::QtMessageBox boxes(&main);
    EXPECT_EQ(CaptionOfModal([&] { boxes.Inform("Koniec migracji !"_w, "Komunikat"_w); }),
              QStringLiteral("Komunikat"));
    // The question over the report and the splitter's "nothing found" have empty captions.
    EXPECT_EQ(CaptionOfModal([&] { boxes.Ask("Czy pokazać komunikat w notatniku ?"_w, ""); }),
              QString());
    EXPECT_EQ(CaptionOfModal([&] {
                  boxes.Inform("Nie odnaleziono żadnych sklejonych numerów telefonów "_w, "");
              }),
              QString());
    // The default handler's box bears the application's title.
    EXPECT_EQ(CaptionOfModal([] { app::TApplication::ShowException(std::runtime_error("x")); }),
              QStringLiteral("Migracja do Tarvik"));
}

TEST(CaptionTest, WindowsAndBoxesShowExactlyTheirCaptionsOnX) {
    if (std::getenv(kProbeVariable)) GTEST_SKIP();
    if (::access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "no Xvfb to show the windows on";
    // A display number of our own, free of other runs.
    const int display = 200 + static_cast<int>(::getpid() % 500);
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
    const pid_t server = ::fork();
    if (server == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::execl("/usr/bin/Xvfb", "Xvfb", (":" + std::to_string(display)).c_str(), "-nolisten",
                "tcp", "-screen", "0", "1024x768x24", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 200 && !fs::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_TRUE(fs::exists(socket)) << "Xvfb did not start";

    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const int status = RunAndWait({self, "--gtest_filter=CaptionOnX.*"},
                                  {"QT_QPA_PLATFORM=xcb", "DISPLAY=:" + std::to_string(display),
                                   std::string(kProbeVariable) + "=1"});
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the probe's failures are printed above";
}
