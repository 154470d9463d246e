#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "base/Text.h"
#include "calc/MigracjaUtil.h"

using namespace migracja;
using namespace migracja::literals;

TEST(PostalCodeTest, DashGoesInFrontOfTheThirdCharacter) {
    EXPECT_EQ(calc::KodPocztowyZKreska("00950"), "00-950");
    EXPECT_EQ(calc::KodPocztowyZKreska("  00950 \t"), "00-950");
    EXPECT_EQ(calc::KodPocztowyZKreska("123"), "12-3");
    EXPECT_EQ(calc::KodPocztowyZKreska("12"), "12");
    EXPECT_EQ(calc::KodPocztowyZKreska(" 1 "), "1");
    EXPECT_EQ(calc::KodPocztowyZKreska(""), "");
    // A code that already has its dash gets a second one.
    EXPECT_EQ(calc::KodPocztowyZKreska("00-950"), "00--950");
}

TEST(TaxNumberPrefixTest, FirstAndSecondGroupsOfTheNumber) {
    EXPECT_EQ(calc::Get1PrefixNIP("123-456-78-90"), "123");
    EXPECT_EQ(calc::Get2PrefixNIP("123-456-78-90"), "456");
    // The positions are counted in the text as stored, and each part is trimmed.
    EXPECT_EQ(calc::Get1PrefixNIP(" 12-345"), "12");
    EXPECT_EQ(calc::Get2PrefixNIP("123- 45 "), "45");
    EXPECT_EQ(calc::Get2PrefixNIP("1234567890"), "567");
    // Missing positions give fewer characters or none.
    EXPECT_EQ(calc::Get1PrefixNIP("12"), "12");
    EXPECT_EQ(calc::Get2PrefixNIP("123-45"), "45");
    EXPECT_EQ(calc::Get2PrefixNIP("123-"), "");
    EXPECT_EQ(calc::Get2PrefixNIP("123"), "");
    EXPECT_EQ(calc::Get1PrefixNIP(""), "");
}

TEST(FieldNameCharTest, OnlyAsciiLettersDigitsAndUnderscore) {
    for (const char c : std::string("AZaz09_Mm5")) EXPECT_TRUE(calc::IsFieldNameChar(c)) << c;
    for (const char c : std::string(" -.>()+,'\"@[`{/:"))
        EXPECT_FALSE(calc::IsFieldNameChar(c)) << c;
    // A field name stops before a Polish letter.
    for (const char c : "łŁąĄżŻ"_w) EXPECT_FALSE(calc::IsFieldNameChar(c));
    int accepted = 0;
    for (int b = 0; b < 256; ++b) accepted += calc::IsFieldNameChar(static_cast<char>(b)) ? 1 : 0;
    EXPECT_EQ(accepted, 26 + 26 + 10 + 1);
}

namespace {

// The published codes of ą ć ę ł ń ó ś ź ż and Ą Ć Ę Ł Ń Ó Ś Ź Ż.
const std::string kMazovia =
    "\x86\x8D\x91\x92\xA4\xA2\x9E\xA6\xA7"
    "\x8F\x95\x90\x9C\xA5\xA3\x98\xA0\xA1";
const std::string kCodePage852 =
    "\xA5\x86\xA9\x88\xE4\xA2\x98\xAB\xBE"
    "\xA4\x8F\xA8\x9D\xE3\xE0\x97\x8D\xBD";

void ExpectOtherBytesUnchanged(const std::string& letters,
                               std::string (*convert)(std::string_view)) {
    const std::set<unsigned char> polish(letters.begin(), letters.end());
    std::string all;
    for (int b = 0; b < 256; ++b)
        if (!polish.count(static_cast<unsigned char>(b))) all += static_cast<char>(b);
    EXPECT_EQ(convert(all), all);
}

}  // namespace

