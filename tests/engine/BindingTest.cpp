#include <gtest/gtest.h>

#include "calc/CalcFunctions.h"
#include "engine/Binding.h"
#include "engine/EngineFixture.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;

namespace {

// Customers with a street, house number, telephone, an empty text, a logical, an empty date, a
// zero amount and a date-time field.
DbfWriter Customers() {
    DbfWriter w;
    w.Field("NRKLI", 'C', 6).Field("ULICA", 'C', 20).Field("NRDOMU", 'C', 5);
    w.Field("TELEFON", 'C', 25).Field("PUSTE", 'C', 10).Field("AKTYWNY", 'L', 1);
    w.Field("DATA", 'D', 8).Field("KWOTA", 'N', 10, 2).Field("CZAS", 'T', 8);
    w.Record({"K1", "Polna", "5", "042 1234567", "", "T", "", "0.00", "2024-03-01 10:30:00.000"});
    return w;
}

std::vector<std::string> Definition(const std::vector<std::string>& columns,
                                    const std::string& table = "TELEFONY") {
    std::vector<std::string> lines = {"[START]",
                                      "PlikDBF=KLIENCI.DBF",
                                      "Tabela_0=" + table,
                                      "[WARUNKI_SQL]",
                                      "Warunek_0=SELECT COUNT(*) FROM " + table + " WHERE 1 = 0",
                                      "[Tabela" + std::string("0]")};
    lines.insert(lines.end(), columns.begin(), columns.end());
    return lines;
}

}  // namespace

TEST(BindingTest, ValuesAreJoinedConvertedAndWrittenAsValuesOrNull) {
    EngineFixture f;
    f.Dbf("KLIENCI.DBF", Customers());
    const auto file = f.Definition(Definition({
        "TEL_ID=GENERATOR(GEN_TELEFONY)",
        "OPIS=PLIKDBF->ULICA PLIKDBF->NRDOMU ' m.'",  // joined without separator, text upper case
        "NUMER=PLIKDBF->PUSTE",                       // empty text: NULL
        "NR_KIERUNEK=PLIKDBF->PUSTE NOT NULL",        // ... or the empty text
        "DOMYSLNY=PLIKDBF->AKTYWNY",                  // a logical field as its letter
        "FIRMA_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE NAZWA_SKROT = PLIKDBF->NRKLI",
        "POLE_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE NAZWA_SKROT = PLIKDBF->NRKLI NOT NULL",
        "DATA_WPISU=PLIKDBF->DATA",  // an empty date: NULL
        "DATA_UTWORZ=PLIKDBF->CZAS",
    }));
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    EXPECT_EQ(f.Run(), 1);
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 1);
    EXPECT_EQ(f.db.Scalar("SELECT OPIS FROM TELEFONY"), "Polna5 M.");
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY WHERE NUMER IS NULL AND NR_KIERUNEK = ''"), 1);
    EXPECT_EQ(f.db.Scalar("SELECT DOMYSLNY FROM TELEFONY"), "T");
    // A lookup without a row: NULL, or -1 when the column must not be NULL.
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY WHERE FIRMA_ID IS NULL AND POLE_ID = -1"), 1);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY WHERE DATA_WPISU IS NULL"), 1);
    EXPECT_EQ(f.db.Scalar("SELECT DATA_UTWORZ FROM TELEFONY"), "2024-03-01 10:30:00");
    // The bookkeeping columns nobody mapped.
    EXPECT_EQ(
        f.db.Scalar("SELECT KTO_WPISAL || '/' || KTO_UTWORZYL || '/' || STANOWISKO FROM TELEFONY"),
        "Migracja/Migracja/Migracja");
    EXPECT_EQ(f.dane.Definition.Counters[0], 1);
}

