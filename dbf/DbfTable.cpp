#include "dbf/DbfTable.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "base/Text.h"
#include "dbf/DbfKeyExpression.h"

namespace migracja::dbf {
namespace {

// Large enough that streaming costs little more than reading the bytes; fixed, so memory does
// not depend on the file.
constexpr std::size_t kBufferBytes = 256 * 1024;
constexpr std::uint32_t kMinHeaderLength = 32 + 32 + 1;  // one field and the terminator

std::uint32_t U16(const char* p) {
    return static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8);
}

std::uint32_t U32(const char* p) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(p[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[3])) << 24;
}

// Version bytes of dBase III+, dBase IV/V, FoxBASE+, FoxPro and Visual FoxPro; they share the
// 32-byte header and 32-byte field descriptors.
bool IsSupportedVersion(std::uint8_t v) {
    switch (v) {
        case 0x03:  // dBase III+, IV, V, FoxPro without memo
        case 0x05:  // dBase V
        case 0x30:  // Visual FoxPro
        case 0x31:  // Visual FoxPro with autoincrement
        case 0x32:  // Visual FoxPro with varchar
        case 0x43:  // dBase IV SQL table
        case 0x63:  // dBase IV SQL system table
        case 0x7B:  // dBase IV with memo
        case 0x83:  // dBase III+ with memo
        case 0x8B:  // dBase IV with memo
        case 0x8E:  // dBase IV with SQL table and memo
        case 0xCB:  // dBase IV SQL table with memo
        case 0xE5:  // Clipper SIX with SMT memo
        case 0xF5:  // FoxPro 2 with memo
        case 0xFB:  // FoxBASE+
            return true;
        default:
            return false;
    }
}

bool IsVisualFoxPro(std::uint8_t v) {
    return v == 0x30 || v == 0x31 || v == 0x32;
}

std::string Hex(std::uint8_t v) {
    static const char* kDigits = "0123456789ABCDEF";
    return std::string("0x") + kDigits[v >> 4] + kDigits[v & 15];
}

}  // namespace

DbfTable DbfTable::Open(const std::filesystem::path& file, Access access,
                        const std::optional<std::filesystem::path>& memoFile) {
    DbfTable t;
    t.path_ = file;
    t.name_ = file.string();
    const bool exclusive = access == Access::Exclusive;
    t.fd_ = OpenLockedFile(file, exclusive, "DBF", t.fileSize_);
    t.ReadHeader();
    if (t.HasMemoFields()) {
        // Locked now, with the DBF file, so that the legacy program cannot change the memos
        // under the run either; a missing file is reported by the first memo read.
        const auto memo = memoFile ? memoFile : DbfMemo::Find(file, t.version_);
        if (memo) t.memo_.emplace(DbfMemo::Open(*memo, t.version_, exclusive));
    }
    t.buffer_.resize(std::max<std::size_t>(kBufferBytes, t.recordLength_));
    t.First();
    return t;
}

