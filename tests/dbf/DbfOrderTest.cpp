// Visiting DBF records in the order of a dBase index expression.

#include <gtest/gtest.h>

#include <filesystem>

#include "base/Text.h"
#include "dbf/DbfKeyExpression.h"
#include "dbf/DbfTable.h"
#include "support/DbfWriter.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::dbf::DbfError;
using migracja::dbf::DbfKeyExpression;
using migracja::dbf::DbfTable;
using migracja::testing::DbfWriter;
using migracja::testing::TempDir;

namespace {

// Customers as the legacy program kept them: code, name, town, date, amount, number.
class DbfOrderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DbfWriter w;
        w.Field("KOD", 'C', 4)
            .Field("NAZWA", 'C', 10)
            .Field("MIASTO", 'C', 8)
            .Field("DATA", 'D', 8)
            .Field("KWOTA", 'N', 8, 2)
            .Field("NR", 'N', 4)
            .Field("AKTYWNY", 'L', 1)
            .Field("UWAGI", 'M', 10);
        w.Record({"K1", "beta", "Radom", "20230115", "10.50", "30", "T", ""});    // 1
        w.Record({"K2", "Alfa", "Opole", "", "-2.00", "4", "F", ""});             // 2
        w.Record({"K3", "alfa", "Radom", "20221231", "100.00", "-7", "T", ""});   // 3
        w.Record({"K4", "Beta", "Opole", "20230115", "", "200", "T", ""}, true);  // 4 deleted
        w.Record({"K5", "ALFA", "Kielce", "19991231", "3.25", "4", "T", ""});     // 5
        w.Record({"K6", "Łódź"_w, "Radom", "20230101", "10.5", "", "T", ""});     // 6
        w.Record({"K7", "alfa", "Opole", "20230115", "-15.75", "4", "T", ""});    // 7
        w.WriteTo(dir_ / "KLIENCI.DBF");
        table_.emplace(DbfTable::Open(dir_ / "KLIENCI.DBF"));
    }

    // Codes of the visited records, in visiting order.
    std::string Codes() {
        std::string s;
        for (bool more = table_->First(); more; more = table_->Next())
            s += std::string(table_->AsText(0)).substr(1);
        return s;
    }

    std::string OrderedBy(const std::string& expression) {
        table_->SetOrder(expression);
        return Codes();
    }

    TempDir dir_;
    std::optional<DbfTable> table_;
};

}  // namespace

TEST_F(DbfOrderTest, SingleFieldsOrderAsDbaseKeysDoWithEqualKeysInFileOrder) {
    EXPECT_EQ(Codes(), "123567");
    // Byte order: capitals before small letters, Windows-1250 letters after ASCII.
    EXPECT_EQ(OrderedBy("NAZWA"), "523716");
    EXPECT_EQ(OrderedBy("MIASTO"), "527136");
    EXPECT_EQ(OrderedBy("DATA"), "253617");   // blank dates first, then chronological
    EXPECT_EQ(OrderedBy("KWOTA"), "725163");  // by value; blank is 0
    EXPECT_EQ(OrderedBy("NR"), "362571");     // negative first; blank is 0
    EXPECT_EQ(OrderedBy("nr"), "362571");     // field names ignore case
    table_->First();
    EXPECT_EQ(table_->RecordNumber(), 3u);
    // A new order replaces the one before it (the codes run in file order).
    EXPECT_EQ(OrderedBy("KOD"), "123567");
}

TEST_F(DbfOrderTest, JoinedFieldsAndFunctionsBuildCompositeKeys) {
    EXPECT_EQ(OrderedBy("MIASTO+NAZWA"), "527316");
    EXPECT_EQ(OrderedBy("UPPER(NAZWA)"), "235716");  // ALFA ties keep file order
    EXPECT_EQ(OrderedBy("upper(nazwa) + kod"), "235716");
    EXPECT_EQ(OrderedBy("MIASTO+DTOS(DATA)"), "527361");
    EXPECT_EQ(OrderedBy("DTOS(DATA)+KOD"), "253617");
    // STR right-aligns, so keys order by value only among numbers that are not negative: the
    // blank before a minus sign sorts it after shorter numbers, as in dBase.
    EXPECT_EQ(OrderedBy("STR(NR,4)+MIASTO"), "652731");
    EXPECT_EQ(OrderedBy("STR(KWOTA,8,2)"), "521673");
    EXPECT_EQ(OrderedBy("UPPE(SUBS(NAZWA,2,3))+KOD"), "123576");
    EXPECT_EQ(OrderedBy("LEFT(MIASTO,1)+RIGHT(DTOS(DATA),4)"), "527613");
    EXPECT_EQ(OrderedBy("(MIASTO)+'-'+NAZWA"), "527316");
}

