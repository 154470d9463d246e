#pragma once
// Text inside the program is Windows-1250 bytes, as in the legacy files and on the database
// connection. UTF-8 appears only at the user-interface boundary and in source literals, which
// the _w literal converts once, at compile time.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace migracja::text {

// Unicode code points of the bytes 0x80..0xFF in code page 1250; 0 where the byte is unassigned.
inline constexpr std::array<char16_t, 128> kWin1250High = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021, 0x0000, 0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

std::string Win1250ToUtf8(std::string_view win1250);
// Characters without a Windows-1250 byte become '?'.
std::string Utf8ToWin1250(std::string_view utf8);

// Letter case by Windows-1250 rules, so that "ł" and "Ł" pair up like "a" and "A".
char ToUpper(char c);
char ToLower(char c);
std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Trimming drops characters with codes 0..32, as the Delphi Trim functions do.
std::string_view Trim(std::string_view s);
std::string_view TrimLeft(std::string_view s);
std::string_view TrimRight(std::string_view s);

namespace detail {

template <std::size_t N>
struct Utf8Literal {
    char bytes[N]{};
    consteval Utf8Literal(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i) bytes[i] = s[i];
    }
};

template <std::size_t N>
struct Win1250Buffer {
    char bytes[N]{};
    std::size_t size = 0;
};

// The Windows-1250 byte of a code point, or -1 when the code page has none.
constexpr int Win1250ByteOf(char32_t cp) {
    if (cp < 0x80) return static_cast<int>(cp);
    for (std::size_t i = 0; i < kWin1250High.size(); ++i)
        if (kWin1250High[i] != 0 && kWin1250High[i] == cp) return static_cast<int>(0x80 + i);
    return -1;
}

// Decodes the UTF-8 sequence at s[i] and moves i past it; -1 for a malformed or cut-off one
// (i then moves by one byte).
constexpr long NextCodePoint(std::string_view s, std::size_t& i) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    char32_t cp = 0;
    if (b < 0x80)
        cp = b;
    else if ((b & 0xE0) == 0xC0)
        cp = b & 0x1F, extra = 1;
    else if ((b & 0xF0) == 0xE0)
        cp = b & 0x0F, extra = 2;
    else if ((b & 0xF8) == 0xF0)
        cp = b & 0x07, extra = 3;
    else
        return ++i, -1;
    if (i + extra >= s.size() && extra > 0) return ++i, -1;
    for (std::size_t k = 1; k <= extra; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += 1 + extra;
    return static_cast<long>(cp);
}

template <std::size_t N>
consteval Win1250Buffer<N> ConvertLiteral(const Utf8Literal<N>& lit) {
    Win1250Buffer<N> out;
    const std::string_view s(lit.bytes, N - 1);  // without the terminator
    std::size_t i = 0;
    while (i < s.size()) {
        const long cp = NextCodePoint(s, i);
        if (cp < 0) throw "invalid UTF-8 in literal";  // makes the literal ill-formed
        const int b = Win1250ByteOf(static_cast<char32_t>(cp));
        if (b < 0) throw "character has no Windows-1250 code";
        out.bytes[out.size++] = static_cast<char>(b);
    }
    return out;
}

}  // namespace detail
}  // namespace migracja::text

namespace migracja::literals {

// "Brak połączenia"_w: the Windows-1250 bytes of a UTF-8 source literal.
template <text::detail::Utf8Literal S>
const std::string& operator""_w() {
    static constexpr auto converted = text::detail::ConvertLiteral(S);
    static const std::string value(converted.bytes, converted.size);
    return value;
}

}  // namespace migracja::literals
