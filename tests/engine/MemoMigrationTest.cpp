// Memo fields and unreadable values in a run: definitions load, prepare and run on real DBF and
// memo files into a fresh database.

#include <gtest/gtest.h>

#include <string>

#include "EngineFixture.h"
#include "support/FixtureTools.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::DbfWriter;
using migracja::testing::EngineFixture;

namespace {

constexpr const char* kNotes =
    "CREATE TABLE NOTATKI (ID INTEGER NOT NULL, PLIK VARCHAR(10), TRESC VARCHAR(2000), "
    "KROTKA VARCHAR(8), OPIS BLOB SUB_TYPE TEXT, KWOTA NUMERIC(15,4))";

// Table 0 is written when its SQL condition finds no row.
constexpr const char* kAlwaysInsert = "Warunek_0=SELECT COUNT(*) FROM RDB$DATABASE WHERE 1=0";

std::string LongText() {
    std::string s;
    for (int i = 0; s.size() < 1500; ++i) s += "linia " + std::to_string(i) + "\r\n";
    return s;
}

// A dBase III file with a number, a name and a memo per record, and its memo file: each text in
// its own block, ended by 0x1A as dBase III ends it.
void DBase3WithMemos(EngineFixture& f, const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& rows,
                     bool withMemoFile = true) {
    DbfWriter w(0x83);
    w.Field("NR", 'N', 4).Field("NAZWA", 'C', 10).Field("UWAGI", 'M', 10);
    std::string blocks;
    int block = 1;
    for (const auto& [nr, memo] : rows) {
        std::string pointer = memo.empty() ? "" : std::to_string(block);
        pointer.insert(0, 10 - pointer.size(), ' ');
        w.Record({nr, "n" + nr, pointer});
        if (memo.empty()) continue;
        std::string entry = memo + "\x1A\x1A";
        entry.resize((entry.size() + 511) / 512 * 512, '\0');
        block += static_cast<int>(entry.size() / 512);
        blocks += entry;
    }
    f.Dbf(name + ".DBF", w);
    if (!withMemoFile) return;
    std::string header(512, '\0');
    header[0] = static_cast<char>(block);
    f.dir.Write(name + ".DBT", header + blocks);
}

std::vector<std::string> NotesDefinition(const std::string& file, const std::string& encoding,
                                         const std::string& memoColumn) {
    return {"[START]",
            "PlikDBF=" + file,
            "Kodowanie=" + encoding,
            "Tabela_0=NOTATKI",
            "[WARUNKI_SQL]",
            kAlwaysInsert,
            "[Tabela0]",
            "ID=PLIKDBF->NR",
            "PLIK=(C)" + file,
            memoColumn + "=PLIKDBF->UWAGI"};
}

}  // namespace

TEST(MemoMigrationTest, AMemoFieldTheDefinitionDoesNotUseIsNeitherReadNorAnObstacle) {
    EngineFixture f(kNotes);
    // The memo file is missing altogether: a run that does not use the memo does not notice.
    DBase3WithMemos(f, "BEZ", {{"1", "nieużywana"_w}, {"2", ""}}, false);
    ASSERT_TRUE(f.Prepare(
        f.Definition({"[START]", "PlikDBF=BEZ.DBF", "Tabela_0=NOTATKI", "[WARUNKI_SQL]",
                      kAlwaysInsert, "[Tabela0]", "ID=PLIKDBF->NR", "PLIK=PLIKDBF->NAZWA"})))
        << f.Log();
    EXPECT_EQ(f.dane.Definition.DbfFields[2].Kind, ValueKind::Text);
    EXPECT_FALSE(f.dane.Definition.DbfFields[2].Used);
    f.Run();
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    EXPECT_EQ(f.Log(), "");
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM NOTATKI"), 2);
    EXPECT_EQ(f.dane.Definition.DbfFields[2].TextValue, "");
}

