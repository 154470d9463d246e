#include <gtest/gtest.h>

#include "base/Text.h"
#include "engine/Dane.h"
#include "support/DbfWriter.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::dbf::DbfError;
using migracja::engine::TDane;
using migracja::testing::DbfWriter;
using migracja::testing::TempDir;

namespace {

DbfWriter Customers() {
    DbfWriter w;
    w.Field("NRKLI", 'C', 6).Field("NAZWA", 'C', 20).Field("ILE", 'N', 4).Field("KWOTA", 'N', 8, 2);
    w.Field("DATA", 'D', 8).Field("AKTYWNY", 'L', 1);
    w.Record({"000003", "  Zakład"_w, "12", "1234.56", "20240229", "t"});
    w.Deleted({"000009", "Usunięty"_w, "1", "1", "20240101", "T"});
    w.Record({"000001", "Bar", "", "", "", "F"});
    w.Record({"000002", "Apteka", "-7", "-0.50", "20231301", "Y"});
    return w;
}

struct Source {
    TempDir folder;
    TDane dane;
    explicit Source(const DbfWriter& w, const std::string& file = "KLIENCI.DBF",
                    const std::string& index = "?") {
        w.WriteTo(folder / file);
        dane.SetDbfFolder(folder.path().string());
        dane.Definition.DbfFileName = "KLIENCI.DBF";
        dane.Definition.DbfIndexExpression = index;
    }
    std::vector<std::string> ReadAllKeys() {
        std::vector<std::string> keys;
        while (!dane.SourceAtEnd()) {
            dane.ReadSourceRecord();
            keys.push_back(dane.Definition.DbfFields[0].TextValue);
            dane.AdvanceSourceRecord();
        }
        return keys;
    }
};

}  // namespace

TEST(DaneDbfTest, OpensTheDefinitionsFileAndReadsEachRecordIntoTheSlotsOfItsKind) {
    Source s(Customers(), "klienci.dbf");  // found whatever the letter case on disk
    ASSERT_TRUE(s.dane.OpenSourceTable());
    auto& d = s.dane.Definition;
    EXPECT_EQ(d.DbfRecordCount, 4);  // the deleted record is counted
    ASSERT_EQ(d.DbfFieldCount(), 6);
    EXPECT_EQ(d.DbfFields[0].Name, "NRKLI");
    EXPECT_EQ(d.DbfFields[1].Kind, ValueKind::Text);
    EXPECT_EQ(d.DbfFields[1].Length, 20);
    EXPECT_EQ(d.DbfFields[2].Kind, ValueKind::Integer);
    EXPECT_EQ(d.DbfFields[2].Length, 0);  // lengths are kept for text fields only
    EXPECT_EQ(d.DbfFields[3].Kind, ValueKind::Money);
    EXPECT_EQ(d.DbfFields[4].Kind, ValueKind::Date);
    EXPECT_EQ(d.DbfFields[5].Kind, ValueKind::Logical);

    d.Tables[4].TableWritten = true;
    s.dane.ReadSourceRecord();
    EXPECT_EQ(d.CurrentRecordNo, 1);
    EXPECT_FALSE(d.Tables[4].TableWritten);
    EXPECT_EQ(d.DbfFields[1].TextValue, "  Zakład"_w);  // leading blanks kept, bytes as stored
    EXPECT_EQ(d.DbfFields[2].IntegerValue, 12);
    EXPECT_EQ(d.DbfFields[3].MoneyValue.raw, 12345600);
    EXPECT_EQ(FormatDateTime(d.DbfFields[4].DateValue), "2024-02-29");
    EXPECT_EQ(d.DbfFields[5].TextValue, "T");

    ASSERT_TRUE(s.dane.AdvanceSourceRecord());  // the deleted record is passed over
    s.dane.ReadSourceRecord();
    EXPECT_EQ(d.DbfFields[0].TextValue, "000001");
    EXPECT_EQ(d.DbfFields[2].IntegerValue, 0);
    EXPECT_EQ(d.DbfFields[3].MoneyValue.raw, 0);
    EXPECT_EQ(d.DbfFields[4].DateValue, 0.0);
    EXPECT_EQ(d.DbfFields[5].TextValue, "N");
    ASSERT_TRUE(s.dane.AdvanceSourceRecord());
    s.dane.ReadSourceRecord();
    EXPECT_EQ(d.DbfFields[2].IntegerValue, -7);
    EXPECT_EQ(d.DbfFields[3].MoneyValue.raw, -5000);
    EXPECT_EQ(d.DbfFields[4].DateValue, 0.0);  // month 13
    EXPECT_EQ(d.DbfFields[5].TextValue, "N");  // only T or t are true
    EXPECT_EQ(d.CurrentRecordNo, 3);
    EXPECT_FALSE(s.dane.AdvanceSourceRecord());
    EXPECT_TRUE(s.dane.SourceAtEnd());
    EXPECT_TRUE(s.dane.MigrationErrorLog.empty());
}