void DbfTable::ReadHeader() {
    const auto notDbf = [&](const std::string& why) {
        return DbfError("Plik " + name_ + " nie jest plikiem DBF albo jest uszkodzony: " + why);
    };
    const auto readAt = [&](std::uint64_t offset, char* out, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got =
                ::pread(fd_.get(), out + done, n - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0)
                throw DbfError("Nie można czytać pliku DBF " + name_ + ": " +
                               SystemErrorUtf8(errno));
            if (got == 0) throw notDbf("plik kończy się w środku nagłówka");
            done += static_cast<std::size_t>(got);
        }
    };

    if (fileSize_ < 32) throw notDbf("plik jest za krótki");
    char head[32];
    readAt(0, head, sizeof head);
    version_ = static_cast<std::uint8_t>(head[0]);
    if (version_ == 0x04 || version_ == 0x8C)
        throw DbfError("Plik DBF " + name_ + " ma format dBase 7, którego program nie obsługuje");
    if (!IsSupportedVersion(version_)) throw notDbf("nieznany bajt wersji " + Hex(version_));
    recordCount_ = U32(head + 4);
    headerLength_ = U16(head + 8);
    recordLength_ = U16(head + 10);
    codePageMark_ = static_cast<std::uint8_t>(head[29]);
    if (headerLength_ < kMinHeaderLength)
        throw notDbf("długość nagłówka " + std::to_string(headerLength_) + " jest za mała");
    if (headerLength_ > fileSize_)
        throw notDbf("nagłówek (" + std::to_string(headerLength_) +
                     " bajtów) jest dłuższy niż plik");
    if (recordLength_ < 2) throw notDbf("długość rekordu " + std::to_string(recordLength_));

    std::string header(headerLength_, '\0');
    readAt(0, header.data(), header.size());
    // Descriptors run up to the 0x0D terminator; Visual FoxPro's backlink area follows it and
    // is skipped with the rest of the header, whose length the header itself gives.
    std::size_t offset = 1;
    for (std::size_t pos = 32; pos + 32 <= header.size() && header[pos] != '\x0D'; pos += 32) {
        const char* d = header.data() + pos;
        DbfField f;
        f.name.assign(d, strnlen(d, 11));
        f.type = d[11];
        f.length = static_cast<unsigned char>(d[16]);
        f.decimals = static_cast<unsigned char>(d[17]);
        if (f.type == 'C' && f.decimals > 0) {
            // Clipper and FoxPro keep the high byte of long character fields here.
            f.length += f.decimals * 256;
            f.decimals = 0;
        }
        f.kind = DbfKindOf(f.type, f.length, f.decimals, IsVisualFoxPro(version_));
        f.offset = offset;
        offset += static_cast<std::size_t>(f.length);
        fields_.push_back(std::move(f));
    }
    if (fields_.empty()) throw notDbf("brak opisów pól");
    if (fields_.size() > kMaxFields)
        throw DbfError("Plik DBF " + name_ + " ma " + std::to_string(fields_.size()) +
                       " pól; program obsługuje najwyżej " + std::to_string(kMaxFields));
    if (offset > recordLength_)
        throw notDbf("pola zajmują " + std::to_string(offset) + " bajtów, a rekord ma " +
                     std::to_string(recordLength_));

    const std::uint64_t whole = (fileSize_ - headerLength_) / recordLength_;
    available_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(recordCount_, whole));
    if (available_ < recordCount_)
        warning_ = "Plik DBF " + name_ + " jest ucięty: nagłówek podaje " +
                   std::to_string(recordCount_) + " rekordów, a w pliku jest tylko " +
                   std::to_string(available_) + " pełnych rekordów; reszta nie zostanie odczytana";
    // Records appended by a program that did not update the header are left unread, as the
    // legacy program leaves them, but not without a word.
    if (whole > recordCount_) {
        extra_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            whole - recordCount_, std::numeric_limits<std::uint32_t>::max()));
        warning_ = "Plik DBF " + name_ + " zawiera " + std::to_string(extra_) +
                   " rekordów za ostatnim rekordem liczonym w nagłówku (" +
                   std::to_string(recordCount_) + "); nie zostaną odczytane";
    }
}

void DbfTable::Load(std::uint32_t record) {
    const std::uint64_t offset =
        headerLength_ + static_cast<std::uint64_t>(record - 1) * recordLength_;
    if (offset >= windowStart_ && offset + recordLength_ <= windowStart_ + windowLength_) {
        recordInWindow_ = static_cast<std::size_t>(offset - windowStart_);
        record_ = buffer_.data() + recordInWindow_;
        return;
    }
    // Reading forwards doubles the read-ahead up to the buffer, so file order streams while
    // scattered index order reads little more than the record it needs.
    const auto capacity = static_cast<std::uint32_t>(buffer_.size() / recordLength_);
    const bool forwards = windowLength_ > 0 && offset == windowStart_ + windowLength_;
    readAhead_ = forwards ? std::min(capacity, readAhead_ * 2) : 1;
    const std::uint32_t count = std::min(readAhead_, available_ - record + 1);
    const std::size_t bytes = static_cast<std::size_t>(count) * recordLength_;
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got = ::pread(fd_.get(), buffer_.data() + done, bytes - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            windowLength_ = 0;
            throw DbfError("Nie można czytać pliku DBF " + name_ + ": " + SystemErrorUtf8(errno));
        }
        if (got == 0) {
            windowLength_ = 0;
            throw DbfError("Plik DBF " + name_ + " stał się krótszy w trakcie odczytu");
        }
        done += static_cast<std::size_t>(got);
    }
    windowStart_ = offset;
    windowLength_ = bytes;
    recordInWindow_ = 0;
    record_ = buffer_.data();
}

