// Memo fields and the Visual FoxPro types: files written by python3-dbf and Perl's XBase, and
// memo files built byte by byte for the damaged cases.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Text.h"
#include "dbf/DbfTable.h"
#include "support/DbfWriter.h"
#include "support/FixtureTools.h"
#include "support/TempDir.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::dbf::DbfError;
using migracja::dbf::DbfMemo;
using migracja::dbf::DbfTable;
using migracja::testing::DbfWriter;
using migracja::testing::TempDir;

namespace {

// "Żółw gęś" in code page 852 and in Mazovia, as the legacy programs stored it.
const std::string kCp852 = "\xBD\xA2\x88w g\xA9\x98";
const std::string kMazovia = "\xA1\xA2\x92w g\x91\x9E";

// A long memo that spans several blocks of every format.
std::string LongText() {
    std::string s;
    for (int i = 0; s.size() < 1500; ++i) s += "linia " + std::to_string(i) + "\r\n";
    return s;
}

std::vector<std::string> AllMemos(DbfTable& t, int field) {
    std::vector<std::string> memos;
    for (bool more = t.First(); more; more = t.Next()) memos.emplace_back(t.AsMemo(field));
    return memos;
}

std::string MemoError(DbfTable& t, int field) {
    try {
        t.AsMemo(field);
    } catch (const DbfError& e) {
        return e.what();
    }
    ADD_FAILURE() << "the memo was read";
    return {};
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A memo file image: 512-byte header with the given bytes at its start, then the blocks.
std::string MemoImage(const std::string& header, const std::string& blocks) {
    std::string image = header;
    image.resize(512, '\0');
    return image + blocks;
}

std::string Be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

}  // namespace

TEST(DbfMemoTest, MemosOfDBaseIIIFoxProAndVisualFoxProFilesWrittenByPythonDbf) {
    if (const std::string why = migracja::testing::PythonDbfMissing(); !why.empty())
        GTEST_SKIP() << why;
    TempDir dir;
    // The code-page text goes in as the characters cp437 gives those bytes, so the file holds
    // exactly the Mazovia bytes whatever the writer converts.
    migracja::testing::RunPythonDbf(dir.path(), R"(
long = ''
i = 0
while len(long) < 1500:
    long += 'linia %d\r\n' % i
    i += 1
polish = b'\xa1\xa2\x92w g\x91\x9e'.decode('cp437')
for name, kind in (('d3', 'db3'), ('fp', 'fp'), ('vfp', 'vfp')):
    t = dbf.Table(name.upper() + '.DBF', 'NR C(3); UWAGI M', dbf_type=kind, codepage='cp437')
    t.open(mode=dbf.READ_WRITE)
    for row in (('1', polish), ('2', ''), ('3', long), ('4', 'dwie\r\nlinie')):
        t.append(row)
    t.close()
)");
    const std::vector<std::string> expected = {kMazovia, "", LongText(), "dwie\r\nlinie"};
    for (const char* name : {"D3.DBF", "FP.DBF", "VFP.DBF"}) {
        SCOPED_TRACE(name);
        DbfTable t = DbfTable::Open(dir / name);
        ASSERT_TRUE(t.Memo().has_value());
        EXPECT_EQ(t.Field(1).kind, ValueKind::Text);
        EXPECT_EQ(AllMemos(t, 1), expected);
    }
    EXPECT_EQ(DbfTable::Open(dir / "D3.DBF").Memo()->GetFormat(), DbfMemo::Format::DBase3);
    EXPECT_EQ(DbfTable::Open(dir / "FP.DBF").Memo()->GetFormat(), DbfMemo::Format::Fox);
}

TEST(DbfMemoTest, MemosOfDBaseIIIAndIVFilesWrittenByPerlXBase) {
    if (const std::string why = migracja::testing::PerlXBaseMissing(); !why.empty())
        GTEST_SKIP() << why;
    TempDir dir;
    migracja::testing::RunPerlXBase(dir.path(), R"(
my $long = ''; my $i = 0;
while (length($long) < 1500) { $long .= "linia $i\r\n"; $i++; }
for my $v (3, 0x8B) {
    my $t = XBase->create(name => "p$v.dbf", version => $v, field_names => ['NR', 'UWAGI'],
        field_types => ['C', 'M'], field_lengths => [3, 10], field_decimals => [0, 0])
        or die XBase->errstr;
    my @memos = ("\xBD\xA2\x88w g\xA9\x98", '', $long, "dwie\r\nlinie");
    for my $r (0 .. $#memos) { $t->set_record($r, $r + 1, $memos[$r]) or die $t->errstr; }
    $t->close;
}
)");
    const std::vector<std::string> expected = {kCp852, "", LongText(), "dwie\r\nlinie"};
    DbfTable three = DbfTable::Open(dir / "p3.dbf");
    EXPECT_EQ(three.Memo()->GetFormat(), DbfMemo::Format::DBase3);
    EXPECT_EQ(AllMemos(three, 1), expected);
    DbfTable four = DbfTable::Open(dir / "p139.dbf");
    EXPECT_EQ(four.Memo()->GetFormat(), DbfMemo::Format::DBase4);
    EXPECT_EQ(AllMemos(four, 1), expected);
}

TEST(DbfMemoTest, TheMemoFileIsFoundInAnyLetterCaseAndLockedWithItsDbfFile) {
    TempDir dir;
    DbfWriter w(0x83);
    w.Field("UWAGI", 'M', 10).Record({"         1"});
    w.WriteTo(dir / "NOTATKI.DBF");
    dir.Write("notatki.dbt", MemoImage("\x02", "tekst\x1A\x1A"));
    {
        DbfTable t = DbfTable::Open(dir / "NOTATKI.DBF");
        EXPECT_EQ(t.Memo()->Path(), dir / "notatki.dbt");
        EXPECT_EQ(t.AsMemo(0), "tekst");
        // While the table is open nobody else may open the memo file, shared or not.
        EXPECT_THROW(DbfMemo::Open(dir / "notatki.dbt", 0x83, false), DbfError);
    }
    EXPECT_NO_THROW(DbfMemo::Open(dir / "notatki.dbt", 0x83, true));
}

TEST(DbfMemoTest, AMissingOrDamagedMemoFileIsAnErrorNamingFileFieldAndRecord) {
    TempDir dir;
    const auto open = [&](std::uint8_t version, const std::string& pointer, const std::string& memo,
                          const char* extension) {
        DbfWriter w(version);
        w.Field("NR", 'C', 2).Field("UWAGI", 'M', static_cast<int>(pointer.size()));
        w.Record({"1", std::string(pointer.size(), ' ')}).RawRecord(" 2 " + pointer);
        const std::string name = "ZLY" + std::to_string(version);
        w.WriteTo(dir / (name + ".DBF"));
        for (const char* e : {".DBT", ".FPT"}) std::filesystem::remove(dir / (name + e));
        if (extension) dir.Write(name + extension, memo);
        DbfTable t = DbfTable::Open(dir / (name + ".DBF"));
        EXPECT_EQ(t.AsMemo(1), "");  // a blank pointer is no memo, the file is not needed
        EXPECT_TRUE(t.Next());
        return t;
    };
    const auto expectError = [&](DbfTable t, const std::string& reason) {
        const std::string message = MemoError(t, 1);
        EXPECT_TRUE(Contains(message, reason)) << message;
        EXPECT_TRUE(Contains(message, "pole UWAGI, rekord nr 2")) << message;
        EXPECT_TRUE(Contains(message, t.Path().string())) << message;
    };
    const std::string dBase3Header = "\x09";
    // dBase III: block numbers in ten digits, text up to 0x1A.
    expectError(open(0x83, "         1", "", nullptr), "Brak pliku memo (ZLY131.DBT albo");
    expectError(open(0x83, "         9", MemoImage(dBase3Header, "abc\x1A"), ".DBT"),
                "numer bloku 9 wskazuje poza koniec pliku memo (516 bajtów)");
    expectError(open(0x83, "         1", MemoImage(dBase3Header, std::string(3000, 'a')), ".DBT"),
                "nie ma znaku końca (0x1A) przed końcem pliku memo");
    expectError(open(0x83, "   1x     ", MemoImage(dBase3Header, "abc\x1A"), ".DBT"),
                "Nieczytelny numer bloku memo \"   1x     \"");
    // dBase IV: a length before the text; the length may not reach past the file.
    const std::string dBase4Header =
        std::string("\x03", 1) + std::string(19, '\0') + std::string("\x00\x02", 2);
    expectError(
        open(0x8B, "         1",
             MemoImage(dBase4Header, std::string("\xFF\xFF\x08\x00\xFF\xFF\xFF\x7F", 8)), ".DBT"),
        "wykracza poza koniec pliku memo");
    // FoxPro: block size and entries big-endian, typed.
    const std::string foxHeader = Be32(3) + std::string("\0\0\0\x40", 4);
    expectError(open(0xF5, "         1", MemoImage(foxHeader, ""), ".FPT"),
                "wskazuje na nagłówek pliku memo");
    expectError(open(0xF5, "         8", MemoImage(foxHeader, Be32(0) + Be32(4) + "GIF8"), ".FPT"),
                "jest obrazem, nie tekstem");
    expectError(open(0xF5, "         8", MemoImage(foxHeader, Be32(2) + Be32(4) + "OLE!"), ".FPT"),
                "zawiera dane binarne (typ 2), nie tekst");
    expectError(
        open(0xF5, "         8", MemoImage(foxHeader, Be32(1) + Be32(0xFFFFFFF0u) + "abc"), ".FPT"),
        "długość wpisu w bloku 8 (4294967280 bajtów) wykracza poza koniec pliku memo");
    // Visual FoxPro: a four-byte binary block number.
    expectError(open(0x30, DbfWriter::Int32Bytes(100),
                     MemoImage(foxHeader, Be32(1) + Be32(2) + "ok"), ".FPT"),
                "numer bloku 100 wskazuje poza koniec pliku memo");
    DbfTable good = open(0x30, DbfWriter::Int32Bytes(8),
                         MemoImage(foxHeader, Be32(1) + Be32(2) + "ok"), ".FPT");
    EXPECT_EQ(good.AsMemo(1), "ok");
}

TEST(DbfMemoTest, VisualFoxProCurrencyDoubleIntegerAndDateTimeWrittenByPythonDbf) {
    if (const std::string why = migracja::testing::PythonDbfMissing(); !why.empty())
        GTEST_SKIP() << why;
    TempDir dir;
    migracja::testing::RunPythonDbf(dir.path(), R"(
from decimal import Decimal
import datetime
t = dbf.Table('VFP.DBF', 'CENA Y; KURS B; ILE I; CZAS T', dbf_type='vfp', codepage='cp1250')
t.open(mode=dbf.READ_WRITE)
t.append((Decimal('922337203685477.5807'), 1.23456789, -7, datetime.datetime(2024, 2, 29, 13, 45, 30)))
t.append((Decimal('-12.3456'), -2.5, 2147483646, None))
t.close()
)");
    DbfTable t = DbfTable::Open(dir / "VFP.DBF");
    EXPECT_EQ(t.CodePageMark(), 0xC8);
    EXPECT_EQ(dbf::CodePageOfMark(t.CodePageMark()), 1250);
    const std::vector<std::pair<char, ValueKind>> kinds = {{'Y', ValueKind::Money},
                                                           {'B', ValueKind::Money},
                                                           {'I', ValueKind::Integer},
                                                           {'T', ValueKind::Date}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(t.Field(i).type, kinds[i].first);
        EXPECT_EQ(t.Field(i).kind, kinds[i].second);
    }
    // Currency is the money form itself: the largest amount survives to the last digit.
    EXPECT_EQ(t.AsMoney(0), Money::FromRaw(9223372036854775807));
    EXPECT_EQ(t.AsMoney(1), Money::FromRaw(12346));
    EXPECT_EQ(t.AsInteger(2), -7);
    EXPECT_DOUBLE_EQ(t.AsDateTime(3), EncodeDateTime({2024, 2, 29, 13, 45, 30, 0}));
    ASSERT_TRUE(t.Next());
    EXPECT_EQ(t.AsMoney(0), Money::FromRaw(-123456));
    EXPECT_EQ(t.AsMoney(1), Money::FromRaw(-25000));
    EXPECT_EQ(t.AsInteger(2), 2147483646);
    EXPECT_EQ(t.AsDateTime(3), 0);
}

TEST(DbfMemoTest, BIsABinaryMemoOutsideVisualFoxProAndIsNotReadAsANumber) {
    TempDir dir;
    DbfWriter w(0x8B);
    w.Field("BIN", 'B', 10).Record({"         1"});
    w.WriteTo(dir / "B.DBF");
    DbfTable t = DbfTable::Open(dir / "B.DBF");
    EXPECT_EQ(t.Field(0).kind, ValueKind::Other);
    EXPECT_THROW(t.AsMoney(0), DbfError);
}
