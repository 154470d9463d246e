#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "base/Decimal.h"

using namespace migracja;

namespace {

// The largest NUMERIC(18,x) value, 18 nines, at its column's scale.
constexpr std::int64_t kEighteenNines = 999999999999999999;

}  // namespace

TEST(DecimalParseTest, SignDigitsAndOneSeparatorWithTheirDecimals) {
    EXPECT_EQ(ParseDecimal("12.50"), (Decimal{1250, 2}));
    EXPECT_EQ(ParseDecimal("-3,5"), (Decimal{-35, 1}));
    EXPECT_EQ(ParseDecimal("+7"), (Decimal{7, 0}));
    EXPECT_EQ(ParseDecimal(" \t42\r\n"), (Decimal{42, 0}));  // control characters around
    EXPECT_EQ(ParseDecimal(".5"), (Decimal{5, 1}));
    EXPECT_EQ(ParseDecimal("5."), (Decimal{5, 0}));
    EXPECT_EQ(ParseDecimal("-0.000"), (Decimal{0, 3}));
    EXPECT_EQ(ParseDecimal("0.000000000000000001"), (Decimal{1, 18}));
    EXPECT_EQ(ParseDecimal("9999999999999.99999"), (Decimal{kEighteenNines, 5}));
    EXPECT_EQ(ParseDecimal("-999999999999999999"), (Decimal{-kEighteenNines, 0}));
}

TEST(DecimalParseTest, TextThatIsNoNumberOrDoesNotFitIsRefused) {
    for (const char* bad : {"", "   ", "-", "+", ".", ",", "1.2.3", "1,2.3", "12a", "1 000", "1e5",
                            "--1", "0x10", "1-"})
        EXPECT_EQ(ParseDecimal(bad), std::nullopt) << bad;
    // Both ends of the 64-bit range are numbers, one past either end is not: the largest BIGINT
    // and the largest and smallest amounts of money.
    EXPECT_EQ(ParseDecimal("9223372036854775799"), (Decimal{9223372036854775799, 0}));
    EXPECT_EQ(ParseDecimal("-922337203685477579.9"), (Decimal{-9223372036854775799, 1}));
    EXPECT_EQ(ParseDecimal("9223372036854775807"), (Decimal{INT64_MAX, 0}));
    EXPECT_EQ(ParseDecimal("922337203685477.5807"), (Decimal{INT64_MAX, 4}));
    EXPECT_EQ(ParseDecimal("-922337203685477.5808"), (Decimal{INT64_MIN, 4}));
    EXPECT_EQ(ParseDecimal("+09223372036854775807"), (Decimal{INT64_MAX, 0}));
    EXPECT_EQ(ParseDecimal("9223372036854775808"), std::nullopt);
    EXPECT_EQ(ParseDecimal("-9223372036854775809"), std::nullopt);
    EXPECT_EQ(ParseDecimal("92233720368547758070"), std::nullopt);
    EXPECT_EQ(ParseDecimal("0.0000000000000000000001"),
              (Decimal{1, 22}));  // leading zeros cost nothing
    EXPECT_EQ(ParseDecimal("12345678901234567890"), std::nullopt);
}

TEST(DecimalRescaleTest, MoreDecimalsMultiplyAndOverflowIsNoValue) {
    EXPECT_EQ(Rescale({1250, 2}, 4), 125000);
    EXPECT_EQ(Rescale({-35, 1}, 4), -35000);
    EXPECT_EQ(Rescale({12, -3}, 0), 12000);  // a positive Firebird scale
    EXPECT_EQ(Rescale({kEighteenNines, 0}, 0), kEighteenNines);
    EXPECT_EQ(Rescale({9, 0}, 18), 9000000000000000000);
    EXPECT_EQ(Rescale({10, 0}, 18), std::nullopt);
    EXPECT_EQ(Rescale({-9, 0}, 18), -9000000000000000000);
    EXPECT_EQ(Rescale({-10, 0}, 18), std::nullopt);
    // The exact 64-bit limits: the most negative value fits, its positive twin does not.
    EXPECT_EQ(Rescale({-922337203685477580, 3}, 4), INT64_MIN + 8);
    EXPECT_EQ(Rescale({922337203685477580, 0}, 1), 9223372036854775800);
    EXPECT_EQ(Rescale({922337203685477581, 0}, 1), std::nullopt);
    EXPECT_EQ(Rescale({-922337203685477581, 0}, 1), std::nullopt);
    EXPECT_EQ(Rescale({INT64_MIN, 0}, 0), INT64_MIN);
    // Money from the largest NUMERIC(18,2) does not fit four decimals.
    EXPECT_EQ(Rescale({kEighteenNines, 2}, 4), std::nullopt);
    EXPECT_EQ(Rescale({kEighteenNines, 4}, 4), kEighteenNines);
    // Zero fits at any scale, a growth past 10^18 fits nothing else.
    EXPECT_EQ(Rescale({0, 0}, 40), 0);
    EXPECT_EQ(Rescale({1, 0}, 19), std::nullopt);
}

