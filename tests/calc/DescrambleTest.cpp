#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Text.h"
#include "calc/DescramblingSettings.h"
#include "calc/MigracjaUtil.h"
#include "config/IniFile.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::literals;
using calc::ScramblingConstants;

namespace {

const std::vector<ScramblingConstants> kConstantSets = {
    calc::kDefaultScramblingConstants,
    {.seed = 0, .oddParityAddend = 0, .evenParityAddend = 0, .fallbackKey = 1},
    {.seed = 0xFFFF, .oddParityAddend = 0xFF, .evenParityAddend = 0xFF, .fallbackKey = 31},
    {.seed = 0x1234, .oddParityAddend = 7, .evenParityAddend = 200, .fallbackKey = 16},
    {.seed = 255, .oddParityAddend = 0x80, .evenParityAddend = 1, .fallbackKey = 5},
};

std::string AllBytesRepeated(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>((i * 37 + 11) & 0xFF);
    return text;
}

}  // namespace

TEST(DescrambleTest, TwiceGivesTheTextBackForAnyConstantsAndLength) {
    for (const ScramblingConstants& c : kConstantSets) {
        for (const std::size_t length : {0u, 1u, 2u, 3u, 10u, 31u, 32u, 255u, 256u, 257u, 1000u}) {
            const std::string original = AllBytesRepeated(length);
            const std::string once = calc::DescrambleText(original, c);
            ASSERT_EQ(once.size(), original.size());
            EXPECT_EQ(calc::DescrambleText(once, c), original) << "length " << length;
            // The key is never zero and has only its low five bits set: every byte changes,
            // and only in those bits.
            for (std::size_t i = 0; i < length; ++i) {
                const unsigned diff = static_cast<unsigned char>(once[i] ^ original[i]);
                EXPECT_NE(diff, 0u) << "length " << length << " position " << i;
                EXPECT_LT(diff, 32u);
            }
        }
    }
    const std::string polish = "Zakład Usługowy \"Żuraw\" Sp. z o.o."_w;
    EXPECT_EQ(calc::DescrambleText(calc::DescrambleText(polish, calc::kDefaultScramblingConstants),
                                   calc::kDefaultScramblingConstants),
              polish);
}

TEST(DescrambleTest, KeysFollowLengthPositionAndConstants) {
    // Worked by hand with seed 0, both addends 0 and fallback 1. Length 3: K = 3.
    // p=1: m=3, x=0, even, rotated right 0, key 0 -> fallback 1;
    // p=2: m=2, x=1, odd, rotated left 2, key 2; p=3: m=1, x=2, odd, rotated left 4, key 4.
    const ScramblingConstants plain{
        .seed = 0, .oddParityAddend = 0, .evenParityAddend = 0, .fallbackKey = 1};
    EXPECT_EQ(calc::DescrambleText("aaa", plain), "`ce");
    // With fallback 9 only the first key changes.
    ScramblingConstants fallback9 = plain;
    fallback9.fallbackKey = 9;
    EXPECT_EQ(calc::DescrambleText("aaa", fallback9), "hce");
    // The odd-parity addend moves the keys of positions 2 and 3: 2+3=5 and 4+3=7.
    ScramblingConstants odd3 = plain;
    odd3.oddParityAddend = 3;
    EXPECT_EQ(calc::DescrambleText("aaa", odd3), "`df");
    // Length 1: K = 1, m = 1, x = 0, even: rotated right 0 plus the even addend 0x25 -> key 5.
    ScramblingConstants even = plain;
    even.evenParityAddend = 0x25;
    EXPECT_EQ(calc::DescrambleText("a", even), "d");
    // The seed only shifts the length byte: seed 256 behaves as seed 0.
    ScramblingConstants seed256 = plain;
    seed256.seed = 256;
    EXPECT_EQ(calc::DescrambleText("aaa", seed256), "`ce");
    // The same character at the same position gets another key when the length differs.
    const ScramblingConstants& d = calc::kDefaultScramblingConstants;
    EXPECT_NE(calc::DescrambleText("aaaa", d).substr(0, 3), calc::DescrambleText("aaa", d));
}