TEST(MemoMigrationTest, MemosOfEveryFormatReachAVarcharColumnThroughTheDefinitionsCodePage) {
    if (const std::string why = migracja::testing::PythonDbfMissing(); !why.empty())
        GTEST_SKIP() << why;
    if (const std::string why = migracja::testing::PerlXBaseMissing(); !why.empty())
        GTEST_SKIP() << why;
    EngineFixture f(kNotes);
    // "Żółw gęś" in Mazovia (passed through cp437, whose characters map one to one onto bytes)
    // and in code page 852.
    migracja::testing::RunPythonDbf(f.dir.path(), R"(
long = ''
i = 0
while len(long) < 1500:
    long += 'linia %d\r\n' % i
    i += 1
mazovia = b'\xa1\xa2\x92w g\x91\x9e'.decode('cp437')
for name, kind, text, page in (('MD3', 'db3', mazovia, 'cp437'), ('LFP', 'fp', 'Żółw gęś', 'cp852'),
                               ('LVFP', 'vfp', 'Żółw gęś', 'cp852')):
    t = dbf.Table(name + '.DBF', 'NR N(4,0); UWAGI M', dbf_type=kind, codepage=page)
    t.open(mode=dbf.READ_WRITE)
    for row in ((1, text), (2, ''), (3, long)):
        t.append(row)
    t.close()
)");
    migracja::testing::RunPerlXBase(f.dir.path(), R"(
my $long = ''; my $i = 0;
while (length($long) < 1500) { $long .= "linia $i\r\n"; $i++; }
my $t = XBase->create(name => 'ld4.dbf', version => 0x8B, field_names => ['NR', 'UWAGI'],
    field_types => ['N', 'M'], field_lengths => [4, 10], field_decimals => [0, 0])
    or die XBase->errstr;
$t->set_record(0, 1, "\xBD\xA2\x88w g\xA9\x98") or die $t->errstr;
$t->set_record(1, 2, '') or die $t->errstr;
$t->set_record(2, 3, $long) or die $t->errstr;
$t->close;
)");
    int n = 0;
    for (const auto& [file, encoding] :
         std::vector<std::pair<std::string, std::string>>{{"MD3.DBF", "Mazovia"},
                                                          {"LFP.DBF", "Latin2"},
                                                          {"LVFP.DBF", "Latin2"},
                                                          {"LD4.DBF", "Latin2"}}) {
        SCOPED_TRACE(file);
        const auto definition = f.Definition(NotesDefinition(file, encoding, "TRESC"),
                                             "0" + std::to_string(++n) + ".ini");
        ASSERT_TRUE(f.Prepare(definition)) << f.Log();
        EXPECT_TRUE(f.dane.Definition.DbfFields[1].Used);
        f.Run();
        EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
        const std::string where = " FROM NOTATKI WHERE PLIK = '" + file + "' AND ID = ";
        EXPECT_EQ(f.db.Scalar("SELECT TRESC" + where + "1"), "Żółw gęś"_w);
        EXPECT_EQ(f.Count("SELECT COUNT(*)" + where + "2 AND TRESC IS NULL"), 1);
        // Line breaks inside stay; those that end the memo go, as every text is written and
        // compared without the blanks and control characters that end it.
        EXPECT_EQ(f.db.Scalar("SELECT TRESC" + where + "3"), text::TrimRight(LongText()));
    }
}

TEST(MemoMigrationTest, AMemoMappedToABlobColumnIsWrittenWhole) {
    EngineFixture f(kNotes);
    std::string big;
    for (int i = 0; big.size() < 70000; ++i) big += "Zażółć gęślą jaźń "_w + std::to_string(i);
    DBase3WithMemos(f, "DUZE", {{"1", big}, {"2", "krótka"_w}});
    ASSERT_TRUE(f.Prepare(f.Definition(NotesDefinition("DUZE.DBF", "?", "OPIS")))) << f.Log();
    f.Run();
    EXPECT_FALSE(f.dane.Definition.StopRequested) << f.Log();
    EXPECT_EQ(f.db.Scalar("SELECT OPIS FROM NOTATKI WHERE ID = 1"), big);
    EXPECT_EQ(f.db.Scalar("SELECT OPIS FROM NOTATKI WHERE ID = 2"), "krótka"_w);
}

