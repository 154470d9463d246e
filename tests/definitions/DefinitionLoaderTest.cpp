#include <gtest/gtest.h>

#include "LoaderFixture.h"
#include "base/Text.h"
#include "definitions/TargetSchema.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::LoaderFixture;

namespace {

std::vector<std::string> MappedColumns(const std::vector<engine::ColumnMapping>& columns) {
    std::vector<std::string> out;
    for (const auto& c : columns) out.push_back(c.TargetColumn + "=" + c.SourceExpr);
    return out;
}

std::string Win1250(const std::filesystem::path& p) {
    return text::Utf8ToWin1250(p.string());
}

}  // namespace

TEST(DefinitionLoaderTest, ReadsStartConditionsAndCalculationsWithFormatDefaults) {
    LoaderFixture f;
    const auto file = f.Write("01-firmy.ini", {
                                                  "[start]",
                                                  "PlikDBF = KLIENCI.DBF",
                                                  "kodowanie='Mazowia'",
                                                  "Indeks=NRKLI",
                                                  "DeSzyfrowanieOd=$3",
                                                  "DeSzyfrowanieDo=pięć",
                                                  "Tabela_0=REJESTR_FIRM",
                                                  "[WARUNKI]",
                                                  "Warunek_0=LENGTH(TRIM(PLIKDBF->NAZWA))",
                                                  "Pomin_0=x",
                                                  "[warunki_sql]",
                                                  "GdyJest_0=SELECT FIRMA_ID FROM REJESTR_FIRM",
                                                  "[OBLICZANE]",
                                                  "WynikNr0=Copy40(PLIKDBF->NAZWA);",
                                                  "wyniknr99=Copy40(PLIKDBF->MIASTO);",
                                              });
    ASSERT_TRUE(f.Load(file));
    const engine::MigrationDefinition& d = f.dane.Definition;
    EXPECT_EQ(d.DbfFileName, "KLIENCI.DBF");
    EXPECT_EQ(d.SourceEncoding, "Mazowia");
    EXPECT_EQ(d.DbfIndexExpression, "NRKLI");
    EXPECT_EQ(d.DecodeFrom, 3);
    EXPECT_EQ(d.DecodeTo, 0);  // not an integer
    EXPECT_EQ(d.CalculationTexts[0], "Copy40(PLIKDBF->NAZWA);");
    EXPECT_EQ(d.CalculationTexts[1], "?");
    EXPECT_EQ(d.CalculationTexts[99], "Copy40(PLIKDBF->MIASTO);");
    ASSERT_EQ(d.TableCount, 1);
    EXPECT_EQ(d.Tables[0].Condition, "LENGTH(TRIM(PLIKDBF->NAZWA))");
    EXPECT_EQ(d.Tables[0].SkipValue, 0);
    EXPECT_EQ(d.Tables[0].SqlCondition, "?");
    EXPECT_EQ(d.Tables[0].ExistsQuery, "SELECT FIRMA_ID FROM REJESTR_FIRM");
    EXPECT_EQ(d.InitTableCount, 0);
    EXPECT_TRUE(f.dane.MigrationErrorLog.empty());
    EXPECT_FALSE(d.StopRequested);

    // A file with nothing but a START section reads "?" everywhere.
    ASSERT_TRUE(f.Load(f.Write("02-pusty.ini", {"[START]"})));
    EXPECT_EQ(d.DbfFileName, "?");
    EXPECT_EQ(d.SourceEncoding, "?");
    EXPECT_EQ(d.DbfIndexExpression, "?");
    EXPECT_EQ(d.TableCount, 0);
}

