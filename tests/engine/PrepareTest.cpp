#include <gtest/gtest.h>

#include "engine/EngineFixture.h"
#include "engine/FunctionTable.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::ValueKind;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;

namespace {

// A telephone file: NRKLI, NAZWA, ULICA, NRDOMU, TELEFON (field 4), AKTYWNY, DATA, KWOTA, ILE.
DbfWriter Phones() {
    DbfWriter w;
    w.Field("NRKLI", 'C', 6)
        .Field("NAZWA", 'C', 30)
        .Field("ULICA", 'C', 20)
        .Field("NRDOMU", 'C', 5);
    w.Field("TELEFON", 'C', 20).Field("AKTYWNY", 'L', 1).Field("DATA", 'D', 8);
    w.Field("KWOTA", 'N', 10, 2).Field("ILE", 'N', 4);
    w.Record({"K1", "Firma", "Polna", "5", "042 1234567", "T", "20240115", "12.50", "3"});
    return w;
}

// The start of a definition over the telephone file with the given tables.
std::vector<std::string> Start(std::vector<std::string> tables) {
    std::vector<std::string> lines = {"[START]", "PlikDBF=TEL.DBF"};
    for (std::size_t n = 0; n < tables.size(); ++n)
        lines.push_back("Tabela_" + std::to_string(n) + "=" + tables[n]);
    return lines;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> kPhoneExists = {
    "[WARUNKI_SQL]", "Warunek_0=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON"};

}  // namespace

TEST(PrepareTest, SqlConditionsAndExistsQueriesBecomeParameterisedUpperCaseQueries) {
    EngineFixture f;
    f.Dbf("TEL.DBF", Phones());
    const auto file = f.Definition(
        Start({"TELEFONY"}) +
        std::vector<std::string>{
            "[WARUNKI_SQL]",
            "Warunek_0=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON AND FIRMA_ID "
            "= OBLICZENIA->WYNIKNR12(N)",
            "GdyJest_0=select tel_id from telefony where opis = 'biuro' and numer = "
            "plikdbf->TELEFON and typ = PLIKDBF->AKTYWNY",
            "[Tabela0]", "TEL_ID=GENERATOR(GEN_TELEFONY)", "NUMER=PLIKDBF->TELEFON"});
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    const auto& t = f.Table(0);
    EXPECT_EQ(t.ConditionQuery->Sql(),
              "SELECT COUNT(*) FROM TELEFONY WHERE NUMER =  :p4A AND FIRMA_ID =  :p12B");
    ASSERT_EQ(t.SqlConditionParams.size(), 2u);
    EXPECT_EQ(t.SqlConditionParams[0].From, engine::RefKind::DbfField);
    EXPECT_EQ(t.SqlConditionParams[0].Source, 4);
    EXPECT_EQ(t.SqlConditionParams[0].Kind, ValueKind::Text);
    EXPECT_EQ(t.SqlConditionParams[1].From, engine::RefKind::Calculation);
    EXPECT_EQ(t.SqlConditionParams[1].Source, 12);
    EXPECT_EQ(t.SqlConditionParams[1].Kind, ValueKind::Integer);
    // String constants are upper-cased with the rest; a logical field is passed as text.
    EXPECT_TRUE(t.HasExistsQuery);
    EXPECT_EQ(t.ExistsQuerySql,
              "SELECT TEL_ID FROM TELEFONY WHERE OPIS = 'BIURO' AND NUMER =  :p4A AND TYP =  :p5B");
    EXPECT_EQ(t.ExistsParams[1].Kind, ValueKind::Text);
}

TEST(PrepareTest, InsertStatementsTakeColumnsInTableOrderWithTheBookkeepingColumnsAfter) {
    EngineFixture f(
        "CREATE TABLE TEL4 (TEL_ID INTEGER NOT NULL, FIRMA_ID INTEGER, NUMER VARCHAR(20), "
        "KTO_WPISAL VARCHAR(20));"
        "CREATE TABLE TEL5 (ID INTEGER NOT NULL, ILE INTEGER, OPIS VARCHAR(20), "
        "KTO_WPISAL VARCHAR(20), DATA_WPISU DATE)");
    f.Dbf("TEL.DBF", Phones());
    // The worked example: the unmapped KTO_WPISAL gets the constant 'Migracja'.
    auto file = f.Definition(
        Start({"TEL4"}) +
        std::vector<std::string>{
            "[WARUNKI_SQL]", "Warunek_0=SELECT COUNT(*) FROM TEL4 WHERE NUMER = PLIKDBF->TELEFON",
            "[Tabela0]", "NUMER=PLIKDBF->TELEFON", "TEL_ID=GENERATOR(GEN_TELEFONY)",
            "FIRMA_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE NAZWA_SKROT = PLIKDBF->NRKLI"});
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    EXPECT_EQ(f.Table(0).Statement,
              "INSERT INTO TEL4 ( TEL_ID,FIRMA_ID,NUMER,KTO_WPISAL )  VALUES ( "
              ":pTEL_ID,:pFIRMA_ID,:pNUMER,'Migracja' ) ");
    EXPECT_EQ(f.Column(0, "TEL_ID").ExtraText, "GEN_TELEFONY");
    EXPECT_EQ(f.Column(0, "TEL_ID").Source,
              (engine::ColumnSource{engine::SourceType::Generator, ValueKind::Integer}));
    EXPECT_EQ(f.Column(0, "FIRMA_ID").Source,
              (engine::ColumnSource{engine::SourceType::Lookup, ValueKind::Integer}));
    // The number messages show for the source.
    EXPECT_EQ(f.Column(0, "FIRMA_ID").Source.Code(), 32);
    EXPECT_EQ(f.Column(0, "FIRMA_ID").ExtraText,
              "SELECT FIRMA_ID FROM REJESTR_FIRM WHERE NAZWA_SKROT =  :p1A");

    // A one-character constant first, a mapped KTO_WPISAL keeps its own source, DATA_WPISU is
    // the current time.
    file = f.Definition(Start({"TEL5"}) +
                        std::vector<std::string>{"[WARUNKI_SQL]",
                                                 "Warunek_0=SELECT COUNT(*) FROM TEL5 WHERE ID = 0",
                                                 "[Tabela0]", "ID=(N)0", "ILE=PLIKDBF->ILE",
                                                 "KTO_WPISAL=(c)Jan O'Neil", "OPIS=(C)tekst   "});
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    EXPECT_EQ(f.Table(0).Statement,
              "INSERT INTO TEL5 ( ID,ILE,OPIS,KTO_WPISAL,DATA_WPISU )  VALUES ( "
              "0,:pILE,'tekst','Jan O''Neil',:pDATA_WPISU ) ");
    EXPECT_EQ(f.Column(0, "DATA_WPISU").Source,
              (engine::ColumnSource{engine::SourceType::Now, ValueKind::Date}));
    EXPECT_EQ(f.Column(0, "ILE").Source,
              (engine::ColumnSource{engine::SourceType::DbfField, ValueKind::Integer}));
    EXPECT_EQ(f.Column(0, "ILE").Source.Code(), 12);
}

TEST(PrepareTest, UpdateTablesSetTheRowOfTheFirstEarlierTableOfTheSameName) {
    EngineFixture f;
    f.Dbf("TEL.DBF", Phones());
    const auto file = f.Definition(
        Start({"REJESTR_FIRM", "TELEFONY", "REJESTR_FIRM"}) +
        std::vector<std::string>{
            "[WARUNKI_SQL]",
            "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->NRKLI",
            "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON", "[Tabela0]",
            "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM);", "NAZWA_FIRMY=PLIKDBF->NAZWA", "[Tabela1]",
            "TEL_ID=GENERATOR(GEN_TELEFONY)", "FIRMA_ID=GENERATOR(0)", "NUMER=PLIKDBF->TELEFON",
            "[Tabela2]", "FIRMA_ID=GENERATOR(0)", "F_SERWIS=(C)T"});
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    EXPECT_FALSE(f.Table(2).IsInsert);
    EXPECT_EQ(f.Table(2).Statement,
              "UPDATE REJESTR_FIRM SET  F_SERWIS = 'T'  Where FIRMA_ID = :pFIRMA_ID");
    EXPECT_EQ(f.Column(1, "FIRMA_ID").Source,
              (engine::ColumnSource{engine::SourceType::TableKey, ValueKind::Integer}));
    // An UPDATE table shares the counter of its INSERT table.
    const auto& d = f.dane.Definition;
    EXPECT_EQ(d.CounterCount, 2);
    EXPECT_EQ(d.CounterCaptions[0], "REJESTR_FIRM");
    EXPECT_EQ(d.CounterCaptions[1], "TELEFONY");
    EXPECT_EQ(f.Table(2).CounterIndex, 0);
}

TEST(PrepareTest, DefinitionErrorsOfTablesAndColumnsAreReportedWithTheirContext) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        const char* entry;
    };
    const std::vector<Case> cases = {
        {"table 0 without SQL condition",
         Start({"TELEFONY"}) + std::vector<std::string>{"[Tabela0]", "NUMER=PLIKDBF->TELEFON"},
         "Nie ma warunku SQL i update-u dla zerowej tabeli !\r\nDla pliku TEL.DBF\r\nNr Tabeli = 0 "
         "  "
         "Nazwa: TELEFONY\r\nNr odczytanego rekordu = 0"},
        {"update without an insert table of its name",
         Start({"TELEFONY", "REJESTR_FIRM"}) + kPhoneExists +
             std::vector<std::string>{"[Tabela0]", "TEL_ID=GENERATOR(GEN_TELEFONY)", "[Tabela1]",
                                      "F_SERWIS=(C)T"},
         "Nie ma identycznej nazwy tabeli dla update !\r\nDla pliku TEL.DBF\r\nNr Tabeli = 1"},
        {"missing generator",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[Tabela0]", "TEL_ID=GENERATOR(GEN_NIE_MA)"},
         " - Nie ma generatora o nazwie GEN_NIE_MA !\r\nDla pliku TEL.DBF\r\nNr Tabeli = 0   "
         "Nazwa: TELEFONY\r\nNr Linii 0  Treść: TEL_ID = GENERATOR(GEN_NIE_MA)"},
        {"an update table without the key of its insert table",
         Start({"TELEFONY", "TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[Tabela0]", "TEL_ID=GENERATOR(GEN_TELEFONY)", "[Tabela1]",
                                      "OPIS=(C)biuro", "TYP=(C)Telefon"},
         // The line after the last mapped column has neither column nor source.
         "Błąd powiązania Update-u):  !\r\nDla pliku TEL.DBF\r\nNr Tabeli = 1   Nazwa: "
         "TELEFONY\r\nNr Linii 2  Treść:  = \r\nNr odczytanego rekordu = 0"},
        {"a type letter outside CNFD",
         Start({"TELEFONY"}) + kPhoneExists + std::vector<std::string>{"[Tabela0]", "OPIS=(Q)abc"},
         "W (Q)abc  zły typ [CNFD] z \r\nDla pliku TEL.DBF"},
        {"a constant without text is no constant",
         Start({"TELEFONY"}) + kPhoneExists + std::vector<std::string>{"[Tabela0]", "OPIS=(C)"},
         "Błędna definicja ! \r\nDla pliku TEL.DBF"},
        {"the key of a later table",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[Tabela0]", "FIRMA_ID=GENERATOR(0)"},
         "Błędna definicja ! "},
        {"an empty source",
         Start({"TELEFONY"}) + kPhoneExists + std::vector<std::string>{"[Tabela0]", "OPIS="},
         "Błąd parametru !\r\nDla pliku TEL.DBF\r\nNr Tabeli = 0   Nazwa: TELEFONY\r\nNr Linii 0  "
         "Treść: OPIS = "},
        {"fields of different kinds joined",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[Tabela0]", "OPIS=PLIKDBF->NAZWA PLIKDBF->ILE"},
         "Różne typu pól do łączenia w PLIKDBF->NAZWA PLIKDBF->ILE!"},
        {"a missing DBF field",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[Tabela0]", "OPIS=PLIKDBF->BRAK"},
         "W pliku TEL.DBF brak pola o nazwie BRAK"},
        {"a number constant that is no number",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[Tabela0]", "POLE_ID=(N)1,5"},
         "Stała liczbowa (N)1,5 nie jest liczbą !"},
        {"a text condition on a missing field",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[WARUNKI]", "Warunek_0=LENGTH(TRIM(PLIKDBF->BRAK))",
                                      "[Tabela0]", "NUMER=PLIKDBF->TELEFON"},
         "Nie ma pola DBF o nazwie: BRAK !\r\nDla pliku TEL.DBF\r\nNr Tabeli = 0"},
        {"a calculation condition without a digit",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[WARUNKI]", "Warunek_0=LENGTH(TRIM(OBLICZENIA->WYNIKNRX))",
                                      "[Tabela0]", "NUMER=PLIKDBF->TELEFON"},
         "Błąd pola obliczanego X !"},
        {"an unknown calculation function",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[OBLICZANE]", "WynikNr0=NieMaTakiej(PLIKDBF->NAZWA);",
                                      "[Tabela0]", "NUMER=PLIKDBF->TELEFON"},
         "Nieznana funkcja obliczeniowa NIEMATAKIEJ !\r\nPlik TEL.DBF"},
        {"an SQL condition the database refuses",
         Start({"TELEFONY"}) +
             std::vector<std::string>{
                 "[WARUNKI_SQL]",
                 "Warunek_0=SELECT COUNT(*) FROM NIE_MA_TABELI WHERE X = PLIKDBF->NRKLI",
                 "[Tabela0]", "NUMER=PLIKDBF->TELEFON"},
         "SELECT COUNT(*) FROM NIE_MA_TABELI WHERE X =  :p0A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineFixture f;
        f.Dbf("TEL.DBF", Phones());
        EXPECT_FALSE(f.Prepare(f.Definition(c.lines)));
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_TRUE(f.dane.Definition.ErrorsOccurred);
        EXPECT_TRUE(f.LogHas(c.entry)) << f.Log();
    }
}

