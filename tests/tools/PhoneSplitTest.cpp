// Splitting glued telephone numbers in a real TELEFONY table: every case is a row of its own,
// and what is checked is the set of rows the command leaves behind.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ToolsFixture.h"
#include "base/Text.h"
#include "support/ScriptedUi.h"
#include "tools/PhoneCleanup.h"
#include "tools/PhoneSplitter.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::FixedNow;
using migracja::testing::ToolsFixture;

namespace {

struct Case {
    const char* number;
    const char* areaCode;           // the row's NR_KIERUNEK, nullptr for NULL
    std::vector<std::string> rows;  // NR_KIERUNEK|NUMER|TYP of the case's rows afterwards
    int statements;                 // updates plus inserts for this row
    bool unreadable = false;
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        // An area code glued to the number is split off; no new row.
        {"0221234567", nullptr, {"022|1234567|Telefon"}, 1},
        {"(022) 1234567", nullptr, {"(022)|1234567|Telefon"}, 1},
        {"022-1234567", nullptr, {"022|1234567|Telefon"}, 1},
        {"022 123-45-67", nullptr, {"022|123-45-67|Telefon"}, 1},
        // A mobile number keeps its leading digits.
        {"0501234567", nullptr, {"NULL|0501234567|Telefon"}, 0},
        // Lists and numbers separated by blanks: one row per number.
        {"1234567, 7654321", nullptr, {"NULL|1234567|Telefon", "NULL|7654321|Telefon"}, 2},
        {"1234567 7654321", nullptr, {"NULL|1234567|Telefon", "NULL|7654321|Telefon"}, 2},
        {"1234567; 7654321", nullptr, {"NULL|1234567|Telefon", "NULL|7654321|Telefon"}, 2},
        {"022 1234567, 7654321", nullptr, {"022|1234567|Telefon", "022|7654321|Telefon"}, 2},
        {"221234567, 7654321", nullptr, {"22|1234567|Telefon", "22|7654321|Telefon"}, 2},
        {"1234567, 7654321", "022", {"022|1234567|Telefon", "022|7654321|Telefon"}, 2},
        // Up to four characters that belong to no number are dropped.
        {"1234567 kom, 7654321", nullptr, {"NULL|1234567|Telefon", "NULL|7654321|Telefon"}, 2},
        {"123456 faks,7654321", nullptr, {"NULL|123456|Telefon", "NULL|7654321|Telefon"}, 2},
        // Short endings replace the end of the first number.
        {"1234567, 22", nullptr, {"NULL|1234567|Telefon", "NULL|1234522|Telefon"}, 2},
        {"0221234567/68", nullptr, {"022|1234567|Telefon", "022|1234568|Telefon"}, 2},
        // ... and so do endings of three digits, in any of the places after the first.
        {"1234567, 789", nullptr, {"NULL|1234567|Telefon", "NULL|1234789|Telefon"}, 2},
        {"0221234567/689", nullptr, {"022|1234567|Telefon", "022|1234689|Telefon"}, 2},
        {"1234567, 8, 99, 111",
         nullptr,
         {"NULL|1234567|Telefon", "NULL|1234568|Telefon", "NULL|1234599|Telefon",
          "NULL|1234111|Telefon"},
         4},
        {"1234567, 22, 333",
         nullptr,
         {"NULL|1234567|Telefon", "NULL|1234522|Telefon", "NULL|1234333|Telefon"},
         3},
        // An internal extension becomes a row of its own, without the area code.
        {"0221234567wew12", nullptr, {"022|1234567|Telefon", "NULL|12|Wewnętrzny"}, 2},
        // A text of full column length lost the end of its last number.
        {"1234567, 7654321, 76", nullptr, {"NULL|1234567|Telefon", "NULL|7654321|Telefon"}, 2},
        // Left alone and counted: parts that would be lost or not understood.
        {"123456, 654321, 76", nullptr, {"NULL|123456, 654321, 76|Telefon"}, 0, true},
        {"111111,2,3,4,5", nullptr, {"NULL|111111,2,3,4,5|Telefon"}, 0, true},
        {"1234567 wew 12345", nullptr, {"NULL|1234567 wew 12345|Telefon"}, 0, true},
        {"fax 1234567, mob 765", nullptr, {"NULL|fax 1234567, mob 765|Telefon"}, 0, true},
        // Five characters that belong to no number are one too many.
        {"123456 fakso,654321", nullptr, {"NULL|123456 fakso,654321|Telefon"}, 0, true},
        {"tel 1234567, wew12", nullptr, {"NULL|tel 1234567, wew12|Telefon"}, 0, true},
        // Nothing to do.
        {"", nullptr, {"NULL||Telefon"}, 0},
        {"   ", nullptr, {"NULL|   |Telefon"}, 0},
        {"7654321", nullptr, {"NULL|7654321|Telefon"}, 0},
    };
    return cases;
}