TEST(DaneDbfTest, EmptyAndAllDeletedFiles) {
    DbfWriter empty;
    empty.Field("A", 'C', 3);
    Source none(empty);
    EXPECT_FALSE(none.dane.OpenSourceTable());
    EXPECT_FALSE(none.dane.Dbf1.has_value());

    DbfWriter deleted;
    deleted.Field("A", 'C', 3).Deleted({"x"}).Deleted({"y"});
    Source gone(deleted);
    ASSERT_TRUE(gone.dane.OpenSourceTable());
    EXPECT_EQ(gone.dane.Definition.DbfRecordCount, 2);
    EXPECT_TRUE(gone.dane.SourceAtEnd());
}

TEST(DaneDbfTest, AnUnreadableFieldIsReportedAtTheFirstRecordAndStopsTheRun) {
    // A memo field is text now, read only when used; a general field is still unreadable.
    DbfWriter w(0x83);
    w.Field("NR", 'C', 3).Field("UWAGI", 'M', 10).Field("ZDJECIE", 'G', 10);
    w.Field("FOTO", 'P', 10);
    w.Record({"1", "0000000001", "", ""});
    Source s(w);
    ASSERT_TRUE(s.dane.OpenSourceTable());
    EXPECT_EQ(s.dane.Definition.DbfFields[1].Kind, ValueKind::Text);
    EXPECT_EQ(s.dane.Definition.DbfFields[2].Kind, ValueKind::Other);
    s.dane.ReadSourceRecord();
    const std::vector<std::string> expected{"Nieznany typ dla pola nr 2 (ZDJECIE) w KLIENCI.DBF",
                                            "Nieznany typ dla pola nr 3 (FOTO) w KLIENCI.DBF"};
    EXPECT_EQ(s.dane.MigrationErrorLog, expected);
    EXPECT_TRUE(s.dane.Definition.StopRequested);
    EXPECT_TRUE(s.dane.Definition.ErrorsOccurred);
    EXPECT_EQ(s.dane.Definition.CurrentRecordNo, 0);  // a stopped record is not counted
}

TEST(DaneDbfTest, IndexOrderAndTheTemporaryIndexFile) {
    Source s(Customers(), "KLIENCI.DBF", "NRKLI");
    // A stale index of an earlier run is removed when the next indexed definition opens.
    s.folder.Write("MIGRACJA.MDX", "stale");
    ASSERT_TRUE(s.dane.OpenSourceTable());
    EXPECT_FALSE(std::filesystem::exists(s.folder / "MIGRACJA.MDX"));
    EXPECT_EQ(s.ReadAllKeys(), (std::vector<std::string>{"000001", "000002", "000003"}));

    // Without an expression the file order stays and an index file is left alone.
    Source plain(Customers(), "KLIENCI.DBF", "?");
    plain.folder.Write("MIGRACJA.MDX", "not ours to remove");
    ASSERT_TRUE(plain.dane.OpenSourceTable());
    EXPECT_EQ(plain.ReadAllKeys(), (std::vector<std::string>{"000003", "000001", "000002"}));
    plain.dane.CloseSourceTable();
    EXPECT_TRUE(std::filesystem::exists(plain.folder / "MIGRACJA.MDX"));

    Source bad(Customers(), "KLIENCI.DBF", "NIEMA+NRKLI");
    try {
        bad.dane.OpenSourceTable();
        FAIL() << "an expression over a missing field was accepted";
    } catch (const DbfError& e) {
        EXPECT_NE(std::string(e.what()).find("NIEMA+NRKLI"), std::string::npos) << e.what();
    }
}