TEST(DefinitionLoaderTest, TableCountStopsAtTheFirstAbsentKey) {
    LoaderFixture f;
    std::vector<std::string> nine{"[START]", "PlikDBF=A.DBF"};
    for (int n = 0; n < 9; ++n)
        nine.push_back("Tabela_" + std::to_string(n) + "=" + (n % 2 ? "TELEFONY" : "REJESTR_FIRM"));
    ASSERT_TRUE(f.Load(f.Write("01-dziewiec.ini", nine)));
    EXPECT_EQ(f.dane.Definition.TableCount, 9);
    EXPECT_EQ(f.dane.Definition.Tables[8].TableName, "REJESTR_FIRM");
    EXPECT_EQ(f.dane.Definition.Tables[7].Schema.Name, "TELEFONY");
    EXPECT_FALSE(f.dane.Definition.StopRequested);

    // Without Tabela_0 there are no tables, whatever the sections say.
    ASSERT_TRUE(
        f.Load(f.Write("02-bez0.ini", {"[START]", "Tabela_1=TELEFONY", "[Tabela1]",
                                       "NUMER=PLIKDBF->TEL", "[Tabela0]", "NUMER=PLIKDBF->TEL"})));
    EXPECT_EQ(f.dane.Definition.TableCount, 0);
    for (const auto& t : f.dane.Definition.Tables) EXPECT_EQ(t.ColumnCount(), 0);

    // A gap ends the list: Tabela_2 behind it is neither read nor checked.
    ASSERT_TRUE(
        f.Load(f.Write("03-luka.ini", {"[START]", "Tabela_0=TELEFONY", "Tabela_2=NIE_MA_TAKIEJ",
                                       "[Tabela2]", "NUMER=PLIKDBF->TEL"})));
    EXPECT_EQ(f.dane.Definition.TableCount, 1);
    EXPECT_EQ(f.dane.Definition.Tables[2].TableName, "");
    EXPECT_TRUE(f.dane.MigrationErrorLog.empty());
    EXPECT_TRUE(f.messages.shown.empty());
}

TEST(DefinitionLoaderTest, TenTablesAreRefusedBeforeTheDatabaseIsTouched) {
    LoaderFixture f;
    std::vector<std::string> ten{"[START]", "PlikDBF=KLIENCI.DBF"};
    for (int n = 0; n < 10; ++n) ten.push_back("Tabela_" + std::to_string(n) + "=REJESTR_FIRM");
    ten.insert(ten.end(), {"[Tabela0]", "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)"});
    const auto file = f.Write("01-dziesiec.ini", ten);
    ASSERT_TRUE(f.Load(file));
    const engine::MigrationDefinition& d = f.dane.Definition;
    EXPECT_EQ(d.TableCount, 0);
    EXPECT_EQ(d.Tables[0].ColumnCount(), 0);
    EXPECT_TRUE(d.StopRequested);
    EXPECT_TRUE(d.ErrorsOccurred);
    ASSERT_EQ(f.dane.MigrationErrorLog.size(), 1u);
    // The context of an error outside any table: the DBF file and the record number only.
    EXPECT_EQ(f.dane.MigrationErrorLog[0],
              "Definicja ma 10 tabel (Tabela_0 .. Tabela_9), a dopuszczalne jest najwyżej 9 !"_w +
                  "\r\n(plik " + Win1250(file) + ")\r\nDla pliku KLIENCI.DBF" +
                  "\r\nNr odczytanego rekordu = 0");
    EXPECT_FALSE(f.HasColumn("REJESTR_FIRM", "DBF_UNQ_KEY"));
}