TEST(BindingTest, MoneyOfZeroIsNullUnlessNotNullAndALookupFindsItsRow) {
    EngineFixture f("INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT) VALUES (7, 'K1')");
    f.Dbf("KLIENCI.DBF", Customers());
    auto file = f.Definition(Definition(
        {"ZLECENIE_ID=GENERATOR(GEN_ZLECENIA)", "KWOTA=PLIKDBF->KWOTA",
         "FIRMA_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE NAZWA_SKROT = PLIKDBF->NRKLI"},
        "ZLECENIA"));
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    f.Run();
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM ZLECENIA WHERE KWOTA IS NULL AND FIRMA_ID = 7"), 1)
        << f.Log();

    file = f.Definition(Definition(
        {"ZLECENIE_ID=GENERATOR(GEN_ZLECENIA)", "KWOTA=PLIKDBF->KWOTA NOT NULL"}, "ZLECENIA"));
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    f.Run();
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM ZLECENIA WHERE KWOTA = 0"), 1) << f.Log();
}

TEST(BindingTest, AValueThatCannotBeUsedStopsTheRunAndWritesNothingOfTheRecord) {
    {
        // A date-time of exactly 0.1 days is the marker of a failed lookup.
        EngineFixture f;
        DbfWriter w;
        w.Field("NRKLI", 'C', 6).Field("CZAS", 'T', 8);
        w.Record({"K1", "1899-12-30 02:24:00.000"});
        f.Dbf("KLIENCI.DBF", w);
        ASSERT_TRUE(f.Prepare(f.Definition(
            Definition({"TEL_ID=GENERATOR(GEN_TELEFONY)", "DATA_WPISU=PLIKDBF->CZAS"}))));
        f.Run();
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_TRUE(
            f.LogHas("Błąd FDateTime case nr 14 !\r\nDla pliku KLIENCI.DBF\r\nNr Tabeli = 0   "
                     "Nazwa: TELEFONY\r\nNr Linii 1  Treść: DATA_WPISU = PLIKDBF->CZAS\r\n"
                     "Nr odczytanego rekordu = 1"))
            << f.Log();
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 0);
        EXPECT_EQ(f.dane.Definition.Counters[0], 0);
    }
    {
        // A text longer than its column: the database layer's own message, the value and the
        // parameters bound so far; the statement's SQL goes to the log.
        EngineFixture f;
        f.Dbf("KLIENCI.DBF", Customers());
        ASSERT_TRUE(f.Prepare(
            f.Definition(Definition({"TEL_ID=GENERATOR(GEN_TELEFONY)",
                                     "NR_KIERUNEK=PLIKDBF->TELEFON", "OPIS=PLIKDBF->ULICA"}))));
        try {
            f.Run();
            FAIL() << "the value was taken";
        } catch (const fb::Error& e) {
            const std::string message = text::Win1250ToUtf8(e.Message());
            EXPECT_NE(message.find("does not fit VARCHAR(10)"), std::string::npos) << message;
            EXPECT_NE(
                message.find("\r\nDana:  »042 1234567«  jest za długa !\r\nPOLA(0): pTEL_ID{42} "
                             "\r\npNR_KIERUNEK{11} \r\n"),
                std::string::npos)
                << message;
            EXPECT_EQ(message.find("pOPIS"), std::string::npos) << message;
        }
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_TRUE(f.dane.Definition.ErrorsOccurred);
        EXPECT_TRUE(f.LogHas("INSERT INTO TELEFONY ( TEL_ID,NR_KIERUNEK,OPIS,KTO_WPISAL"));
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 0);
        EXPECT_FALSE(f.dane.IBTransaction1.Active());
    }
}

