#include "dbf/DbfRejectFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

#include "base/RegularFile.h"
#include "dbf/DbfField.h"

namespace migracja::dbf {

namespace {

constexpr char kEndOfFile = '\x1A';
constexpr std::size_t kHeadBytes = 32;

std::uint32_t U16(const char* p) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(p[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[1])) << 8;
}

void PutU32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Bytes 1 to 7 of the header: the date of the last change and the record count.
void PutDateAndCount(char* head, std::uint32_t count) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    head[1] = static_cast<char>(tm.tm_year % 256);
    head[2] = static_cast<char>(tm.tm_mon + 1);
    head[3] = static_cast<char>(tm.tm_mday);
    PutU32(head + 4, count);
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

std::string ReadHeader(const std::filesystem::path& source) {
    const std::string name = source.string();
    config::RegularFileOpen opened = config::OpenRegularFile(source, O_RDONLY | O_CLOEXEC);
    if (!opened.Opened())
        throw DbfError("cannot open DBF file " + name + ": " +
                       (opened.refusal.empty() ? std::strerror(opened.error) : opened.refusal));
    const Fd fd(opened.fd);
    const auto read = [&](std::string& out, std::size_t n) {
        out.assign(n, '\0');
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got =
                ::pread(fd.get(), out.data() + done, n - done, static_cast<off_t>(done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0)
                throw DbfError("cannot read the header of DBF file " + name +
                               (got < 0 ? std::string(": ") + std::strerror(errno) : ""));
            done += static_cast<std::size_t>(got);
        }
    };
    std::string header;
    read(header, kHeadBytes);
    const std::uint32_t headerLength = U16(header.data() + 8);
    if (headerLength < kHeadBytes + 1 || U16(header.data() + 10) < 2)
        throw DbfError(name + " is not a DBF file or is damaged: header length " +
                       std::to_string(headerLength));
    read(header, headerLength);
    return header;
}

}  // namespace

DbfRejectFile DbfRejectFile::Create(const std::filesystem::path& file,
                                    const std::filesystem::path& source) {
    std::string header = ReadHeader(source);
    DbfRejectFile r;
    r.path_ = file;
    r.headerLength_ = static_cast<std::uint32_t>(header.size());
    r.recordLength_ = U16(header.data() + 10);
    PutDateAndCount(header.data(), 0);
    header += kEndOfFile;

    // Written whole under another name first: a file of the final name always has its header.
    std::filesystem::path temporary = file;
    temporary += ".tmp";
    const std::string name = temporary.string();
    {
        Fd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd.get() < 0)
            throw DbfError("cannot create " + name + ": " + std::string(std::strerror(errno)));
        r.fd_ = fd.release();
    }
    r.WriteAt(0, header.data(), header.size());
    if (::fsync(r.fd_) != 0 || ::rename(name.c_str(), file.string().c_str()) != 0)
        throw DbfError("cannot create " + file.string() + ": " + std::strerror(errno));
    return r;
}

DbfRejectFile::DbfRejectFile(DbfRejectFile&& o) noexcept
    : path_(std::move(o.path_)),
      fd_(std::exchange(o.fd_, -1)),
      headerLength_(o.headerLength_),
      recordLength_(o.recordLength_),
      count_(o.count_),
      written_(o.written_) {}

DbfRejectFile& DbfRejectFile::operator=(DbfRejectFile&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) {
            TryFlush();
            ::close(fd_);
        }
        path_ = std::move(o.path_);
        fd_ = std::exchange(o.fd_, -1);
        headerLength_ = o.headerLength_;
        recordLength_ = o.recordLength_;
        count_ = o.count_;
        written_ = o.written_;
    }
    return *this;
}

DbfRejectFile::~DbfRejectFile() {
    if (fd_ >= 0) {
        // Nothing can be reported from here; records not counted are simply not in the file.
        TryFlush();
        ::close(fd_);
    }
}

void DbfRejectFile::WriteAt(std::uint64_t offset, const char* bytes, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t put =
            ::pwrite(fd_, bytes + done, n - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) throw DbfError("cannot write " + path_.string() + ": " + std::strerror(errno));
        done += static_cast<std::size_t>(put);
    }
}

void DbfRejectFile::Append(std::string_view record) {
    if (record.size() != recordLength_)
        throw DbfError("a record of " + std::to_string(record.size()) +
                       " bytes does not fit the records of " + std::to_string(recordLength_) +
                       " bytes of " + path_.string());
    // One write for the record and the end-of-file byte after it, beyond the counted records.
    std::string bytes(record);
    bytes[0] = ' ';
    bytes += kEndOfFile;
    WriteAt(headerLength_ + static_cast<std::uint64_t>(written_) * recordLength_, bytes.data(),
            bytes.size());
    ++written_;
}

bool DbfRejectFile::TryFlush() noexcept {
    if (written_ == count_) return true;
    // The records reach the disk before the count that includes them.
    if (::fdatasync(fd_) != 0) return false;
    char head[8];
    PutDateAndCount(head, written_);
    if (::pwrite(fd_, head + 1, 7, 1) != 7) return false;
    count_ = written_;
    return true;
}

void DbfRejectFile::Flush() {
    if (!TryFlush()) throw DbfError("cannot write " + path_.string() + ": " + std::strerror(errno));
}

}  // namespace migracja::dbf
