#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/Text.h"
#include "engine/EngineFixture.h"
#include "engine/FunctionTable.h"

using namespace migracja;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;

namespace {

// The functions as stored definitions name them, at the numbers prepared definitions hold and
// the messages print.
const std::vector<std::string> kStoredNames = {
    "KodPocztowyZKreska",
    "GetImie",
    "GetNazwisko",
    "Get1PrefixNIP",
    "Get2PrefixNIP",
    "ZwrocTNDlaNiePuste",
    "Copy40",
    "WyborID_INITE",
    "StawkaVAT",
    "KodVAT",
    "CenaBrutto",
    "MojaFirma",
    "LiczbaMiesiecyCOIMPU",
    "CzyAktywnaCOIMPU",
    "WyborID_INITE_Nr",
    "Zamien0i1",
    "GetIDAktywnejKasy",
    "Daty2ToStr",
    "Daty2ToDate",
    "DatyPlusRokToDate",
    "SelectWgNr",
    "JakaDataNastepna",
    "NextUniqueSkrot",
    "IdWybranyZespolSerwisowy",
    "SkrotWybranyZespolSerwisowy",
    "DataiGodzina",
    "Month",
    "Year",
    "GetNrOldZlecenia",
    "SuffixNumeru",
    "GetFIRMA_ID_Zlecenia",
    "StatusUrzadzenia",
    "IncMonth",
    "WartoscNetto",
    "WartoscBrutto",
    "JednostkaCzasuUslug",
    "Add2sIStr",
    "GetMojOddzial",
    "WarunkowoGetZespol",
};

}  // namespace

TEST(FunctionTableTest, EntriesAreNumberedInOrderWithUniqueNamesAndAHandlerEach) {
    const auto functions = engine::CalculationFunctions();
    ASSERT_EQ(functions.size(), static_cast<std::size_t>(engine::kFunctionCount));
    std::set<std::string> seen;
    for (std::size_t n = 0; n < functions.size(); ++n) {
        const engine::CalculationFunction& f = functions[n];
        EXPECT_EQ(f.Number, static_cast<int>(n)) << f.Name;
        EXPECT_NE(f.Handler, nullptr) << f.Name;
        EXPECT_FALSE(f.Name.empty()) << n;
        // Names are found regardless of letter case, so two may not differ in case alone.
        EXPECT_TRUE(seen.insert(text::ToUpper(f.Name)).second) << f.Name << " is doubled";
        EXPECT_EQ(engine::FunctionByNumber(static_cast<int>(n)), &f);
    }
    EXPECT_EQ(engine::FunctionByNumber(-1), nullptr);
    EXPECT_EQ(engine::FunctionByNumber(engine::kFunctionCount), nullptr);
}

TEST(FunctionTableTest, EveryStoredNameKeepsItsNumberInAnyLetterCase) {
    ASSERT_EQ(kStoredNames.size(), static_cast<std::size_t>(engine::kFunctionCount));
    for (std::size_t n = 0; n < kStoredNames.size(); ++n) {
        const std::string& name = kStoredNames[n];
        EXPECT_EQ(engine::CalculationFunctions()[n].Name, name);
        EXPECT_EQ(engine::FindFunction(name), static_cast<int>(n)) << name;
        EXPECT_EQ(engine::FindFunction(text::ToUpper(name)), static_cast<int>(n)) << name;
        EXPECT_EQ(engine::FindFunction(text::ToLower(name)), static_cast<int>(n)) << name;
    }
    // Only the whole name counts.
    for (const char* name : {"Copy4", "Copy400", "", " Copy40", "Copy40 ", "GetImie("})
        EXPECT_EQ(engine::FindFunction(name), -1) << name;
}

// Every function written in one definition, each with a DBF field: preparation gives each line
// its stored number, and the functions that read no field drop the reference.
TEST(FunctionTableTest, PreparationNumbersEveryFunctionAndDropsTheFieldOfThoseThatReadNone) {
    EngineFixture f;
    DbfWriter w;
    w.Field("NRKLI", 'C', 6).Field("NAZWA", 'C', 30).Field("TELEFON", 'C', 20);
    w.Record({"K1", "Firma", "042 1234567"});
    f.Dbf("TEL.DBF", w);
    std::vector<std::string> lines = {"[START]", "PlikDBF=TEL.DBF", "Tabela_0=TELEFONY",
                                      "[OBLICZANE]"};
    for (std::size_t n = 0; n < kStoredNames.size(); ++n)
        lines.push_back("WynikNr" + std::to_string(n) + "=" + kStoredNames[n] +
                        "(PLIKDBF->NAZWA 'A');");
    lines.insert(
        lines.end(),
        {"[WARUNKI_SQL]", "Warunek_0=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON",
         "[Tabela0]", "NUMER=PLIKDBF->TELEFON"});
    ASSERT_TRUE(f.Prepare(f.Definition(lines))) << f.Log();

    const auto& calculations = f.dane.Definition.Calculations;
    ASSERT_EQ(calculations.size(), kStoredNames.size()) << f.Log();
    const std::set<int> readNoField = {11, 23, 24, 37, 38};
    for (std::size_t n = 0; n < calculations.size(); ++n) {
        const engine::CalculationDef& c = calculations[n];
        EXPECT_EQ(c.Function, static_cast<int>(n)) << kStoredNames[n];
        EXPECT_EQ(c.TextArg, "A") << kStoredNames[n];
        if (readNoField.count(static_cast<int>(n))) {
            EXPECT_EQ(c.ArgFields[0], -1) << kStoredNames[n];
            EXPECT_EQ(c.ArgKinds[0], ValueKind::Other) << kStoredNames[n];
        } else {
            EXPECT_EQ(c.ArgFields[0], 1) << kStoredNames[n];
            EXPECT_EQ(c.ArgKinds[0], ValueKind::Text) << kStoredNames[n];
        }
    }
}