TEST(BindingTest, AStatementTheDatabaseRefusesIsEnteredWithTheDatabasesMessage) {
    // The key is taken already: the database refuses the row, and the report alone must say
    // why, after the statement, with its own line breaks.
    EngineFixture f;
    f.db.Exec("INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (7, 'zajęty');"_w);
    f.Dbf("KLIENCI.DBF", Customers());
    ASSERT_TRUE(f.Prepare(f.Definition(Definition({"TEL_ID=(N)7", "OPIS=PLIKDBF->ULICA"}))))
        << f.Log();
    std::string message;
    try {
        f.Run();
        FAIL() << "the row was taken";
    } catch (const fb::Error& e) {
        message = e.Message();
    }
    ASSERT_NE(message.find("violation of PRIMARY or UNIQUE KEY constraint"), std::string::npos)
        << message;
    ASSERT_FALSE(f.dane.MigrationErrorLog.empty());
    const std::string& entry = f.dane.MigrationErrorLog.back();
    const std::size_t sqlEnd = entry.find("\r\n");
    ASSERT_NE(sqlEnd, std::string::npos) << f.Log();
    EXPECT_EQ(entry.substr(0, sqlEnd), f.Table(0).Statement);
    std::string crlf;
    for (char c : message) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    EXPECT_NE(crlf.find("\r\n"), std::string::npos) << "a message of one line proves nothing";
    EXPECT_EQ(entry.substr(sqlEnd + 2), crlf) << f.Log();
    EXPECT_TRUE(f.dane.Definition.ErrorsOccurred);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 1);
}

TEST(BindingTest, TheKeyOfAnEarlierTableIsTakenOnlyWhenThatTableHasOne) {
    // Table 1 inserts a telephone for the company of table 0; the company exists already for K2,
    // whose exists-query finds its key; for K3 the company is refused (empty name) and has no
    // key, so its telephone is not written, wherever its key column stands.
    EngineFixture f(
        "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY) VALUES (50, 'K2', 'Druga')");
    DbfWriter w;
    w.Field("NRKLI", 'C', 6).Field("NAZWA", 'C', 20).Field("TELEFON", 'C', 20);
    w.Record({"K1", "Pierwsza", "111"}).Record({"K2", "Druga", "222"}).Record({"K3", "", "333"});
    f.Dbf("KLIENCI.DBF", w);
    const auto file = f.Definition(
        {"[START]", "PlikDBF=KLIENCI.DBF", "Tabela_0=REJESTR_FIRM", "Tabela_1=TELEFONY",
         "Tabela_2=REJESTR_FIRM", "[WARUNKI]", "Warunek_0=LENGTH(TRIM(PLIKDBF->NAZWA))",
         "[WARUNKI_SQL]",
         "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE NAZWA_SKROT = PLIKDBF->NRKLI",
         "GdyJest_0=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE NAZWA_SKROT = PLIKDBF->NRKLI",
         "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->TELEFON", "[Tabela0]",
         "FIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)", "NAZWA_SKROT=PLIKDBF->NRKLI",
         "NAZWA_FIRMY=PLIKDBF->NAZWA",
         // The key column comes after other columns: its slot is not among the first t.
         "[Tabela1]", "NUMER=PLIKDBF->TELEFON", "TEL_ID=GENERATOR(GEN_TELEFONY)", "OPIS=(C)biuro",
         "TYP=(C)Telefon", "POLE_ID=GENERATOR(0)", "[Tabela2]", "FIRMA_ID=GENERATOR(0)",
         "F_SERWIS=(C)T"});
    ASSERT_TRUE(f.Prepare(file)) << f.Log();
    f.Run();
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM"), 2);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM TELEFONY"), 2);
    EXPECT_EQ(
        f.Count("SELECT COUNT(*) FROM TELEFONY T JOIN REJESTR_FIRM R ON R.FIRMA_ID = T.POLE_ID "
                "WHERE R.NAZWA_SKROT = 'K2' AND T.NUMER = '222' AND R.FIRMA_ID = 50"),
        1);
    // Both companies were updated by table 2; the update is not counted.
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM REJESTR_FIRM WHERE F_SERWIS = 'T'"), 2);
    EXPECT_EQ(f.dane.Definition.Counters[0], 1);
    EXPECT_EQ(f.dane.Definition.Counters[1], 2);
}

