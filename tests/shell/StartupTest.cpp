#include <gtest/gtest.h>

#include "ShellFixture.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::shell::Control;
using migracja::testing::DbfWriter;
using migracja::testing::ShellProgram;

namespace {

const std::string kCannotStart = "Nie można uruchomić migracji !"_w;

// A program directory ready for a successful startup with two definitions.
void TwoDefinitions(ShellProgram& p) {
    p.WriteSource("TARV01.DBF", 3);
    p.WriteSource("TARV02.DBF", 2);
    p.WriteDefinition("01-firmy.ini", "TARV01.DBF");
    p.WriteDefinition("02-inne.ini", "tarv02.dbf");
}

}  // namespace

TEST(StartupTest, ASuccessfulStartupEnablesStartAndSettlesAtIdle) {
    ShellProgram p;
    TwoDefinitions(p);
    p.controller.OnActivate();
    EXPECT_EQ(p.controller.StartupStep(), shell::kStartupRequested);
    EXPECT_EQ(p.timer.interval, 2);
    p.controller.OnActivate();  // later activations change nothing
    p.controller.OnShow();      // and neither does the show that follows the activation
    EXPECT_EQ(p.timer.starts, 1);
    p.DrainTimer();

    EXPECT_TRUE(p.messages.shown.empty());
    EXPECT_EQ(p.controller.StartupStep(), shell::kIdle);
    EXPECT_TRUE(p.view.Enabled(Control::StartMigration));
    EXPECT_TRUE(p.view.Enabled(Control::DeleteData));
    EXPECT_TRUE(p.view.Enabled(Control::ChosenFor));
    EXPECT_EQ(p.view.dbfStatus, "Import z : " + p.Folder());
    EXPECT_EQ(p.view.databaseStatus, "Jest połączenie z : "_w + p.database.Location());
    EXPECT_TRUE(p.dane.IBDatabase1.Connected());
    EXPECT_EQ(p.progress.binds, 1);
    EXPECT_TRUE(engine::TDane::ContainsIgnoreCase(p.dane.DatabaseTables, "REJESTR_FIRM"));
    EXPECT_TRUE(engine::TDane::ContainsIgnoreCase(p.dane.DatabaseGenerators, "GEN_REJESTR_FIRM"));
    EXPECT_EQ(p.controller.DbfFileList(),
              (std::vector<std::string>{"TARV01.DBF", "TARV02.DBF", "TARV09.DBF"}));
    EXPECT_EQ(p.view.Texts(), (std::vector<std::string>{"01-firmy", "02-inne"}));
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{true, true}));
    EXPECT_EQ(p.view.selected, 0);
    EXPECT_EQ(p.context.calls,
              (std::vector<std::string>{"CheckOwnerCompany", "CheckBranches", "CheckServiceTeam"}));
    // The folder dialog is not shown when Migracja.ini names a folder.
    EXPECT_TRUE(p.folderDialog.openedWith.empty());
}

TEST(StartupTest, MissingVersionFileStopsBeforeTheDatabaseIsContacted) {
    ShellProgram p;
    TwoDefinitions(p);
    std::filesystem::remove(p.dbfFolder / "TARV09.DBF");
    p.Startup();

    ASSERT_EQ(p.messages.shown.size(), 1u);
    const std::string line = p.Folder() + "  — Brak pliku  TARV09.DBF  !!!"_w;
    EXPECT_EQ(p.messages.shown[0].text, line + "\r\n");
    EXPECT_EQ(p.messages.shown[0].caption, kCannotStart);
    EXPECT_EQ(p.messages.shown[0].icon, ui::Icon::Exclamation);
    EXPECT_EQ(p.messages.shown[0].buttons, ui::Buttons::Ok);
    EXPECT_EQ(p.view.dbfStatus, line);
    EXPECT_TRUE(p.view.databaseStatusHistory.empty());
    EXPECT_FALSE(p.dane.IBDatabase1.Connected());
    EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
    EXPECT_FALSE(p.view.Enabled(Control::StartMigration));
    EXPECT_FALSE(p.view.Enabled(Control::DeleteData));
    EXPECT_FALSE(p.view.Enabled(Control::ChosenFor));
    EXPECT_TRUE(p.view.Enabled(Control::Exit));
    EXPECT_FALSE(p.timer.active);
}

