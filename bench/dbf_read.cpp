// Reading speed and memory of the DBF reader on a generated file of 1,000,000 records with 12
// fields of mixed types, against simply reading the file's bytes.
//
// Each measurement runs in a fresh process (this program re-executed with --child) so that its
// peak resident set (VmHWM) belongs to that mode alone; the table shows the peak at the start of
// the child, at its end, and the growth. A 100,000-record file is read in file order as well:
// equal growth for both sizes shows that memory does not depend on the file. In index order each
// record is one read of its own (a map of the file would be faster, but a file cut by another
// program under the map ends the process with SIGBUS). Each mode runs five rounds; the table
// gives the best and the median.
//
// A second file has one memo field per record (FoxPro memo file, 64-byte blocks, memos of 0 to
// 2,000 bytes): it is read with the memo and without it, at both sizes, so that the cost of a
// memo read and the flat peak show.
//
// Usage: bench_dbf_read [RECORDS]   (default 1000000)
//        bench_dbf_read --generate RECORDS FILE; bench_dbf_read --child
//        raw|navigate|file|index|memo|memo-skip FILE

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dbf/DbfTable.h"

namespace {

using migracja::DateTime;
using migracja::Money;
using migracja::ValueKind;
using migracja::dbf::DbfTable;

struct FieldDef {
    const char* name;
    char type;
    int length;
    int decimals;
};

constexpr FieldDef kFields[] = {
    {"KOD", 'C', 8, 0},       {"NAZWA", 'C', 40, 0}, {"ULICA", 'C', 30, 0},  {"MIASTO", 'C', 20, 0},
    {"KOD_POCZT", 'C', 6, 0}, {"NIP", 'C', 13, 0},   {"ILOSC", 'N', 4, 0},   {"CENA", 'N', 12, 2},
    {"KURS", 'N', 10, 4},     {"DATA", 'D', 8, 0},   {"AKTYWNY", 'L', 1, 0}, {"ZMIANA", 'T', 8, 0},
};
constexpr const char* kIndexExpression = "NAZWA";
constexpr int kRounds = 5;

long PeakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

void Pad(std::string& rec, const std::string& value, int length, bool right) {
    const std::size_t n = static_cast<std::size_t>(length);
    std::string v = value.substr(0, n);
    if (right)
        rec += std::string(n - v.size(), ' ') + v;
    else
        rec += v + std::string(n - v.size(), ' ');
}

void PutLe(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::size_t RecordLength() {
    std::size_t n = 1;
    for (const auto& f : kFields) n += static_cast<std::size_t>(f.length);
    return n;
}

// Writes the file in chunks, never holding more than a few megabytes.
void Generate(const std::filesystem::path& file, std::uint32_t records) {
    std::string header(32, '\0');
    header[0] = 0x03;
    header[1] = 124, header[2] = 1, header[3] = 1;
    const std::size_t nFields = sizeof kFields / sizeof kFields[0];
    const std::uint32_t headerLength = static_cast<std::uint32_t>(32 + 32 * nFields + 1);
    for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<char>((records >> (8 * i)) & 0xFF);
    header[8] = static_cast<char>(headerLength & 0xFF),
    header[9] = static_cast<char>(headerLength >> 8);
    const std::size_t rl = RecordLength();
    header[10] = static_cast<char>(rl & 0xFF), header[11] = static_cast<char>(rl >> 8);
    for (const auto& f : kFields) {
        std::string d(32, '\0');
        std::memcpy(d.data(), f.name, std::strlen(f.name));
        d[11] = f.type;
        d[16] = static_cast<char>(f.length);
        d[17] = static_cast<char>(f.decimals);
        header += d;
    }
    header += '\x0D';

    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) throw std::runtime_error("cannot write " + file.string());
    std::fwrite(header.data(), 1, header.size(), out);
    static const char* kTowns[] = {"Warszawa", "Krakow", "Lodz", "Radom", "Opole", "Kielce"};
    static const char* kSyllables[] = {"ra",  "dom", "pol", "tex", "bud", "mar", "kon", "ser",
                                       "wis", "tar", "gaz", "elk", "fin", "met", "sol", "zet"};
    std::uint64_t seed = 88172645463325252ULL;
    const auto next = [&] {
        seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
        return seed;
    };
    std::string chunk;
    for (std::uint32_t r = 1; r <= records; ++r) {
        const std::uint64_t x = next();
        std::string name;
        for (int k = 0; k < 4; ++k) name += kSyllables[(x >> (4 * k)) & 15];
        name[0] = static_cast<char>(name[0] - 32);
        name += " Sp. z o.o. " + std::to_string(x % 1000);
        chunk += (x % 50 == 0) ? '*' : ' ';
        Pad(chunk, "K" + std::to_string(r), 8, false);
        Pad(chunk, name, 40, false);
        Pad(chunk, "ul. Dluga " + std::to_string(x % 200), 30, false);
        Pad(chunk, kTowns[x % 6], 20, false);
        Pad(chunk, "26-600", 6, false);
        Pad(chunk, "796-" + std::to_string(100000 + x % 900000), 13, false);
        Pad(chunk, std::to_string(x % 9999), 4, true);
        Pad(chunk, std::to_string(x % 100000) + "." + std::to_string(10 + x % 90), 12, true);
        Pad(chunk, "1." + std::to_string(1000 + x % 9000), 10, true);
        Pad(chunk, std::to_string(19900101 + (x % 30) * 10000 + (x % 12) * 100 + x % 28), 8, false);
        chunk += (x & 1) ? 'T' : 'F';
        PutLe(chunk, static_cast<std::uint32_t>(2450000 + x % 10000));
        PutLe(chunk, static_cast<std::uint32_t>(x % 86400000));
        if (chunk.size() >= (1 << 20)) {
            std::fwrite(chunk.data(), 1, chunk.size(), out);
            chunk.clear();
        }
    }
    chunk += '\x1A';
    std::fwrite(chunk.data(), 1, chunk.size(), out);
    if (std::fclose(out) != 0) throw std::runtime_error("cannot write " + file.string());
}

// A FoxPro file of records (KOD C(8), UWAGI M) and its memo file: the memo of record r has
// r * 7919 % 2001 bytes, so lengths spread evenly over 0 to 2,000; an empty one has no block.
std::uint64_t GenerateMemo(const std::filesystem::path& file, std::uint32_t records) {
    constexpr std::uint32_t kBlock = 64;
    std::string header(32, '\0');
    header[0] = static_cast<char>(0xF5);
    header[1] = 124, header[2] = 1, header[3] = 1;
    const std::uint32_t headerLength = 32 + 32 * 2 + 1, recordLength = 1 + 8 + 10;
    for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<char>((records >> (8 * i)) & 0xFF);
    header[8] = static_cast<char>(headerLength), header[9] = 0;
    header[10] = static_cast<char>(recordLength), header[11] = 0;
    for (const FieldDef& f : {FieldDef{"KOD", 'C', 8, 0}, FieldDef{"UWAGI", 'M', 10, 0}}) {
        std::string d(32, '\0');
        std::memcpy(d.data(), f.name, std::strlen(f.name));
        d[11] = f.type;
        d[16] = static_cast<char>(f.length);
        header += d;
    }
    header += '\x0D';
    std::filesystem::path memoFile = file;
    memoFile.replace_extension(".FPT");
    std::FILE* out = std::fopen(file.c_str(), "wb");
    std::FILE* memo = std::fopen(memoFile.c_str(), "wb");
    if (!out || !memo) throw std::runtime_error("cannot write " + file.string());
    std::fwrite(header.data(), 1, header.size(), out);
    std::string memoHeader(512, '\0');
    memoHeader[7] = static_cast<char>(kBlock);
    std::fwrite(memoHeader.data(), 1, memoHeader.size(), memo);
    std::uint32_t nextBlock = 512 / kBlock;
    std::uint64_t memoBytes = 0;
    const std::string text =
        "Klient prosi o kontakt po godzinie 15. Urzadzenie serwisowane w zeszlym roku.\r\n";
    std::string chunk, entries;
    for (std::uint32_t r = 1; r <= records; ++r) {
        const std::uint32_t length = static_cast<std::uint32_t>(r * 7919ull % 2001);
        chunk += ' ';
        Pad(chunk, "K" + std::to_string(r), 8, false);
        Pad(chunk, length == 0 ? "" : std::to_string(nextBlock), 10, true);
        if (length > 0) {
            for (int shift : {24, 16, 8, 0}) entries += static_cast<char>((1u >> shift) & 0xFF);
            for (int shift : {24, 16, 8, 0}) entries += static_cast<char>((length >> shift) & 0xFF);
            for (std::uint32_t k = 0; k < length; ++k) entries += text[k % text.size()];
            const std::uint32_t blocks = (8 + length + kBlock - 1) / kBlock;
            entries.resize(entries.size() + (blocks * kBlock - 8 - length), '\0');
            nextBlock += blocks;
            memoBytes += length;
        }
        if (chunk.size() >= (1 << 20)) {
            std::fwrite(chunk.data(), 1, chunk.size(), out);
            chunk.clear();
        }
        if (entries.size() >= (1 << 22)) {
            std::fwrite(entries.data(), 1, entries.size(), memo);
            entries.clear();
        }
    }
    chunk += '\x1A';
    std::fwrite(chunk.data(), 1, chunk.size(), out);
    std::fwrite(entries.data(), 1, entries.size(), memo);
    if (std::fclose(out) != 0 || std::fclose(memo) != 0)
        throw std::runtime_error("cannot write " + file.string());
    return memoBytes;
}

// The value slots of one field, filled the way the data module fills them per record.
struct Slot {
    std::string text;
    std::int32_t integer = 0;
    Money money;
    DateTime date = 0;
};

std::uint64_t ReadAllFields(DbfTable& t, std::vector<Slot>& slots) {
    std::uint64_t records = 0;
    for (bool more = !t.Eof(); more; more = t.Next(), ++records) {
        for (int i = 0; i < t.FieldCount(); ++i) {
            Slot& s = slots[static_cast<std::size_t>(i)];
            switch (t.Field(i).kind) {
                case ValueKind::Text:
                    s.text.assign(t.AsText(i));
                    break;
                case ValueKind::Integer:
                    s.integer = t.AsInteger(i);
                    break;
                case ValueKind::Money:
                    s.money = t.AsMoney(i);
                    break;
                case ValueKind::Date:
                    s.date = t.AsDateTime(i);
                    break;
                case ValueKind::Logical:
                    s.text = t.AsLogical(i) ? "T" : "N";
                    break;
                case ValueKind::Other:
                    break;
            }
        }
    }
    return records;
}

// One measurement; prints "records seconds extra_seconds hwm_start hwm_end".
int Child(const std::string& mode, const std::string& file) {
    const long hwmStart = PeakResidentKb();
    const auto t0 = std::chrono::steady_clock::now();
    double extra = 0;
    std::uint64_t records = 0, check = 0;
    if (mode == "raw") {
        // read(2) into a page-aligned buffer of the reader's size: the kernel copies whole pages,
        // the fastest a reader can get the bytes. (A buffer off a page boundary made this slower
        // than the reader itself.)
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        constexpr std::size_t kBytes = 256 * 1024;  // the reader's buffer size: fits the cache
        char* buffer = static_cast<char*>(std::aligned_alloc(4096, kBytes));
        ssize_t got;
        while ((got = ::read(fd, buffer, kBytes)) > 0) {
            check += static_cast<unsigned char>(buffer[got - 1]);
            records += static_cast<std::uint64_t>(got);
        }
        std::free(buffer);
        ::close(fd);
        records /= RecordLength();
    } else {
        DbfTable t = DbfTable::Open(file);
        std::vector<Slot> slots(static_cast<std::size_t>(t.FieldCount()));
        if (mode == "index") {
            t.SetOrder(kIndexExpression);
            extra = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        }
        if (mode == "memo" || mode == "memo-skip") {
            // As a run reads it: the code every record, the memo only when a definition uses it.
            for (bool more = !t.Eof(); more; more = t.Next(), ++records) {
                slots[0].text.assign(t.AsText(0));
                if (mode == "memo") slots[1].text.assign(t.AsMemo(1));
                check += slots[1].text.size();
            }
        } else if (mode == "navigate") {
            for (bool more = !t.Eof(); more; more = t.Next()) check += t.RecordNumber(), ++records;
        } else {
            records = ReadAllFields(t, slots);
            check = slots[1].text.size();
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%llu %.6f %.6f %ld %ld %llu\n", static_cast<unsigned long long>(records), seconds,
                extra, hwmStart, PeakResidentKb(), static_cast<unsigned long long>(check));
    return 0;
}

struct Result {
    unsigned long long records = 0;
    double seconds = 1e30, extra = 0;
    long hwmStart = 0, hwmEnd = 0;
    double median = 0;  // of the rounds' seconds
};

// The best round, with the median of all rounds beside it.
Result RunChild(const std::string& mode, const std::filesystem::path& file, int repeats) {
    Result best;
    std::vector<double> rounds;
    for (int k = 0; k < repeats; ++k) {
        // The shell of popen would be /proc/self/exe there, so resolve this program first.
        static const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string command = "'" + self + "' --child " + mode + " '" + file.string() + "'";
        std::FILE* p = ::popen(command.c_str(), "r");
        Result r;
        unsigned long long check = 0;
        if (!p || std::fscanf(p, "%llu %lf %lf %ld %ld %llu", &r.records, &r.seconds, &r.extra,
                              &r.hwmStart, &r.hwmEnd, &check) != 6)
            throw std::runtime_error("measurement " + mode + " failed");
        ::pclose(p);
        rounds.push_back(r.seconds);
        if (r.seconds < best.seconds) best = r;
    }
    std::sort(rounds.begin(), rounds.end());
    best.median = rounds[rounds.size() / 2];
    return best;
}

void Row(const char* label, const Result& r, double limitSeconds, std::size_t recordLength) {
    const double mbps = static_cast<double>(r.records * recordLength) / r.seconds / 1e6;
    std::printf("%-34s %9.3f %9.3f %12.0f %9.0f %7.0f%% %9ld %9ld %8ld\n", label, r.seconds,
                r.median, static_cast<double>(r.records) / r.seconds, mbps,
                100.0 * limitSeconds / r.seconds, r.hwmStart, r.hwmEnd, r.hwmEnd - r.hwmStart);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::string(argv[1]) == "--child") return Child(argv[2], argv[3]);
        if (argc == 4 && std::string(argv[1]) == "--generate") {  // a file for profiling
            Generate(argv[3], static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)));
            return 0;
        }
        const std::uint32_t records =
            argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
        const auto dir = std::filesystem::temp_directory_path() /
                         ("bench_dbf_read-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const auto big = dir / "BIG.DBF", small = dir / "SMALL.DBF";
        Generate(big, records);
        Generate(small, records / 10);
        const std::size_t rl = RecordLength();
        std::printf(
            "file: %u records x %zu bytes = %.1f MB, 12 fields (C x6, N x3, D, L, T); "
            "index on %s; best and median of %d rounds; records/s and MB/s of the best\n\n",
            records, rl, static_cast<double>(records) * rl / 1e6, kIndexExpression, kRounds);
        const int n = kRounds;
        const Result raw = RunChild("raw", big, n);
        const Result nav = RunChild("navigate", big, n);
        const Result file = RunChild("file", big, n);
        const Result index = RunChild("index", big, n);
        const Result smallFile = RunChild("file", small, n);
        const Result smallIndex = RunChild("index", small, n);
        // Raw counts every record; the reader visits only those not deleted, so compare per byte.
        const double limit = raw.seconds;
        std::printf("%-34s %9s %9s %12s %9s %8s %9s %9s %8s\n", "mode", "best s", "median s",
                    "records/s", "MB/s", "of limit", "HWM0 kB", "HWM kB", "grow kB");
        Row("raw read of the bytes (limit)", raw, limit, rl);
        Row("file order, navigation only", nav, limit, rl);
        Row("file order, all 12 fields read", file, limit, rl);
        Row("index order, all fields (total)", index, limit, rl);
        Result sorted = index;
        sorted.seconds = index.seconds - index.extra;
        std::printf(
            "  of which key build and sort: %.3f s; reading in index order, one read per "
            "record: %.3f s (%.0f records/s)\n",
            index.extra, sorted.seconds, static_cast<double>(index.records) / sorted.seconds);
        Row("file order, 1/10 of the records", smallFile, raw.seconds / 10, rl);
        Row("index order, 1/10 of the records", smallIndex, raw.seconds / 10, rl);
        std::printf("\nvisited records: %llu of %u (every 50th is deleted)\n", file.records,
                    records);

        const auto memoBig = dir / "MEMO.DBF", memoSmall = dir / "MEMO10.DBF";
        const std::uint64_t memoBytes = GenerateMemo(memoBig, records);
        GenerateMemo(memoSmall, records / 10);
        std::filesystem::path memoFile = memoBig;
        memoFile.replace_extension(".FPT");
        std::printf(
            "\nmemo file: %u records x 19 bytes, memo file %.1f MB (%.1f MB of text, memos of 0 to "
            "2,000 bytes in 64-byte blocks); best and median of 3 rounds\n\n",
            records, static_cast<double>(std::filesystem::file_size(memoFile)) / 1e6,
            static_cast<double>(memoBytes) / 1e6);
        std::printf("%-34s %9s %9s %12s %9s %8s %9s %9s %8s\n", "mode", "best s", "median s",
                    "records/s", "MB/s", "", "HWM0 kB", "HWM kB", "grow kB");
        const Result withMemo = RunChild("memo", memoBig, 3);
        const Result withoutMemo = RunChild("memo-skip", memoBig, 3);
        const Result smallMemo = RunChild("memo", memoSmall, 3);
        // MB/s here counts the memo text read, the part that dominates.
        const auto memoRow = [&](const char* label, const Result& r, double bytes) {
            std::printf("%-34s %9.3f %9.3f %12.0f %9.0f %8s %9ld %9ld %8ld\n", label, r.seconds,
                        r.median, static_cast<double>(r.records) / r.seconds,
                        bytes / r.seconds / 1e6, "", r.hwmStart, r.hwmEnd, r.hwmEnd - r.hwmStart);
        };
        memoRow("memo read with every record", withMemo, static_cast<double>(memoBytes));
        memoRow("memo field not read", withoutMemo, 0);
        memoRow("memo read, 1/10 of the records", smallMemo, static_cast<double>(memoBytes) / 10);
        std::filesystem::remove_all(dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_dbf_read: %s\n", e.what());
        return 1;
    }
    return 0;
}
