#pragma once
// A data module connected to a fresh sample database, with the loader and a folder for the
// definition files the tests write.

#include <string>
#include <vector>

#include "config/Connection.h"
#include "definitions/DefinitionLoader.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

namespace migracja::testing {

struct LoaderFixture {
    TestDatabase db;
    TempDir dir{"migracja-def"};
    ScriptedMessageBox messages;
    engine::TDane dane;
    definitions::TFormIni loader{dane, messages};

    LoaderFixture() {
        config::OpenDatabase(dane.IBDatabase1, db.Location(), "SYSDBA", "masterkey");
        dane.RefreshCatalogue();
    }

    // Writes the lines, each ended by CR LF, and returns the file's path.
    std::filesystem::path Write(const std::string& name, const std::vector<std::string>& lines) {
        std::string bytes;
        for (const std::string& line : lines) bytes += line + "\r\n";
        dir.Write(name, bytes);
        return dir / name;
    }

    // Resets and loads, as the progress window does for each definition.
    bool Load(const std::filesystem::path& file) {
        dane.ResetDefinition();
        return loader.LoadDefinition(file);
    }

    // Columns of a table in field order, as the database lists them.
    std::vector<std::string> DatabaseColumns(const std::string& table) {
        std::vector<std::string> names;
        const int count = db.ScalarInt(
            "SELECT COUNT(*) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = '" + table + "'");
        for (int i = 0; i < count; ++i)
            names.push_back(
                db.Scalar("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE "
                          "RDB$RELATION_NAME = '" +
                          table + "' ORDER BY RDB$FIELD_POSITION ROWS " + std::to_string(i + 1) +
                          " TO " + std::to_string(i + 1)));
        return names;
    }

    bool HasColumn(const std::string& table, const std::string& column) {
        return db.ScalarInt("SELECT COUNT(*) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = '" +
                            table + "' AND RDB$FIELD_NAME = '" + column + "'") == 1;
    }
};

}  // namespace migracja::testing