TEST(StartupTest, VersionFieldIsFoundInAnyLetterCaseAndItsAbsenceRefusesOldData) {
    {
        ShellProgram p;
        TwoDefinitions(p);
        p.WriteVersionFile("formalne");
        p.Startup();
        EXPECT_TRUE(p.messages.shown.empty());
        EXPECT_EQ(p.controller.StartupStep(), shell::kIdle);
    }
    {
        ShellProgram p;
        TwoDefinitions(p);
        p.WriteVersionFile("FORMALN");
        p.Startup();
        ASSERT_EQ(p.messages.shown.size(), 1u);
        const std::string first = "Stare DBF-y (Tarvik) — link mniejszy niż 10987  !!!"_w;
        EXPECT_EQ(
            p.messages.shown[0].text,
            first + "\r\n" +
                "Migracja z bazy plików DBF jest dostępna od numeru LNK = 10987 (i większych) !"_w +
                "\r\nTarvik.exe do aktualizaji plików DBF można pobrać ze strony "_w + "\r\n");
        EXPECT_EQ(p.messages.shown[0].caption, kCannotStart);
        EXPECT_EQ(p.view.dbfStatus, first);
        EXPECT_FALSE(p.dane.IBDatabase1.Connected());
        EXPECT_FALSE(p.view.Enabled(Control::DeleteData));
        EXPECT_FALSE(p.view.Enabled(Control::ChosenFor));
        // The version file is closed again, so the legacy program or a run can open it.
        EXPECT_FALSE(p.dane.Dbf1.has_value());
    }
}

TEST(StartupTest, MissingOrUnsetFolderIsSaidInABox) {
    for (const std::string& stored : {std::string("x"), std::string("/nie/ma/takiego")}) {
        ShellProgram p;
        TwoDefinitions(p);
        config::WriteDbfFolder(p.dir.path(), stored);
        p.Startup();
        if (stored.size() > 1) {
            ASSERT_EQ(p.messages.shown.size(), 1u) << stored;
            EXPECT_EQ(p.messages.shown[0].text,
                      stored + "  — Brak katalogu z plikami DBF  !!!\r\n"_w);
        } else {
            // A single character is no folder at all.
            ASSERT_EQ(p.messages.shown.size(), 1u) << stored;
            EXPECT_EQ(p.messages.shown[0].text,
                      "Nie wskazano katalogu z plikami DBF od starego TARVIK !"_w);
        }
        EXPECT_EQ(p.messages.shown[0].caption, "Nie można uruchomić migracji !"_w);
        EXPECT_EQ(p.messages.shown[0].icon, ui::Icon::Exclamation);
        EXPECT_EQ(p.view.dbfStatus, "Brak plików DBF od starego TARVIK "_w);
        EXPECT_FALSE(p.dane.IBDatabase1.Connected());
        EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
        EXPECT_FALSE(p.view.Enabled(Control::StartMigration));
        // The buttons are left as they were.
        EXPECT_TRUE(p.view.Enabled(Control::DeleteData));
        EXPECT_TRUE(p.view.Enabled(Control::ChosenFor));
    }
    // With no folder stored at all the dialog asks; cancelling it ends the startup the same way.
    ShellProgram p;
    std::filesystem::remove(p.dir / "Migracja.ini");
    p.Startup();
    EXPECT_EQ(p.folderDialog.openedWith, std::vector<std::string>{""});
    ASSERT_EQ(p.messages.shown.size(), 1u);
    EXPECT_EQ(p.messages.shown[0].text,
              "Nie wskazano katalogu z plikami DBF od starego TARVIK !"_w);
    EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
}