TEST(DescramblingSettingsTest, ReadsTheConstantsFromMigracjaIni) {
    migracja::testing::TempDir dir;
    dir.Write("Migracja.ini",
              "[Old_Tarvik]\r\nPathToDbf=C:\\Tarvik\\\r\n"
              "[Deszyfrowanie]\r\nZiarno=$1234\r\nDodatekNieparzysty=7\r\n"
              "DodatekParzysty= 200 \r\nKluczZastepczy=31\r\n");
    const ScramblingConstants c = calc::ReadScramblingConstants(dir.path());
    EXPECT_EQ(c.seed, 0x1234);
    EXPECT_EQ(c.oddParityAddend, 7);
    EXPECT_EQ(c.evenParityAddend, 200);
    EXPECT_EQ(c.fallbackKey, 31);
}

TEST(DescramblingSettingsTest, FileNameIsFoundWithoutRegardToCase) {
    migracja::testing::TempDir dir;
    dir.Write("MIGRACJA.INI", "[deszyfrowanie]\nziarno=65535\nKLUCZZASTEPCZY=1\n");
    const ScramblingConstants c = calc::ReadScramblingConstants(dir.path());
    EXPECT_EQ(c.seed, 65535);
    EXPECT_EQ(c.fallbackKey, 1);
    EXPECT_EQ(c.oddParityAddend, calc::kDefaultScramblingConstants.oddParityAddend);
}

TEST(DescramblingSettingsTest, MissingOrInvalidValuesFallBackToTheDefaults) {
    migracja::testing::TempDir dir;
    // No file at all.
    EXPECT_EQ(calc::ReadScramblingConstants(dir.path()), calc::kDefaultScramblingConstants);

    // A file without the section.
    dir.Write("Migracja.ini", "[Old_Tarvik]\r\nPathToDbf=D:\\dane\r\n");
    EXPECT_EQ(calc::ReadScramblingConstants(dir.path()), calc::kDefaultScramblingConstants);

    // Out of range, negative, not a number, and a fallback key of 0: each key on its own.
    dir.Write("Migracja.ini",
              "[Deszyfrowanie]\r\nZiarno=65536\r\nDodatekNieparzysty=-1\r\n"
              "DodatekParzysty=abc\r\nKluczZastepczy=0\r\n");
    EXPECT_EQ(calc::ReadScramblingConstants(dir.path()), calc::kDefaultScramblingConstants);

    dir.Write("Migracja.ini",
              "[Deszyfrowanie]\r\nZiarno=0\r\nDodatekNieparzysty=256\r\n"
              "DodatekParzysty=0\r\nKluczZastepczy=32\r\n");
    const ScramblingConstants c = calc::ReadScramblingConstants(dir.path());
    EXPECT_EQ(c.seed, 0);
    EXPECT_EQ(c.oddParityAddend, calc::kDefaultScramblingConstants.oddParityAddend);
    EXPECT_EQ(c.evenParityAddend, 0);
    EXPECT_EQ(c.fallbackKey, calc::kDefaultScramblingConstants.fallbackKey);
}

TEST(DescramblingSettingsTest, ConstantsReadFromTheFileDescrambleWhatTheyScrambled) {
    migracja::testing::TempDir dir;
    dir.Write("Migracja.ini",
              "[Deszyfrowanie]\nZiarno=4660\nDodatekNieparzysty=7\n"
              "DodatekParzysty=200\nKluczZastepczy=16\n");
    const ScramblingConstants fromFile = calc::ReadScramblingConstants(dir.path());
    const ScramblingConstants written{
        .seed = 4660, .oddParityAddend = 7, .evenParityAddend = 200, .fallbackKey = 16};
    const std::string name = "Przedsiębiorstwo Handlowe"_w;
    const std::string stored = calc::DescrambleText(name, written);
    EXPECT_NE(stored, name);
    EXPECT_EQ(calc::DescrambleText(stored, fromFile), name);
}
