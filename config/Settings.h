#pragma once
// The settings files beside the program: Db.Ini (where the database is and how to log in),
// Migracja.ini (the folder of the legacy DBF files) and the marker StartCheckFalse.Dat.
// The program directory is always passed in, so that tests and tools can point anywhere.
// Texts are Windows-1250 bytes.

#include <filesystem>
#include <optional>
#include <stdexcept>
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

// Migracja.ini [Bledy] MaksOdrzuconych: how many source records a run may set aside (reject)
// and go on; the next one stops it. 0, the default when the file or key is missing or empty,
// stops the run at the first record that cannot be written. A value that is not a whole number
// from 0 to kMaxRejectsLimit throws SettingError naming the file, the section and the key.
inline constexpr int kMaxRejectsLimit = 1000000;
class SettingError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
int ReadMaxRejects(const std::filesystem::path& programDir);
// The text as such a limit (blanks around it allowed); nothing when it is not one.
std::optional<int> ParseMaxRejects(std::string_view text);

}  // namespace migracja::config
