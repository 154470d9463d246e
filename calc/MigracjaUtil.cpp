#include "calc/MigracjaUtil.h"

#include <array>
#include <bit>
#include <limits>

#include "base/Text.h"
#include "calc/GivenNames.h"

namespace migracja::calc {

namespace {

std::string SubstringTrimmed(std::string_view text, std::size_t from, std::size_t count) {
    if (from >= text.size()) return {};
    return std::string(text::Trim(text.substr(from, count)));
}

// One Polish letter in a DOS code page and in Windows-1250.
struct LetterCode {
    unsigned char dos;
    unsigned char win1250;
};

// Order: ą ć ę ł ń ó ś ź ż, then Ą Ć Ę Ł Ń Ó Ś Ź Ż.
constexpr std::array<unsigned char, 18> kWin1250Letters = {
    0xB9, 0xE6, 0xEA, 0xB3, 0xF1, 0xF3, 0x9C, 0x9F, 0xBF,
    0xA5, 0xC6, 0xCA, 0xA3, 0xD1, 0xD3, 0x8C, 0x8F, 0xAF,
};
constexpr std::array<unsigned char, 18> kMazoviaLetters = {
    0x86, 0x8D, 0x91, 0x92, 0xA4, 0xA2, 0x9E, 0xA6, 0xA7,
    0x8F, 0x95, 0x90, 0x9C, 0xA5, 0xA3, 0x98, 0xA0, 0xA1,
};
constexpr std::array<unsigned char, 18> kLatin2Letters = {
    0xA5, 0x86, 0xA9, 0x88, 0xE4, 0xA2, 0x98, 0xAB, 0xBE,
    0xA4, 0x8F, 0xA8, 0x9D, 0xE3, 0xE0, 0x97, 0x8D, 0xBD,
};

using ByteMap = std::array<unsigned char, 256>;

constexpr ByteMap BuildMap(const std::array<unsigned char, 18>& dosLetters) {
    ByteMap map{};
    for (std::size_t b = 0; b < map.size(); ++b) map[b] = static_cast<unsigned char>(b);
    for (std::size_t i = 0; i < dosLetters.size(); ++i) map[dosLetters[i]] = kWin1250Letters[i];
    return map;
}

constexpr ByteMap kMazoviaMap = BuildMap(kMazoviaLetters);
constexpr ByteMap kLatin2Map = BuildMap(kLatin2Letters);

std::string Translate(std::string_view text, const ByteMap& map) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(map[static_cast<unsigned char>(c)]);
    return out;
}

bool IsNameLetter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 128;
}

std::uint8_t RotateLeft(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) | (x >> 7));
}
std::uint8_t RotateRight(std::uint8_t x) {
    return static_cast<std::uint8_t>((x >> 1) | (x << 7));
}

}  // namespace

std::string KodPocztowyZKreska(std::string_view text) {
    std::string code(text::Trim(text));
    if (code.size() >= 3) code.insert(2, "-");
    return code;
}

std::string Get1PrefixNIP(std::string_view text) {
    return SubstringTrimmed(text, 0, 3);
}

std::string Get2PrefixNIP(std::string_view text) {
    return SubstringTrimmed(text, 4, 3);
}

bool IsFieldNameChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

std::string MazoviaToWin1250(std::string_view text) {
    return Translate(text, kMazoviaMap);
}

std::string Latin2ToWin1250(std::string_view text) {
    return Translate(text, kLatin2Map);
}

std::string DescrambleText(std::string_view text, const ScramblingConstants& constants) {
    const std::size_t length = text.size();
    const auto lengthKey = static_cast<std::uint8_t>(length + constants.seed);
    std::string out(text);
    for (std::size_t p = 1; p <= length; ++p) {
        const auto x =
            static_cast<std::uint8_t>(static_cast<std::uint8_t>(length - p + 1) ^ lengthKey);
        const std::uint8_t y =
            std::popcount(x) % 2 != 0
                ? static_cast<std::uint8_t>(RotateLeft(x) + constants.oddParityAddend)
                : static_cast<std::uint8_t>(RotateRight(x) + constants.evenParityAddend);
        std::uint8_t key = y & 0x1F;
        if (key == 0) key = constants.fallbackKey;
        out[p - 1] = static_cast<char>(static_cast<unsigned char>(out[p - 1]) ^ key);
    }
    return out;
}

