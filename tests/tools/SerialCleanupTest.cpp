// Removing blanks from serial numbers in a real EWIDENCJA_SPRZETU table.
#include <gtest/gtest.h>

#include "ToolsFixture.h"
#include "base/Text.h"
#include "fb/Fb.h"
#include "support/ScriptedUi.h"
#include "tools/PhoneCleanup.h"
#include "tools/SerialCleanup.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::ToolsFixture;

namespace {

void InsertDevices(ToolsFixture& f, const std::vector<std::string>& serials) {
    std::string sql;
    for (std::size_t i = 0; i < serials.size(); ++i)
        sql += "INSERT INTO EWIDENCJA_SPRZETU (SPRZET_ID, NR_FABRYCZNY) VALUES (" +
               std::to_string(i + 1) + ", " + serials[i] + ");";
    f.db.Exec(sql);
}

std::vector<std::string> Serials(ToolsFixture& f) {
    return f.Rows("SELECT NR_FABRYCZNY FROM EWIDENCJA_SPRZETU ORDER BY SPRZET_ID");
}

}  // namespace

TEST(SerialCleanupTest, BlanksGoExceptOnReferenceDevicesAndASecondRunFindsNothing) {
    ToolsFixture f;
    InsertDevices(
        f, {"'AB 123 45'", "'WZORCOWY 01'", "'X WZORCOWY'", "'wzorcowy 01'", "'   '",
            "'A' || ASCII_CHAR(9) || 'B C'", "'O''BRIEN 7'", "'BEZSPACJI'", "NULL", "' 12 '"});
    migracja::testing::ScriptedMessageBox messages;

    std::vector<std::int32_t> heard;
    const auto changed = tools::RemoveSerialSpaces(
        f.dane, [&](const tools::SerialChange& c) { heard.push_back(c.sprzetId); });
    EXPECT_EQ(Serials(f),
              (std::vector<std::string>{"AB12345", "WZORCOWY 01", "X WZORCOWY", "wzorcowy01", "",
                                        "A\tBC", "O'BRIEN7", "BEZSPACJI", "NULL", "12"}));
    EXPECT_EQ(heard, (std::vector<std::int32_t>{1, 4, 5, 6, 7, 10}));
    ASSERT_EQ(changed.size(), 6u);
    EXPECT_EQ(changed[0].before, "AB 123 45");
    EXPECT_EQ(changed[0].after, "AB12345");
    tools::ShowSerialCleanupResult(messages, changed.size());

    // Reference devices with blanks remain, and still nothing is left to do.
    const auto again = tools::RemoveSerialSpaces(f.dane);
    EXPECT_TRUE(again.empty());
    tools::ShowSerialCleanupResult(messages, again.size());
    EXPECT_EQ(Serials(f)[1], "WZORCOWY 01");

    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text,
              "Liczba rekordów w których z numeru fabrycznego usunięto spacje = 6"_w);
    EXPECT_EQ(messages.shown[0].caption, "Koniec usuwania spacji w numerze fabrycznym"_w);
    EXPECT_EQ(messages.shown[0].icon, ui::Icon::Information);
    EXPECT_EQ(messages.shown[1].text, "Numery fabryczne nie zawierają spacji"_w);
    EXPECT_EQ(messages.shown[1].caption, "");
}

TEST(SerialCleanupTest, RowsCommittedBeforeAFailureStayCleaned) {
    ToolsFixture f;
    InsertDevices(f, {"'A 1'", "'B 2'", "'C 3'"});
    f.db.Exec(
        "CREATE EXCEPTION E_STOP 'zablokowany';"
        "SET TERM ^ ;"
        "CREATE TRIGGER T_STOP FOR EWIDENCJA_SPRZETU BEFORE UPDATE AS BEGIN "
        "IF (NEW.NR_FABRYCZNY = 'B2') THEN EXCEPTION E_STOP; END^"
        "SET TERM ; ^");
    EXPECT_THROW(tools::RemoveSerialSpaces(f.dane), fb::Error);
    EXPECT_EQ(Serials(f), (std::vector<std::string>{"A1", "B 2", "C 3"}));
    // The clean-up transaction is not left hanging: the next run starts afresh.
    EXPECT_FALSE(f.dane.IBTransaction_UN.Active());
}

TEST(SerialCleanupTest, WithoutAConnectionTheCleanUpsSayWhereTheSettingsAre) {
    // After a startup that could not connect the context menu still offers the clean-ups.
    engine::TDane dane;
    const std::string expected =
        "Brak połączenia z bazą danych TARVIK. Sprawdź ustawienia dostępu do bazy w pliku Db.Ini "
        "(sekcja [BD_TARVIK], klucze Lokalizacja, User i Password) i uruchom program ponownie."_w;
    try {
        tools::RemoveSerialSpaces(dane);
        ADD_FAILURE() << "ran without a database";
    } catch (const fb::Error& e) {
        EXPECT_EQ(e.Message(), expected);
    }
    try {
        tools::SplitGluedPhoneNumbers(dane, migracja::testing::FixedNow);
        ADD_FAILURE() << "ran without a database";
    } catch (const fb::Error& e) {
        EXPECT_EQ(e.Message(), expected);
    }
}