TEST(DaneDbfTest, LockedMissingAndTruncatedFiles) {
    Source s(Customers());
    ASSERT_TRUE(s.dane.OpenSourceTable());
    TDane other;
    other.SetDbfFolder(s.folder.path().string());
    other.Definition.DbfFileName = "KLIENCI.DBF";
    try {
        other.OpenSourceTable();
        FAIL() << "a second exclusive open succeeded";
    } catch (const DbfError& e) {
        EXPECT_NE(std::string(e.what()).find("KLIENCI.DBF"), std::string::npos) << e.what();
    }
    s.dane.CloseSourceTable();
    EXPECT_TRUE(other.OpenSourceTable());  // free again once closed

    other.Definition.DbfFileName = "BRAK.DBF";
    EXPECT_THROW(other.OpenSourceTable(), DbfError);
    EXPECT_FALSE(other.Dbf1.has_value());

    DbfWriter cut = Customers();
    cut.TruncateTo(cut.RecordOffset(2) + 5);
    Source t(cut);
    ASSERT_TRUE(t.dane.OpenSourceTable());
    EXPECT_EQ(t.dane.Definition.DbfRecordCount, 2);  // the whole records present
    ASSERT_EQ(t.dane.MigrationErrorLog.size(), 1u);
    EXPECT_NE(t.dane.MigrationErrorLog[0].find("jest ucięty"_w), std::string::npos);
    EXPECT_TRUE(t.dane.Definition.ErrorsOccurred);
    EXPECT_FALSE(t.dane.Definition.StopRequested);
    EXPECT_EQ(t.ReadAllKeys(), (std::vector<std::string>{"000003"}));
}

TEST(DaneDbfTest, AFileNameWithPolishLettersIsFoundOnDisk) {
    DbfWriter w;
    w.Field("A", 'C', 3).Record({"x"});
    TempDir folder;
    w.WriteTo(folder / "ZAKŁADY.DBF");  // the file system spells names in UTF-8
    TDane dane;
    dane.SetDbfFolder(folder.path().string());
    dane.Definition.DbfFileName = "ZAKŁADY.DBF"_w;  // the definition in Windows-1250
    EXPECT_TRUE(dane.OpenSourceTable());
    // The legacy program did not mind letter case, Polish letters included.
    w.WriteTo(folder / "ŁÓDŹ.DBF");
    dane.Definition.DbfFileName = "łódź.dbf"_w;
    EXPECT_TRUE(dane.OpenSourceTable());
    dane.Definition.DbfFileName = "zakłady.dbf"_w;
    EXPECT_TRUE(dane.OpenSourceTable());
}

TEST(DaneDbfTest, SetDbfFolderIgnoresTextsOfOneCharacter) {
    TDane dane;
    dane.SetDbfFolder("/tmp/legacy");
    dane.SetDbfFolder("x");
    EXPECT_EQ(dane.DbfFolder(), "/tmp/legacy");
}

TEST(DaneDbfTest, HeaderCountsBeyondTheSigned32BitRangeAreReadAsTheRecordsPresent) {
    // 2^31 + 3 records declared, three present: the count must not turn negative and skip the
    // definition without a word.
    DbfWriter w = Customers();
    w.RecordCount(0x80000003u);
    Source s(w);
    ASSERT_TRUE(s.dane.OpenSourceTable());
    EXPECT_EQ(s.dane.Definition.DbfRecordCount, 4);
    ASSERT_EQ(s.dane.MigrationErrorLog.size(), 1u);
    EXPECT_NE(s.dane.MigrationErrorLog[0].find(
                  "nagłówek podaje 2147483651 rekordów, a w pliku jest tylko 4"_w),
              std::string::npos)
        << s.dane.MigrationErrorLog[0];
    EXPECT_EQ(s.ReadAllKeys(), (std::vector<std::string>{"000003", "000001", "000002"}));

    // Nothing present at all: skipped, but the user still learns why.
    DbfWriter none;
    none.Field("A", 'C', 3).RecordCount(0xFFFFFFFFu);
    Source empty(none);
    EXPECT_FALSE(empty.dane.OpenSourceTable());
    ASSERT_EQ(empty.dane.MigrationErrorLog.size(), 1u);
    EXPECT_NE(empty.dane.MigrationErrorLog[0].find(
                  "nagłówek podaje 4294967295 rekordów, a w pliku jest tylko 0"_w),
              std::string::npos);

    // A (sparse) file that really holds 2^31 records cannot be counted by the run's counters.
    DbfWriter huge;
    huge.Field("A", 'C', 1).RecordCount(0x80000000u).EndMarker(false);
    Source big(huge);
    std::filesystem::resize_file(big.folder / "KLIENCI.DBF",
                                 huge.HeaderBytes() + 0x80000000ull * huge.RecordBytes());
    try {
        big.dane.OpenSourceTable();
        FAIL() << "2^31 records were opened";
    } catch (const DbfError& e) {
        EXPECT_NE(std::string(e.what()).find(
                      "ma 2147483648 rekordów; przenieść można najwyżej 2147483647"),
                  std::string::npos)
            << e.what();
    }
}