Money MoneyFromDigitsAnywhere(std::string_view text) {
    // The number is gathered the way the legacy program did it: digits anywhere, the first ','
    // or '.' as the decimal point, a '-' only before anything else was gathered.
    std::string collected;
    bool negative = false;
    bool pointSeen = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            collected += c;
        } else if (c == ',' || c == '.') {
            if (pointSeen) continue;
            pointSeen = true;
            if (collected.empty()) collected = "0";
            collected += '.';
        } else if (c == '-' && collected.empty()) {
            negative = true;
        }
    }
    if (collected.empty()) return kUnreadableMoney;

    // Exact decimal reading; a fifth decimal rounds half away from zero, as the fixed-point
    // conversion of the target does.
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t raw = 0;
    int decimals = 0;
    bool inFraction = false;
    bool fifthDecimalSeen = false;
    bool roundUp = false;
    for (const char c : collected) {
        if (c == '.') {
            inFraction = true;
            continue;
        }
        const int digit = c - '0';
        if (inFraction && decimals == 4) {
            if (!fifthDecimalSeen) roundUp = digit >= 5;
            fifthDecimalSeen = true;
            continue;
        }
        if (raw > (kMax - digit) / 10) return kUnreadableMoney;
        raw = raw * 10 + digit;
        if (inFraction) ++decimals;
    }
    for (; decimals < 4; ++decimals) {
        if (raw > kMax / 10) return kUnreadableMoney;
        raw *= 10;
    }
    if (roundUp) {
        if (raw == kMax) return kUnreadableMoney;
        ++raw;
    }
    return Money::FromRaw(negative ? -raw : raw);
}

bool DigitsOnlyToInt(std::string_view text, std::int32_t& value) {
    value = 0;
    std::int64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > std::numeric_limits<std::int32_t>::max()) return false;
    }
    value = static_cast<std::int32_t>(v);
    return true;
}

void NameSplitter::SplitPersonName(std::string_view text) {
    words_.assign(1, NameWord{});
    for (const char c : text) {
        if (IsNameLetter(c)) {
            words_.back().text += c;
        } else {
            // The table holds 100 words; what follows the hundredth is not read.
            if (words_.size() == kMaxWords) break;
            words_.emplace_back();
        }
    }
    // Only a trailing initial or an empty tail is dropped, and only once.
    if (words_.back().text.size() <= 1) words_.pop_back();
    if (words_.empty()) return;

    for (NameWord& word : words_)
        word.isGivenName = GivenNameDictionary::Contains(text::ToUpper(word.text));

    NameWord& first = words_.front();
    NameWord& last = words_.back();
    if (first.isGivenName != last.isGivenName) {
        for (std::size_t i = 0; i < words_.size(); ++i) {
            const bool given = words_[i].isGivenName;
            if (i == 0)
                ++(given ? statistics_.givenNameFirst : statistics_.otherWordFirst);
            else
                ++(given ? statistics_.givenNameLater : statistics_.otherWordLater);
        }
    } else if (words_.size() == 2 && first.isGivenName) {
        // Two given names: the order seen so far decides which one is the surname.
        const int givenFirstOrder = statistics_.givenNameFirst + statistics_.otherWordLater;
        const int surnameFirstOrder = statistics_.givenNameLater + statistics_.otherWordFirst;
        if (givenFirstOrder > surnameFirstOrder)
            last.isGivenName = false;
        else
            first.isGivenName = false;
    }
}

std::string NameSplitter::GetImie(std::string_view text) {
    SplitPersonName(text);
    std::string result;
    for (const NameWord& word : words_) {
        if (!word.isGivenName) continue;
        if (result.size() + word.text.size() <= kMaxGivenNamesLength) result += " " + word.text;
    }
    return std::string(text::Trim(result).substr(0, kMaxGivenNamesLength));
}

std::string NameSplitter::GetNazwisko(std::string_view text) {
    SplitPersonName(text);
    std::string result;
    for (const NameWord& word : words_)
        if (!word.isGivenName) result += " " + word.text;
    return std::string(text::Trim(result).substr(0, kMaxSurnameLength));
}

}  // namespace migracja::calc
