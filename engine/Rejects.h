#pragma once
// Records set aside during a run. With a limit above 0, a record whose failure belongs to it
// alone (a value the database refuses, a violated key, a calculation that fails on its data) is
// rolled back, entered in the error log as usual, and copied as it was read into a DBF file of
// the same name in the run's reject folder; the run goes on. The record after the limit stops
// the run as the first one does with the limit at 0.
//
// The reject folder, "Odrzucone <date> <hh_nn>" beside the report, is made at the first reject
// and gets TARV09.DBF of the DBF folder with its structure and no record, so that it passes the
// startup checks as a DBF folder: the records, once corrected, are migrated by running the same
// definitions on it.

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "dbf/DbfRejectFile.h"
#include "dbf/DbfTable.h"
#include "engine/MigrationDefinition.h"

namespace migracja::engine {

// The folder's name: "Odrzucone " + the report's date and time form.
inline constexpr const char* kRejectFolderPrefix = "Odrzucone ";

class RejectSet {
  public:
    // A new run: its limit (0 keeps the first failing record's stop) and the folder its rejects
    // go to. Earlier rejects are forgotten; their files stay.
    void StartRun(int limit, std::filesystem::path folder);

    int Limit() const { return limit_; }
    int Count() const { return count_; }
    // Whether one more record may be set aside.
    bool Room() const { return count_ < limit_; }
    // The folder of this run's rejects; it exists once Count() is above 0. When the name is
    // taken already (another run of the same minute), " (2)", " (3)" … is added.
    const std::filesystem::path& Folder() const { return folder_; }

    // Copies the current record of source into the reject file named as source. Throws DbfError
    // when the folder or the file cannot be written.
    void Add(const dbf::DbfTable& source);
    // Counts the records added so far in the headers of their files, after syncing them to the
    // disk (see DbfRejectFile). Called at the end of each timer tick of a run, where it waits
    // for the disk at most once a second (a sync per tick would cost more than the rejects), and
    // with always set when the run ends. Throws DbfError.
    void Flush(bool always = true);

  private:
    void MakeFolder(const std::filesystem::path& sourceFolder);

    int limit_ = 0;
    int count_ = 0;
    std::filesystem::path folder_;
    bool folderMade_ = false;
    std::chrono::steady_clock::time_point flushed_{};
    std::map<std::string, dbf::DbfRejectFile> files_;  // by the upper-case file name
};

// What the record loop counts for the summary of a definition, besides the rows per counter:
// rejected records, and per table slot the records for which the table was not written because
// its conditions or the skip rule said no, or because its exists-query found the row.
struct RecordTally {
    std::int32_t Rejected = 0;
    std::array<std::int32_t, kTableSlots> Skipped{};
    std::array<std::int32_t, kTableSlots> Existing{};
};

// What one definition of a run did, for the run's summary: the rows written, skipped and found
// per target table (tables of the same name together), in the order of the counters.
struct TableOutcome {
    std::string Table;
    std::int32_t Rows = 0, Skipped = 0, Existing = 0;
};
struct DefinitionOutcome {
    std::string Name;  // the definition file's name without folder and extension
    std::int32_t Read = 0, Total = 0, Rejected = 0;
    std::vector<TableOutcome> Tables;
    double Seconds = 0;
};

}  // namespace migracja::engine