TEST_F(DbfOrderTest, FunctionNamesMayBeShortenedToFourLettersButNoFewer) {
    EXPECT_EQ(OrderedBy("UPPE(NAZWA)"), OrderedBy("UPPER(NAZWA)"));
    EXPECT_EQ(OrderedBy("SUBST(NAZWA,2,3)+KOD"), OrderedBy("SUBSTR(NAZWA,2,3)+KOD"));
    EXPECT_EQ(OrderedBy("RIGH(DTOS(DATA),4)+KOD"), OrderedBy("RIGHT(DTOS(DATA),4)+KOD"));
    EXPECT_EQ(OrderedBy("dtos(DATA)+KOD"), "253617");
    // Three letters could name more than one dBase function; longer names are no names.
    for (const char* bad :
         {"UPP(NAZWA)", "SUB(NAZWA,2,3)", "DTO(DATA)", "RIG(NAZWA,2)", "LEF(NAZWA,2)", "UP(NAZWA)",
          "U(NAZWA)", "UPPERX(NAZWA)", "STRX(NR)", "ST(NR)"}) {
        SCOPED_TRACE(bad);
        try {
            table_->SetOrder(bad);
            ADD_FAILURE() << "accepted";
        } catch (const DbfError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("\"") + bad + "\""), std::string::npos)
                << e.what();
        }
    }
}

TEST_F(DbfOrderTest, AFileCutShortWhileReadInOrderGivesAnErrorNotACrash) {
    table_->SetOrder("NAZWA");  // 5 2 3 7 1 6
    ASSERT_EQ(table_->RecordNumber(), 5u);
    // Another program cuts the file inside record 3; record 5 has been read already.
    const std::uintmax_t recordBytes = 54;
    const auto file = dir_ / "KLIENCI.DBF";
    const std::uintmax_t header = std::filesystem::file_size(file) - 1 - 7 * recordBytes;
    std::filesystem::resize_file(file, header + 2 * recordBytes + 3);
    EXPECT_EQ(table_->AsText(0), "K5");
    ASSERT_TRUE(table_->Next());
    EXPECT_EQ(table_->AsText(0), "K2");
    try {
        table_->Next();
        ADD_FAILURE() << "record 3 is gone";
    } catch (const DbfError& e) {
        EXPECT_NE(std::string(e.what()).find("stał się krótszy w trakcie odczytu"),
                  std::string::npos)
            << e.what();
    }
}

TEST_F(DbfOrderTest, ExpressionsThatCannotBeEvaluatedAreRefusedBeforeAnythingIsRead) {
    table_->SetOrder("NAZWA");
    ASSERT_TRUE(table_->Next());
    const std::uint32_t position = table_->RecordNumber();
    for (const char* bad : {"BRAK", "NAZWA+", "NAZWA+NR", "AKTYWNY", "UWAGI", "TRIM(NAZWA)",
                            "UPPER(NR)", "DTOS(NAZWA)", "STR(NAZWA)", "STR(NR,1,2)",
                            "SUBSTR(KOD,5)", "NAZWA MIASTO", "UPPER(NAZWA", "'abc", "DATA+KOD"}) {
        SCOPED_TRACE(bad);
        try {
            table_->SetOrder(bad);
            ADD_FAILURE() << "accepted";
        } catch (const DbfError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(std::string("\"") + bad + "\""), std::string::npos) << message;
            EXPECT_NE(message.find("KLIENCI.DBF"), std::string::npos) << message;
        }
    }
    EXPECT_EQ(table_->RecordNumber(), position);
    EXPECT_EQ(table_->AsText(1), "Alfa");
    EXPECT_EQ(Codes(), "523716");  // still in the order of NAZWA
}

