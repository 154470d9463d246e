// migracja-cli dbf dump, run as the built program on written DBF files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/Text.h"
#include "support/DbfWriter.h"
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
        w.Record({"A1", "12", "10.5", "20240229", "2024-02-29 13:45:30", "T", "12", "Żuk"_w});
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
        "field\t0\tKOD\tC\t6\t0\t1\n"
        "field\t1\tILE\tN\t4\t0\t2\n"
        "field\t2\tCENA\tN\t8\t2\t3\n"
        "field\t3\tDATA\tD\t8\t0\t4\n"
        "field\t4\tCZAS\tT\t8\t0\t4\n"
        "field\t5\tAKT\tL\t1\t0\t5\n"
        "field\t6\tUWAGI\tM\t10\t0\t0\n"
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
    expectOneLine(Dump({"dump", dir_.path().string()}), 1, "is a folder");
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
    EXPECT_EQ(r.out, "records\t3\nfields\t1\nfield\t0\tKOD\tC\t3\t0\t1\na\nb\n");
    EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("UCIETY.DBF"), std::string::npos) << r.err;
}
