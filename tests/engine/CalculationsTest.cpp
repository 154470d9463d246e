#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/Text.h"
#include "calc/CalcFunctions.h"
#include "engine/CalculationFixture.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::CalculationRun;
using migracja::testing::DbfWriter;

namespace {

DateTime D(int y, int m, int d, int hh = 0, int mm = 0) {
    return EncodeDateTime(CivilDateTime{y, m, d, hh, mm, 0, 0});
}

// Fields of every kind: text, integer, money (N with decimals and F), date, logical.
DbfWriter Orders() {
    DbfWriter w;
    w.Field("NRZLEC", 'C', 10)
        .Field("NAZWA", 'C', 40)
        .Field("VAT", 'N', 2)
        .Field("CENA", 'N', 10, 4);
    w.Field("ILOSC", 'F', 10, 4).Field("DATA1", 'D', 8).Field("DATA2", 'D', 8);
    w.Field("AKTYWNY", 'L', 1).Field("GODZ", 'C', 5).Field("KOD", 'C', 6);
    w.Record({"12/2004", "Kowalski Jan", "1", "100.0000", "2.5000", "19850315", "20030502", "T",
              "08:30", "00950"});
    w.Record({"", "", "2", "3.3300", "2.5000", "", "", "F", "", ""});
    return w;
}

}  // namespace

TEST(CalculationDispatchTest, EachFunctionFillsItsOwnSlotAndTheOthersAreCleared) {
    CalculationRun run(Orders());
    run.dane.Target.SelectedFirmaId = 7;
    run.Add("GetNazwisko", {"NAZWA"});                   // 0 text
    run.Add("MojaFirma", {"NRZLEC"});                    // 1 integer, field ignored
    run.Add("StawkaVAT", {"VAT"});                       // 2 money
    run.Add("Daty2ToDate", {"DATA1", "DATA2"});          // 3 date
    run.Add("kodpocztowyzkreska", {"KOD"});              // 4 name in any case
    run.Add("WartoscBrutto", {"CENA", "ILOSC", "VAT"});  // 5 money from money fields
    run.Add("DataiGodzina", {"DATA2", "GODZ"});          // 6 date and time
    for (auto& c : run.dane.Definition.Calculations) {
        c.TextResult = "old";
        c.IntegerResult = 99;
        c.MoneyResult = Money::FromInt(99);
    }
    run.EvaluateRecord();
    EXPECT_TRUE(run.Log().empty());
    EXPECT_FALSE(run.dane.Definition.StopRequested);

    EXPECT_EQ(run.Result(0).TextResult, "Kowalski");
    EXPECT_EQ(run.Result(0).IntegerResult, 0);
    EXPECT_EQ(run.Result(1).IntegerResult, 7);
    EXPECT_EQ(run.Result(1).TextResult, "");
    EXPECT_EQ(run.Result(2).MoneyResult, Money::FromInt(22));
    EXPECT_EQ(run.Result(2).IntegerResult, 0);
    EXPECT_EQ(run.Result(3).DateResult, D(2003, 5, 2));
    EXPECT_EQ(run.Result(3).MoneyResult, Money{});
    EXPECT_EQ(run.Result(4).TextResult, "00-950");
    EXPECT_EQ(run.Result(5).MoneyResult, Money::FromRaw(3050000));  // 100 * 2.5 * 1.22
    EXPECT_EQ(run.Result(6).DateResult, D(2003, 5, 2, 8, 30));
}

TEST(CalculationDispatchTest, AnEmptyTextFieldSkipsTheCalculationButTheDateSlotKeepsItsValue) {
    CalculationRun run(Orders());
    run.Add("Copy40", {"NAZWA"});
    run.Add("ZwrocTNDlaNiePuste", {"NAZWA"});
    run.Add("Daty2ToDate", {"NRZLEC", "DATA2"});  // a text first field is never refused
    run.Add("Add2sIStr", {"NRZLEC", "NAZWA", "VAT"});
    run.EvaluateRecord();
    EXPECT_EQ(run.Result(0).TextResult, "Kowalski Jan");
    EXPECT_EQ(run.Result(1).TextResult, "T");
    EXPECT_EQ(run.Result(2).DateResult, D(2003, 5, 2));
    EXPECT_EQ(run.Result(3).TextResult, "12/2004Kowalski Jan1.");

    run.EvaluateRecord();  // NAZWA and NRZLEC are empty now
    EXPECT_TRUE(run.Log().empty());
    EXPECT_EQ(run.Result(0).TextResult, "");
    EXPECT_EQ(run.Result(1).TextResult, "N");  // evaluated even for an empty text
    // Skipped: the date of the previous record is still there for the statements to read.
    EXPECT_EQ(run.Result(2).DateResult, D(2003, 5, 2));
    EXPECT_EQ(run.Result(3).TextResult, "");
}