TEST(DefinitionLoaderTest, ALineHoldingANulIsRefusedNamingTheSectionAndTheKey) {
    LoaderFixture f;
    // Read as a C string, the existence test would end before "OR 1=1" and run in part.
    const std::string cut = std::string("Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE ") +
                            '\0' + "NAZWA_SKROT = 'X' OR 1=1";
    const auto file = f.Write(
        "01-nul.ini", {"[START]", "PlikDBF=KLIENCI.DBF", "Tabela_0=REJESTR_FIRM", "[WARUNKI_SQL]",
                       cut, "[Tabela0]", "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)"});
    ASSERT_TRUE(f.Load(file));
    const engine::MigrationDefinition& d = f.dane.Definition;
    EXPECT_TRUE(d.StopRequested);
    EXPECT_EQ(d.TableCount, 0);
    ASSERT_EQ(f.dane.MigrationErrorLog.size(), 1u);
    EXPECT_EQ(f.dane.MigrationErrorLog[0],
              "Definicja zawiera znak o kodzie 0, którego plik INI nie może zawierać: sekcja "
              "[WARUNKI_SQL], klucz Warunek_0 (wiersz 5) !"_w +
                  "\r\n(plik " + Win1250(file) + ")\r\nDla pliku KLIENCI.DBF" +
                  "\r\nNr odczytanego rekordu = 0");
    EXPECT_FALSE(f.HasColumn("REJESTR_FIRM", "DBF_UNQ_KEY"));

    // Also in a line that is no key: whatever follows the byte is unknown.
    const auto other = f.Write(
        "02-nul.ini", {"[START]", "PlikDBF=KLIENCI.DBF",
                       std::string("; uwaga") + '\0' + "Tabela_1=CENNIK", "Tabela_0=REJESTR_FIRM"});
    ASSERT_TRUE(f.Load(other));
    EXPECT_TRUE(f.dane.Definition.StopRequested);
    ASSERT_EQ(f.dane.MigrationErrorLog.size(), 2u);
    EXPECT_NE(f.dane.MigrationErrorLog[1].find("sekcja [START], wiersz 3 !"), std::string::npos)
        << f.dane.MigrationErrorLog[1];
}

TEST(DefinitionLoaderTest, TenInitialRecordsAreAllowed) {
    LoaderFixture f;
    std::vector<std::string> lines{"[START]", "[INITE]"};
    for (int n = 0; n < 10; ++n) {
        const std::string i = std::to_string(n);
        lines.push_back("Tabela_" + i + "=GRUPY_SERWIS");
        lines.push_back("TypWyniku_" + i + "=" + (n == 0 ? "(n)" : "(N)"));
        lines.push_back("PoleID_" + i + "=GS_ID");
        lines.push_back("Warunek_" + i + "=GS_ID = " + i);
    }
    lines.insert(lines.end(), {"[INIT_Tabela_9]", "GS_ID=(N)9", "[INIT_Tabela_1]", "gs_id=(N)1"});
    ASSERT_TRUE(f.Load(f.Write("01-init.ini", lines)));
    const engine::MigrationDefinition& d = f.dane.Definition;
    EXPECT_EQ(d.InitTableCount, 10);
    EXPECT_EQ(d.InitTables[0].ResultKind, ValueKind::Other);  // lower-case letters do not count
    EXPECT_EQ(d.InitTables[1].ResultKind, ValueKind::Integer);
    EXPECT_EQ(d.InitTables[9].IdColumn, "GS_ID");
    EXPECT_EQ(d.InitTables[9].Condition, "GS_ID = 9");
    EXPECT_EQ(MappedColumns(d.InitTables[9].Columns), std::vector<std::string>{"GS_ID=(N)9"});
    EXPECT_EQ(MappedColumns(d.InitTables[1].Columns), std::vector<std::string>{"GS_ID=(N)1"});
    EXPECT_EQ(d.InitTables[0].ColumnCount(), 0);
    EXPECT_EQ(d.InitTables[9].Schema.ColumnNames.back(), "DBF_UNQ_KEY");
    EXPECT_FALSE(d.StopRequested);
    EXPECT_TRUE(f.dane.MigrationErrorLog.empty());
}

TEST(DefinitionLoaderTest, InitialRecordsStopAtAGapAndMissingTablesAreNotReported) {
    LoaderFixture f;
    ASSERT_TRUE(f.Load(f.Write(
        "01-init.ini", {"[INITE]", "Tabela_0=NIE_MA", "TypWyniku_0=(C)", "Tabela_1=GRUPY_SERWIS",
                        "Tabela_3=GRUPY_SERWIS", "[INIT_Tabela_0]", "NAZWA=(C)X"})));
    const engine::MigrationDefinition& d = f.dane.Definition;
    EXPECT_EQ(d.InitTableCount, 2);
    EXPECT_EQ(d.InitTables[0].ResultKind, ValueKind::Text);
    EXPECT_EQ(d.InitTables[0].ColumnCount(), 0);
    EXPECT_EQ(d.InitTables[1].IdColumn, "?");
    EXPECT_EQ(d.InitTables[1].Condition, "?");
    EXPECT_EQ(d.InitTables[3].TableName, "");
    EXPECT_TRUE(f.dane.MigrationErrorLog.empty());
    EXPECT_TRUE(f.messages.shown.empty());
    EXPECT_FALSE(d.StopRequested);
}