bool DbfTable::SeekVisited(std::uint32_t from) {
    for (std::uint32_t r = from; r != 0 && r <= available_; ++r) {
        Load(r);
        if (record_[0] != '*') {
            current_ = r;
            return true;
        }
    }
    current_ = 0;
    return false;
}

bool DbfTable::SeekOrdered(std::size_t position) {
    orderPosition_ = position;
    if (position >= order_.size()) {
        current_ = 0;
        return false;
    }
    current_ = order_[position];
    Load(current_);
    return true;
}

bool DbfTable::First() {
    return ordered_ ? SeekOrdered(0) : SeekVisited(1);
}

bool DbfTable::Next() {
    if (Eof()) return false;
    return ordered_ ? SeekOrdered(orderPosition_ + 1) : SeekVisited(current_ + 1);
}

void DbfTable::SetOrder(std::string_view expression) {
    const DbfKeyExpression key = DbfKeyExpression::Compile(expression, fields_, name_);
    const std::size_t width = key.KeyWidth();
    const std::size_t tailWidth = width > 8 ? width - 8 : 0;

    // The first eight key bytes travel with each entry, so most comparisons of the sort stay
    // inside the entry array; longer character keys keep the rest in one contiguous block.
    struct Entry {
        std::uint64_t prefix;
        std::uint32_t slot;
        std::uint32_t record;
    };
    std::vector<Entry> entries;
    std::vector<char> tails;
    // Reserved at once: growing by doubling would briefly need twice the memory.
    entries.reserve(available_);
    tails.reserve(static_cast<std::size_t>(available_) * tailWidth);
    std::vector<char> encoded(std::max<std::size_t>(width, 8), '\0');
    for (std::uint32_t r = 1; r <= available_; ++r) {
        Load(r);
        const char* record = record_;
        if (record[0] == '*') continue;
        key.EncodeKey(record, encoded.data());
        std::uint64_t prefix = 0;
        for (std::size_t i = 0; i < 8; ++i)
            prefix = (prefix << 8) | static_cast<unsigned char>(i < width ? encoded[i] : 0);
        tails.insert(tails.end(), encoded.begin() + 8, encoded.begin() + 8 + tailWidth);
        entries.push_back({prefix, static_cast<std::uint32_t>(entries.size()), r});
    }
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        if (tailWidth > 0) {
            const int c = std::memcmp(tails.data() + a.slot * tailWidth,
                                      tails.data() + b.slot * tailWidth, tailWidth);
            if (c != 0) return c < 0;
        }
        return a.record < b.record;  // equal keys keep file order
    });
    tails = {};
    std::vector<std::uint32_t> order(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) order[i] = entries[i].record;
    order_ = std::move(order);
    ordered_ = true;
    First();
}

void DbfTable::NoField(int i) const {
    throw DbfError("Plik DBF " + name_ + " nie ma pola nr " + std::to_string(i));
}

std::optional<int> DbfTable::FindField(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (text::EqualsIgnoreCase(fields_[i].name, name)) return static_cast<int>(i);
    return std::nullopt;
}

void DbfTable::NoRecord(int i, const char* use) const {
    throw DbfError("Brak bieżącego rekordu w pliku DBF " + name_ + " do odczytu " + use + " pola " +
                   FieldName(fields_[static_cast<std::size_t>(i)]));
}

void DbfTable::WrongType(int i, const char* wanted) const {
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    throw DbfError("Pole " + FieldName(f) + " pliku DBF " + name_ + " ma typ " +
                   std::string(1, f.type) + " i nie można go odczytać jako " + wanted);
}