std::string Digits(const std::string& s) {
    std::string d;
    for (char c : s)
        if (c >= '0' && c <= '9') d += c;
    return d;
}

// Each case's row carries the case number in POLE_ID, which its further rows copy.
void InsertCases(ToolsFixture& f) {
    std::string sql;
    int id = 1;
    for (const Case& c : Cases()) {
        // NUMER_CYFRY holds the digits of the number, as the application keeps it.
        sql +=
            "INSERT INTO TELEFONY (TEL_ID, FIRMA_ID, NR_KIERUNEK, NUMER, NUMER_CYFRY, TYP, OPIS, "
            "TAB_OBCA, POLE_ID, KTO_WPISAL) VALUES (" +
            std::to_string(id) + ", 7, " +
            (c.areaCode ? "'" + std::string(c.areaCode) + "'" : std::string("NULL")) + ", '" +
            c.number + "', '" + Digits(c.number) + "', 'Telefon', 'biuro', 'REJESTR_FIRM', " +
            std::to_string(id) + ", 'Migracja');";
        ++id;
    }
    sql += "SET GENERATOR GEN_TELEFONY TO 1000;";
    f.db.Exec(sql);
}

std::vector<std::string> CaseRows(ToolsFixture& f, int id) {
    return f.Rows("SELECT NR_KIERUNEK, NUMER, TYP FROM TELEFONY WHERE POLE_ID = " +
                  std::to_string(id) + " ORDER BY TEL_ID");
}

}  // namespace

TEST(PhoneSplitTest, EachTextLeavesTheRowsItHolds) {
    ToolsFixture f;
    InsertCases(f);
    migracja::testing::ScriptedMessageBox messages;

    const tools::PhoneSplitRun run = tools::SplitGluedPhoneNumbers(f.dane, FixedNow);
    int statements = 0, unreadable = 0;
    for (std::size_t i = 0; i < Cases().size(); ++i) {
        const Case& c = Cases()[i];
        EXPECT_EQ(CaseRows(f, static_cast<int>(i) + 1), c.rows) << "'" << c.number << "'";
        statements += c.statements;
        unreadable += c.unreadable;
    }
    EXPECT_EQ(run.statements, statements);
    EXPECT_EQ(static_cast<int>(run.unreadable.size()), unreadable);
    // Every new key came from the generator.
    EXPECT_EQ(f.Generator("GEN_TELEFONY"), 1000 + f.db.ScalarInt("SELECT COUNT(*) FROM TELEFONY") -
                                               static_cast<int>(Cases().size()));

    tools::ShowPhoneSplitResult(messages, run);
    ASSERT_EQ(messages.shown.size(), 1u);
    // The box says what it always says; the rows left alone are counted apart from it.
    ASSERT_GT(unreadable, 0);
    EXPECT_EQ(messages.shown[0].text, "Liczba rekordów w których rozłączono numery telefonów = "_w +
                                          std::to_string(statements));
    EXPECT_EQ(tools::UnreadPhonesNote(run),
              "Liczba rekordów pozostawionych bez zmian (nie udało się odczytać numerów) = "_w +
                  std::to_string(unreadable));
    EXPECT_EQ(messages.shown[0].icon, ui::Icon::Information);

    // A second run finds every row done.
    const std::vector<std::string> before = f.Rows("SELECT * FROM TELEFONY ORDER BY TEL_ID");
    const tools::PhoneSplitRun again = tools::SplitGluedPhoneNumbers(f.dane, FixedNow);
    EXPECT_EQ(again.statements, 0);
    EXPECT_TRUE(again.changed.empty());
    EXPECT_EQ(f.Rows("SELECT * FROM TELEFONY ORDER BY TEL_ID"), before);
}

