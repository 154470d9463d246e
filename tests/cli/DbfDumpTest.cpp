// migracja-cli dbf dump, run as the built program on written DBF files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Text.h"
#include "support/DbfWriter.h"
#include "support/FixtureTools.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

using namespace migracja::literals;
using migracja::testing::DbfWriter;
using migracja::testing::TempDir;

namespace {

using DumpRun = migracja::testing::CliResult;

DumpRun Dump(std::vector<std::string> args) {
    args.insert(args.begin(), "dbf");
    return migracja::testing::RunCli(args);
}

class DbfDumpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DbfWriter w;
        w.Field("KOD", 'C', 6)
            .Field("ILE", 'N', 4)
            .Field("CENA", 'N', 8, 2)
            .Field("DATA", 'D', 8)
            .Field("CZAS", 'T', 8)
            .Field("AKT", 'L', 1)
            .Field("UWAGI", 'M', 10)
            .Field("NAZWA", 'C', 12);
        w.Record({"A1", "12", "10.5", "20240229", "2024-02-29 13:45:30", "T", "", "Żuk"_w});
        w.Deleted({"X", "1", "1", "", "", "T", "", "usunięty"_w});
        w.Record({" B\tx", "", "", "", "2024-03-01", "?", "", "a\\b"});
        w.Record({"C", "****", "-0.01", "20241301", "", "t", "", "Alfa"});
        w.WriteTo(file_);
    }

    TempDir dir_;
    std::string file_ = (dir_ / "TOWARY.DBF").string();
    const std::string header_ =
        "records\t4\n"
        "fields\t8\n"
        "codepage\t0x00\t-\n"
        "memo\t-\n"
        "field\t0\tKOD\tC\t6\t0\t1\n"
        "field\t1\tILE\tN\t4\t0\t2\n"
        "field\t2\tCENA\tN\t8\t2\t3\n"
        "field\t3\tDATA\tD\t8\t0\t4\n"
        "field\t4\tCZAS\tT\t8\t0\t4\n"
        "field\t5\tAKT\tL\t1\t0\t5\n"
        "field\t6\tUWAGI\tM\t10\t0\t1\n"
        "field\t7\tNAZWA\tC\t12\t0\t1\n";
    const std::string a1_ =
        "A1\t12\t10.5000\t2024-02-29\t2024-02-29 13:45:30\tT\t\t" + "Żuk"_w + "\n";
    const std::string b_ = " B\\tx\t0\t0.0000\t\t2024-03-01\tN\t\ta\\\\b\n";
    const std::string c_ = "C\t0\t-0.0100\t\t\tT\t\tAlfa\n";
};

}  // namespace

TEST_F(DbfDumpTest, PrintsTheHeaderAndTheVisitedRecordsAsTheMigrationReadsThem) {
    const DumpRun r = Dump({"dump", file_});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, header_ + a1_ + b_ + c_);
}

