#pragma once
// Text routines shared by the engine and the calculation functions: splitting a person's name,
// reshaping postal codes and tax numbers, the field-name character test, the legacy DOS code
// pages, descrambling of scrambled legacy fields and two number readers.
// All texts are Windows-1250 bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Values.h"

namespace migracja::calc {

// '00950' gives '00-950'; the dash is inserted even when the code already has one.
std::string KodPocztowyZKreska(std::string_view text);

// Parts of a tax number written as '123-456-78-90': characters 1-3 and 5-7, trimmed.
std::string Get1PrefixNIP(std::string_view text);
std::string Get2PrefixNIP(std::string_view text);

// Characters of a field name after "PLIKDBF->": ASCII letters, digits and '_'.
bool IsFieldNameChar(char c);

// The 18 Polish letters of the DOS code pages become their Windows-1250 bytes; every other
// byte stays as it is, so the length never changes.
std::string MazoviaToWin1250(std::string_view text);
std::string Latin2ToWin1250(std::string_view text);

// Constants of the legacy scrambling. The key of a position comes out as a five-bit value; the
// fallback replaces a key of 0 and must itself be 1..31.
struct ScramblingConstants {
    std::uint16_t seed = 0;
    std::uint8_t oddParityAddend = 0;   // added after rotating left
    std::uint8_t evenParityAddend = 0;  // added after rotating right
    std::uint8_t fallbackKey = 1;

    friend bool operator==(const ScramblingConstants&, const ScramblingConstants&) = default;
};

// XORs every byte with a key built from the text length and the position, so applying it twice
// gives the text back.
std::string DescrambleText(std::string_view text, const ScramblingConstants& constants);

// The money value written in a text, e.g. '1 234,50 zł' gives 1234.5000. A text without a number
// gives -101.0190, the legacy marker of an unreadable amount.
Money MoneyFromDigitsAnywhere(std::string_view text);
inline constexpr Money kUnreadableMoney = Money::FromRaw(-1010190);

// True and the value when the text is decimal digits only (the empty text reads as 0) and fits a
// 32-bit integer; otherwise false and 0.
bool DigitsOnlyToInt(std::string_view text, std::int32_t& value);

// Counters over every name split so far whose order was unambiguous: they tell whether the data
// list the given name or the surname first.
struct NameOrderStatistics {
    int givenNameFirst = 0;
    int givenNameLater = 0;
    int otherWordFirst = 0;
    int otherWordLater = 0;
};

struct NameWord {
    std::string text;  // letter case as in the input
    bool isGivenName = false;
};

// Splits full names into given names and surname. One object serves the whole program: the
// statistics it gathers decide later ambiguous names, so keep it for as long as names are split.
class NameSplitter {
  public:
    static constexpr std::size_t kMaxWords = 100;
    static constexpr std::size_t kMaxGivenNamesLength = 15;
    static constexpr std::size_t kMaxSurnameLength = 30;

    // Fills the word table. Letters (ASCII or any byte of 128 and above) make words; every other
    // character ends one. Words beyond the hundredth are ignored.
    void SplitPersonName(std::string_view text);
    // The given names of the text, at most 15 characters.
    std::string GetImie(std::string_view text);
    // The rest of the text, at most 30 characters.
    std::string GetNazwisko(std::string_view text);

    const std::vector<NameWord>& Words() const { return words_; }
    const NameOrderStatistics& Statistics() const { return statistics_; }

  private:
    std::vector<NameWord> words_;
    NameOrderStatistics statistics_;
};

}  // namespace migracja::calc