TEST(StartupTest, SchemaVersionBelow434IsRefusedWithBothVersions) {
    struct Case {
        int major, minor;
        bool accepted;
    };
    for (const Case c :
         {Case{4, 33, false}, Case{4, 34, true}, Case{5, 0, true}, Case{3, 99, false}}) {
        ShellProgram p;
        TwoDefinitions(p);
        p.database.Exec("INSERT INTO BD_VER (ID, VER_MAJOR, VER_MINOR) VALUES (2, " +
                        std::to_string(c.major) + ", " + std::to_string(c.minor) + ")");
        p.Startup();
        const std::string label = std::to_string(c.major) + "." + std::to_string(c.minor);
        if (c.accepted) {
            EXPECT_TRUE(p.messages.shown.empty()) << label;
            EXPECT_EQ(p.controller.StartupStep(), shell::kIdle) << label;
            EXPECT_TRUE(p.dane.IBDatabase1.Connected());
            continue;
        }
        char found[16];
        std::snprintf(found, sizeof found, "%d.%02d", c.major, c.minor);
        ASSERT_EQ(p.messages.shown.size(), 1u) << label;
        EXPECT_EQ(
            p.messages.shown[0].text,
            "Baza Firebird-a w wersji  "_w + found + "  !\r\n" +
                "Aby uruchomić migrację wymagana jest baza danych w wersji co najmniej  4.34  !"_w);
        EXPECT_EQ(p.messages.shown[0].caption, kCannotStart);
        EXPECT_EQ(p.messages.shown[0].icon, ui::Icon::Exclamation);
        EXPECT_EQ(p.view.databaseStatus,
                  "Baza Firebird-a w wersji  "_w + found + "  (wymagana co najmniej 4.34 )");
        EXPECT_FALSE(p.dane.IBDatabase1.Connected());
        EXPECT_TRUE(p.dane.DatabaseTables.empty());
        EXPECT_TRUE(p.dane.DatabaseGenerators.empty());
        EXPECT_FALSE(p.view.Enabled(Control::DeleteData));
        EXPECT_FALSE(p.view.Enabled(Control::ChosenFor));
        EXPECT_FALSE(p.view.Enabled(Control::StartMigration));
        EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
    }
}

TEST(StartupTest, MissingDbIniIsReportedAndStopsTheStartup) {
    ShellProgram p;
    TwoDefinitions(p);
    std::filesystem::remove(p.dir / "Db.Ini");
    p.Startup();
    ASSERT_EQ(p.messages.shown.size(), 1u);
    EXPECT_EQ(p.messages.shown[0].caption, "Brak połączenia"_w);
    EXPECT_EQ(p.view.databaseStatus, "Brak połączenia z bazą TARVIK (Firebird)"_w);
    EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
    EXPECT_EQ(p.progress.binds, 0);
}

TEST(StartupTest, AFailedConnectRaisesAndLeavesTheStartupHalted) {
    ShellProgram p;
    TwoDefinitions(p);
    config::WriteDbSettings(p.dir.path(), (p.dir / "nie-ma.fdb").string(), std::nullopt, "x");
    p.controller.OnActivate();
    EXPECT_THROW(p.controller.OnTimer(), fb::Error);
    EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
    EXPECT_FALSE(p.timer.active);
    EXPECT_FALSE(p.view.Enabled(Control::StartMigration));
    // Nothing is retried: showing or activating the window again starts no second attempt.
    p.controller.OnShow();
    p.controller.OnActivate();
    EXPECT_FALSE(p.timer.active);
    EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
}