TEST_F(DbfDumpTest, FollowsAnIndexExpressionLongerThanTwoCharacters) {
    const DumpRun r = Dump({"dump", file_, "--index", "upper(NAZWA)"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, header_ + c_ + b_ + a1_);  // ALFA, A\B, ŻUK
    // "?" is how definitions say "no index".
    EXPECT_EQ(Dump({"dump", file_, "--index", "?"}).out, header_ + a1_ + b_ + c_);
}

TEST_F(DbfDumpTest, BadInputGivesOneLineOnStderrAndAFailingStatus) {
    const auto expectOneLine = [](const DumpRun& r, int status, const std::string& part) {
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    };
    expectOneLine(Dump({"dump", (dir_ / "BRAK.DBF").string()}), 1, "BRAK.DBF");
    expectOneLine(Dump({"dump", file_, "--index", "NAZWA+ILE"}), 1, "\"NAZWA+ILE\"");
    expectOneLine(Dump({"dump", dir_.path().string()}), 1, "jest folderem");
    dir_.Write("TEKST.DBF", "zwykly tekst");
    expectOneLine(Dump({"dump", (dir_ / "TEKST.DBF").string()}), 1, "nie jest plikiem DBF");
    expectOneLine(Dump({}), 2, "usage");
    expectOneLine(Dump({"dump"}), 2, "usage");
    expectOneLine(Dump({"show", file_}), 2, "usage");
    expectOneLine(Dump({"dump", file_, "--order", "KOD"}), 2, "--order");
}

TEST_F(DbfDumpTest, ATruncatedFileIsDumpedUpToItsLastWholeRecordWithAWarning) {
    DbfWriter w;
    w.Field("KOD", 'C', 3);
    w.Record({"a"}).Record({"b"}).Record({"c"}).TruncateTo(w.RecordOffset(2) + 1);
    w.WriteTo(dir_ / "UCIETY.DBF");
    const DumpRun r = Dump({"dump", (dir_ / "UCIETY.DBF").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "records\t3\nfields\t1\ncodepage\t0x00\t-\nfield\t0\tKOD\tC\t3\t0\t1\na\nb\n");
    EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("UCIETY.DBF jest ucięty"), std::string::npos) << r.err;

    // Records past the header's count are not dumped, but reported.
    DbfWriter more;
    more.Field("KOD", 'C', 3);
    more.Record({"a"}).Record({"b"}).Record({"c"}).RecordCount(1).WriteTo(dir_ / "DLUGI.DBF");
    const DumpRun m = Dump({"dump", (dir_ / "DLUGI.DBF").string()});
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.out, "records\t1\nfields\t1\ncodepage\t0x00\t-\nfield\t0\tKOD\tC\t3\t0\t1\na\n");
    EXPECT_NE(
        m.err.find("DLUGI.DBF zawiera 2 rekordów za ostatnim rekordem liczonym w nagłówku (1)"),
        std::string::npos)
        << m.err;
}

TEST_F(DbfDumpTest, AMissingMemoFileStopsTheDumpAtTheFirstMemoWithOneLine) {
    DbfWriter w(0x83);
    w.Field("KOD", 'C', 3).Field("UWAGI", 'M', 10);
    w.Record({"a", ""}).Record({"b", "         1"}).WriteTo(dir_ / "NOTKI.DBF");
    const DumpRun r = Dump({"dump", (dir_ / "NOTKI.DBF").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find("Brak pliku memo (NOTKI.DBT albo NOTKI.FPT) obok pliku DBF (pole UWAGI, "
                         "rekord nr 2 pliku DBF"),
              std::string::npos)
        << r.err;
}

TEST_F(DbfDumpTest, ShowsMemoTextsTheVisualFoxProTypesAndTheCodePageMark) {
    if (const std::string why = migracja::testing::PythonDbfMissing(); !why.empty())
        GTEST_SKIP() << why;
    migracja::testing::RunPythonDbf(dir_.path(), R"(
from decimal import Decimal
import datetime
t = dbf.Table('VFP.DBF', 'NR I; CENA Y; KURS B; CZAS T; UWAGI M', dbf_type='vfp', codepage='cp852')
t.open(mode=dbf.READ_WRITE)
t.append((1, Decimal('1234.5678'), 0.25, datetime.datetime(2024, 2, 29, 13, 45, 30), 'dwie\r\nlinie\tz tabem'))
t.append((2, Decimal('-0.0001'), -1.5, None, ''))
t.close()
)");
    const DumpRun r = Dump({"dump", (dir_ / "VFP.DBF").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string memo = "memo\t" + (dir_ / "VFP.FPT").string() + "\n";
    EXPECT_EQ(r.out.substr(0, r.out.find("field\t")),
              "records\t2\nfields\t5\ncodepage\t0x1f\t852\n" + memo);
    const std::string fields = r.out.substr(r.out.find("field\t"));
    EXPECT_EQ(fields,
              "field\t0\tNR\tI\t4\t0\t2\n"
              "field\t1\tCENA\tY\t8\t0\t3\n"
              "field\t2\tKURS\tB\t8\t0\t3\n"
              "field\t3\tCZAS\tT\t8\t0\t4\n"
              "field\t4\tUWAGI\tM\t4\t0\t1\n"
              "1\t1234.5678\t0.2500\t2024-02-29 13:45:30\tdwie\\r\\nlinie\\tz tabem\n"
              "2\t-0.0001\t-1.5000\t\t\n");
}
