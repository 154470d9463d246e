#pragma once
// The summary of a run: for every definition that ran, the records read and rejected, per target
// table the rows written, the records the table was skipped for (its conditions or the skip rule)
// and those whose row its exists-query found, with the time taken and the rate. The command line
// prints it; the report file of a run with a reject limit ends with it.

#include <string>
#include <vector>

#include "engine/Dane.h"

namespace migracja::shell {

// A definition has started (loaded, opened, prepared): a new outcome in dane.Outcomes with the
// definition's counters.
void NoteDefinitionStart(engine::TDane& dane, const std::string& name);
// Brings the last outcome up to the running definition's numbers.
void NoteDefinitionProgress(engine::TDane& dane, double seconds);

// The summary as an aligned table of Windows-1250 lines, each ended by CR LF, then where the
// rejected records are when there are any.
std::string FormatRunSummary(const std::vector<engine::DefinitionOutcome>& outcomes,
                             const engine::RejectSet& rejects);

// A folder of rejected records ("Odrzucone …"): chosen as the DBF folder it serves the session or
// the run only and is never remembered in Migracja.ini, which keeps the folder of the legacy data.
bool IsRejectFolder(const std::string& folder);

}  // namespace migracja::shell
