#pragma once
// The error report of a run: the entries of the error log saved beside the program in a file
// named from the run's start, and offered for viewing when an entry asks to be shown.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "base/Values.h"
#include "config/Ui.h"
#include "engine/Dane.h"
#include "engine/ErrorLog.h"

namespace migracja::engine {

// Writes a date in some short date format; the report takes it from the system unless told.
using ShortDateFormatter = std::function<std::string(const CivilDateTime&)>;

// The date in the short date format of the environment's locale (LC_ALL, LC_TIME, LANG), as
// strftime's %x gives it; the C locale's format when the environment names no usable locale.
std::string SystemShortDate(const CivilDateTime& date);

// "Migracja " + short date + " " + hh_nn + ".err". Characters a file name cannot hold here or on
// Windows (/ \ : * ? " < > | and control characters) become '-', so that a date format such as
// "dd/MM/yyyy" still gives a file the report can be saved to.
std::string ErrorReportFileName(DateTime runStartTime,
                                const ShortDateFormatter& shortDate = SystemShortDate);

// "Odrzucone " + short date + " " + hh_nn: the folder of the run's rejected records.
std::string RejectFolderName(DateTime runStartTime,
                             const ShortDateFormatter& shortDate = SystemShortDate);

// Saves the entries, each followed by CR LF, as the bytes they are, to the report file in
// programDir (an existing one is overwritten) and returns its path; nothing when the log is
// empty. When errorsOccurred, asks (empty caption, Yes/No) with all entries and
// "Czy pokazać komunikat w notatniku ?" and on Yes opens the file in the viewer (its native
// path). A file that cannot be saved throws std::runtime_error before anything is asked. The
// trailer (the run's summary) ends the file; it is not part of the question.
std::optional<std::filesystem::path> WriteErrorReport(
    const ErrorLog& log, bool errorsOccurred, DateTime runStartTime,
    const std::filesystem::path& programDir, ui::MessageBox& messages, ui::FileViewer& viewer,
    const ShortDateFormatter& shortDate = SystemShortDate, const std::string& trailer = {});

// Asks (empty caption, Yes/No) with all entries and "Czy pokazać komunikat w notatniku ?"; on
// Yes opens the saved file in the viewer.
void OfferErrorReport(const ErrorLog& log, const std::filesystem::path& file,
                      ui::MessageBox& messages, ui::FileViewer& viewer);

// The same for the data module's log, ErrorsOccurred flag and ReportTrailer.
std::optional<std::filesystem::path> WriteErrorReport(
    const TDane& dane, DateTime runStartTime, const std::filesystem::path& programDir,
    ui::MessageBox& messages, ui::FileViewer& viewer,
    const ShortDateFormatter& shortDate = SystemShortDate);

}  // namespace migracja::engine