TEST(MemoMigrationTest, AMemoGetsTheLengthCheckAndDescramblingOfAnyText) {
    EngineFixture f(kNotes);
    const calc::ScramblingConstants constants = calc::kDefaultScramblingConstants;
    DBase3WithMemos(f, "SZYFR",
                    {{"1", calc::DescrambleText("Ala", constants)},
                     {"2", calc::DescrambleText("za długi tekst"_w, constants)}});
    auto lines = NotesDefinition("SZYFR.DBF", "?", "KROTKA");
    lines.insert(lines.begin() + 2, {"DeSzyfrowanieOd=1", "DeSzyfrowanieDo=3"});
    ASSERT_TRUE(f.Prepare(f.Definition(lines))) << f.Log();
    f.dane.Scrambling = constants;
    try {
        f.Run();
        FAIL() << "the value was taken";
    } catch (const fb::Error& e) {
        const std::string message = text::Win1250ToUtf8(e.Message());
        EXPECT_NE(message.find("does not fit VARCHAR(8)"), std::string::npos) << message;
        EXPECT_NE(message.find("Dana:  »za długi tekst«  jest za długa !"), std::string::npos)
            << message;
    }
    EXPECT_EQ(f.db.Scalar("SELECT KROTKA FROM NOTATKI WHERE ID = 1"), "Ala");
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM NOTATKI"), 1);
}

TEST(MemoMigrationTest, ADamagedMemoStopsTheRunAtItsRecordNamingFileFieldAndRecord) {
    EngineFixture f(kNotes);
    DBase3WithMemos(f, "ZLE", {{"1", "dobra"}, {"2", "zła"_w}});
    // The second memo's block now lies past the end of the memo file.
    std::filesystem::resize_file(f.dir / "ZLE.DBT", 1024);
    ASSERT_TRUE(f.Prepare(f.Definition(NotesDefinition("ZLE.DBF", "?", "TRESC")))) << f.Log();
    f.Run();
    EXPECT_TRUE(f.dane.Definition.StopRequested);
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM NOTATKI"), 1);
    EXPECT_TRUE(
        f.LogHas("ZLE.DBT jest uszkodzony: numer bloku 2 wskazuje poza koniec pliku memo "
                 "(1024 bajtów) (pole UWAGI, rekord nr 2 pliku DBF"))
        << f.Log();
    EXPECT_TRUE(f.LogHas("Nr odczytanego rekordu = 1")) << f.Log();
}

TEST(MemoMigrationTest, ANumberThatCannotBeReadIsAnErrorOfItsRecordWithFieldAndBytes) {
    EngineFixture f(kNotes);
    DbfWriter w;
    w.Field("NR", 'N', 4).Field("KWOTA", 'N', 8, 2);
    w.Record({"1", "  12,50 "}).Record({"2", "********"}).Record({"3", ""});
    f.Dbf("KWOTY.DBF", w);
    ASSERT_TRUE(f.Prepare(
        f.Definition({"[START]", "PlikDBF=KWOTY.DBF", "Tabela_0=NOTATKI", "[WARUNKI_SQL]",
                      kAlwaysInsert, "[Tabela0]", "ID=PLIKDBF->NR", "KWOTA=PLIKDBF->KWOTA"})))
        << f.Log();
    f.Run();
    EXPECT_TRUE(f.dane.Definition.StopRequested);
    EXPECT_EQ(f.db.Scalar("SELECT KWOTA FROM NOTATKI WHERE ID = 1"), "12.5");
    EXPECT_EQ(f.Count("SELECT COUNT(*) FROM NOTATKI"), 1);
    EXPECT_TRUE(
        f.LogHas("Nieczytelna wartość pola KWOTA (nr 1) w rekordzie nr 2 pliku KWOTY.DBF: "
                 "\"********\""))
        << f.Log();
}
