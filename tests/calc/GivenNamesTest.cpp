#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "base/Text.h"
#include "calc/GivenNames.h"

using namespace migracja;
using namespace migracja::literals;
using calc::GivenNameDictionary;

namespace {

// The editable UTF-8 list that the compiled table is generated from.
std::set<std::string> NamesOfSourceList() {
    std::ifstream in(std::string(MIGRACJA_SOURCE_DIR) + "/calc/given_names.txt");
    EXPECT_TRUE(in.good());
    std::set<std::string> names;
    std::string line;
    while (std::getline(in, line)) {
        const std::string name(text::Trim(line));
        if (name.empty() || name.front() == '#') continue;
        names.insert(text::Utf8ToWin1250(name));
    }
    return names;
}

}  // namespace

TEST(GivenNameDictionaryTest, HasTheGroupSizesPerLengthAndNoDuplicates) {
    const std::map<std::size_t, std::size_t> expected = {
        {3, 19},  {4, 61},   {5, 145}, {6, 249}, {7, 301}, {8, 286},
        {9, 208}, {10, 108}, {11, 40}, {12, 5},  {13, 1},
    };
    std::map<std::size_t, std::size_t> counted;
    std::set<std::string_view> distinct;
    for (const std::string_view name : GivenNameDictionary::Names()) {
        ++counted[name.size()];
        distinct.insert(name);
    }
    EXPECT_EQ(counted, expected);
    EXPECT_EQ(GivenNameDictionary::Names().size(), 1423u);
    EXPECT_EQ(distinct.size(), 1423u);
    for (const auto& [length, count] : expected)
        EXPECT_EQ(GivenNameDictionary::CountOfLength(length), count) << length;
    EXPECT_EQ(GivenNameDictionary::CountOfLength(2), 0u);
    EXPECT_EQ(GivenNameDictionary::CountOfLength(14), 0u);
}

TEST(GivenNameDictionaryTest, NamesAreUpperCaseLettersOfWindows1250) {
    for (const std::string_view name : GivenNameDictionary::Names()) {
        EXPECT_EQ(text::ToUpper(name), name);
        for (const char c : name) {
            const auto u = static_cast<unsigned char>(c);
            EXPECT_TRUE((u >= 'A' && u <= 'Z') || u >= 0x80) << name;
        }
        // Every byte must have a character, or the name could never match a real text.
        EXPECT_EQ(text::Utf8ToWin1250(text::Win1250ToUtf8(name)), name);
    }
}

TEST(GivenNameDictionaryTest, CompiledTableMatchesTheEditableList) {
    const std::set<std::string> source = NamesOfSourceList();
    const std::set<std::string> compiled(GivenNameDictionary::Names().begin(),
                                         GivenNameDictionary::Names().end());
    EXPECT_EQ(source, compiled) << "run calc/make_given_names.py after editing the list";
}

TEST(GivenNameDictionaryTest, ThreeLetterGroupIsExactlyTheKnownOne) {
    std::set<std::string_view> threeLetters;
    for (const std::string_view name : GivenNameDictionary::Names())
        if (name.size() == 3) threeLetters.insert(name);
    const std::set<std::string_view> expected = {"ADO", "ALF", "ADA", "AGA", "DAN", "EWA", "IDA",
                                                 "IGA", "ITA", "IWA", "IWO", "JAN", "JOB", "KIR",
                                                 "LEW", "ODA", "ODO", "PIA", "WIT"};
    EXPECT_EQ(threeLetters, expected);
}

TEST(GivenNameDictionaryTest, ContainsTheNamesTheDataRelyOn) {
    for (const std::string& name :
         {"ADAM"_w, "ANNA"_w, "MAREK"_w, "PIOTR"_w, "TOMASZ"_w, "ZOFIA"_w, "BARBARA"_w,
          "KRZYSZTOF"_w, "BARTŁOMIEJ"_w, "WŁODZIMIERZ"_w, "DZIERŻYSŁAWA"_w, "WIERZCHOSŁAWA"_w,
          "JAN"_w, "MARIA"_w, "STANISŁAW"_w})
        EXPECT_TRUE(GivenNameDictionary::Contains(name)) << text::Win1250ToUtf8(name);
    // The only name of 13 letters.
    for (const std::string_view name : GivenNameDictionary::Names()) {
        if (name.size() == 13) {
            EXPECT_EQ(name, "WIERZCHOSŁAWA"_w);
        }
    }
}

TEST(GivenNameDictionaryTest, RejectsSurnamesOtherCaseAndWrongLengths) {
    for (const std::string& word : {"KOWALSKI"_w, "NOWAK"_w, "KOWALSKA"_w, "ROKITA"_w, "J"_w, ""_w,
                                    "JA"_w, "WIERZCHOSŁAWAA"_w, "WŁODZIMIER"_w})
        EXPECT_FALSE(GivenNameDictionary::Contains(word)) << text::Win1250ToUtf8(word);
    // The caller upper-cases; the dictionary itself compares bytes.
    EXPECT_FALSE(GivenNameDictionary::Contains("Jan"));
    EXPECT_FALSE(GivenNameDictionary::Contains("stanisław"_w));
    EXPECT_TRUE(GivenNameDictionary::Contains(text::ToUpper("stanisław"_w)));
}