TEST(DecimalRescaleTest, FewerDecimalsRoundHalfAwayFromZero) {
    EXPECT_EQ(Rescale({12345, 4}, 2), 123);
    EXPECT_EQ(Rescale({12350, 4}, 2), 124);
    EXPECT_EQ(Rescale({-12350, 4}, 2), -124);
    EXPECT_EQ(Rescale({-12349, 4}, 2), -123);
    EXPECT_EQ(Rescale({5, 1}, 0), 1);
    EXPECT_EQ(Rescale({-5, 1}, 0), -1);
    EXPECT_EQ(Rescale({4, 1}, 0), 0);
    EXPECT_EQ(Rescale({-4, 1}, 0), 0);
    EXPECT_EQ(Rescale({kEighteenNines, 18}, 0), 1);
    EXPECT_EQ(Rescale({kEighteenNines, 4}, 0), 100000000000000);
    // Rounding at the 64-bit ends does not overflow: the quotient is always smaller.
    EXPECT_EQ(Rescale({INT64_MAX, 1}, 0), 922337203685477581);
    EXPECT_EQ(Rescale({INT64_MIN, 1}, 0), -922337203685477581);
    EXPECT_EQ(Rescale({INT64_MAX, 18}, 0), 9);
    // Dropping more than 18 decimals leaves nothing, whatever the mantissa.
    EXPECT_EQ(Rescale({INT64_MAX, 19}, 0), 0);
    EXPECT_EQ(Rescale({INT64_MIN, 30}, 0), 0);
}

TEST(DecimalFormatTest, DecimalsAfterThePointAndAZeroBeforeIt) {
    EXPECT_EQ(FormatDecimal({1250, 2}), "12.50");
    EXPECT_EQ(FormatDecimal({5, 2}), "0.05");
    EXPECT_EQ(FormatDecimal({-5, 2}), "-0.05");
    EXPECT_EQ(FormatDecimal({0, 4}), "0.0000");
    EXPECT_EQ(FormatDecimal({-42, 0}), "-42");
    EXPECT_EQ(FormatDecimal({12, -3}), "12000");
    EXPECT_EQ(FormatDecimal({0, -3}), "0");
    EXPECT_EQ(FormatDecimal({kEighteenNines, 18}), "0.999999999999999999");
    EXPECT_EQ(FormatDecimal({INT64_MIN, 4}), "-922337203685477.5808");
    EXPECT_EQ(FormatDecimal({INT64_MAX, 0}), "9223372036854775807");
}

TEST(DecimalFormatTest, ParsedTextFormatsBackAndConvertsToDouble) {
    for (const char* text : {"0.1", "-12.3456", "1000", "922337203685477.5799", "-0.000001"}) {
        const auto d = ParseDecimal(text);
        ASSERT_TRUE(d) << text;
        EXPECT_EQ(FormatDecimal(*d), text);
    }
    EXPECT_EQ(FormatDecimal(*ParseDecimal("3,50")), "3.50");
    EXPECT_DOUBLE_EQ((Decimal{-1250, 2}.ToDouble()), -12.5);
    EXPECT_DOUBLE_EQ((Decimal{12, -3}.ToDouble()), 12000.0);
    EXPECT_EQ((Decimal{1, 1}.ToDouble()), 1 * 0.1);  // the multiplication's rounding, not 1 / 10
}