TEST(DefinitionLoaderTest, MappingsFollowTheTableColumnsNotTheFile) {
    LoaderFixture f;
    ASSERT_TRUE(f.Load(f.Write("01-tel.ini", {
                                                 "[START]",
                                                 "Tabela_0=telefony",
                                                 "[Tabela0]",
                                                 "numer=PLIKDBF->TELEFON",
                                                 "NUMER=PLIKDBF->INNY",
                                                 "NIE_KOLUMNA=PLIKDBF->X",
                                                 "TEL_ID=GENERATOR(GEN_TELEFONY)",
                                                 "OPIS=",
                                                 "TYP=?",
                                                 "Firma_Id=\"GENERATOR(9)\"",
                                             })));
    const engine::TableMapping& t = f.dane.Definition.Tables[0];
    EXPECT_EQ(t.TableName, "telefony");
    EXPECT_EQ(t.Schema.Name, "telefony");
    // The first of two spellings wins; "?" means not given; an empty value is a mapping that
    // preparation reports.
    EXPECT_EQ(MappedColumns(t.Columns),
              (std::vector<std::string>{"TEL_ID=GENERATOR(GEN_TELEFONY)", "FIRMA_ID=GENERATOR(9)",
                                        "NUMER=PLIKDBF->TELEFON", "OPIS="}));
    EXPECT_EQ(t.Schema.ColumnNames, f.DatabaseColumns("TELEFONY"));
    EXPECT_TRUE(f.dane.MigrationErrorLog.empty());
}

TEST(DefinitionLoaderTest, ContextOfALoadedMappingQuotesItAsRead) {
    LoaderFixture f;
    ASSERT_TRUE(
        f.Load(f.Write("01-k.ini", {"[START]", "PlikDBF=KLI.DBF", "Tabela_0=REJESTR_FIRM",
                                    "Tabela_1=TELEFONY", "Tabela_2=REJESTR_FIRM", "[Tabela2]",
                                    "F_SERWIS=  (C)T  ", "FIRMA_ID=GENERATOR(0)"})));
    f.dane.Definition.CurrentRecordNo = 7;
    f.dane.AddErrorWithContext("Błąd"_w, 2, 0);
    ASSERT_EQ(f.dane.MigrationErrorLog.size(), 1u);
    EXPECT_EQ(f.dane.MigrationErrorLog[0],
              "Błąd\r\nDla pliku KLI.DBF\r\nNr Tabeli = 2   Nazwa: REJESTR_FIRM\r\n"
              "Nr Linii 0  Treść: FIRMA_ID = GENERATOR(0)\r\nNr odczytanego rekordu = 7"_w);
}