TEST(StartupTest, WithoutLegacyDataFilesTheFolderDialogIsForced) {
    ShellProgram p;
    p.WriteDefinition("01-firmy.ini", "TARV01.DBF");
    // The version file is itself a TARV??.DBF file, so the scan finds nothing only when the
    // folder loses it between the two startup steps.
    p.folderDialog.answers.push_back(std::nullopt);  // "&Anuluj"
    p.controller.OnActivate();
    p.controller.OnTimer();  // folder and database checks
    ASSERT_EQ(p.controller.StartupStep(), shell::kSecondStep);
    std::filesystem::remove(p.dbfFolder / "TARV09.DBF");
    p.controller.OnTimer();

    ASSERT_EQ(p.messages.shown.size(), 2u);
    EXPECT_EQ(p.messages.shown[0].text,
              "W podanej lokalizacji nie ma plików *.DBF  ze starej wersji TARVIK !"_w);
    EXPECT_EQ(p.messages.shown[0].caption, "Nie można uruchomić migracji"_w);
    EXPECT_EQ(p.messages.shown[0].icon, ui::Icon::Exclamation);
    // The forced dialog was cancelled, so the stored folder is checked again and now lacks the
    // version file.
    EXPECT_EQ(p.folderDialog.openedWith, std::vector<std::string>{p.Folder()});
    EXPECT_EQ(p.messages.shown[1].caption, kCannotStart);
    EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
    EXPECT_TRUE(p.view.items.empty());
    EXPECT_FALSE(p.view.Enabled(Control::StartMigration));
}

TEST(StartupTest, DefinitionNamesThatDifferInLetterCaseAreSortedAsOneCase) {
    // Sorted by bytes, capitals would come first ("07-Zamowienia" before "07-adresy", "07-ŁYK"
    // before "07-łata"); the list ignores letter case, Polish letters included.
    ShellProgram p;
    p.WriteSource("TARV01.DBF", 1);
    for (const std::string& name : std::vector<std::string>{
             "07-Zamowienia", "07-adresy", "07-BANKI", "07-ŁYK"_w, "07-łata"_w, "07-Ceny", "07-b"})
        p.WriteDefinition(name + ".ini", "TARV01.DBF");
    p.Startup();
    const std::vector<std::string> texts = p.view.Texts();
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(
        std::vector<std::string>(texts.begin(), texts.begin() + 5),
        (std::vector<std::string>{"07-adresy", "07-b", "07-BANKI", "07-Ceny", "07-Zamowienia"}));
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 5, texts.end()),
              (std::vector<std::string>{"07-łata"_w, "07-ŁYK"_w}));
}

TEST(StartupTest, DefinitionListIsSortedCaseBlindAndEnabledByItsDbfFile) {
    ShellProgram p;
    p.WriteSource("TARV01.DBF", 1);
    p.WriteSource("tarv02.dbf", 1);
    p.WriteSource("TARV1.DBF", 1);  // not a TARV??.DBF name
    p.WriteSource("KLIENCI.DBF", 1);
    std::filesystem::rename(p.definitions, p.dir / "DEFINICJE migracji");
    const auto defs = p.dir / "DEFINICJE migracji";
    auto write = [&](const std::string& name, const std::string& dbf) {
        migracja::testing::WriteFileBytes(
            defs / name, "[START]\r\nPlikDBF=" + dbf + "\r\nTabela_0=TELEFONY\r\n");
    };
    write("03-brak.ini", "TARV05.DBF");  // its file is missing
    write("02-male.INI", "TARV02.DBF");  // found as tarv02.dbf
    write("01-duze.ini", "tarv01.dbf");
    write("04-obce.ini", "KLIENCI.DBF");  // present, but not a legacy data file
    write("05-nic.ini", "");              // no file named
    write("0x-zla.txt", "TARV01.DBF");    // not a definition
    write("1-krotka.ini", "TARV01.DBF");  // prefix too short
    std::filesystem::create_directories(defs / "06-folder.ini");
    p.Startup();

    EXPECT_EQ(p.view.Texts(),
              (std::vector<std::string>{"01-duze", "02-male", "03-brak", "04-obce", "05-nic"}));
    EXPECT_EQ(p.view.Enables(), (std::vector<bool>{true, true, false, false, false}));
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{true, true, false, false, false}));
    EXPECT_EQ(p.controller.DbfFileList(),
              (std::vector<std::string>{"TARV01.DBF", "TARV09.DBF", "tarv02.dbf"}));
    // Every item is selected while its header is read, then the first one.
    EXPECT_EQ(p.view.selections, (std::vector<int>{0, 1, 2, 3, 4, 0}));
    EXPECT_EQ(p.controller.DefinitionFolder(), defs);
    EXPECT_EQ(p.controller.DefinitionFile(1), defs / "02-male.INI");
    EXPECT_EQ(p.dane.DefinitionTables, std::vector<std::string>{"TELEFONY"});
    EXPECT_TRUE(p.messages.shown.empty());
}

