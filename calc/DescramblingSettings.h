#pragma once
// The scrambling constants of the legacy data, kept in Migracja.ini beside the program so that
// they can be set for the data at hand:
//
//   [Deszyfrowanie]
//   Ziarno=23100            ; 16-bit seed, 0..65535
//   DodatekNieparzysty=43   ; 8-bit addend after a left rotation, 0..255
//   DodatekParzysty=113     ; 8-bit addend after a right rotation, 0..255
//   KluczZastepczy=13       ; key used when the computed one is 0, 1..31
//
// A missing file, section or key, a value that is not an integer, a value out of its range and
// a fallback key of 0 each give that constant's default.

#include <filesystem>
#include <string_view>

#include "calc/MigracjaUtil.h"
#include "config/IniFile.h"

namespace migracja::calc {

inline constexpr std::string_view kDescramblingSection = "Deszyfrowanie";
inline constexpr std::string_view kSeedKey = "Ziarno";
inline constexpr std::string_view kOddParityAddendKey = "DodatekNieparzysty";
inline constexpr std::string_view kEvenParityAddendKey = "DodatekParzysty";
inline constexpr std::string_view kFallbackKeyKey = "KluczZastepczy";

inline constexpr ScramblingConstants kDefaultScramblingConstants{
    .seed = 23100, .oddParityAddend = 43, .evenParityAddend = 113, .fallbackKey = 13};

ScramblingConstants ReadScramblingConstants(const config::IniFile& ini);
// Reads Migracja.ini in the program directory (its name found without regard to letter case).
ScramblingConstants ReadScramblingConstants(const std::filesystem::path& programDir);

}  // namespace migracja::calc
