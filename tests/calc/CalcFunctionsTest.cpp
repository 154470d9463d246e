#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "calc/CalcFunctions.h"
#include "calc/MigracjaUtil.h"

using namespace migracja;
using namespace migracja::calc;

namespace {

DateTime D(int y, int m, int d, int hh = 0, int mm = 0) {
    return EncodeDateTime(CivilDateTime{y, m, d, hh, mm, 0, 0});
}

Money M(std::int64_t raw) {
    return Money::FromRaw(raw);
}

// One row: a call of a function and the value it must give, both printed when they differ.
template <class T>
struct Case {
    const char* what;
    std::function<T()> call;
    T expected;
};

template <class T>
void PrintTo(const Case<T>& c, std::ostream* os) {
    *os << c.what;
}

std::string Shown(DateTime d) {
    return d == 0 ? "empty date" : FormatDateTime(d);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

class TextFunctionTest : public ::testing::TestWithParam<Case<std::string>> {};

TEST_P(TextFunctionTest, GivesTheExpectedText) {
    EXPECT_EQ(GetParam().call(), GetParam().expected) << GetParam().what;
}

const std::string k41 = "12345678901234567890123456789012345678901";

INSTANTIATE_TEST_SUITE_P(
    Rows, TextFunctionTest,
    ::testing::Values(
        Case<std::string>{"TN of a text", [] { return ZwrocTNDlaNiePuste("a"); }, "T"},
        Case<std::string>{"TN of blanks and a tab", [] { return ZwrocTNDlaNiePuste(" \t "); }, "N"},
        Case<std::string>{"TN of empty", [] { return ZwrocTNDlaNiePuste(""); }, "N"},
        Case<std::string>{"Copy40 of 41", [] { return Copy40(k41); }, k41.substr(0, 40)},
        Case<std::string>{"Copy40 of 40", [] { return Copy40(k41.substr(1)); }, k41.substr(1)},
        Case<std::string>{"Copy40 keeps blanks", [] { return Copy40(" a "); }, " a "},
        Case<std::string>{"suffix of a year", [] { return SuffixNumeru("12/2004"); }, "004"},
        Case<std::string>{"suffix of one character", [] { return SuffixNumeru("7"); }, "7"},
        Case<std::string>{"suffix of three", [] { return SuffixNumeru("abc"); }, "abc"},
        Case<std::string>{"suffix untrimmed", [] { return SuffixNumeru(" 12 "); }, "12 "},
        Case<std::string>{"suffix of empty", [] { return SuffixNumeru(""); }, ""},
        Case<std::string>{"Add2sIStr", [] { return Add2sIStr("AB ", "CD", -5); }, "AB CD-5."},
        Case<std::string>{"Add2sIStr of empties", [] { return Add2sIStr("", "", 0); }, "0."},
        Case<std::string>{"KodVAT 0", [] { return KodVAT(0); }, ""},
        Case<std::string>{"KodVAT 1", [] { return KodVAT(1); }, "A"},
        Case<std::string>{"KodVAT 3", [] { return KodVAT(3); }, "C"},
        Case<std::string>{"KodVAT 4", [] { return KodVAT(4); }, "ZWL"},
        Case<std::string>{"KodVAT 5", [] { return KodVAT(5); }, ""},
        Case<std::string>{"KodVAT -1", [] { return KodVAT(-1); }, ""},
        Case<std::string>{"active below 8", [] { return CzyAktywnaCOIMPU(7); }, "T"},
        Case<std::string>{"inactive from 8", [] { return CzyAktywnaCOIMPU(8); }, "N"},
        Case<std::string>{"active when negative", [] { return CzyAktywnaCOIMPU(-4); }, "T"},
        Case<std::string>{"hours", [] { return JednostkaCzasuUslug("R", M(1)); }, "Godz."},
        Case<std::string>{"hours need an amount", [] { return JednostkaCzasuUslug("R", M(0)); },
                          "szt."},
        Case<std::string>{"unit letter is case-sensitive",
                          [] { return JednostkaCzasuUslug("r", M(50000)); }, "szt."},
        Case<std::string>{"unit letter is not trimmed",
                          [] { return JednostkaCzasuUslug("R ", M(50000)); }, "szt."},
        Case<std::string>{"two empty dates", [] { return Daty2ToStr(0, 0); }, "2000-01-01"},
        Case<std::string>{"second date when the first is old",
                          [] { return Daty2ToStr(D(1985, 3, 15), D(2003, 5, 2)); }, "2003-05-02"},
        Case<std::string>{"first valid year",
                          [] { return Daty2ToStr(D(1991, 1, 1), D(2003, 5, 2)); }, "1991-01-01"},
        Case<std::string>{"last day of 1990 is not valid",
                          [] { return Daty2ToStr(D(1990, 12, 31, 23, 59), 0); }, "2000-01-01"},
        Case<std::string>{"time of day is not printed",
                          [] { return Daty2ToStr(D(2003, 5, 2, 13, 45), 0); }, "2003-05-02"},
        Case<std::string>{"no valid first date",
                          [] { return StatusUrzadzenia(0, D(2004, 1, 1), 5); }, "N"},
        Case<std::string>{"no count", [] { return StatusUrzadzenia(D(2003, 1, 1), 0, 0); }, "Z"},
        Case<std::string>{"negative count",
                          [] { return StatusUrzadzenia(D(2003, 1, 1), D(2004, 1, 1), -1); }, "Z"},
        Case<std::string>{"second date valid",
                          [] { return StatusUrzadzenia(D(2003, 1, 1), D(2004, 1, 1), 1); }, "X"},
        Case<std::string>{"second date empty", [] { return StatusUrzadzenia(D(2003, 1, 1), 0, 1); },
                          "K"},
        Case<std::string>{"second date too old",
                          [] { return StatusUrzadzenia(D(2003, 1, 1), D(1985, 1, 1), 1); }, "K"},
        Case<std::string>{"SQL quotes", [] { return SqlQuoted("O'Ne''il"); }, "'O''Ne''''il'"},
        Case<std::string>{"SQL quotes of empty", [] { return SqlQuoted(""); }, "''"}));

// ---------------------------------------------------------------------------------------------

class IntegerFunctionTest : public ::testing::TestWithParam<Case<std::int32_t>> {};

TEST_P(IntegerFunctionTest, GivesTheExpectedNumber) {
    EXPECT_EQ(GetParam().call(), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IntegerFunctionTest,
    ::testing::Values(
        Case<std::int32_t>{"order number", [] { return GetNrOldZlecenia(" 123/05"); }, 123},
        Case<std::int32_t>{"letter first", [] { return GetNrOldZlecenia("A12"); }, 0},
        Case<std::int32_t>{"leading zeros", [] { return GetNrOldZlecenia("007x"); }, 7},
        Case<std::int32_t>{"largest", [] { return GetNrOldZlecenia("2147483647/1"); }, 2147483647},
        Case<std::int32_t>{"too large", [] { return GetNrOldZlecenia("2147483648"); }, 0},
        Case<std::int32_t>{"blanks only", [] { return GetNrOldZlecenia("   "); }, 0},
        Case<std::int32_t>{"sign is no digit", [] { return GetNrOldZlecenia("-5"); }, 0},
        Case<std::int32_t>{"months below 2", [] { return LiczbaMiesiecyCOIMPU(-3); }, 6},
        Case<std::int32_t>{"months 1", [] { return LiczbaMiesiecyCOIMPU(1); }, 6},
        Case<std::int32_t>{"months 2", [] { return LiczbaMiesiecyCOIMPU(2); }, 24},
        Case<std::int32_t>{"months 3", [] { return LiczbaMiesiecyCOIMPU(3); }, 3},
        Case<std::int32_t>{"months 6", [] { return LiczbaMiesiecyCOIMPU(6); }, 6},
        Case<std::int32_t>{"months 7", [] { return LiczbaMiesiecyCOIMPU(7); }, 12},
        Case<std::int32_t>{"months 100", [] { return LiczbaMiesiecyCOIMPU(100); }, 12},
        Case<std::int32_t>{"0 becomes 1", [] { return Zamien0i1(0); }, 1},
        Case<std::int32_t>{"1 becomes 0", [] { return Zamien0i1(1); }, 0},
        Case<std::int32_t>{"-1 becomes 0", [] { return Zamien0i1(-1); }, 0},
        Case<std::int32_t>{"month of empty date", [] { return Month(0); }, 12},
        Case<std::int32_t>{"year of empty date", [] { return Year(0); }, 1899},
        Case<std::int32_t>{"month of 29 February", [] { return Month(D(2004, 2, 29)); }, 2},
        Case<std::int32_t>{"last moment of a year",
                           [] { return Year(D(2004, 12, 31) + 86399.999 / 86400); }, 2004},
        Case<std::int32_t>{"last moment of a month",
                           [] { return Month(D(2004, 1, 31) + 86399.9999 / 86400); }, 1}));

// ---------------------------------------------------------------------------------------------

struct DateCase {
    const char* what;
    std::function<DateTime()> call;
    DateTime expected;
};

void PrintTo(const DateCase& c, std::ostream* os) {
    *os << c.what;
}

class DateFunctionTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateFunctionTest, GivesTheExpectedDate) {
    const DateTime actual = GetParam().call();
    EXPECT_NEAR(actual, GetParam().expected, 1e-9)
        << GetParam().what << ": " << Shown(actual) << " instead of " << Shown(GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DateFunctionTest,
    ::testing::Values(
        DateCase{"fallback is 1 January 2000", [] { return Daty2ToDate(0, 0); }, D(2000, 1, 1)},
        DateCase{"first valid date kept with its time",
                 [] { return Daty2ToDate(D(2003, 5, 2, 13, 45), D(2004, 1, 1)); },
                 D(2003, 5, 2, 13, 45)},
        DateCase{"second date", [] { return Daty2ToDate(D(1990, 6, 1), D(2004, 1, 1)); },
                 D(2004, 1, 1)},
        DateCase{"fallback plus a year", [] { return DatyPlusRokToDate(0, 0); }, D(2001, 1, 1)},
        DateCase{"29 February plus a year", [] { return DatyPlusRokToDate(D(2004, 2, 29), 0); },
                 D(2005, 2, 28)},
        DateCase{"29 February plus four years", [] { return AddYears(D(2004, 2, 29), 4); },
                 D(2008, 2, 29)},
        DateCase{"time of day stays", [] { return DatyPlusRokToDate(0, D(2003, 1, 31, 10, 30)); },
                 D(2004, 1, 31, 10, 30)},
        DateCase{"next after the first", [] { return JakaDataNastepna(D(2003, 1, 31), 0); },
                 D(2004, 1, 31)},
        DateCase{"next is the second",
                 [] { return JakaDataNastepna(D(2003, 1, 31), D(2005, 6, 1)); }, D(2005, 6, 1)},
        DateCase{"next of none", [] { return JakaDataNastepna(0, 0); }, 0},
        DateCase{"next of old dates", [] { return JakaDataNastepna(D(1985, 1, 1), D(1990, 1, 1)); },
                 0},
        DateCase{"time 0830", [] { return DataiGodzina(D(2003, 5, 2, 17, 0), "0830"); },
                 D(2003, 5, 2, 8, 30)},
        DateCase{"time 08:30", [] { return DataiGodzina(D(2003, 5, 2), "08:30"); },
                 D(2003, 5, 2, 8, 30)},
        DateCase{"time 08 30", [] { return DataiGodzina(D(2003, 5, 2), "08 30"); },
                 D(2003, 5, 2, 8, 30)},
        DateCase{"time 8:30 has no hour", [] { return DataiGodzina(D(2003, 5, 2), "8:30"); },
                 D(2003, 5, 2, 0, 30)},
        DateCase{"time of hours only", [] { return DataiGodzina(D(2003, 5, 2), "23"); },
                 D(2003, 5, 2, 23, 0)},
        DateCase{"time too short", [] { return DataiGodzina(D(2003, 5, 2, 9, 0), "9"); },
                 D(2003, 5, 2)},
        DateCase{"time of letters", [] { return DataiGodzina(D(2003, 5, 2), "ab:cd"); },
                 D(2003, 5, 2)},
        DateCase{"time on the empty date", [] { return DataiGodzina(0, "2359"); },
                 D(1899, 12, 30, 23, 59)},
        DateCase{"two years", [] { return IncMonth(D(2002, 6, 10), "2"); }, D(2004, 6, 10)},
        DateCase{"minus one year", [] { return IncMonth(D(2002, 6, 10), "-1"); }, D(2001, 6, 10)},
        DateCase{"no number", [] { return IncMonth(D(2002, 6, 10), "X"); }, 0},
        DateCase{"empty number", [] { return IncMonth(D(2002, 6, 10), ""); }, 0},
        DateCase{"old date", [] { return IncMonth(D(1985, 6, 10), "2"); }, 0},
        DateCase{"leap day", [] { return IncMonth(D(2004, 2, 29, 6, 0), "1"); },
                 D(2005, 2, 28, 6, 0)}));

TEST(DateFunctionErrorTest, ImpossibleTimesAndYearsAreRaised) {
    for (const char* time : {"2400", "0860", "24:00", "-1:00"})
        EXPECT_THROW(DataiGodzina(D(2003, 5, 2), time), CalculationError) << time;
    EXPECT_THROW(IncMonth(D(2003, 5, 2), "8000"), CalculationError);
    EXPECT_THROW(AddYears(D(2003, 5, 2), -2003), CalculationError);
    EXPECT_NO_THROW(AddYears(D(2003, 5, 2), 7996));  // 9999 is the last year
    // A value no calendar has is not silently turned into one.
    EXPECT_THROW(IsValidDate(1e12), CalculationError);
}

TEST(DateFunctionErrorTest, ValidityStartsWithTheYear1991) {
    EXPECT_EQ(kFallbackDate, D(2000, 1, 1));
    EXPECT_FALSE(IsValidDate(0));
    EXPECT_FALSE(IsValidDate(D(1990, 12, 31) + 0.999));
    EXPECT_TRUE(IsValidDate(D(1991, 1, 1)));
    EXPECT_FALSE(IsValidDate(-5));
}

// ---------------------------------------------------------------------------------------------

class MoneyFunctionTest : public ::testing::TestWithParam<Case<Money>> {};

TEST_P(MoneyFunctionTest, GivesTheExpectedAmount) {
    const Money actual = GetParam().call();
    EXPECT_EQ(actual, GetParam().expected) << GetParam().what << ": " << actual.ToString()
                                           << " instead of " << GetParam().expected.ToString();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MoneyFunctionTest,
    ::testing::Values(
        Case<Money>{"rate 1", [] { return StawkaVAT(1); }, M(220000)},
        Case<Money>{"rate 2", [] { return StawkaVAT(2); }, M(70000)},
        Case<Money>{"rate 0", [] { return StawkaVAT(0); }, M(0)},
        Case<Money>{"rate 3", [] { return StawkaVAT(3); }, M(0)},
        Case<Money>{"net value", [] { return WartoscNetto(M(25000), M(33300)); }, M(83250)},
        Case<Money>{"tie to even down", [] { return WartoscNetto(M(1), M(5000)); }, M(0)},
        Case<Money>{"tie to even up", [] { return WartoscNetto(M(3), M(5000)); }, M(2)},
        Case<Money>{"tie to even of 2.5", [] { return WartoscNetto(M(5), M(5000)); }, M(2)},
        Case<Money>{"negative tie", [] { return WartoscNetto(M(-3), M(5000)); }, M(-2)},
        Case<Money>{"above the tie", [] { return WartoscNetto(M(3), M(5001)); }, M(2)},
        Case<Money>{"below the tie", [] { return WartoscNetto(M(1), M(4999)); }, M(0)},
        Case<Money>{"gross with code 0", [] { return CenaBrutto(0, M(1000000)); }, M(1220000)},
        Case<Money>{"gross with code 1", [] { return CenaBrutto(1, M(1000000)); }, M(1220000)},
        Case<Money>{"gross with code 2", [] { return CenaBrutto(2, M(1000000)); }, M(1070000)},
        Case<Money>{"gross with code 3", [] { return CenaBrutto(3, M(1000000)); }, M(1000000)},
        Case<Money>{"gross tie to even", [] { return CenaBrutto(1, M(25)); }, M(30)},
        Case<Money>{"gross tie to even up", [] { return CenaBrutto(1, M(75)); }, M(92)},
        Case<Money>{"gross 7 % tie", [] { return CenaBrutto(2, M(50)); }, M(54)},
        Case<Money>{"gross value code 0", [] { return WartoscBrutto(M(10000), M(1000000), 0); },
                    M(1000000)},
        Case<Money>{"gross value code 1", [] { return WartoscBrutto(M(25000), M(33300), 1); },
                    M(101565)},
        Case<Money>{"gross value code 2", [] { return WartoscBrutto(M(20000), M(15), 2); }, M(32)},
        // 0.0005 * 0.5 = 0.00025, times 1.22 = 0.000305: rounding the product first would give
        // 0.0002.
        Case<Money>{"gross value rounded once", [] { return WartoscBrutto(M(5), M(5000), 1); },
                    M(3)}));

TEST(MoneyFunctionErrorTest, ProductsBeyondTheRangeAreRaised) {
    const Money big = Money::FromRaw(std::int64_t{1} << 60);
    EXPECT_THROW(WartoscNetto(big, big), CalculationError);
    EXPECT_THROW(WartoscBrutto(big, big, 1), CalculationError);
    EXPECT_THROW(CenaBrutto(1, Money::FromRaw(INT64_MAX)), CalculationError);
    EXPECT_EQ(WartoscNetto(big, Money::FromInt(1)), big);
}

// ---------------------------------------------------------------------------------------------

TEST(SignedIntegerTest, SignedDigitsThatFit) {
    struct Row {
        const char* text;
        bool ok;
        std::int32_t value;
    };
    for (const Row& r :
         {Row{"12", true, 12}, Row{" -3 ", true, -3}, Row{"+4", true, 4},
          Row{"-2147483648", true, INT32_MIN}, Row{"2147483647", true, INT32_MAX},
          Row{"2147483648", false, 0}, Row{"-2147483649", false, 0}, Row{"", false, 0},
          Row{"-", false, 0}, Row{"1 2", false, 0}, Row{"1A", false, 0}, Row{"$1F", false, 0}}) {
        std::int32_t v = 99;
        EXPECT_EQ(ReadSignedInteger(r.text, v), r.ok) << r.text;
        EXPECT_EQ(v, r.value) << r.text;
    }
}

TEST(CharLengthCacheTest, KeepsAHundredTextsAndRefusesMore) {
    CharLengthCache cache;
    for (int n = 0; n < 100; ++n) EXPECT_TRUE(cache.Store("C" + std::to_string(n) + " FROM T", n));
    EXPECT_FALSE(cache.Store("C100 FROM T", 100));
    EXPECT_EQ(cache.Size(), 100u);
    EXPECT_EQ(cache.Find("C42 FROM T"), 42);
    EXPECT_EQ(cache.Find("C100 FROM T"), std::nullopt);
    // Keys are compared exactly.
    EXPECT_EQ(cache.Find("c42 FROM T"), std::nullopt);
}
