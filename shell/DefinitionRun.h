#pragma once
// Starting and advancing one definition of a run, shared by the progress window of the desktop
// program and by the command line: reset, load, open the DBF file, prepare, then one record per
// step. The windows only show what this does.

#include <chrono>
#include <filesystem>
#include <string>

#include "definitions/DefinitionLoader.h"
#include "engine/Dane.h"

namespace migracja::shell {

// What the Stop button does to the run: it ends at the next tick, the record in progress having
// been committed or rolled back, and the report holds "Przerwanie ręczne". ErrorsOccurred is
// left alone.
void RequestStop(engine::TDane& dane);

class DefinitionRunner {
  public:
    DefinitionRunner(engine::TDane& dane, definitions::TFormIni& loader)
        : dane_(dane), loader_(loader) {}

    // Resets the model, loads the definition, opens its DBF file and prepares the statements.
    // True when the definition is ready to run (DefinitionActive is then set): false when the
    // load or the preparation stopped the run (StopRequested) or the file has no records. A
    // DBF file that cannot be opened (missing, locked, damaged) becomes an entry and stops the
    // run; database failures are entered and propagate.
    bool Start(const std::filesystem::path& definitionFile);

    // One source record. Failures propagate after the record was rolled back and entered. The
    // run's summary follows every record (TDane::Outcomes).
    void Step();

    // The Stop button, and whatever else stops a run from outside between two records: the
    // run ends at the next tick, the record in progress having been committed or rolled back,
    // and the report holds "Przerwanie ręczne". ErrorsOccurred is left alone.
    void RequestStop();

    // The file name shown for the definition: without folder and extension.
    static std::string DisplayName(const std::filesystem::path& definitionFile);

  private:
    engine::TDane& dane_;
    definitions::TFormIni& loader_;
    std::chrono::steady_clock::time_point started_{};
};

}  // namespace migracja::shell