TEST(PrepareTest, CalculationsAndTextConditionsAreParsed) {
    EngineFixture f;
    f.Dbf("TEL.DBF", Phones());
    const auto file =
        f.Definition(Start({"TELEFONY", "TELEFONY", "TELEFONY"}) +
                     std::vector<std::string>{
                         "Kodowanie=MS Latin",
                         "[OBLICZANE]",
                         "WynikNr0=Copy40(PLIKDBF->NAZWA 'abc');",
                         "WynikNr1=short",
                         "WynikNr2=MojaFirma(PLIKDBF->NIE_MA)",
                         "WynikNr3=getimie( PLIKDBF->NAZWA, PLIKDBF->ULICA)",
                         "[WARUNKI]",
                         "Warunek_0=POS(PLIKDBF->NAZWA 'ABC')",
                         "Warunek_1=IF(PLIKDBF->ILE '>=5')",
                         "Warunek_2=LENGTH(TRIM(OBLICZENIA->WYNIKNR3))",
                         "Pomin_2=1",
                         "[WARUNKI_SQL]",
                         "Warunek_0=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON",
                         "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON",
                         "Warunek_2=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON",
                         "[Tabela0]",
                         "NUMER=PLIKDBF->TELEFON",
                         "[Tabela1]",
                         "NUMER=PLIKDBF->TELEFON",
                         "[Tabela2]",
                         "NUMER=PLIKDBF->TELEFON"});
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    const auto& d = f.dane.Definition;
    EXPECT_EQ(d.EncodingMode, engine::DbfEncoding::Mazovia);  // M is tested before L
    // The nine-character line is skipped without a word; numbering counts accepted entries.
    ASSERT_EQ(d.CalculationCount(), 3);
    EXPECT_EQ(d.Calculations[0].Function, 6);
    EXPECT_EQ(d.Calculations[0].TextArg, "ABC");
    EXPECT_EQ(d.Calculations[0].ArgFields[0], 1);
    EXPECT_EQ(d.Calculations[0].ArgFields[1], -1);
    // A function without fields ignores the name, present in the file or not.
    EXPECT_EQ(d.Calculations[1].Function, 11);  // MojaFirma
    EXPECT_EQ(d.Calculations[1].ArgFields[0], -1);
    EXPECT_EQ(d.Calculations[2].ArgFields[0], 1);
    EXPECT_EQ(d.Calculations[2].ArgFields[1], 2);
    EXPECT_EQ(d.Calculations[2].ArgKinds[1], ValueKind::Text);

    EXPECT_EQ(f.Table(0).ConditionOperator, engine::TextCondition::FoundInText);
    EXPECT_EQ(f.Table(0).ConditionText, "ABC");
    EXPECT_EQ(f.Table(0).ConditionSource, 1);
    EXPECT_EQ(f.Table(1).ConditionOperator, engine::TextCondition::IntegerComparison);
    EXPECT_EQ(f.Table(1).ConditionText, ">=5");
    EXPECT_EQ(f.Table(2).ConditionOperator, engine::TextCondition::CalculationNotBlank);
    EXPECT_EQ(f.Table(2).ConditionSource, 3);
    // Three tables of one name share one counter.
    EXPECT_EQ(d.CounterCount, 1);
}