TEST(BindingTest, LookupsBindTheirReferencesOnTheirOwnQueryOrOnTheSharedOne) {
    // Each kind of lookup, once through the query prepared for its column and once, as code
    // outside a prepared run does, through the shared read query: both must run with the
    // record's values bound, not with NULLs.
    EngineFixture f(
        "INSERT INTO ZLECENIA (ZLECENIE_ID, NR_ZLECENIA, OPIS_USTERKI, FIRMA_ID, KWOTA, "
        "DATA_PRZYJECIA) VALUES (1000, 'Z1', 'Ekran', 7, 12.5, '2024-03-01')");
    DbfWriter w;
    w.Field("NRZL", 'C', 6).Record({"Z1"});
    f.Dbf("KLIENCI.DBF", w);
    const std::string where = " FROM ZLECENIA WHERE NR_ZLECENIA = PLIKDBF->NRZL";
    ASSERT_TRUE(f.Prepare(f.Definition(
        Definition({"ZLECENIE_ID=GENERATOR(GEN_ZLECENIA)",
                    "OPIS_USTERKI=SELECT OPIS_USTERKI" + where, "FIRMA_ID=SELECT FIRMA_ID" + where,
                    "KWOTA=SELECT KWOTA" + where, "DATA_PRZYJECIA=SELECT DATA_PRZYJECIA" + where},
                   "ZLECENIA"))))
        << f.Log();
    f.dane.ReadSourceRecord();
    const auto slot = [&](const std::string& column) {
        for (int c = 0; c < f.Table(0).ColumnCount(); ++c)
            if (f.Table(0).Columns[static_cast<std::size_t>(c)].TargetColumn == column) return c;
        throw std::out_of_range(column);
    };
    for (const bool prepared : {true, false}) {
        SCOPED_TRACE(prepared ? "prepared" : "shared");
        if (!prepared)
            for (engine::ColumnMapping& m : f.Table(0).Columns) m.ColumnQuery = nullptr;
        EXPECT_EQ(engine::LookupText(f.dane, 0, slot("OPIS_USTERKI")), "Ekran");
        EXPECT_EQ(engine::LookupInteger(f.dane, 0, slot("FIRMA_ID")), 7);
        EXPECT_EQ(engine::LookupMoney(f.dane, 0, slot("KWOTA")), Money::FromRaw(125000));
        EXPECT_EQ(engine::LookupDate(f.dane, 0, slot("DATA_PRZYJECIA")),
                  EncodeDateTime({2024, 3, 1}));
        EXPECT_TRUE(f.dane.MigrationErrorLog.empty()) << f.Log();
    }
    // And a whole record through the shared queries writes what the lookups found.
    f.Run();
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM ZLECENIA WHERE ZLECENIE_ID <> 1000 AND OPIS_USTERKI = "
                      "'Ekran' AND FIRMA_ID = 7 AND KWOTA = 12.5 AND DATA_PRZYJECIA = "
                      "'2024-03-01'"),
              1);
}

TEST(BindingTest, ALookupOfANumberOutOfRangeStopsTheRunNamingTheValueAndTheColumn) {
    // A DOUBLE PRECISION of 1e300 read into a date, an integer or a money column.
    for (const char* column : {"DATA_PRZYJECIA", "FIRMA_ID", "KWOTA"}) {
        SCOPED_TRACE(column);
        EngineFixture f(
            "CREATE TABLE LICZBY (ID INTEGER, V DOUBLE PRECISION); COMMIT; "
            "INSERT INTO LICZBY VALUES (1, 1e300)");
        DbfWriter w;
        w.Field("NR", 'N', 4).Record({"1"});
        f.Dbf("KLIENCI.DBF", w);
        ASSERT_TRUE(f.Prepare(f.Definition(
            Definition({"ZLECENIE_ID=GENERATOR(GEN_ZLECENIA)",
                        std::string(column) + "=SELECT V FROM LICZBY WHERE ID = PLIKDBF->NR"},
                       "ZLECENIA"))))
            << f.Log();
        EXPECT_THROW(f.Run(), fb::Error);
        EXPECT_TRUE(f.dane.Definition.StopRequested);
        EXPECT_TRUE(f.LogHas("column V: value 1e+300 ")) << f.Log();
        EXPECT_TRUE(f.LogHas("Nr Linii 1  Treść: " + std::string(column) +
                             " = SELECT V FROM LICZBY WHERE ID = PLIKDBF->NR"))
            << f.Log();
        EXPECT_EQ(f.Count("SELECT COUNT(*) FROM ZLECENIA"), 0);
    }
}