TEST(StartupTest, MarkerFileStartsEveryDefinitionUnchecked) {
    ShellProgram p;
    TwoDefinitions(p);
    p.WriteDefinition("03-brak.ini", "TARV07.DBF");
    migracja::testing::WriteFileBytes(p.dir / "startcheckfalse.dat", "");
    p.Startup();
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(p.view.Enables(), (std::vector<bool>{true, true, false}));
    p.controller.OnCheckAll(true);
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(p.view.freezes, 1);
    EXPECT_FALSE(p.view.frozen);
    p.controller.OnCheckAll(false);
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{false, false, false}));
}

TEST(StartupTest, MissingOrEmptyDefinitionFolderIsReported) {
    {
        ShellProgram p;
        TwoDefinitions(p);
        std::filesystem::remove_all(p.definitions);
        p.Startup();
        ASSERT_EQ(p.messages.shown.size(), 1u);
        EXPECT_EQ(p.messages.shown[0].text,
                  "Brak podkatalogu o nazwie ..\\Definicje Migracji\\  !"_w);
        EXPECT_EQ(p.messages.shown[0].caption, "Brak definicji migracji"_w);
        EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
        EXPECT_TRUE(p.context.calls.empty());
    }
    {
        ShellProgram p;
        p.WriteSource("TARV01.DBF", 1);
        p.Startup();
        ASSERT_EQ(p.messages.shown.size(), 1u);
        EXPECT_EQ(p.messages.shown[0].text, "Brak plików z definicjami migracji !"_w);
        EXPECT_EQ(p.messages.shown[0].caption, "Uwaga"_w);
        EXPECT_EQ(p.controller.StartupStep(), shell::kBusy);
        EXPECT_FALSE(p.view.Enabled(Control::StartMigration));
    }
}

