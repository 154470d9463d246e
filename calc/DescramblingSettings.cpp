#include "calc/DescramblingSettings.h"

#include <cstdint>

#include "config/Settings.h"

namespace migracja::calc {

namespace {

// The value of the key when it lies in [low, high], otherwise the default.
std::int32_t ReadInRange(const config::IniFile& ini, std::string_view key, std::int32_t low,
                         std::int32_t high, std::int32_t defaultValue) {
    const std::int32_t value = ini.ReadInteger(kDescramblingSection, key, defaultValue);
    return value >= low && value <= high ? value : defaultValue;
}

}  // namespace

ScramblingConstants ReadScramblingConstants(const config::IniFile& ini) {
    const ScramblingConstants& d = kDefaultScramblingConstants;
    ScramblingConstants c;
    c.seed = static_cast<std::uint16_t>(ReadInRange(ini, kSeedKey, 0, 0xFFFF, d.seed));
    c.oddParityAddend = static_cast<std::uint8_t>(
        ReadInRange(ini, kOddParityAddendKey, 0, 0xFF, d.oddParityAddend));
    c.evenParityAddend = static_cast<std::uint8_t>(
        ReadInRange(ini, kEvenParityAddendKey, 0, 0xFF, d.evenParityAddend));
    c.fallbackKey =
        static_cast<std::uint8_t>(ReadInRange(ini, kFallbackKeyKey, 1, 0x1F, d.fallbackKey));
    return c;
}

ScramblingConstants ReadScramblingConstants(const std::filesystem::path& programDir) {
    return ReadScramblingConstants(
        config::IniFile::Load(config::FindProgramFile(programDir, config::kMigracjaIniFileName)));
}

}  // namespace migracja::calc