TEST(BindingTest, TextsCalculationsAndLookupsAreWrittenIntoBlobColumnsOfAnyLength) {
    // Remarks and notes of real target databases are BLOBs: a text one, in the database's
    // Windows-1250 or in UTF8, and an untyped one. The lookup copies a remark of 112 KB.
    EngineFixture f(
        "CREATE TABLE NOTATKI (ID INTEGER NOT NULL PRIMARY KEY, UWAGI BLOB SUB_TYPE TEXT, "
        "SUROWE BLOB, OPIS BLOB SUB_TYPE TEXT CHARACTER SET UTF8, ZRODLO BLOB SUB_TYPE 1, "
        "PUSTE BLOB SUB_TYPE TEXT); CREATE GENERATOR GEN_NOTATKI; "
        "CREATE TABLE ZRODLA (ID INTEGER, TRESC BLOB SUB_TYPE TEXT); COMMIT; " +
        "INSERT INTO ZRODLA VALUES (1, 'Uwaga: zażółć ')"_w);
    for (int i = 0; i < 13; ++i) f.db.Exec("UPDATE ZRODLA SET TRESC = TRESC || TRESC");
    f.dane.RefreshCatalogue();
    DbfWriter w;
    w.Field("NR", 'N', 4).Field("NAZWA", 'C', 20).Field("MIASTO", 'C', 20).Field("PUSTE", 'C', 5);
    w.Record({"1", "Żółw"_w, "Łódź"_w, ""});
    f.Dbf("KLIENCI.DBF", w);
    ASSERT_TRUE(f.Prepare(f.Definition(
        {"[START]", "PlikDBF=KLIENCI.DBF", "Tabela_0=NOTATKI", "[OBLICZANE]",
         "WynikNr0=Copy40(PLIKDBF->MIASTO);", "[WARUNKI_SQL]",
         "Warunek_0=SELECT COUNT(*) FROM NOTATKI WHERE 1 = 0", "[Tabela0]",
         "ID=GENERATOR(GEN_NOTATKI)", "UWAGI=PLIKDBF->NAZWA PLIKDBF->MIASTO ' uwagi'",
         "SUROWE=PLIKDBF->NAZWA", "OPIS=OBLICZENIA->WYNIKNR0",
         "ZRODLO=SELECT TRESC FROM ZRODLA WHERE ID = PLIKDBF->NR", "PUSTE=PLIKDBF->PUSTE"})))
        << f.Log();
    EXPECT_EQ(f.Column(0, "ZRODLO").Source,
              (engine::ColumnSource{engine::SourceType::Lookup, ValueKind::Text}));
    f.Run();
    ASSERT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    EXPECT_EQ(f.db.Scalar("SELECT CAST(UWAGI AS VARCHAR(100)) FROM NOTATKI"), "ŻółwŁódź UWAGI"_w);
    EXPECT_EQ(f.db.Scalar("SELECT SUROWE FROM NOTATKI"), "Żółw"_w);
    EXPECT_EQ(f.db.Scalar("SELECT CAST(OPIS AS VARCHAR(100)) FROM NOTATKI"),
              calc::Copy40("Łódź"_w));
    // Its final blank goes, as it goes from every text written.
    EXPECT_EQ(f.db.Scalar("SELECT OCTET_LENGTH(ZRODLO) FROM NOTATKI"), "114687");
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM NOTATKI N JOIN ZRODLA Z ON Z.TRESC = N.ZRODLO"), 1);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM NOTATKI WHERE PUSTE IS NULL"), 1);
}