std::string_view DbfTable::RawValue(int i) const {
    const char* p = Current(i, "bajtów");
    return std::string_view(p,
                            static_cast<std::size_t>(fields_[static_cast<std::size_t>(i)].length));
}

std::string_view DbfTable::AsText(int i) const {
    const char* p = Current(i, "tekstu");
    return TextOf(p, static_cast<std::size_t>(fields_[static_cast<std::size_t>(i)].length));
}

namespace {
bool IsNumericType(const DbfField& f) {
    return f.kind == ValueKind::Integer || f.kind == ValueKind::Money;
}
}  // namespace

std::int32_t DbfTable::AsInteger(int i) const {
    const char* p = Current(i, "liczby całkowitej");
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    if (!IsNumericType(f)) WrongType(i, "liczbę całkowitą");
    const auto d = NumberOf(f, p);
    if (!d) return 0;
    const auto m = Rescale(*d, 0);
    if (!m || *m < std::numeric_limits<std::int32_t>::min() ||
        *m > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(*m);
}

Money DbfTable::AsMoney(int i) const {
    const char* p = Current(i, "kwoty");
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    if (!IsNumericType(f)) WrongType(i, "kwotę");
    const auto d = NumberOf(f, p);
    if (!d) return Money{};
    const auto m = Rescale(*d, 4);
    return m ? Money::FromRaw(*m) : Money{};
}

DateTime DbfTable::AsDateTime(int i) const {
    const char* p = Current(i, "daty");
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    if (f.type != 'D' && f.type != 'T' && f.type != '@') WrongType(i, "datę");
    return DateOf(f, p);
}

bool DbfTable::AsLogical(int i) const {
    const char* p = Current(i, "wartości logicznej");
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    if (f.type != 'L') WrongType(i, "wartość logiczną");
    // A logical field declared with no bytes holds nothing, so it is false like a blank one.
    return f.length > 0 && (p[0] == 'T' || p[0] == 't');
}

std::string_view DbfTable::RecordBytes() const {
    if (current_ == 0) throw DbfError("no current record in DBF file " + name_);
    return {record_, recordLength_};
}

}  // namespace migracja::dbf

namespace migracja::dbf {

bool DbfTable::HasMemoFields() const {
    return std::any_of(fields_.begin(), fields_.end(),
                       [](const DbfField& f) { return f.IsMemo(); });
}

std::string_view DbfTable::AsMemo(int i) {
    const char* p = Current(i, "memo");
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    if (!f.IsMemo()) WrongType(i, "memo");
    const auto where = [&] {
        return " (pole " + FieldName(f) + ", rekord nr " + std::to_string(current_) +
               " pliku DBF " + name_ + ")";
    };
    const std::optional<std::uint64_t> block = MemoBlockOf(f, p);
    if (!block) throw DbfError("Nieczytelny numer bloku memo " + ShownBytes(RawValue(i)) + where());
    if (*block == 0) return {};
    if (!memo_)
        throw DbfError("Brak pliku memo (" + path_.stem().string() + ".DBT albo " +
                       path_.stem().string() + ".FPT) obok pliku DBF" + where());
    try {
        // Kept as written, line breaks and trailing blanks included; a NUL ends it, as it ends a
        // character field.
        const std::string_view text = memo_->Read(*block);
        return text.substr(0, text.find('\0'));
    } catch (const DbfError& e) {
        throw DbfError("Plik memo " + memo_->Path().string() + " jest uszkodzony: " + e.what() +
                       where());
    }
}

bool DbfTable::IsUnreadable(int i) const {
    const char* p = Current(i, "bajtów");
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    if (!IsNumericType(f)) return false;
    const std::string_view raw(p, static_cast<std::size_t>(f.length));
    if (raw.find_first_not_of(std::string_view(" \0", 2)) == std::string_view::npos) return false;
    const auto d = NumberOf(f, p);
    if (!d) return true;
    if (f.kind == ValueKind::Integer) {
        const auto m = Rescale(*d, 0);
        return !m || *m < std::numeric_limits<std::int32_t>::min() ||
               *m > std::numeric_limits<std::int32_t>::max();
    }
    return !Rescale(*d, 4);
}

}  // namespace migracja::dbf