TEST(PrepareTest, EveryBoundOfTheModelExceededByOneIsAClearErrorNamingFileTableAndBound) {
    const std::string refs6 =
        "PLIKDBF->NRKLI, PLIKDBF->NAZWA, PLIKDBF->ULICA, PLIKDBF->NRDOMU, PLIKDBF->TELEFON, "
        "PLIKDBF->NAZWA";
    const std::string refs5 =
        ", PLIKDBF->NRKLI, PLIKDBF->NAZWA, PLIKDBF->ULICA, PLIKDBF->NRDOMU, PLIKDBF->TELEFON";
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        const char* entry;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"six references in an SQL condition",
         Start({"TELEFONY"}) +
             std::vector<std::string>{
                 "[WARUNKI_SQL]",
                 "Warunek_0=SELECT COUNT(*) FROM TELEFONY WHERE NUMER IN (" + refs6 + ")",
                 "[Tabela0]", "NUMER=PLIKDBF->TELEFON"},
         nullptr, true},
        {"a seventh reference in an SQL condition",
         Start({"TELEFONY"}) +
             std::vector<std::string>{"[WARUNKI_SQL]",
                                      "Warunek_0=SELECT COUNT(*) FROM TELEFONY WHERE NUMER IN (" +
                                          refs6 + ", PLIKDBF->NRKLI)",
                                      "[Tabela0]", "NUMER=PLIKDBF->TELEFON"},
         "warunku SQL Warunek_0 - najwyżej 6 !", false},
        {"a seventh reference in an exists-query",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"GdyJest_0=SELECT TEL_ID FROM TELEFONY WHERE NUMER IN (" +
                                          refs6 + ", OBLICZENIA->WYNIKNR0)",
                                      "[Tabela0]", "NUMER=PLIKDBF->TELEFON"},
         "zapytaniu GdyJest_0 - najwyżej 6 !", false},
        {"a fifth DBF field in a calculation",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{
                 "[OBLICZANE]",
                 "WynikNr0=Add2sIStr(PLIKDBF->NAZWA PLIKDBF->ULICA PLIKDBF->ILE "
                 "PLIKDBF->NRKLI PLIKDBF->NRDOMU)",
                 "[Tabela0]", "NUMER=PLIKDBF->TELEFON"},
         "pola DBF w obliczeniu WynikNr0", false},
        {"an eleventh reference in a lookup",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[Tabela0]",
                                      "FIRMA_ID=SELECT FIRST 1 FIRMA_ID FROM REJESTR_FIRM WHERE "
                                      "NAZWA_FIRMY IN (" +
                                          refs6 + refs5 + ")"},
         "odwołania w zapytaniu kolumny FIRMA_ID - najwyżej 10 !", false},
        {"an eleventh field joined",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[Tabela0]", "OPIS=" + refs6 + refs5},
         "pola DBF łączone w kolumnie OPIS - najwyżej 10 !", false},
        {"DeSzyfrowanieDo above 101",
         Start({"TELEFONY"}) +
             std::vector<std::string>{"DeSzyfrowanieOd=1", "DeSzyfrowanieDo=102"} + kPhoneExists +
             std::vector<std::string>{"[Tabela0]", "NUMER=PLIKDBF->TELEFON"},
         "DeSzyfrowanieDo = 102 - najwyżej 101 !", false},
        {"Pomin above 10",
         Start({"TELEFONY"}) + kPhoneExists +
             std::vector<std::string>{"[WARUNKI]", "Pomin_0=11", "[Tabela0]",
                                      "NUMER=PLIKDBF->TELEFON"},
         "Pomin_0 = 11 - najwyżej 10 !", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineFixture f;
        f.Dbf("TEL.DBF", Phones());
        const auto file = f.Definition(c.lines);
        EXPECT_EQ(f.Prepare(file), c.ok) << f.Log();
        if (!c.entry) continue;
        EXPECT_TRUE(f.LogHas(c.entry)) << f.Log();
        EXPECT_TRUE(f.LogHas("(plik " + file.string() + ")")) << f.Log();
        EXPECT_TRUE(f.LogHas("Dla pliku TEL.DBF")) << f.Log();
    }
}