TEST(CalculationDispatchTest, TheFirstFieldsKindDecidesTheParameters) {
    CalculationRun run(Orders());
    run.Add("StawkaVAT", {"VAT"});           // integer field: its value
    run.Add("StawkaVAT", {"NRZLEC"});        // text field: 0
    run.Add("ZwrocTNDlaNiePuste", {"VAT"});  // integer field: the text parameter is "?"
    run.Add("SuffixNumeru", {"VAT"});        // "?" again
    run.Add("WartoscNetto", {"AKTYWNY"});    // logical fields are accepted by money functions
    run.EvaluateRecord();
    EXPECT_TRUE(run.Log().empty());
    EXPECT_EQ(run.Result(0).MoneyResult, Money::FromInt(22));
    EXPECT_EQ(run.Result(1).MoneyResult, Money{});
    EXPECT_EQ(run.Result(2).TextResult, "T");
    EXPECT_EQ(run.Result(3).TextResult, "?");
    EXPECT_EQ(run.Result(4).MoneyResult, Money{});
}

// Which functions take a first field of each kind that is not text or integer: every function
// is tried alone with such a field, and the refused ones must be exactly the others.
TEST(CalculationDispatchTest, DateAndMoneyFirstFieldsAreRefusedExceptByTheirFunctions) {
    struct KindCase {
        const char* field;
        int kindNumber;
        std::set<int> accepted;
        const char* entryMiddle;
    };
    const KindCase cases[] = {
        {"DATA1", 4, {10, 11, 17, 18, 19, 21, 23, 24, 25, 26, 27, 31, 32}, " [Brak] przy "},
        {"CENA", 3, {10, 11, 23, 24, 33, 34}, " przy "},
        {"ILOSC", 3, {10, 11, 23, 24, 33, 34}, " przy "},
        {"AKTYWNY", 5, {10, 11, 23, 24, 33, 34}, " przy "},
    };
    for (const KindCase& kc : cases) {
        for (int f = 0; f < engine::kFunctionCount; ++f) {
            CalculationRun run(Orders());
            run.Add("Copy40", {"NAZWA"});
            run.Add(std::string(engine::CalculationFunctions()[static_cast<std::size_t>(f)].Name),
                    {kc.field, "VAT"}, "1");
            run.Add("Copy40", {"NAZWA"});
            run.dane.Definition.Calculations[2].TextResult = "untouched";
            run.EvaluateRecord();
            const bool refused = !kc.accepted.count(f);
            const std::string entry = "Inny typ parametru (nr typu= "_w +
                                      std::to_string(kc.kindNumber) + ") dla obliczeń "_w +
                                      (kc.kindNumber == 4 ? "" : "nr ") + "1" + kc.entryMiddle +
                                      "DANE.DBF";
            bool logged = false;
            for (const auto& e : run.Log()) logged = logged || e == entry;
            EXPECT_EQ(logged, refused)
                << kc.field << " with "
                << engine::CalculationFunctions()[static_cast<std::size_t>(f)].Name;
            if (refused) {
                EXPECT_EQ(run.Log().size(), 1u);
                EXPECT_TRUE(run.dane.Definition.StopRequested);
                EXPECT_TRUE(run.dane.Definition.ErrorsOccurred);
                // The record's evaluation ends there: later calculations keep what they had.
                EXPECT_EQ(run.Result(2).TextResult, "untouched");
                EXPECT_EQ(run.Result(0).TextResult, "Kowalski Jan");
            }
        }
    }
}

TEST(CalculationDispatchTest, AnUnknownFunctionNumberIsReportedAndTheNextCalculationsRun) {
    CalculationRun run(Orders());
    run.Add("Copy40", {"NAZWA"});
    run.Add("Copy40", {"NAZWA"});
    run.AddNumber(45);
    run.Add("SuffixNumeru", {"NRZLEC"});
    run.EvaluateRecord();
    ASSERT_EQ(run.Log().size(), 1u);
    EXPECT_EQ(run.Log()[0], "Brak funkcji obliczeniowej nr 45");
    EXPECT_TRUE(run.dane.Definition.StopRequested);
    EXPECT_EQ(run.Result(3).TextResult, "004");
}

