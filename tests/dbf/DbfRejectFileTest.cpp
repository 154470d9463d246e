// The file of rejected records: the source's structure, the records byte for byte, and a valid
// file whenever it is looked at, even after the writer was killed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "dbf/DbfRejectFile.h"
#include "dbf/DbfTable.h"
#include "support/DbfWriter.h"
#include "support/TempDir.h"

using namespace migracja;
using migracja::dbf::DbfError;
using migracja::dbf::DbfRejectFile;
using migracja::dbf::DbfTable;
using migracja::testing::DbfWriter;
using migracja::testing::ReadFileBytes;
using migracja::testing::TempDir;

namespace {

DbfWriter Source(std::uint8_t version, int records) {
    DbfWriter w(version);
    w.Field("NRKLI", 'C', 6).Field("NAZWA", 'C', 20).Field("ILOSC", 'N', 5, 1);
    w.Field("DATA", 'D', 8).Field("CZY", 'L', 1);
    for (int i = 1; i <= records; ++i)
        w.Record({"K" + std::to_string(i), "Firma \xB3\xF3" + std::to_string(i),
                  std::to_string(i) + ".5", "20240229", i % 2 ? "T" : "F"},
                 i == 2);
    return w;
}

std::uint32_t CountInHeader(const std::string& bytes) {
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<unsigned char>(bytes[4 + i]);
    return n;
}

// Runs python3-dbf, a reader written independently of this one, on the file; its output lines.
std::string PythonDbf(const std::filesystem::path& file) {
    const std::string script =
        "import dbf, sys\n"
        "t = dbf.Table(sys.argv[1]); t.open()\n"
        "print(len(t))\n"
        "for r in t: print(r.nrkli.strip(), r.ilosc, r.data, dbf.is_deleted(r))\n";
    TempDir dir;
    dir.Write("read.py", script);
    const std::string command =
        "/usr/bin/python3 " + (dir / "read.py").string() + " '" + file.string() + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string out;
    char buf[256];
    while (pipe && std::fgets(buf, sizeof buf, pipe.get())) out += buf;
    return out;
}

}  // namespace

TEST(DbfRejectFileTest, HoldsTheChosenRecordsByteForByteUnderTheSourcesHeader) {
    for (std::uint8_t version : {std::uint8_t{0x03}, std::uint8_t{0x30}}) {
        SCOPED_TRACE(static_cast<int>(version));
        TempDir dir;
        const DbfWriter w = Source(version, 6);
        w.WriteTo(dir / "TARV01.DBF");
        const std::string source = ReadFileBytes(dir / "TARV01.DBF");

        DbfRejectFile rejects = DbfRejectFile::Create(dir / "R.DBF", dir / "TARV01.DBF");
        EXPECT_EQ(CountInHeader(ReadFileBytes(dir / "R.DBF")), 0u);
        EXPECT_EQ(DbfTable::Open(dir / "R.DBF").AvailableRecordCount(), 0u);

        DbfTable table = DbfTable::Open(dir / "TARV01.DBF");
        std::vector<std::string> taken;
        for (bool more = table.First(); more; more = table.Next())
            if (table.RecordNumber() != 3) {
                taken.emplace_back(table.RecordBytes());
                rejects.Append(table.RecordBytes());
            }
        ASSERT_EQ(rejects.RecordCount(), 4u);  // 6 less the deleted 2 and the skipped 3
        // Counted in the header only once flushed.
        EXPECT_EQ(CountInHeader(ReadFileBytes(dir / "R.DBF")), 0u);
        EXPECT_EQ(DbfTable::Open(dir / "R.DBF").RecordCount(), 0u);
        rejects.Flush();

        const std::string bytes = ReadFileBytes(dir / "R.DBF");
        const std::size_t header = w.HeaderBytes(), length = w.RecordBytes();
        ASSERT_EQ(bytes.size(), header + 4 * length + 1);
        EXPECT_EQ(bytes.back(), '\x1A');
        EXPECT_EQ(CountInHeader(bytes), 4u);
        // Fields, lengths and the rest of the header as the source has them; only the date of the
        // last change and the count are the copy's own.
        EXPECT_EQ(bytes[0], source[0]);
        EXPECT_EQ(bytes.substr(8, header - 8), source.substr(8, header - 8));
        for (std::size_t i = 0; i < taken.size(); ++i)
            EXPECT_EQ(bytes.substr(header + i * length, length), taken[i]) << i;

        DbfTable copy = DbfTable::Open(dir / "R.DBF");
        EXPECT_FALSE(copy.IsTruncated());
        std::vector<std::string> keys;
        for (bool more = copy.First(); more; more = copy.Next()) keys.emplace_back(copy.AsText(0));
        EXPECT_EQ(keys, (std::vector<std::string>{"K1", "K4", "K5", "K6"}));
    }
}