TEST(DefinitionLoaderTest, MissingTableIsReportedAndTheLoadGoesOn) {
    LoaderFixture f;
    const auto file =
        f.Write("05-brak.ini", {"[START]", "PlikDBF=KLI.DBF", "Tabela_0=BRAK_TABELI",
                                "Tabela_1=TELEFONY", "Tabela_2=Inna_Brak", "[Tabela0]",
                                "NUMER=PLIKDBF->X", "[Tabela1]", "NUMER=PLIKDBF->TEL", "[INITE]",
                                "Tabela_0=GRUPY_SERWIS", "[INIT_Tabela_0]", "GS_ID=(N)1"});
    ASSERT_TRUE(f.Load(file));
    const engine::MigrationDefinition& d = f.dane.Definition;
    const std::string first =
        "W bazie nie ma tabeli o nazwie BRAK_TABELI  !\r\n(plik " + Win1250(file) + ")";
    const std::string second =
        "W bazie nie ma tabeli o nazwie Inna_Brak  !\r\n(plik " + Win1250(file) + ")";
    EXPECT_EQ(f.dane.MigrationErrorLog, (std::vector<std::string>{first, second}));
    ASSERT_EQ(f.messages.shown.size(), 2u);
    EXPECT_EQ(f.messages.shown[0].text, first);
    EXPECT_EQ(f.messages.shown[0].caption, "Komunikat");
    EXPECT_EQ(f.messages.shown[0].icon, ui::Icon::Exclamation);
    EXPECT_EQ(f.messages.shown[0].buttons, ui::Buttons::Ok);
    EXPECT_TRUE(d.StopRequested);
    EXPECT_FALSE(d.ErrorsOccurred);  // the user has seen it in the box already
    EXPECT_EQ(d.TableCount, 3);
    EXPECT_EQ(d.Tables[0].ColumnCount(), 0);
    EXPECT_EQ(MappedColumns(d.Tables[1].Columns), std::vector<std::string>{"NUMER=PLIKDBF->TEL"});
    EXPECT_EQ(d.InitTableCount, 1);
    EXPECT_EQ(d.InitTables[0].ColumnCount(), 1);
}

TEST(DefinitionLoaderTest, SecondDefinitionStartsEmptyButTheLogKeepsTheFirst) {
    LoaderFixture f;
    ASSERT_TRUE(f.Load(f.Write(
        "01-a.ini", {"[START]", "PlikDBF=A.DBF", "Indeks=NR", "Tabela_0=TELEFONY", "Tabela_1=BRAK",
                     "[Tabela0]", "NUMER=PLIKDBF->TEL", "[INITE]", "Tabela_0=KATEGORIE",
                     "[OBLICZANE]", "WynikNr5=Copy40(PLIKDBF->A);"})));
    ASSERT_EQ(f.dane.MigrationErrorLog.size(), 1u);
    ASSERT_TRUE(f.Load(f.Write("02-b.ini", {"[START]", "PlikDBF=B.DBF", "Tabela_0=KATEGORIE"})));
    const engine::MigrationDefinition& d = f.dane.Definition;
    EXPECT_EQ(d.DbfFileName, "B.DBF");
    EXPECT_EQ(d.DbfIndexExpression, "?");
    EXPECT_EQ(d.TableCount, 1);
    EXPECT_EQ(d.Tables[0].TableName, "KATEGORIE");
    EXPECT_EQ(d.Tables[0].ColumnCount(), 0);
    EXPECT_EQ(d.Tables[1].TableName, "?");  // the absent key that ended the list
    EXPECT_EQ(d.Tables[2].TableName, "");
    EXPECT_EQ(d.InitTableCount, 0);
    EXPECT_EQ(d.InitTables[0].TableName, "?");
    EXPECT_EQ(d.InitTables[0].Schema.ColumnCount(), 0);
    EXPECT_EQ(d.CalculationTexts[5], "?");
    EXPECT_FALSE(d.StopRequested);
    EXPECT_EQ(f.dane.MigrationErrorLog.size(), 1u);
    EXPECT_NE(f.dane.MigrationErrorLog[0].find("BRAK"), std::string::npos);
}

TEST(DefinitionLoaderTest, MissingFileReadsNothing) {
    LoaderFixture f;
    f.dane.ResetDefinition();
    EXPECT_FALSE(f.loader.LoadDefinition(f.dir / "09-nie-ma.ini"));
    EXPECT_EQ(f.dane.Definition.DbfFileName, "");
    EXPECT_EQ(f.dane.Definition.CalculationTexts[0], "");
    EXPECT_TRUE(f.dane.MigrationErrorLog.empty());
    // A folder where the file should be is no definition, and says so.
    std::filesystem::create_directory(f.dir / "10-katalog.ini");
    EXPECT_THROW(f.loader.LoadDefinition(f.dir / "10-katalog.ini"), std::runtime_error);
}