TEST(CalculationDispatchTest, ContextValuesOfTheChosenCompanyBranchAndTeam) {
    struct Row {
        std::int32_t branch;
        std::string shared;
        std::int32_t expectedBranch;
        std::int32_t expectedTeamIfNotShared;
    };
    for (const Row& r :
         {Row{5, "N", 5, 3}, Row{-2, "T", -1, -1}, Row{-1, "", -1, -1}, Row{0, "n", 0, -1}}) {
        CalculationRun run(Orders());
        run.dane.Target.SelectedFirmaId = 11;
        run.dane.Target.SelectedGsId = 3;
        run.dane.Target.SelectedGsPrefix = "SRW";
        run.dane.Target.SelectedMiejsceId = r.branch;
        run.dane.Target.SelectedGsSharedRegister = r.shared;
        for (const char* f :
             {"MojaFirma", "IdWybranyZespolSerwisowy", "SkrotWybranyZespolSerwisowy",
              "GetMojOddzial", "WarunkowoGetZespol"}) {
            run.Add(f);  // as preparation leaves them: no field at all
        }
        run.EvaluateRecord();
        EXPECT_EQ(run.Result(0).IntegerResult, 11);
        EXPECT_EQ(run.Result(1).IntegerResult, 3);
        EXPECT_EQ(run.Result(2).TextResult, "SRW");
        EXPECT_EQ(run.Result(3).IntegerResult, r.expectedBranch) << r.branch;
        EXPECT_EQ(run.Result(4).IntegerResult, r.expectedTeamIfNotShared) << r.shared;
        EXPECT_TRUE(run.Log().empty());
    }
}

TEST(CalculationDispatchTest, GrossPriceReadsItsOwnFieldsAndRefusesTheFirstFieldOfTheFile) {
    DbfWriter w;
    w.Field("KOD", 'N', 2).Field("VAT", 'N', 2).Field("NETTO", 'N', 10, 4).Field("OPIS", 'C', 5);
    w.Record({"2", "0", "100.0000", "x"});
    w.Record({"2", "2", "0.0050", "x"});
    CalculationRun run(w);
    run.Add("CenaBrutto", {"VAT", "NETTO"});
    run.Add("CenaBrutto", {"KOD", "NETTO"});  // field 0 of the file is not taken
    run.Add("CenaBrutto", {"VAT", "OPIS"});   // the net price must be a money field
    run.EvaluateRecord();
    EXPECT_EQ(run.Result(0).MoneyResult, Money::FromInt(122));
    EXPECT_EQ(run.Result(1).MoneyResult, Money::FromInt(122));  // with VAT code 0
    EXPECT_EQ(run.Result(2).MoneyResult, Money{});              // with net price 0
    ASSERT_EQ(run.Log().size(), 2u);
    EXPECT_EQ(run.Log()[0], "Nieznany nr/typ dla obliczeń 1[0]-Vat !  Plik DANE.DBF"_w);
    EXPECT_EQ(run.Log()[1], "Nieznany nr/typ dla obliczeń Cena2[1]-cenaNetto !  Plik DANE.DBF"_w);
    EXPECT_TRUE(run.dane.Definition.StopRequested);

    run.dane.MigrationErrorLog.clear();
    run.EvaluateRecord();
    EXPECT_EQ(run.Result(0).MoneyResult, Money::FromRaw(54));  // 0.00535, tie to even
}

namespace {

// Initial records 0 and 1 give integer ids, record 2 a text.
void SetInitialRecords(engine::MigrationDefinition& d) {
    d.InitTableCount = 3;
    d.InitTables[0].ResultKind = ValueKind::Integer;
    d.InitTables[0].InitResult.Integer = 17;
    d.InitTables[1].ResultKind = ValueKind::Integer;
    d.InitTables[1].InitResult.Integer = 18;
    d.InitTables[2].ResultKind = ValueKind::Text;
    d.InitTables[2].InitResult.Integer = 19;
}

}  // namespace

TEST(CalculationDispatchTest, InitialRecordChosenByLetter) {
    struct Row {
        std::string letter;
        std::string T;
        std::int32_t expected;
        std::string entry;
    };
    const Row rows[] = {
        {"A", "ABC", 17, ""},
        {"B", "ABC", 18, ""},
        {"b", "ABC", -1, ""},  // case matters, and T is upper case
        {"D", "ABC", -1, ""},
        {"D", "ABCD", -1, ""},  // beyond the initial records
        {"BC", "ABC", 18, ""},  // the position of the whole text
        {"C", "ABC", -1, "Inny typ parametru dla obliczeń C przy DANE.DBF"_w},
    };
    for (const Row& r : rows) {
        DbfWriter w;
        w.Field("LIT", 'C', 2);
        w.Record({r.letter});
        CalculationRun run(w);
        SetInitialRecords(run.dane.Definition);
        run.Add("WyborID_INITE", {"LIT"}, r.T);
        run.EvaluateRecord();
        EXPECT_EQ(run.Result(0).IntegerResult, r.expected) << r.letter << " in " << r.T;
        EXPECT_EQ(run.Log().empty(), r.entry.empty()) << r.letter;
        if (!r.entry.empty()) {
            EXPECT_EQ(run.Log().at(0), r.entry);
        }
        EXPECT_EQ(run.dane.Definition.StopRequested, !r.entry.empty());
    }
}

