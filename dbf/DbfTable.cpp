#include "dbf/DbfTable.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "config/RegularFile.h"
#include "config/Text.h"
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

std::string Hex(std::uint8_t v) {
    static const char* kDigits = "0123456789ABCDEF";
    return std::string("0x") + kDigits[v >> 4] + kDigits[v & 15];
}

}  // namespace

DbfTable::Descriptor& DbfTable::Descriptor::operator=(Descriptor&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

DbfTable::Descriptor::~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
}

DbfTable DbfTable::Open(const std::filesystem::path& file, Access access) {
    DbfTable t;
    t.path_ = file;
    t.name_ = file.string();
    const bool exclusive = access == Access::Exclusive;

    // A write lock needs a descriptor open for writing; the file is never written. Read-only
    // files still get a read lock, and flock below keeps them exclusive.
    bool writable = false;
    config::RegularFileOpen opened;
    if (exclusive) {
        opened = config::OpenRegularFile(file, O_RDWR);
        writable = opened.Opened();
        const int e = opened.error;
        if (e == EACCES || e == EROFS || e == EPERM || e == ETXTBSY)
            opened = config::OpenRegularFile(file, O_RDONLY);
    } else {
        opened = config::OpenRegularFile(file, O_RDONLY);
    }
    if (!opened.refusal.empty()) throw DbfError("DBF file " + opened.refusal);
    if (!opened.Opened()) {
        const int e = opened.error;
        if (e == ENOENT || e == ENOTDIR) throw DbfError("DBF file " + t.name_ + " does not exist");
        throw DbfError("cannot open DBF file " + t.name_ + ": " + std::strerror(e));
    }
    const int fd = opened.fd;
    t.fd_ = Descriptor(fd);

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw DbfError("cannot examine DBF file " + t.name_ + ": " + std::strerror(errno));
    t.fileSize_ = static_cast<std::uint64_t>(st.st_size);

    const std::string locked = "DBF file " + t.name_ +
                               " is in use by another program or already open, so it cannot "
                               "be opened " +
                               (exclusive ? "exclusively" : "for reading");
    // An open-file-description lock conflicts with other opens in this process as well as with
    // POSIX record locks of other programs; flock covers programs that lock the BSD way.
    struct flock range {};
    range.l_type = static_cast<short>(exclusive && writable ? F_WRLCK : F_RDLCK);
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;  // the whole file, however it grows
    if (::fcntl(fd, F_OFD_SETLK, &range) != 0) {
        if (errno == EAGAIN || errno == EACCES) throw DbfError(locked);
        throw DbfError("cannot lock DBF file " + t.name_ + ": " + std::strerror(errno));
    }
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) throw DbfError(locked);
        throw DbfError("cannot lock DBF file " + t.name_ + ": " + std::strerror(errno));
    }

    t.ReadHeader();
    t.buffer_.resize(std::max<std::size_t>(kBufferBytes, t.recordLength_));
    t.First();
    return t;
}

