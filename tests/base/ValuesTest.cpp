#include <gtest/gtest.h>

#include "base/Text.h"
#include "base/Values.h"

using namespace migracja;
using namespace migracja::literals;

TEST(DateTimeTest, DayZeroIsThe30thOfDecember1899AndKnownDaysRoundTrip) {
    EXPECT_EQ(DaysFromCivil(1899, 12, 30), 0);
    EXPECT_EQ(DaysFromCivil(1900, 1, 1), 2);
    EXPECT_EQ(DaysFromCivil(2000, 1, 1), 36526);     // the Delphi value of EncodeDate(2000,1,1)
    EXPECT_EQ(DaysFromCivil(1858, 11, 17), -15018);  // Firebird's day 0
    const CivilDateTime c{2024, 2, 29, 13, 45, 30, 250};
    const CivilDateTime back = DecodeDateTime(EncodeDateTime(c));
    EXPECT_EQ(back.year, 2024);
    EXPECT_EQ(back.month, 2);
    EXPECT_EQ(back.day, 29);
    EXPECT_EQ(back.hour, 13);
    EXPECT_EQ(back.minute, 45);
    EXPECT_EQ(back.second, 30);
    EXPECT_EQ(back.millisecond, 250);
    EXPECT_EQ(FormatDateTime(EncodeDateTime({2024, 2, 29})), "2024-02-29");
    EXPECT_EQ(FormatDateTime(EncodeDateTime(c)), "2024-02-29 13:45:30");
}

TEST(DateTimeTest, ImpossibleDatesAreRecognised) {
    EXPECT_TRUE(IsValidCivilDate(2000, 2, 29));
    EXPECT_FALSE(IsValidCivilDate(1900, 2, 29));
    EXPECT_FALSE(IsValidCivilDate(2023, 4, 31));
    EXPECT_FALSE(IsValidCivilDate(2023, 13, 1));
    EXPECT_FALSE(IsValidCivilDate(0, 1, 1));
}

TEST(MoneyTest, RoundsToFourDecimalsAndFormats) {
    EXPECT_EQ(Money::FromDouble(1.23456).raw, 12346);
    EXPECT_EQ(Money::FromDouble(-1.23455).raw, -12346);  // half away from zero
    EXPECT_EQ(Money::FromDouble(1234.5).ToString(), "1234.5000");
    EXPECT_EQ(Money::FromRaw(-5).ToString(), "-0.0005");
    EXPECT_EQ(Money::FromRaw(INT64_MIN).ToString(), "-922337203685477.5808");
    EXPECT_THROW(Money::FromDouble(1e300), std::range_error);
}

TEST(Win1250Test, LiteralsAndConversionsAgree) {
    const std::string& s = "Zażółć gęślą jaźń"_w;
    EXPECT_EQ(s.size(), 17u);
    EXPECT_EQ(static_cast<unsigned char>(s[2]), 0xBF);  // ż
    EXPECT_EQ(text::Win1250ToUtf8(s), "Zażółć gęślą jaźń");
    EXPECT_EQ(text::Utf8ToWin1250("Zażółć gęślą jaźń"), s);
    EXPECT_EQ(text::Utf8ToWin1250("日"), "?");
    EXPECT_EQ(text::Utf8ToWin1250("a\xC5"), "a?");  // a sequence cut off at the end
    EXPECT_EQ(text::Utf8ToWin1250("\xFF"
                                  "b"),
              "?b");
    EXPECT_EQ(text::ToUpper("łódź"_w), "ŁÓDŹ"_w);
    EXPECT_EQ(text::ToLower("ŚĆŻ"_w), "śćż"_w);
    EXPECT_TRUE(text::EqualsIgnoreCase("formalne", "FORMALNE"));
    EXPECT_EQ(text::Trim(" \t x y \r\n"), "x y");
}