TEST(PhoneSplitTest, NewRowsCopyTheAttributesAndCarryTheAuthor) {
    ToolsFixture f;
    f.db.Exec(
        "INSERT INTO TELEFONY (TEL_ID, FIRMA_ID, NR_KIERUNEK, NUMER, TYP, OPIS, TAB_OBCA, "
        "ZNACZNIK, TAB_OBCA_DODATEK, POLE_ID, POLE_ID_DODATEK, DOMYSLNY) VALUES (5, 3, NULL, "
        "'0221234567,765432w9', 'Fax', 'sklep ''u Jana''', 'REJESTR_FIRM', 'Z1', "
        "'REJESTR_LOKALIZACJI', 3, 44, 'T');"
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (6, '1234567, 7654321');"
        "SET GENERATOR GEN_TELEFONY TO 20;");
    const tools::PhoneSplitRun run = tools::SplitGluedPhoneNumbers(f.dane, FixedNow);
    EXPECT_EQ(run.statements, 5);

    const std::string columns =
        "TEL_ID, FIRMA_ID, NR_KIERUNEK, NUMER, TYP, OPIS, TAB_OBCA, ZNACZNIK, TAB_OBCA_DODATEK, "
        "POLE_ID, POLE_ID_DODATEK, DOMYSLNY, KTO_ZMIENIL, KTO_UTWORZYL, STANOWISKO";
    EXPECT_EQ(
        f.Rows("SELECT " + columns + " FROM TELEFONY ORDER BY TEL_ID"),
        (std::vector<std::string>{
            "5|3|022|1234567|Fax|sklep 'u Jana'|REJESTR_FIRM|Z1|REJESTR_LOKALIZACJI|3|44|T|"
            "Migracja-t|NULL|NULL",
            "6|NULL|NULL|1234567|NULL|NULL|NULL|NULL|NULL|NULL|NULL|N|Migracja-t|NULL|NULL",
            "21|3|022|765432|Fax|sklep 'u Jana'|REJESTR_FIRM|Z1|REJESTR_LOKALIZACJI|3|44|N|"
            "NULL|Migracja-t|Migracja-t",
            "22|3|NULL|9|Wewnętrzny|sklep 'u Jana'|REJESTR_FIRM|Z1|REJESTR_LOKALIZACJI|3|44|N|"
            "NULL|Migracja-t|Migracja-t",
            "23|NULL|NULL|7654321|NULL|NULL|NULL|NULL|NULL|NULL|NULL|N|NULL|Migracja-t|"
            "Migracja-t",
        }));
    EXPECT_EQ(f.db.ScalarInt("SELECT COUNT(*) FROM TELEFONY WHERE DATA_ZMIANY = "
                             "'2024-05-06 10:20:30'"),
              2);
    EXPECT_EQ(f.db.ScalarInt("SELECT COUNT(*) FROM TELEFONY WHERE DATA_UTWORZ = "
                             "'2024-05-06 10:20:30'"),
              3);
    ASSERT_EQ(run.changed.size(), 2u);
    EXPECT_EQ(run.changed[0].added.size(), 2u);
    EXPECT_EQ(run.changed[0].added[1].telId, 22);
}

TEST(PhoneSplitTest, DryRunProposesWithoutWriting) {
    ToolsFixture f;
    f.db.Exec("INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (1, '0221234567/68');");
    const std::vector<std::string> before = f.Rows("SELECT * FROM TELEFONY");
    const tools::PhoneSplitRun run = tools::SplitGluedPhoneNumbers(f.dane, FixedNow, true);
    EXPECT_EQ(run.statements, 2);
    ASSERT_EQ(run.changed.size(), 1u);
    EXPECT_EQ(run.changed[0].newAreaCode, "022");
    EXPECT_EQ(run.changed[0].newNumber, "1234567");
    ASSERT_EQ(run.changed[0].added.size(), 1u);
    EXPECT_EQ(run.changed[0].added[0].number, "1234568");
    EXPECT_EQ(run.changed[0].added[0].telId, -1);
    EXPECT_EQ(f.Rows("SELECT * FROM TELEFONY"), before);
    EXPECT_EQ(f.Generator("GEN_TELEFONY"), 0);
}

TEST(PhoneSplitTest, ARunThatFailsPartWayIsFinishedByTheNextOne) {
    ToolsFixture f;
    f.db.Exec(
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (1, '1111111, 2222222');"
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (2, '3333333, 7654321');"
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (3, '0221234567, 4444444');"
        "SET GENERATOR GEN_TELEFONY TO 100;"
        "CREATE TABLE STOP_FLAG (ID INTEGER);"
        "INSERT INTO STOP_FLAG (ID) VALUES (1);"
        "CREATE EXCEPTION E_STOP 'zablokowany numer';"
        "SET TERM ^ ;"
        "CREATE TRIGGER T_STOP FOR TELEFONY BEFORE INSERT AS BEGIN "
        "IF (NEW.NUMER = '7654321' AND EXISTS (SELECT * FROM STOP_FLAG)) THEN "
        "EXCEPTION E_STOP; END^"
        "SET TERM ; ^");
    std::vector<std::int32_t> committed;
    EXPECT_THROW(tools::SplitGluedPhoneNumbers(
                     f.dane, FixedNow, false,
                     [&](const tools::PhoneRowChange& c) { committed.push_back(c.telId); }),
                 fb::Error);
    EXPECT_EQ(committed, (std::vector<std::int32_t>{1}));
    // The failed row is untouched, its update rolled back with the insert.
    EXPECT_EQ(f.Rows("SELECT TEL_ID, NR_KIERUNEK, NUMER FROM TELEFONY ORDER BY TEL_ID"),
              (std::vector<std::string>{"1|NULL|1111111", "2|NULL|3333333, 7654321",
                                        "3|NULL|0221234567, 4444444", "101|NULL|2222222"}));

    f.db.Exec("DELETE FROM STOP_FLAG;");
    const tools::PhoneSplitRun again = tools::SplitGluedPhoneNumbers(f.dane, FixedNow);
    EXPECT_EQ(again.statements, 4);
    EXPECT_EQ(f.Rows("SELECT NR_KIERUNEK, NUMER FROM TELEFONY ORDER BY NUMER"),
              (std::vector<std::string>{"NULL|1111111", "022|1234567", "NULL|2222222",
                                        "NULL|3333333", "022|4444444", "NULL|7654321"}));
}

