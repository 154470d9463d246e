#pragma once
// A data module connected to a fresh sample database, with the loader, a DBF folder and a folder
// for definition files: a definition goes through load, DBF open and preparation exactly as a run
// takes it, and records are processed by the real record loop.

#include <string>
#include <vector>

#include "base/Text.h"
#include "config/Connection.h"
#include "definitions/DefinitionLoader.h"
#include "engine/Prepare.h"
#include "engine/RecordLoop.h"
#include "support/DbfWriter.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

namespace migracja::testing {

struct EngineFixture {
    TestDatabase db;
    TempDir dir{"migracja-engine"};
    ScriptedMessageBox messages;
    engine::TDane dane;
    definitions::TFormIni loader{dane, messages};

    // Statements (";"-separated) run on the fresh database before the data module connects,
    // e.g. tables of a test's own.
    explicit EngineFixture(const std::string& setup = {}) {
        if (!setup.empty()) db.Exec(setup);
        config::OpenDatabase(dane.IBDatabase1, db.Location(), "SYSDBA", "masterkey");
        dane.RefreshCatalogue();
        dane.SetDbfFolder(dir.path().string());
    }

    void Dbf(const std::string& name, const DbfWriter& w) { w.WriteTo(dir / name); }

    // The definition's lines, UTF-8 here, stored in Windows-1250 with CR LF as the files are.
    std::filesystem::path Definition(const std::vector<std::string>& lines,
                                     const std::string& name = "01-test.ini") {
        std::string bytes;
        for (const std::string& line : lines) bytes += text::Utf8ToWin1250(line) + "\r\n";
        dir.Write(name, bytes);
        return dir / name;
    }

    // Reset, load, open the DBF file and prepare, as a definition is started for a run. False
    // when the definition does not run (StopRequested, or a file without records).
    bool Prepare(const std::filesystem::path& file) {
        dane.ResetDefinition();
        loader.LoadDefinition(file);
        if (dane.Definition.StopRequested) return false;
        if (!dane.OpenSourceTable()) return false;
        engine::PrepareStatements(dane);
        dane.DefinitionActive = !dane.Definition.StopRequested;
        return dane.DefinitionActive;
    }

    // Processes records until the end of the file or a stop, then commits what is pending.
    // Returns the number of calls.
    int Run(int limit = 1000000) {
        int calls = 0;
        while (dane.DefinitionActive && !dane.Definition.StopRequested && calls < limit) {
            engine::ProcessSourceRecord(dane);
            ++calls;
        }
        engine::CommitPendingRecords(dane);
        return calls;
    }

    // The error log, entries joined by a line "--", in UTF-8 for readable failures.
    std::string Log() const {
        std::string s;
        for (const std::string& e : dane.MigrationErrorLog) s += text::Win1250ToUtf8(e) + "\n--\n";
        return s;
    }
    bool LogHas(const std::string& utf8) const { return Log().find(utf8) != std::string::npos; }

    engine::TableMapping& Table(int n) {
        return dane.Definition.Tables[static_cast<std::size_t>(n)];
    }
    engine::ColumnMapping& Column(int n, const std::string& column) {
        for (engine::ColumnMapping& m : Table(n).Columns)
            if (m.TargetColumn == column) return m;
        throw std::out_of_range("no column " + column);
    }
    int Count(const std::string& sql) { return db.ScalarInt(sql); }
};

}  // namespace migracja::testing