TEST(StartupTest, ContextChoiceDecidesWhetherStartIsEnabled) {
    const std::string noCompany =
        "Brak firmy która jest licencjobiorcą TARVIK.\r\n"
        "Uruchom TARVIK i wpisz dane swojej firmy !"_w;
    const std::string noTeam =
        "Brak zespołu serwisowego (przypisanego do wybranej firmy) dla dopisywwania zleceń.\r\n"
        "Uruchom TARVIK i wpisz przynajmniej jeden zespół serwisowy dla tej firmy !"_w;
    struct Case {
        const char* name;
        std::function<void(migracja::testing::FakeContext&)> script;
        std::vector<std::string> calls;
        std::string message;  // empty: none
        bool closed, started;
    };
    const std::vector<Case> cases{
        {"no company",
         [](auto& c) {
             c.company = {false, true};
         },
         {"CheckOwnerCompany"},
         noCompany,
         false,
         false},
        {"company cancelled",
         [](auto& c) {
             c.company = {false, false};
             c.chooseCompany = false;
         },
         {"CheckOwnerCompany", "ChooseCompany"},
         "",
         true,
         false},
        {"company picked, branch picked",
         [](auto& c) {
             c.company = {false, false};
             c.hasBranches = true;
         },
         {"CheckOwnerCompany", "ChooseCompany", "CheckBranches", "ChooseBranch",
          "CheckServiceTeam"},
         "",
         false,
         true},
        {"branch cancelled",
         [](auto& c) {
             c.hasBranches = true;
             c.chooseBranch = false;
         },
         {"CheckOwnerCompany", "CheckBranches", "ChooseBranch"},
         "",
         true,
         false},
        {"no team",
         [](auto& c) {
             c.team = {false, true};
         },
         {"CheckOwnerCompany", "CheckBranches", "CheckServiceTeam"},
         noTeam,
         false,
         false},
        {"team cancelled",
         [](auto& c) {
             c.team = {false, false};
             c.chooseTeam = false;
         },
         {"CheckOwnerCompany", "CheckBranches", "CheckServiceTeam", "ChooseServiceTeam"},
         "",
         true,
         false},
    };
    for (const Case& c : cases) {
        ShellProgram p;
        TwoDefinitions(p);
        c.script(p.context);
        p.Startup();
        EXPECT_EQ(p.context.calls, c.calls) << c.name;
        if (c.message.empty()) {
            EXPECT_TRUE(p.messages.shown.empty()) << c.name;
        } else {
            ASSERT_EQ(p.messages.shown.size(), 1u) << c.name;
            EXPECT_EQ(p.messages.shown[0].text, c.message) << c.name;
            EXPECT_EQ(p.messages.shown[0].caption, "Uwaga"_w);
            EXPECT_EQ(p.messages.shown[0].icon, ui::Icon::Exclamation);
        }
        EXPECT_EQ(p.view.closeRequests, c.closed ? 1 : 0) << c.name;
        // Closing runs the close check, which closes the database.
        EXPECT_EQ(p.dane.IBDatabase1.Connected(), !c.closed) << c.name;
        EXPECT_EQ(p.view.Enabled(Control::StartMigration), c.started) << c.name;
        EXPECT_EQ(p.controller.StartupStep(), shell::kIdle) << c.name;
    }
}

TEST(StartupTest, ChosenForClosesTheWindowUnlessAccepted) {
    ShellProgram p;
    TwoDefinitions(p);
    p.Startup();
    p.controller.OnChosenFor();
    EXPECT_EQ(p.view.closeRequests, 0);
    p.context.acceptChoice = false;
    p.controller.OnChosenFor();
    EXPECT_EQ(p.view.closeRequests, 1);
    EXPECT_FALSE(p.dane.IBDatabase1.Connected());
}

TEST(StartupTest, DbfFolderButtonAlwaysAsksAndCancelKeepsTheStoredFolder) {
    ShellProgram p;
    TwoDefinitions(p);
    p.Startup();
    p.controller.OnDbfFolder();
    EXPECT_EQ(p.folderDialog.openedWith, std::vector<std::string>{p.Folder()});
    EXPECT_EQ(p.view.dbfStatus, "Import z : " + p.Folder());
    EXPECT_EQ(config::ReadDbfFolder(p.dir.path()), p.Folder());

    // A folder without the version file disables the two buttons that need the legacy data.
    std::filesystem::create_directories(p.dir / "inne");
    p.folderDialog.answers.push_back((p.dir / "inne").string());
    p.controller.OnDbfFolder();
    EXPECT_EQ(config::ReadDbfFolder(p.dir.path()), (p.dir / "inne").string());
    EXPECT_FALSE(p.view.Enabled(Control::DeleteData));
    EXPECT_FALSE(p.view.Enabled(Control::ChosenFor));
    EXPECT_EQ(p.dane.DbfFolder(), p.dir / "inne");
    ASSERT_EQ(p.messages.shown.size(), 1u);
}

