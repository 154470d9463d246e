#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/FileSearch.h"
#include "base/Text.h"
#include "shell/ProgramFolder.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::shell::FolderOrigin;
using migracja::shell::ParseStartOptions;
using migracja::shell::StartOptions;
using migracja::shell::StartOptionsError;
using migracja::testing::ScriptedFolderChoice;
using migracja::testing::TempDir;
namespace fs = std::filesystem;

namespace {

std::string ErrorOf(const std::vector<std::string>& args) {
    try {
        ParseStartOptions(args);
    } catch (const StartOptionsError& e) {
        return e.message;
    }
    return "(accepted)";
}

// <prefix>/bin beside <prefix>/share/migracja-tarvik, as the package installs the programs.
struct InstalledLayout {
    TempDir root{"migracja-prefix"};
    fs::path bin = root / "usr" / "bin";
    fs::path home = root / "home";
    fs::path config = home / ".config" / "Migracja do Tarvik" / "ProgramFolder.ini";
    InstalledLayout() {
        fs::create_directories(bin);
        fs::create_directories(root / "usr" / "share" / "migracja-tarvik" / "definitions");
    }
};

}  // namespace

TEST(ProgramFolderTest, StartOptions) {
    TempDir dir;
    const StartOptions none = ParseStartOptions({});
    EXPECT_FALSE(none.dir || none.help || none.version);

    // Qt's own options and their values pass by; --dir takes both spellings.
    const StartOptions withQt =
        ParseStartOptions({"-platform", "offscreen", "--dir", dir.path().string(), "-style", "x"});
    ASSERT_TRUE(withQt.dir);
    EXPECT_EQ(*withQt.dir, dir.path());
    EXPECT_EQ(*ParseStartOptions({"--dir=" + dir.path().string()}).dir, dir.path());
    EXPECT_TRUE(ParseStartOptions({"--version"}).version);
    // Help is answered whatever the folder.
    EXPECT_TRUE(ParseStartOptions({"--dir", "/no/such/folder", "--help"}).help);

    // A relative folder is taken from the working directory, once, at start.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path());
    fs::create_directory("klient");
    const StartOptions relative = ParseStartOptions({"--dir", "klient/"});
    fs::current_path(cwd);
    EXPECT_EQ(*relative.dir, dir / "klient");

    EXPECT_NE(ErrorOf({"--dir"}).find("needs a folder"), std::string::npos);
    EXPECT_NE(ErrorOf({"--dir="}).find("needs a folder"), std::string::npos);
    EXPECT_NE(ErrorOf({"--dir", (dir / "brak").string()}).find("is not a folder"),
              std::string::npos);
    dir.Write("plik", "x");
    EXPECT_NE(ErrorOf({"--dir", (dir / "plik").string()}).find("is not a folder"),
              std::string::npos);
    EXPECT_EQ(ErrorOf({"--dri", dir.path().string()}), "unknown option --dri");
}

TEST(ProgramFolderTest, TheExecutablesDirectoryUnlessOneIsNamed) {
    TempDir exe, other;
    ScriptedFolderChoice folders;
    const fs::path remember = other / "config" / "ProgramFolder.ini";
    const auto beside = shell::ChooseProgramFolder({}, exe.path(), remember, other.path(), folders);
    ASSERT_TRUE(beside);
    EXPECT_EQ(beside->dir, exe.path());
    EXPECT_EQ(beside->origin, FolderOrigin::Executable);
    EXPECT_EQ(shell::MainWindowCaption(*beside), "Migracja danych TARVIK z DBF do Firebird-a");

    StartOptions named;
    named.dir = other / "Łódź";
    const auto option =
        shell::ChooseProgramFolder(named, exe.path(), remember, other.path(), folders);
    ASSERT_TRUE(option);
    EXPECT_EQ(option->dir, other / "Łódź");
    EXPECT_EQ(option->origin, FolderOrigin::Option);
    EXPECT_EQ(shell::MainWindowCaption(*option), "Migracja danych TARVIK z DBF do Firebird-a (" +
                                                     config::TextFromPath(other / "Łódź") + ")");
    // Neither asks nor remembers anything.
    EXPECT_TRUE(folders.titles.empty());
    EXPECT_FALSE(fs::exists(remember));

    // A build folder's bin/ without the shared data beside it is no installation.
    fs::create_directories(exe / "bin");
    EXPECT_EQ(shell::ChooseProgramFolder({}, exe / "bin", remember, other.path(), folders)->origin,
              FolderOrigin::Executable);
}

TEST(ProgramFolderTest, AnInstalledProgramAsksOnceAndRemembers) {
    InstalledLayout installed;
    TempDir customers;
    fs::create_directories(customers / "Kowalski");
    ScriptedFolderChoice folders;
    // A cancelled dialog ends the program and remembers nothing.
    EXPECT_FALSE(
        shell::ChooseProgramFolder({}, installed.bin, installed.config, installed.home, folders));
    EXPECT_FALSE(fs::exists(installed.config));

    // A text that is no folder is asked again.
    folders.answers = {config::TextFromPath(customers / "brak"),
                       config::TextFromPath(customers / "Kowalski")};
    const auto chosen =
        shell::ChooseProgramFolder({}, installed.bin, installed.config, installed.home, folders);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->dir, customers / "Kowalski");
    EXPECT_EQ(chosen->origin, FolderOrigin::Chosen);
    EXPECT_EQ(folders.titles.size(), 3u);
    EXPECT_EQ(folders.startFolders.back(), config::TextFromPath(installed.home));
    EXPECT_EQ(shell::ReadRememberedFolder(installed.config), customers / "Kowalski");

    // The next start asks nothing; --dir still wins.
    const auto again =
        shell::ChooseProgramFolder({}, installed.bin, installed.config, installed.home, folders);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->dir, customers / "Kowalski");
    EXPECT_EQ(again->origin, FolderOrigin::Remembered);
    EXPECT_NE(shell::MainWindowCaption(*again).find(config::TextFromPath(customers / "Kowalski")),
              std::string::npos);
    StartOptions named;
    named.dir = customers.path();
    EXPECT_EQ(
        shell::ChooseProgramFolder(named, installed.bin, installed.config, installed.home, folders)
            ->dir,
        customers.path());
    EXPECT_EQ(folders.titles.size(), 3u);

    // A remembered folder that has gone is asked for again.
    fs::remove_all(customers / "Kowalski");
    EXPECT_FALSE(shell::ReadRememberedFolder(installed.config));
    fs::create_directories(customers / "Nowak");
    folders.answers = {config::TextFromPath(customers / "Nowak")};
    EXPECT_EQ(
        shell::ChooseProgramFolder({}, installed.bin, installed.config, installed.home, folders)
            ->dir,
        customers / "Nowak");
    EXPECT_EQ(shell::ReadRememberedFolder(installed.config), customers / "Nowak");
}
