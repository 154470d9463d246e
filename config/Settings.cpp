#include "config/Settings.h"

#include <algorithm>
#include <system_error>

#include "base/FileSearch.h"
#include "base/Text.h"
#include "config/IniFile.h"
#include "config/Password.h"

namespace migracja::config {

namespace {

constexpr std::string_view kDbSection = "BD_TARVIK";
constexpr std::string_view kLocationKey = "Lokalizacja";
constexpr std::string_view kUserKey = "User";
constexpr std::string_view kPasswordKey = "Password";
constexpr std::string_view kDefaultUser = "SYSDBA";
constexpr std::string_view kDefaultPassword = "vaultpass";

constexpr std::string_view kDbfSection = "Old_Tarvik";
constexpr std::string_view kDbfFolderKey = "PathToDbf";

// Reading trims a value and strips one pair of enclosing quotes; a value that reading would
// change is written inside double quotes, so that it reads back as it was given.
std::string ForProfile(std::string_view value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    if (quoted || text::Trim(value).size() != value.size()) return "\"" + std::string(value) + "\"";
    return std::string(value);
}

}  // namespace

std::filesystem::path FindProgramFile(const std::filesystem::path& programDir,
                                      std::string_view name) {
    return FindFile(programDir, name).value_or(programDir / PathFromText(name));
}

DbSettings ReadDbSettings(const std::filesystem::path& programDir) {
    const IniFile ini = IniFile::Load(FindProgramFile(programDir, kDbIniFileName));
    DbSettings settings;
    if (!ini.Exists()) return settings;
    settings.found = true;
    settings.location = ini.ReadString(kDbSection, kLocationKey, "");
    settings.user = ini.ReadString(kDbSection, kUserKey, kDefaultUser);
    // The default is run through the decoder like any stored value.
    settings.password = DecodePassword(ini.ReadString(kDbSection, kPasswordKey, kDefaultPassword));
    return settings;
}

std::filesystem::path WriteDbSettings(const std::filesystem::path& programDir,
                                      std::string_view location,
                                      std::optional<std::string_view> user,
                                      std::string_view password) {
    const std::filesystem::path path = FindProgramFile(programDir, kDbIniFileName);
    IniFile ini = IniFile::Load(path);
    ini.Set(kDbSection, kLocationKey, ForProfile(location));
    if (user)
        ini.Set(kDbSection, kUserKey, ForProfile(*user));
    else if (!ini.Find(kDbSection, kUserKey))
        ini.Set(kDbSection, kUserKey, kDefaultUser);
    ini.Set(kDbSection, kPasswordKey, EncodePassword(password));
    ini.Save(path);
    return path;
}

std::string ReadDbfFolder(const std::filesystem::path& programDir) {
    return IniFile::Load(FindProgramFile(programDir, kMigracjaIniFileName))
        .ReadString(kDbfSection, kDbfFolderKey, "");
}

void WriteDbfFolder(const std::filesystem::path& programDir, std::string_view folder) {
    WriteProfileString(FindProgramFile(programDir, kMigracjaIniFileName), kDbfSection,
                       kDbfFolderKey, ForProfile(folder));
}

int ReadRecordsPerTransaction(const std::filesystem::path& programDir) {
    const std::int32_t n = IniFile::Load(FindProgramFile(programDir, kMigracjaIniFileName))
                               .ReadInteger("Wydajnosc", "RekordowNaTransakcje", 1);
    return n < 1 ? 1 : std::min(n, kMaxRecordsPerTransaction);
}

std::optional<int> ParseMaxRejects(std::string_view value) {
    const std::string_view digits = text::Trim(value);
    if (digits.empty() || digits.size() > 7) return std::nullopt;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n > kMaxRejectsLimit) return std::nullopt;
    return n;
}

int ReadMaxRejects(const std::filesystem::path& programDir) {
    using namespace migracja::literals;
    const std::filesystem::path file = FindProgramFile(programDir, kMigracjaIniFileName);
    const std::string value = IniFile::Load(file).ReadString("Bledy", "MaksOdrzuconych", "");
    if (text::Trim(value).empty()) return 0;
    if (const std::optional<int> n = ParseMaxRejects(value)) return *n;
    throw SettingError("Błędna wartość klucza MaksOdrzuconych w sekcji [Bledy] pliku "_w +
                       TextFromPath(file) + ": \"" + value + "\" (dozwolona liczba od 0 do "_w +
                       std::to_string(kMaxRejectsLimit) + ")");
}

bool StartUncheckedMarkerExists(const std::filesystem::path& programDir) {
    std::error_code ec;
    return std::filesystem::is_regular_file(
        FindProgramFile(programDir, kStartUncheckedMarkerFileName), ec);
}

}  // namespace migracja::config
