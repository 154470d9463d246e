#include "base/Text.h"

namespace migracja::text {

std::string Win1250ToUtf8(std::string_view win1250) {
    std::string out;
    out.reserve(win1250.size() + win1250.size() / 4);
    for (char ch : win1250) {
        const unsigned char b = static_cast<unsigned char>(ch);
        char32_t cp = b < 0x80 ? b : kWin1250High[b - 0x80];
        if (cp == 0 && b != 0) cp = 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToWin1250(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const long cp = detail::NextCodePoint(utf8, i);
        const int b = cp < 0 ? -1 : detail::Win1250ByteOf(static_cast<char32_t>(cp));
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

namespace {

constexpr std::array<unsigned char, 256> MakeUpper() {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
    for (int i = 'a'; i <= 'z'; ++i) t[i] = static_cast<unsigned char>(i - 32);
    const unsigned char pairs[][2] = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D}, {0x9E, 0x8E},
                                      {0x9F, 0x8F}, {0xB3, 0xA3}, {0xB9, 0xA5}, {0xBA, 0xAA},
                                      {0xBE, 0xBC}, {0xBF, 0xAF}};
    for (auto& p : pairs) t[p[0]] = p[1];
    for (int i = 0xE0; i <= 0xFE; ++i)
        if (i != 0xF7) t[i] = static_cast<unsigned char>(i - 0x20);
    return t;
}

constexpr std::array<unsigned char, 256> MakeLower() {
    const auto up = MakeUpper();
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
    for (int i = 0; i < 256; ++i)
        if (up[i] != i) t[up[i]] = static_cast<unsigned char>(i);
    return t;
}

constexpr auto kUpper = MakeUpper();
constexpr auto kLower = MakeLower();

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

char ToUpper(char c) {
    return static_cast<char>(kUpper[static_cast<unsigned char>(c)]);
}
char ToLower(char c) {
    return static_cast<char>(kLower[static_cast<unsigned char>(c)]);
}

std::string ToUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ToUpper(c);
    return out;
}

std::string ToLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ToLower(c);
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ToUpper(a[i]) != ToUpper(b[i])) return false;
    return true;
}

std::string_view TrimLeft(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return s.substr(0, n);
}

std::string_view Trim(std::string_view s) {
    return TrimRight(TrimLeft(s));
}

}  // namespace migracja::text