TEST(DbfRejectFileTest, ARecordMarkedDeletedIsCopiedUndeletedAndAnIndependentReaderAgrees) {
    TempDir dir;
    Source(0x03, 3).WriteTo(dir / "TARV01.DBF");
    const std::string source = ReadFileBytes(dir / "TARV01.DBF");
    const DbfWriter w = Source(0x03, 3);
    std::string deleted = source.substr(w.RecordOffset(1), w.RecordBytes());
    ASSERT_EQ(deleted[0], '*');

    {
        DbfRejectFile rejects = DbfRejectFile::Create(dir / "R.DBF", dir / "TARV01.DBF");
        rejects.Append(source.substr(w.RecordOffset(0), w.RecordBytes()));
        rejects.Append(deleted);
        EXPECT_THROW(rejects.Append(deleted.substr(1)), DbfError);
        EXPECT_EQ(rejects.RecordCount(), 2u);
    }
    const std::string bytes = ReadFileBytes(dir / "R.DBF");
    deleted[0] = ' ';
    EXPECT_EQ(bytes.substr(w.RecordOffset(1), w.RecordBytes()), deleted);

    EXPECT_EQ(PythonDbf(dir / "R.DBF"), "2\nK1 1.5 2024-02-29 False\nK2 2.5 2024-02-29 False\n");
}

TEST(DbfRejectFileTest, ASourceThatIsNotADbfFileIsRefusedAndNothingIsLeft) {
    TempDir dir;
    dir.Write("TARV01.DBF", "short");
    EXPECT_THROW(DbfRejectFile::Create(dir / "R.DBF", dir / "TARV01.DBF"), DbfError);
    EXPECT_THROW(DbfRejectFile::Create(dir / "R.DBF", dir / "NONE.DBF"), DbfError);
    EXPECT_FALSE(std::filesystem::exists(dir / "R.DBF"));
}

TEST(DbfRejectFileTest, AWriterKilledAtAnyMomentLeavesAValidFileOfWholeRecords) {
    TempDir dir;
    const DbfWriter w = Source(0x03, 1);
    w.WriteTo(dir / "TARV01.DBF");
    const std::string record =
        ReadFileBytes(dir / "TARV01.DBF").substr(w.RecordOffset(0), w.RecordBytes());

    // Killed at different depths: early, while the file is created, and after many records.
    for (int wanted : {0, 1, 7, 60}) {
        SCOPED_TRACE(wanted);
        const std::filesystem::path file = dir / ("R" + std::to_string(wanted) + ".DBF");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            DbfRejectFile rejects = DbfRejectFile::Create(file, dir / "TARV01.DBF");
            for (;;) {
                rejects.Append(record);
                rejects.Append(record);
                rejects.Flush();
            }
        }
        // Wait until the child has written enough, then kill it without warning.
        for (;;) {
            std::error_code ec;
            const auto size = std::filesystem::file_size(file, ec);
            if (!ec && size >= w.HeaderBytes() + wanted * w.RecordBytes()) break;
            ::usleep(200);
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));

        const std::string bytes = ReadFileBytes(file);
        const std::uint32_t counted = CountInHeader(bytes);
        ASSERT_LE(w.HeaderBytes() + counted * w.RecordBytes(), bytes.size());
        DbfTable table = DbfTable::Open(file);
        EXPECT_FALSE(table.IsTruncated());
        std::uint32_t read = 0;
        for (bool more = table.First(); more; more = table.Next(), ++read)
            ASSERT_EQ(table.RecordBytes(), record);
        EXPECT_EQ(read, counted);
        EXPECT_GE(counted + 2, static_cast<std::uint32_t>(wanted));
        EXPECT_EQ(PythonDbf(file).substr(0, std::to_string(counted).size() + 1),
                  std::to_string(counted) + "\n");
    }
}
