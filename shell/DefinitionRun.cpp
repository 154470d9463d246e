#include "shell/DefinitionRun.h"

#include "base/FileSearch.h"
#include "base/Text.h"
#include "engine/Prepare.h"
#include "engine/RecordLoop.h"
#include "shell/RunSummary.h"

namespace migracja::shell {

using namespace migracja::literals;

bool DefinitionRunner::Start(const std::filesystem::path& definitionFile) {
    engine::MigrationDefinition& d = dane_.Definition;
    dane_.ResetDefinition();
    const std::size_t entries = dane_.MigrationErrorLog.size();
    try {
        loader_.LoadDefinition(definitionFile);
    } catch (const fb::Error& e) {
        // Reading the target tables or adding their bookkeeping column failed: the run ends,
        // and the report says why.
        if (dane_.MigrationErrorLog.size() == entries)
            dane_.AddErrorWithContext(e.Message() + (e.Sql().empty() ? "" : "\r\n" + e.Sql()), -1,
                                      -1);
        throw;
    }
    if (d.StopRequested) return false;
    try {
        if (!dane_.OpenSourceTable()) return false;
    } catch (const dbf::DbfError& e) {
        // The file is missing, locked by another program or damaged: the user needs to know
        // which, in the report as well.
        dane_.AddErrorWithContext(text::Utf8ToWin1250(e.what()), -1, -1);
        return false;
    }
    try {
        engine::PrepareStatements(dane_);
    } catch (const fb::Error& e) {
        if (!d.StopRequested)
            dane_.AddErrorWithContext(e.Message() + (e.Sql().empty() ? "" : "\r\n" + e.Sql()), -1,
                                      -1);
        throw;
    }
    d.CurrentRecordNo = 0;
    dane_.DefinitionActive = !d.StopRequested;
    if (dane_.DefinitionActive) {
        started_ = std::chrono::steady_clock::now();
        NoteDefinitionStart(dane_, DisplayName(definitionFile));
    }
    return dane_.DefinitionActive;
}

void DefinitionRunner::Step() {
    // Also after a failure: the summary shows the record that stopped the run as read.
    struct Note {
        DefinitionRunner& r;
        ~Note() {
            NoteDefinitionProgress(r.dane_, std::chrono::duration<double>(
                                                std::chrono::steady_clock::now() - r.started_)
                                                .count());
        }
    } note{*this};
    engine::ProcessSourceRecord(dane_);
}

void RequestStop(engine::TDane& dane) {
    dane.AddNote("Przerwanie ręczne"_w, engine::Stops::Run);
}

void DefinitionRunner::RequestStop() {
    shell::RequestStop(dane_);
}

std::string DefinitionRunner::DisplayName(const std::filesystem::path& definitionFile) {
    return config::TextFromPath(definitionFile.stem());
}

}  // namespace migracja::shell