TEST_F(DbfOrderTest, DeepNestingAndOverWideKeysAreRefusedNamingTheExpression) {
    const auto refusal = [&](const std::string& expression) {
        try {
            table_->SetOrder(expression);
        } catch (const DbfError& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    const auto repeat = [](const std::string& s, std::size_t n) {
        std::string r;
        for (std::size_t i = 0; i < n; ++i) r += s;
        return r;
    };
    // Far deeper than any stack holds, if each level recursed.
    for (const std::string& open : {std::string("("), std::string("UPPER(")}) {
        const std::string deep = repeat(open, 200000) + "NAZWA" + repeat(")", 200000);
        const std::string message = refusal(deep);
        EXPECT_NE(message.find("zagnieżdżone głębiej niż na 100 poziomów"), std::string::npos)
            << message;
        // Long expressions are named by their beginning and their length.
        EXPECT_NE(message.find("\"" + deep.substr(0, 80) + "...\""), std::string::npos) << message;
        EXPECT_NE(message.find(std::to_string(deep.size()) + " znaków)"), std::string::npos);
        EXPECT_LT(message.size(), 400u);
    }
    const std::string limit = repeat("(", 100) + "NAZWA" + repeat(")", 100);
    EXPECT_EQ(OrderedBy(limit), "523716");
    EXPECT_EQ(OrderedBy(repeat("UPPER(", 99) + "NAZWA" + repeat(")", 99)), "235716");

    // Every record keeps its key while the order is built: keys wider than 512 bytes would
    // let a short expression over a wide field take memory without bound.
    const std::string wide = "NAZWA" + repeat("+NAZWA", 51);  // 520 bytes
    const std::string message = refusal(wide);
    EXPECT_NE(message.find("klucz ma 520 bajtów; dozwolone jest najwyżej 512"), std::string::npos)
        << message;
    EXPECT_NE(message.find("KLIENCI.DBF"), std::string::npos) << message;
    EXPECT_EQ(OrderedBy("MIASTO+NAZWA" + repeat("+NAZWA", 49)), "527316");  // 508 bytes
    EXPECT_EQ(OrderedBy("SUBSTR(" + wide + ",1,5)+KOD"), "523716");
}

TEST_F(DbfOrderTest, LongExpressionsWithNarrowKeysOrderTheRecords) {
    // 100,000 characters each; a narrow part of a long join costs only the bytes it keeps.
    std::string join = "NAZWA";
    while (join.size() < 100000) join += "+NAZWA";
    EXPECT_EQ(OrderedBy("SUBSTR(" + join + ",12,3)+KOD"), "512376");  // bytes 2-4 of NAZWA
    EXPECT_EQ(OrderedBy("RIGHT(" + join + ",10)"), "523716");
    std::string blanks = "MIASTO";
    while (blanks.size() < 100000) blanks += "+''";
    EXPECT_EQ(OrderedBy(blanks + "+UPPER(NAZWA)"), "527316");
    std::string spaced = "KOD";
    while (spaced.size() < 100000) spaced += "       ";
    EXPECT_EQ(OrderedBy(spaced), "123567");
}

TEST(DbfKeyExpressionTest, StrFormatsLikeDbase) {
    std::vector<dbf::DbfField> fields(1);
    fields[0] = {"KW", 'N', 12, 3, ValueKind::Money, 1};
    const auto str = [&](const std::string& expression, const std::string& value) {
        const auto e = DbfKeyExpression::Compile(expression, fields, "T.DBF");
        std::string record = " " + std::string(12 - value.size(), ' ') + value;
        std::string key(e.KeyWidth(), '?');
        e.EncodeKey(record.data(), key.data());
        return key;
    };
    EXPECT_EQ(str("STR(KW)", "12.345"), "        12");
    EXPECT_EQ(str("STR(KW,8,2)", "12.345"), "   12.35");
    EXPECT_EQ(str("STR(KW,8,2)", "-12.345"), "  -12.35");
    EXPECT_EQ(str("STR(KW,4)", "-5"), "  -5");
    EXPECT_EQ(str("STR(KW,6,2)", "1234.56"), "1234.6");  // decimals give way first
    EXPECT_EQ(str("STR(KW,3)", "1234.56"), "***");
    EXPECT_EQ(str("STR(KW,5,1)", "0.04"), "  0.0");
    EXPECT_EQ(str("STR(KW,5,1)", ""), "  0.0");
    EXPECT_EQ(str("STR(KW,5,1)", "***"), "  0.0");
}
