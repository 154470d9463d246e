#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Text.h"
#include "calc/MigracjaUtil.h"

using namespace migracja;
using namespace migracja::literals;
using calc::NameSplitter;

namespace {

std::vector<std::string> WordTexts(const NameSplitter& splitter) {
    std::vector<std::string> texts;
    for (const calc::NameWord& word : splitter.Words()) texts.push_back(word.text);
    return texts;
}

std::vector<bool> Flags(const NameSplitter& splitter) {
    std::vector<bool> flags;
    for (const calc::NameWord& word : splitter.Words()) flags.push_back(word.isGivenName);
    return flags;
}

}  // namespace

TEST(NameSplitterTest, SurnameFirstIsSplitAndCounted) {
    NameSplitter splitter;
    splitter.SplitPersonName("Kowalski Jan");
    EXPECT_EQ(WordTexts(splitter), (std::vector<std::string>{"Kowalski", "Jan"}));
    EXPECT_EQ(Flags(splitter), (std::vector<bool>{false, true}));
    const calc::NameOrderStatistics& s = splitter.Statistics();
    EXPECT_EQ(s.otherWordFirst, 1);
    EXPECT_EQ(s.givenNameLater, 1);
    EXPECT_EQ(s.givenNameFirst, 0);
    EXPECT_EQ(s.otherWordLater, 0);

    EXPECT_EQ(splitter.GetImie("Kowalski Jan"), "Jan");
    EXPECT_EQ(splitter.GetNazwisko("Kowalski Jan"), "Kowalski");
    // Each of the two calls split the text again and counted it again.
    EXPECT_EQ(splitter.Statistics().otherWordFirst, 3);
    EXPECT_EQ(splitter.Statistics().givenNameLater, 3);
}

TEST(NameSplitterTest, SeveralGivenNamesAndCompoundSurnames) {
    NameSplitter splitter;
    EXPECT_EQ(splitter.GetImie("Jan Maria Rokita"), "Jan Maria");
    EXPECT_EQ(splitter.GetNazwisko("Jan Maria Rokita"), "Rokita");
    // The hyphen separates words, so the surname comes back with a space.
    EXPECT_EQ(splitter.GetNazwisko("Nowak-Kowalska Anna"), "Nowak Kowalska");
    EXPECT_EQ(splitter.GetImie("Nowak-Kowalska Anna"), "Anna");
    // Polish letters are letters and are upper-cased by Windows-1250 rules for the lookup.
    EXPECT_EQ(splitter.GetImie("Wójcik Stanisław"_w), "Stanisław"_w);
    EXPECT_EQ(splitter.GetNazwisko("Wójcik Stanisław"_w), "Wójcik"_w);
    EXPECT_EQ(splitter.GetImie("ŁUKASZ żak"_w), "ŁUKASZ"_w);
}

TEST(NameSplitterTest, EmptyWordsBetweenAndAtTheEnd) {
    NameSplitter splitter;
    splitter.SplitPersonName("Jan  Kowalski");
    EXPECT_EQ(WordTexts(splitter), (std::vector<std::string>{"Jan", "", "Kowalski"}));
    EXPECT_EQ(splitter.GetNazwisko("Jan  Kowalski"), "Kowalski");
    EXPECT_EQ(splitter.GetImie("Jan  Kowalski"), "Jan");

    // The full stop leaves an empty last word, which is dropped; the initial stays a word.
    splitter.SplitPersonName("Kowalski J.");
    EXPECT_EQ(WordTexts(splitter), (std::vector<std::string>{"Kowalski", "J"}));
    EXPECT_EQ(splitter.GetNazwisko("Kowalski J."), "Kowalski J");
    EXPECT_EQ(splitter.GetImie("Kowalski J."), "");

    // Only the last word is dropped, once: two trailing separators leave one empty word.
    splitter.SplitPersonName("Kowalski Jan  ");
    EXPECT_EQ(WordTexts(splitter), (std::vector<std::string>{"Kowalski", "Jan", ""}));
    // A one-letter word that is not last stays.
    splitter.SplitPersonName("J Kowalski");
    EXPECT_EQ(WordTexts(splitter), (std::vector<std::string>{"J", "Kowalski"}));
    // Digits separate words like any other character below 128.
    splitter.SplitPersonName("Anna2Nowak");
    EXPECT_EQ(WordTexts(splitter), (std::vector<std::string>{"Anna", "Nowak"}));
}

TEST(NameSplitterTest, EmptyTextAndSingleLetterGiveNothing) {
    NameSplitter splitter;
    for (const std::string text : {"", "J"}) {
        splitter.SplitPersonName(text);
        EXPECT_TRUE(splitter.Words().empty()) << '"' << text << '"';
        EXPECT_EQ(splitter.GetImie(text), "");
        EXPECT_EQ(splitter.GetNazwisko(text), "");
    }
    // A lone separator leaves the first, empty word after the empty second one is dropped.
    for (const std::string text : {" ", "."}) {
        splitter.SplitPersonName(text);
        EXPECT_EQ(WordTexts(splitter), std::vector<std::string>{""}) << '"' << text << '"';
        EXPECT_EQ(splitter.GetImie(text), "");
        EXPECT_EQ(splitter.GetNazwisko(text), "");
    }
    EXPECT_EQ(splitter.Statistics().givenNameFirst + splitter.Statistics().otherWordFirst, 0);
}