TEST(CalculationDispatchTest, InitialRecordChosenByNumber) {
    struct Row {
        std::string T;
        std::int32_t expected;
        std::string entry;
    };
    const Row rows[] = {
        {"1", 17, ""},
        {"2", 18, ""},
        {"X", -1, "Błąd w numerze parametru z inite dla obliczeń X przy DANE.DBF"_w},
        {"", -1, "Błąd w numerze parametru z inite dla obliczeń  przy DANE.DBF"_w},
        {"0", -1, "Za mały nr parametru z inite dla obliczeń 0 przy DANE.DBF"_w},
        {"-1", -1, "Za mały nr parametru z inite dla obliczeń -1 przy DANE.DBF"_w},
        {"4", -1, "Inna liczba parametrów z inite dla obliczeń 4 przy DANE.DBF"_w},
        {"3", -1, "Inny typ parametru dla obliczeń  z inite 3 przy DANE.DBF"_w},
    };
    for (const Row& r : rows) {
        CalculationRun run(Orders());
        SetInitialRecords(run.dane.Definition);
        run.Add("WyborID_INITE_Nr", {"NRZLEC"}, r.T);
        run.EvaluateRecord();
        EXPECT_EQ(run.Result(0).IntegerResult, r.expected) << r.T;
        ASSERT_EQ(run.Log().size(), r.entry.empty() ? 0u : 1u) << r.T;
        if (!r.entry.empty()) {
            EXPECT_EQ(run.Log()[0], r.entry);
        }
        EXPECT_EQ(run.dane.Definition.StopRequested, !r.entry.empty()) << r.T;
        EXPECT_EQ(run.dane.Definition.ErrorsOccurred, !r.entry.empty()) << r.T;
    }
}

TEST(CalculationDispatchTest, NameSplittingLearnsTheOrderAcrossRecordsAndDefinitions) {
    DbfWriter w;
    w.Field("OSOBA", 'C', 40);
    w.Record({"Adam Tomasz"});
    for (int n = 0; n < 5; ++n) w.Record({"Jan Kowalski"});
    w.Record({"Adam Tomasz"});
    CalculationRun run(w);
    run.Add("GetImie", {"OSOBA"});
    run.Add("GetNazwisko", {"OSOBA"});
    run.EvaluateRecord();
    // Nothing learned yet: the first word is taken for the surname.
    EXPECT_EQ(run.Result(0).TextResult, "Tomasz");
    EXPECT_EQ(run.Result(1).TextResult, "Adam");
    for (int n = 0; n < 5; ++n) run.EvaluateRecord();
    // A new definition does not forget what the data taught.
    const auto calculations = run.dane.Definition.Calculations;
    const auto fields = run.dane.Definition.DbfFields;
    run.dane.ResetDefinition();
    run.dane.Definition.Calculations = calculations;
    run.dane.Definition.DbfFields = fields;
    run.EvaluateRecord();
    EXPECT_EQ(run.Result(0).TextResult, "Adam");
    EXPECT_EQ(run.Result(1).TextResult, "Tomasz");
}

TEST(CalculationDispatchTest, AnImpossibleTimeLeavesTheEvaluationAsAnError) {
    DbfWriter w;
    w.Field("DATA", 'D', 8).Field("GODZ", 'C', 5);
    w.Record({"20030502", "24:00"});
    CalculationRun run(w);
    run.Add("DataiGodzina", {"DATA", "GODZ"});
    run.dane.ReadSourceRecord();
    try {
        engine::EvaluateCalculations(run.dane);
        ADD_FAILURE() << "evaluated";
    } catch (const calc::CalculationError& e) {
        // The record loop puts this text into the Polish report.
        EXPECT_EQ(std::string(e.what()), "'24:00' nie jest poprawną godziną (GG:MM)"_w);
    }
    EXPECT_TRUE(run.Log().empty());
}

TEST(CalculationDispatchTest, ADefinitionWithoutCalculationsReportsNothing) {
    CalculationRun run(Orders());
    run.EvaluateRecord();
    EXPECT_TRUE(run.Log().empty());
    EXPECT_FALSE(run.dane.Definition.StopRequested);
    EXPECT_FALSE(run.dane.Definition.ErrorsOccurred);
}
