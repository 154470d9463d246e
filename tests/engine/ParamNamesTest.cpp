#include <gtest/gtest.h>

#include "engine/EngineFixture.h"

using namespace migracja;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;

namespace {

// Ten code columns and the value they lead to. The second row holds the first row's codes in
// reverse order, so that values bound to the wrong places find a row, just the wrong one.
constexpr const char* kCodes =
    "CREATE TABLE KODY (K1 VARCHAR(4), K2 VARCHAR(4), K3 VARCHAR(4), K4 VARCHAR(4), "
    "K5 VARCHAR(4), K6 VARCHAR(4), K7 VARCHAR(4), K8 VARCHAR(4), K9 VARCHAR(4), K10 VARCHAR(4), "
    "WARTOSC INTEGER);"
    "CREATE TABLE WYNIKI (NR VARCHAR(4), WARTOSC INTEGER);"
    "INSERT INTO KODY VALUES ('A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 7);"
    "INSERT INTO KODY VALUES ('J', 'I', 'H', 'G', 'F', 'E', 'D', 'C', 'B', 'A', 8)";

DbfWriter Records() {
    DbfWriter w;
    w.Field("NR", 'C', 4);
    for (int i = 1; i <= 10; ++i) w.Field("P" + std::to_string(i), 'C', 4);
    w.Record({"R1", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J"});
    w.Record({"R2", "J", "I", "H", "G", "F", "E", "D", "C", "B", "A"});
    w.Record({"R3", "A", "B", "C", "D", "E", "F", "G", "H", "I", "X"});
    return w;
}

}  // namespace

TEST(ParamNamesTest, PreparedQueriesAndTheirBindingAgreeOnEveryPlace) {
    // The SQL condition holds the most references a condition may have, one source twice; the
    // lookup holds the most a lookup may have. A name the binding made differently from the
    // preparation would not be found, or would bind a value to another place.
    EngineFixture f(kCodes);
    f.Dbf("KODY.DBF", Records());
    const auto file = f.Definition(
        {"[START]", "PlikDBF=KODY.DBF", "Tabela_0=WYNIKI", "[WARUNKI_SQL]",
         "Warunek_0=SELECT COUNT(*) FROM KODY WHERE WARTOSC = 8 AND K1 = PLIKDBF->P1 AND "
         "K2 = PLIKDBF->P2 AND K3 = PLIKDBF->P3 AND K4 = PLIKDBF->P4 AND K5 = PLIKDBF->P5 AND "
         "K1 = PLIKDBF->P1",
         "[Tabela0]", "NR=PLIKDBF->NR",
         "WARTOSC=SELECT WARTOSC FROM KODY WHERE K1 = PLIKDBF->P1 AND K2 = PLIKDBF->P2 AND "
         "K3 = PLIKDBF->P3 AND K4 = PLIKDBF->P4 AND K5 = PLIKDBF->P5 AND K6 = PLIKDBF->P6 AND "
         "K7 = PLIKDBF->P7 AND K8 = PLIKDBF->P8 AND K9 = PLIKDBF->P9 AND K10 = PLIKDBF->P10"});
    ASSERT_TRUE(f.Prepare(file)) << f.Log();

    // A condition names a reference by its DBF field (NR is field 0) and its place.
    EXPECT_EQ(f.Table(0).ConditionQuery->Sql(),
              "SELECT COUNT(*) FROM KODY WHERE WARTOSC = 8 AND K1 =  :p1A AND K2 =  :p2B AND "
              "K3 =  :p3C AND K4 =  :p4D AND K5 =  :p5E AND K1 =  :p1F");
    // A lookup names it by its place alone.
    EXPECT_EQ(f.Column(0, "WARTOSC").ExtraText,
              "SELECT WARTOSC FROM KODY WHERE K1 =  :p1A AND K2 =  :p2B AND K3 =  :p3C AND "
              "K4 =  :p4D AND K5 =  :p5E AND K6 =  :p6F AND K7 =  :p7G AND K8 =  :p8H AND "
              "K9 =  :p9I AND K10 =  :p10J");

    f.Run();
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    // R2 matches the second row by its first five codes and is not written; R1 finds its value
    // by all ten; R3 differs in the last code only and finds none, which is written as NULL.
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM WYNIKI"), 2);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM WYNIKI WHERE NR = 'R1' AND WARTOSC = 7"), 1);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM WYNIKI WHERE NR = 'R3' AND WARTOSC IS NULL"), 1);
}