TEST(NameSplitterTest, TwoGivenNamesAreDecidedByTheOrderLearnedSoFar) {
    NameSplitter splitter;
    // With nothing learned yet the first word is taken as the surname.
    EXPECT_EQ(splitter.GetImie("Adam Tomasz"), "Tomasz");
    EXPECT_EQ(splitter.GetNazwisko("Adam Tomasz"), "Adam");
    // An ambiguous name teaches nothing.
    EXPECT_EQ(splitter.Statistics().givenNameFirst, 0);
    EXPECT_EQ(splitter.Statistics().otherWordFirst, 0);

    for (int i = 0; i < 5; ++i) splitter.SplitPersonName("Jan Kowalski");
    EXPECT_EQ(splitter.Statistics().givenNameFirst, 5);
    EXPECT_EQ(splitter.Statistics().otherWordLater, 5);
    EXPECT_EQ(splitter.GetImie("Adam Tomasz"), "Adam");
    EXPECT_EQ(splitter.GetNazwisko("Adam Tomasz"), "Tomasz");

    // Surname-first data outweighing it turns the decision back.
    for (int i = 0; i < 6; ++i) splitter.SplitPersonName("Nowak Piotr");
    EXPECT_EQ(splitter.GetImie("Adam Tomasz"), "Tomasz");

    // A tie keeps the surname first.
    NameSplitter tied;
    tied.SplitPersonName("Jan Kowalski");
    tied.SplitPersonName("Kowalski Jan");
    EXPECT_EQ(tied.GetNazwisko("Anna Zofia"), "Anna");
}

TEST(NameSplitterTest, ThreeGivenNamesOrNoneKeepTheirFlags) {
    NameSplitter splitter;
    splitter.SplitPersonName("Jan Adam Piotr");
    EXPECT_EQ(Flags(splitter), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(splitter.GetNazwisko("Jan Adam Piotr"), "");
    splitter.SplitPersonName("Kowalski Nowak");
    EXPECT_EQ(Flags(splitter), (std::vector<bool>{false, false}));
    EXPECT_EQ(splitter.GetImie("Kowalski Nowak"), "");
    EXPECT_EQ(splitter.GetNazwisko("Kowalski Nowak"), "Kowalski Nowak");
    const calc::NameOrderStatistics& s = splitter.Statistics();
    EXPECT_EQ(s.givenNameFirst + s.givenNameLater + s.otherWordFirst + s.otherWordLater, 0);
    // A given name in the middle of an otherwise unambiguous order is counted as later.
    splitter.SplitPersonName("Jan Maria Rokita");
    EXPECT_EQ(splitter.Statistics().givenNameFirst, 1);
    EXPECT_EQ(splitter.Statistics().givenNameLater, 1);
    EXPECT_EQ(splitter.Statistics().otherWordLater, 1);
}

TEST(NameSplitterTest, GivenNamesStopAtFifteenAndSurnameAtThirtyCharacters) {
    NameSplitter splitter;
    // Adding 'Stanisław' would exceed 15.
    EXPECT_EQ(splitter.GetImie("Krzysztof Stanisław Nowak"_w), "Krzysztof");
    // The space in front of a name counts before the check; the trim makes room afterwards.
    EXPECT_EQ(splitter.GetImie("Nowak Jan Maria Anna Ewa"), "Jan Maria Anna");
    // A name that does not fit is skipped, a shorter one after it still goes in.
    EXPECT_EQ(splitter.GetImie("Nowak Bartłomiej Wit Ida"_w), "Bartłomiej Wit"_w);
    // " Bartłomiej" and 'Anna' make 15, so it is added; the result is 15 after the trim.
    EXPECT_EQ(splitter.GetImie("Nowak Bartłomiej Anna"_w), "Bartłomiej Anna"_w);

    const std::string longSurname = "Brzęczyszczykiewicz Grzegorzewski Anna"_w;
    const std::string surname = splitter.GetNazwisko(longSurname);
    EXPECT_EQ(surname.size(), 30u);
    EXPECT_EQ(surname, "Brzęczyszczykiewicz Grzegorzew"_w);
    EXPECT_EQ(splitter.GetImie(longSurname), "Anna");
}

TEST(NameSplitterTest, WordsBeyondTheHundredthAreIgnored) {
    NameSplitter splitter;
    std::string text;
    for (int i = 0; i < 120; ++i) text += "Kowalski ";
    text += "Jan";
    splitter.SplitPersonName(text);
    ASSERT_EQ(splitter.Words().size(), NameSplitter::kMaxWords);
    EXPECT_EQ(splitter.Words().back().text, "Kowalski");
    EXPECT_EQ(splitter.GetImie(text), "");

    // A hundred words exactly are all kept, the given name at the end included.
    std::string hundred;
    for (int i = 0; i < 99; ++i) hundred += "Nowak ";
    hundred += "Jan";
    splitter.SplitPersonName(hundred);
    ASSERT_EQ(splitter.Words().size(), 100u);
    EXPECT_TRUE(splitter.Words().back().isGivenName);
    EXPECT_EQ(splitter.GetImie(hundred), "Jan");
    EXPECT_EQ(splitter.GetNazwisko(hundred).size(), 30u);
}
