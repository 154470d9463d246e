#pragma once
// The settings files beside the program: Db.Ini (where the database is and how to log in),
// Migracja.ini (the folder of the legacy DBF files) and the marker StartCheckFalse.Dat.
// The program directory is always passed in, so that tests and tools can point anywhere.
// Texts are Windows-1250 bytes.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace migracja::config {

inline constexpr std::string_view kDbIniFileName = "Db.Ini";
inline constexpr std::string_view kMigracjaIniFileName = "Migracja.ini";
inline constexpr std::string_view kStartUncheckedMarkerFileName = "StartCheckFalse.Dat";

struct DbSettings {
    bool found = false;
    std::string location;
    std::string user;
    std::string password;  // decoded
};

// The file of that (Windows-1250) name in the directory, found without regard to letter case
// because the files come from Windows (FindFile); when there is none, the path with the given
// spelling, for creating the file.
std::filesystem::path FindProgramFile(const std::filesystem::path& programDir,
                                      std::string_view name);

// Throws PasswordFormatError when the stored password is not valid.
DbSettings ReadDbSettings(const std::filesystem::path& programDir);
// Sets location, user and password (encoded) in Db.Ini, keeping all other lines. Without a user
// an existing User key stays as it is, and a new file gets SYSDBA. Returns the file written.
std::filesystem::path WriteDbSettings(const std::filesystem::path& programDir,
                                      std::string_view location,
                                      std::optional<std::string_view> user,
                                      std::string_view password);

// Empty when the file or key is missing; reading never creates the file.
std::string ReadDbfFolder(const std::filesystem::path& programDir);
void WriteDbfFolder(const std::filesystem::path& programDir, std::string_view folder);

bool StartUncheckedMarkerExists(const std::filesystem::path& programDir);

// Migracja.ini [Wydajnosc] RekordowNaTransakcje: how many source records one write transaction
// of a run may hold. A missing or invalid value, or one below 1, gives 1 (a commit per record);
// values above kMaxRecordsPerTransaction give that bound.
inline constexpr int kMaxRecordsPerTransaction = 100000;
int ReadRecordsPerTransaction(const std::filesystem::path& programDir);

}  // namespace migracja::config
