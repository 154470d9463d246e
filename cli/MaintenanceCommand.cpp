// delete-data, clean-serials and split-phones: the maintenance commands of the main window for
// a terminal. Each connects as the program does and prints, in UTF-8, every change it makes.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Text.h"
#include "cli/Commands.h"
#include "cli/ConsoleUi.h"
#include "config/Connection.h"
#include "engine/Dane.h"
#include "shell/Seams.h"
#include "tools/DeleteData.h"
#include "tools/PhoneCleanup.h"
#include "tools/SerialCleanup.h"

namespace migracja::cli {

namespace {

using namespace migracja::literals;

std::string Utf8(const std::string& win1250) {
    std::string s = text::Win1250ToUtf8(win1250);
    std::erase(s, '\r');
    return s;
}

// The end messages of the window's commands, printed instead of shown.
class PrintedMessages : public ui::MessageBox {
  public:
    ui::Answer Show(const std::string& text, const std::string&, ui::Icon,
                    ui::Buttons buttons) override {
        std::printf("%s\n", Utf8(text).c_str());
        return buttons == ui::Buttons::Ok ? ui::Answer::Ok : ui::Answer::No;
    }
};

// Removes a flag without a value ("--yes") from the arguments; true when it was there.
Options ParseNoPositional(const std::string& command, const Args& args,
                          const std::vector<std::string>& allowed) {
    Options options = Options::Parse(args, allowed);
    if (!options.positional.empty())
        throw UsageError{command + ": unexpected argument " + options.positional.front()};
    return options;
}

// A database error, printed as Firebird words it; the command then fails.
int DatabaseFailure(const fb::Error& e) {
    std::fprintf(stderr, "%s\n", Utf8(e.what()).c_str());
    return 1;
}

// Connects from Db.Ini of the program folder as the program does and, like the program,
// works only on a database of the schema version it knows.
bool Connect(engine::TDane& dane, const std::filesystem::path& dir) {
    ConsoleMessageBox messages;
    if (!config::ConnectFromSettings(dane.IBDatabase1, dir, messages)) return false;
    const engine::SchemaVersion version = dane.ReadSchemaVersion();
    if (!version.AtLeast(engine::kMinimumSchemaVersion)) {
        std::fprintf(
            stderr, "%s\n",
            Utf8("Baza Firebird-a w wersji  "_w + version.ToString() + "  (wymagana co najmniej " +
                 engine::kMinimumSchemaVersion.ToString() + " )")
                .c_str());
        return false;
    }
    dane.RefreshCatalogue();
    return true;
}

std::vector<std::int32_t> ReadIds(engine::TDane& dane, const std::string& sql) {
    std::vector<std::int32_t> ids;
    fb::TransactionScope read(dane.IBTransactionR, &dane.IBQueryR);
    for (dane.IBQueryR.SetSql(sql), dane.IBQueryR.Open(); !dane.IBQueryR.Eof();
         dane.IBQueryR.Next())
        ids.push_back(dane.IBQueryR.Fields(0).AsInteger());
    read.Commit();
    return ids;
}

// The owner company whose row REJESTR_FIRM keeps: the one given, or the only owner company of
// the installation.
std::int32_t OwnerCompany(engine::TDane& dane, const std::string* given) {
    if (given) {
        std::int32_t id = 0;
        try {
            std::size_t used = 0;
            id = std::stoi(*given, &used);
            if (used != given->size()) throw std::invalid_argument(*given);
        } catch (const std::exception&) {
            throw UsageError{"delete-data: --owner needs a FIRMA_ID, not " + *given};
        }
        if (ReadIds(dane,
                    "SELECT FIRMA_ID FROM REJESTR_FIRM WHERE FIRMA_ID = " + std::to_string(id))
                .empty())
            throw UsageError{"delete-data: REJESTR_FIRM has no FIRMA_ID " + std::to_string(id)};
        return id;
    }
    const std::vector<std::int32_t> owners =
        ReadIds(dane,
                "SELECT fs.FIRMA_ID From FIRMY_TARVIK fs, REJESTR_FIRM rf where (fs.FIRMA_ID = "
                "rf.FIRMA_ID)");
    return owners.size() == 1 ? owners.front() : -1;
}

// delete-data --dir PROG --tables A,B [--owner FIRMA_ID] --yes
int DeleteData(Args args) {
    const bool yes = Options::TakeFlag(args, "--yes");
    const Options options = ParseNoPositional("delete-data", args, {"dir", "tables", "owner"});
    const std::filesystem::path dir = options.Require("dir");
    std::vector<std::string> tables =
        Options::SplitList(text::Utf8ToWin1250(options.Require("tables")));
    if (tables.empty()) throw UsageError{"delete-data: --tables names no table"};
    if (!yes) throw UsageError{"delete-data deletes the rows for good: confirm with --yes"};

    engine::TDane dane;
    try {
        if (!Connect(dane, dir)) return 1;
        // Names as the database spells them; an unknown one is refused below.
        for (std::string& t : tables)
            for (const std::string& known : dane.DatabaseTables)
                if (text::EqualsIgnoreCase(known, t)) t = known;
        if (std::find(tables.begin(), tables.end(), tools::kOwnerTable) != tables.end())
            dane.Target.SelectedFirmaId = OwnerCompany(dane, options.Find("owner"));
        if (const std::string refusal = tools::DeleteDataRefusal(dane, tables); !refusal.empty()) {
            std::string line = Utf8(refusal);
            std::replace(line.begin(), line.end(), '\n', ' ');
            if (dane.Target.SelectedFirmaId < 0 &&
                std::find(tables.begin(), tables.end(), tools::kOwnerTable) != tables.end())
                line += " (--owner FIRMA_ID)";
            throw UsageError{line};
        }
        const auto emptied = tools::DeleteData(dane, tables, [](const tools::EmptiedTable& t) {
            std::string line = t.table + ": " + std::to_string(t.rowsDeleted) + " rows deleted";
            if (t.keptId >= 0)
                line +=
                    std::string(t.table == tools::kOwnerTable ? ", FIRMA_ID " : ", KATEGORIA_ID ") +
                    std::to_string(t.keptId) + " kept";
            if (!t.generator.empty())
                line += ", " + t.generator + " set to " + std::to_string(t.generatorValue);
            std::printf("%s\n", Utf8(line).c_str());
        });
        PrintedMessages().Inform(
            "Usunięto wszytkie rekordy z  "_w + std::to_string(emptied.size()) + " tabel !", "");
    } catch (const tools::DeleteDataError& e) {
        std::fprintf(stderr, "%s\n", Utf8(tools::DeleteFailureText(e)).c_str());
        return 1;
    } catch (const fb::Error& e) {
        return DatabaseFailure(e);
    }
    return 0;
}

// clean-serials --dir PROG
int CleanSerials(const Args& args) {
    const Options options = ParseNoPositional("clean-serials", args, {"dir"});
    engine::TDane dane;
    try {
        if (!Connect(dane, options.Require("dir"))) return 1;
        const auto changed = tools::RemoveSerialSpaces(dane, [](const tools::SerialChange& c) {
            std::printf("SPRZET_ID %d: '%s' -> '%s'\n", c.sprzetId, Utf8(c.before).c_str(),
                        Utf8(c.after).c_str());
        });
        PrintedMessages messages;
        tools::ShowSerialCleanupResult(messages, changed.size());
    } catch (const fb::Error& e) {
        return DatabaseFailure(e);
    }
    return 0;
}

std::string PhoneText(const std::string& areaCode, const std::string& number) {
    std::string s;
    if (!areaCode.empty()) s += "NR_KIERUNEK '" + areaCode + "', ";
    return s + "NUMER '" + number + "'";
}

void PrintPhoneChange(const tools::PhoneRowChange& c) {
    std::printf("TEL_ID %d: '%s' -> %s\n", c.telId, Utf8(c.number).c_str(),
                Utf8(PhoneText(c.newAreaCode, c.newNumber)).c_str());
    for (const tools::NewPhoneRow& added : c.added) {
        std::string line = "  + ";
        if (added.telId >= 0) line += "TEL_ID " + std::to_string(added.telId) + ": ";
        line += PhoneText(added.extension ? std::string() : added.areaCode, added.number);
        if (added.extension) line += ", TYP 'Wewnętrzny'"_w;
        std::printf("%s\n", Utf8(line).c_str());
    }
}

// split-phones --dir PROG [--dry-run]
int SplitPhones(Args args) {
    const bool dryRun = Options::TakeFlag(args, "--dry-run");
    const Options options = ParseNoPositional("split-phones", args, {"dir"});
    engine::TDane dane;
    shell::SystemClock clock;
    try {
        if (!Connect(dane, options.Require("dir"))) return 1;
        const tools::PhoneSplitRun run = tools::SplitGluedPhoneNumbers(
            dane, [&clock] { return clock.LocalNow(); }, dryRun, PrintPhoneChange);
        for (const tools::UnreadablePhone& u : run.unreadable)
            std::printf("TEL_ID %d: '%s' left unchanged: it cannot be read with confidence\n",
                        u.telId, Utf8(u.number).c_str());
        if (dryRun) {
            std::printf("dry run: %d statements proposed, nothing written\n", run.statements);
        } else {
            PrintedMessages messages;
            tools::ShowPhoneSplitResult(messages, run);
            if (const std::string note = tools::UnreadPhonesNote(run); !note.empty())
                std::printf("%s\n", Utf8(note).c_str());
        }
    } catch (const fb::Error& e) {
        return DatabaseFailure(e);
    }
    return 0;
}

}  // namespace

int RunMaintenance(const std::string& command, const Args& args) {
    if (command == "delete-data") return DeleteData(args);
    if (command == "clean-serials") return CleanSerials(args);
    if (command == "split-phones") return SplitPhones(args);
    throw UsageError{"unknown command " + command};
}

}  // namespace migracja::cli