TEST(StartupTest, ARefusedFolderCannotBeMigratedAndAGoodOneRebuildsTheList) {
    ShellProgram p;
    TwoDefinitions(p);
    p.Startup();
    ASSERT_TRUE(p.view.Enabled(Control::StartMigration));
    const std::size_t contextCalls = p.context.calls.size();
    const auto folderWith = [&](const std::string& name, std::optional<std::string> versionField,
                                const std::string& source) {
        const std::filesystem::path folder = p.dir / name;
        std::filesystem::create_directories(folder);
        if (versionField)
            DbfWriter()
                .Field("NR", 'N', 4)
                .Field(*versionField, 'C', 1)
                .Record({"1", "T"})
                .WriteTo(folder / "TARV09.DBF");
        DbfWriter()
            .Field("NR", 'N', 4)
            .Field("NAZWA", 'C', 20)
            .Record({"1", "stara"})
            .WriteTo(folder / source);
        return folder.string();
    };
    // Legacy files without the version file, then a version file of a program too old: both
    // refused, and neither can be migrated, whatever reaches the controller.
    for (const std::optional<std::string>& field :
         {std::optional<std::string>(), std::optional<std::string>("INNE")}) {
        SCOPED_TRACE(field.value_or("no TARV09.DBF"));
        p.messages.shown.clear();
        p.folderDialog.answers.push_back(folderWith(field ? "stare" : "bez", field, "TARV01.DBF"));
        p.controller.OnDbfFolder();
        ASSERT_EQ(p.messages.shown.size(), 1u);
        EXPECT_EQ(p.messages.shown[0].caption, "Nie można uruchomić migracji !"_w);
        EXPECT_FALSE(p.view.Enabled(Control::StartMigration));
        p.controller.OnStartMigration();
        p.DrainTimer();
        EXPECT_NE(p.controller.StartupStep(), shell::kRunning);
        EXPECT_TRUE(p.progress.started.empty());
        EXPECT_EQ(p.database.ScalarInt("SELECT COUNT(*) FROM REJESTR_FIRM"), 0);
    }
    // A folder that passes: the rest of the startup runs for it, the definition of its one file
    // enabled and ticked, the other disabled; the choice of company is not asked again.
    p.messages.shown.clear();
    p.folderDialog.answers.push_back(folderWith("nowe", "FORMALNE", "TARV02.DBF"));
    p.controller.OnDbfFolder();
    p.DrainTimer();
    EXPECT_TRUE(p.messages.shown.empty());
    EXPECT_EQ(p.controller.StartupStep(), shell::kIdle);
    EXPECT_TRUE(p.view.Enabled(Control::StartMigration));
    EXPECT_EQ(p.controller.DbfFileList(), (std::vector<std::string>{"TARV02.DBF", "TARV09.DBF"}));
    EXPECT_EQ(p.view.Enables(), (std::vector<bool>{false, true}));
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{false, true}));
    EXPECT_EQ(p.context.calls.size(), contextCalls);
    p.Run();
    EXPECT_EQ(p.progress.started, std::vector<std::string>{"02-inne.ini"});

    // The same folder again, confirmed or cancelled, keeps the list as the user ticked it.
    p.view.SetDefinitionChecked(1, true);
    p.controller.OnDbfFolder();
    p.DrainTimer();
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{false, true}));
    EXPECT_TRUE(p.view.Enabled(Control::StartMigration));
}

TEST(StartupTest, AStartupHaltedByItsFolderGoesOnWithAFolderThatPasses) {
    ShellProgram p;
    TwoDefinitions(p);
    std::filesystem::remove(p.dbfFolder / "TARV09.DBF");
    p.Startup();
    ASSERT_EQ(p.controller.StartupStep(), shell::kBusy);
    ASSERT_FALSE(p.dane.IBDatabase1.Connected());
    p.WriteVersionFile("FORMALNE");
    p.folderDialog.answers.push_back(p.Folder());
    p.controller.OnDbfFolder();
    p.DrainTimer();
    EXPECT_EQ(p.controller.StartupStep(), shell::kIdle);
    EXPECT_TRUE(p.dane.IBDatabase1.Connected());
    EXPECT_EQ(p.progress.binds, 1);
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{true, true}));
    EXPECT_TRUE(p.view.Enabled(Control::StartMigration));
}