void DbfTable::ReadHeader() {
    const auto notDbf = [&](const std::string& why) {
        return DbfError(name_ + " is not a DBF file or is damaged: " + why);
    };
    const auto readAt = [&](std::uint64_t offset, char* out, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got =
                ::pread(fd_.get(), out + done, n - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0)
                throw DbfError("cannot read DBF file " + name_ + ": " + std::strerror(errno));
            if (got == 0) throw notDbf("the file ends inside its header");
            done += static_cast<std::size_t>(got);
        }
    };

    if (fileSize_ < 32) throw notDbf("the file is too short");
    char head[32];
    readAt(0, head, sizeof head);
    version_ = static_cast<std::uint8_t>(head[0]);
    if (version_ == 0x04 || version_ == 0x8C)
        throw DbfError("DBF file " + name_ + " is in dBase 7 format, which is not supported");
    if (!IsSupportedVersion(version_)) throw notDbf("unknown version byte " + Hex(version_));
    recordCount_ = U32(head + 4);
    headerLength_ = U16(head + 8);
    recordLength_ = U16(head + 10);
    if (headerLength_ < kMinHeaderLength)
        throw notDbf("header length " + std::to_string(headerLength_) + " is too small");
    if (headerLength_ > fileSize_)
        throw notDbf("the header (" + std::to_string(headerLength_) +
                     " bytes) is longer than the file");
    if (recordLength_ < 2) throw notDbf("record length " + std::to_string(recordLength_));

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
        f.kind = DbfKindOf(f.type, f.length, f.decimals);
        f.offset = offset;
        offset += static_cast<std::size_t>(f.length);
        fields_.push_back(std::move(f));
    }
    if (fields_.empty()) throw notDbf("no field descriptors");
    if (fields_.size() > kMaxFields)
        throw DbfError("DBF file " + name_ + " has " + std::to_string(fields_.size()) +
                       " fields; at most " + std::to_string(kMaxFields) + " are supported");
    if (offset > recordLength_)
        throw notDbf("the fields need " + std::to_string(offset) + " bytes but a record has " +
                     std::to_string(recordLength_));

    const std::uint64_t whole = (fileSize_ - headerLength_) / recordLength_;
    available_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(recordCount_, whole));
    if (available_ < recordCount_)
        warning_ = "DBF file " + name_ + " is truncated: its header declares " +
                   std::to_string(recordCount_) + " records but only " +
                   std::to_string(available_) + " whole records are present; the rest is not read";
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
            throw DbfError("cannot read DBF file " + name_ + ": " + std::strerror(errno));
        }
        if (got == 0) {
            windowLength_ = 0;
            throw DbfError("DBF file " + name_ + " became shorter while it was read");
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

void DbfTable::ClearOrder() {
    ordered_ = false;
    order_ = {};
    windowLength_ = 0;  // the buffer may hold a window from before the order
    First();
}

void DbfTable::NoField(int i) const {
    throw DbfError("DBF file " + name_ + " has no field number " + std::to_string(i));
}

std::optional<int> DbfTable::FindField(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (text::EqualsIgnoreCase(fields_[i].name, name)) return static_cast<int>(i);
    return std::nullopt;
}

void DbfTable::NoRecord(int i, const char* use) const {
    throw DbfError(std::string("no current record in DBF file ") + name_ + " to read " + use +
                   " of field " + fields_[static_cast<std::size_t>(i)].name);
}

void DbfTable::WrongType(int i, const char* wanted) const {
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    throw DbfError("field " + f.name + " of DBF file " + name_ + " has type " +
                   std::string(1, f.type) + " and cannot be read as " + wanted);
}

std::string_view DbfTable::RawValue(int i) const {
    const char* p = Current(i, "the bytes");
    return std::string_view(p,
                            static_cast<std::size_t>(fields_[static_cast<std::size_t>(i)].length));
}

std::string_view DbfTable::AsText(int i) const {
    const char* p = Current(i, "the text");
    return TextOf(p, static_cast<std::size_t>(fields_[static_cast<std::size_t>(i)].length));
}

namespace {
bool IsNumericType(char t) {
    return t == 'N' || t == 'F' || t == 'I' || t == 'O';
}
}  // namespace

std::int32_t DbfTable::AsInteger(int i) const {
    const char* p = Current(i, "an integer");
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    if (!IsNumericType(f.type)) WrongType(i, "an integer");
    const auto d = NumberOf(f, p);
    if (!d) return 0;
    const auto m = Rescale(*d, 0);
    if (!m || *m < std::numeric_limits<std::int32_t>::min() ||
        *m > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(*m);
}

Money DbfTable::AsMoney(int i) const {
    const char* p = Current(i, "an amount");
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    if (!IsNumericType(f.type)) WrongType(i, "an amount");
    const auto d = NumberOf(f, p);
    if (!d) return Money{};
    const auto m = Rescale(*d, 4);
    return m ? Money::FromRaw(*m) : Money{};
}

DateTime DbfTable::AsDateTime(int i) const {
    const char* p = Current(i, "a date");
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    if (f.type != 'D' && f.type != 'T' && f.type != '@') WrongType(i, "a date");
    return DateOf(f, p);
}

bool DbfTable::AsLogical(int i) const {
    const char* p = Current(i, "a logical value");
    const DbfField& f = fields_[static_cast<std::size_t>(i)];
    if (f.type != 'L') WrongType(i, "a logical value");
    // A logical field declared with no bytes holds nothing, so it is false like a blank one.
    return f.length > 0 && (p[0] == 'T' || p[0] == 't');
}

std::string_view DbfTable::RecordBytes() const {
    if (current_ == 0) throw DbfError("no current record in DBF file " + name_);
    return {record_, recordLength_};
}

}  // namespace migracja::dbf