TEST(CodePageTest, MazoviaLettersBecomeWindows1250) {
    EXPECT_EQ(calc::MazoviaToWin1250(kMazovia), "ąćęłńóśźżĄĆĘŁŃÓŚŹŻ"_w);
    EXPECT_EQ(calc::MazoviaToWin1250("Zak\xB3"
                                     "ad"),
              "Zak\xB3"
              "ad");  // box drawing stays
    EXPECT_EQ(calc::MazoviaToWin1250("Zak\x92"
                                     "ad \x9E"
                                     "w. Kr\xA3l"),
              "Zakład św. KrÓl"_w);
    ExpectOtherBytesUnchanged(kMazovia, calc::MazoviaToWin1250);
}

TEST(CodePageTest, Latin2LettersBecomeWindows1250) {
    EXPECT_EQ(calc::Latin2ToWin1250(kCodePage852), "ąćęłńóśźżĄĆĘŁŃÓŚŹŻ"_w);
    EXPECT_EQ(calc::Latin2ToWin1250("\x97"
                                    "ciana \xBD\xA2\x88w"),
              "Ściana Żółw"_w);
    ExpectOtherBytesUnchanged(kCodePage852, calc::Latin2ToWin1250);
}

TEST(CodePageTest, TheTwoCodePagesAreNotInterchangeable) {
    // 0xA5 is Ń in Mazovia but ą in code page 852; 0x86 is ą in Mazovia but ć in 852.
    EXPECT_EQ(calc::MazoviaToWin1250("\xA5\x86"), "Ńą"_w);
    EXPECT_EQ(calc::Latin2ToWin1250("\xA5\x86"), "ąć"_w);
    // Text that is already Windows-1250 ASCII passes both unchanged; lengths never change.
    const std::string plain = "Kowalski Jan, ul. Prosta 1/2";
    EXPECT_EQ(calc::MazoviaToWin1250(plain), plain);
    EXPECT_EQ(calc::Latin2ToWin1250(plain), plain);
    EXPECT_EQ(calc::MazoviaToWin1250(std::string("\0\x86", 2)), std::string("\0\xB9", 2));
}

TEST(MoneyFromDigitsAnywhereTest, ReadsWrittenAmounts) {
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("1 234,50 zł"_w).ToString(), "1234.5000");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("-12.5").ToString(), "-12.5000");
    // The second separator is ignored and its digits remain.
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("1.234,5").ToString(), "1.2345");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere(",75").ToString(), "0.7500");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("- 0,5").ToString(), "-0.5000");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("cena: 100 PLN").ToString(), "100.0000");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("007").ToString(), "7.0000");
    // A minus after the first digit is just another ignored character.
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("12-5").ToString(), "125.0000");
    // Beyond four decimals the amount is rounded.
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("0.12345").ToString(), "0.1235");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("0.12344").ToString(), "0.1234");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("-0.00005").ToString(), "-0.0001");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("922337203685477.5807").raw, INT64_MAX);
}

TEST(MoneyFromDigitsAnywhereTest, TextsWithoutANumberGiveTheMarker) {
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("").ToString(), "-101.0190");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("brak").ToString(), "-101.0190");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("-").ToString(), "-101.0190");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("99999999999999999999").ToString(), "-101.0190");
    EXPECT_EQ(calc::MoneyFromDigitsAnywhere("922337203685477.5808"), calc::kUnreadableMoney);
}

TEST(DigitsOnlyToIntTest, DigitsOnlyAndWithinThirtyTwoBits) {
    std::int32_t value = -1;
    EXPECT_TRUE(calc::DigitsOnlyToInt("", value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(calc::DigitsOnlyToInt("42", value));
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(calc::DigitsOnlyToInt("0007", value));
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(calc::DigitsOnlyToInt("2147483647", value));
    EXPECT_EQ(value, 2147483647);
    EXPECT_TRUE(calc::DigitsOnlyToInt("000000000002147483647", value));
    EXPECT_EQ(value, 2147483647);

    for (const char* bad :
         {"12a", "2147483648", "99999999999999999999", "-1", "+1", " 1", "1 ", "1.0", "x"}) {
        value = 5;
        EXPECT_FALSE(calc::DigitsOnlyToInt(bad, value)) << bad;
        EXPECT_EQ(value, 0) << bad;
    }
}