TEST(PhoneSplitTest, NothingFoundSaysSo) {
    ToolsFixture f;
    // The third text cannot be read: the box still says only what it always says.
    f.db.Exec(
        "INSERT INTO TELEFONY (TEL_ID, NUMER, NUMER_CYFRY) VALUES (1, '7654321', '7654321');"
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (2, '0501234567');"
        "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (3, 'fax 1234567, mob 765');");
    migracja::testing::ScriptedMessageBox messages;
    const tools::PhoneSplitRun run = tools::SplitGluedPhoneNumbers(f.dane, FixedNow);
    EXPECT_EQ(run.unreadable.size(), 1u);
    tools::ShowPhoneSplitResult(messages, run);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Nie odnaleziono żadnych sklejonych numerów telefonów "_w);
    EXPECT_EQ(messages.shown[0].caption, "");
    EXPECT_EQ(messages.shown[0].icon, ui::Icon::Information);
}

TEST(PhoneSplitterTest, AreaCodesAndDigitCounts) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0221234567", "022|1234567"},       {"221234567", "22|1234567"},
        {"0501234567", "|0501234567"},       {"601234567", "|601234567"},
        {"12345678", "|12345678"},           {"0 22 1234567", "0 22|1234567"},
        {"022/1234567", "022|1234567"},      {"02212345", "|02212345"},
        {"0 1 2 3 4 5 6", "|0 1 2 3 4 5 6"},
    };
    for (const auto& [in, expected] : cases) {
        const tools::AreaCodeSplit s = tools::SplitAreaCode(in);
        EXPECT_EQ(s.areaCode + "|" + s.rest, expected) << in;
    }
    tools::PhoneSlots slots;
    slots[1] = "12-34";
    slots[2] = "123";
    EXPECT_TRUE(tools::HasFewerDigits(slots, 2));
    slots[2] = "1234";
    EXPECT_FALSE(tools::HasFewerDigits(slots, 2));
}

TEST(PhoneSplitterTest, SlotsOfTextsCutOffByTheColumnAndOfExtensions) {
    struct Case {
        const char* area;
        const char* number;
        const char* slots;  // slots 0..4 and 9, joined by '|'
        int count;
        bool unreadable;
    };
    const Case cases[] = {
        // Twenty characters: the last group may be what is left of a number the column cut off.
        {"", "1234567, 1234568, 12", "|1234567|1234568|||", 2, false},
        {"", "1234567, 7654321, 1", "|1234567|7654321|||", 0, true},
        {"", "12345678, 22, 33, 1", "|12345678|12345622|12345633|12345671|", 4, false},
        {"", "1234567, 22, 33, 123", "|1234567|1234522|1234533|1234123|", 4, false},
        // A short second number at the cut end is dropped, which leaves the group after it unused.
        {"", "123456789, 1234, 123", "12|3456789||||", 0, true},
        {"", "1234567, 2, 33, 12", "|1234567|1234562|1234533|1234512|", 4, false},
        // The row's own area code is trimmed and kept.
        {" 022 ", "1234567", "022|1234567||||", 1, false},
        {"", "0221234567 wew12", "022|1234567||||12", 1, false},
        // Marker letters with no extension behind them cannot be dropped from a single number.
        {"", "(022) 1234567wew 12", "(022)|||||", 0, true},
        // Marker letters with digits between them: the extension is kept, nothing else.
        {"", "wew 123 w45", "|||||45", 0, true},
    };
    for (const Case& c : cases) {
        tools::PhoneSlots slots;
        slots[0] = c.area;
        const tools::PhoneSplit split = tools::SplitPhoneNumber(c.number, slots);
        EXPECT_EQ(slots[0] + "|" + slots[1] + "|" + slots[2] + "|" + slots[3] + "|" + slots[4] +
                      "|" + slots[9],
                  c.slots)
            << c.number;
        EXPECT_EQ(split.count, c.count) << c.number;
        EXPECT_EQ(split.unreadable, c.unreadable) << c.number;
    }
}
