#include "dbf/DbfMemo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/FileSearch.h"
#include "base/RegularFile.h"
#include "base/Text.h"
#include "dbf/DbfField.h"

namespace migracja::dbf {
namespace {

constexpr std::uint32_t kHeaderBytes = 512;  // every memo format starts with a 512-byte header
constexpr char kEndMark = '\x1A';
constexpr std::uint64_t kFirstRead = 4096;
constexpr char kDBase4Signature[] = "\xFF\xFF\x08\x00";

bool IsFoxVersion(std::uint8_t v) {
    return v == 0x30 || v == 0x31 || v == 0x32 || v == 0xF5 || v == 0xFB;
}

std::string Count(std::uint64_t n) {
    return std::to_string(n);
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint32_t ReadU32Le(const char* p) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(p[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[3])) << 24;
}

std::uint32_t ReadU32Be(const char* p) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(p[3])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[0])) << 24;
}

std::string SystemErrorUtf8(int error) {
    return text::Win1250ToUtf8(config::SystemErrorText(error));
}

FileDescriptor OpenLockedFile(const std::filesystem::path& file, bool exclusive,
                              const std::string& what, std::uint64_t& size) {
    const std::string name = file.string();
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
    if (!opened.refusal.empty())
        throw DbfError("Nie można otworzyć pliku " + what + ": " +
                       text::Win1250ToUtf8(opened.refusal));
    if (!opened.Opened()) {
        const int e = opened.error;
        if (e == ENOENT || e == ENOTDIR)
            throw DbfError("Plik " + what + " " + name + " nie istnieje");
        throw DbfError("Nie można otworzyć pliku " + what + " " + name + ": " + SystemErrorUtf8(e));
    }
    FileDescriptor fd(opened.fd);

    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw DbfError("Nie można zbadać pliku " + what + " " + name + ": " +
                       SystemErrorUtf8(errno));
    size = static_cast<std::uint64_t>(st.st_size);

    const std::string locked = "Plik " + what + " " + name +
                               " jest używany przez inny program albo już otwarty, więc nie można "
                               "go otworzyć " +
                               (exclusive ? "na wyłączność" : "do odczytu");
    // An open-file-description lock conflicts with other opens in this process as well as with
    // POSIX record locks of other programs; flock covers programs that lock the BSD way.
    struct flock range {};
    range.l_type = static_cast<short>(exclusive && writable ? F_WRLCK : F_RDLCK);
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;  // the whole file, however it grows
    if (::fcntl(fd.get(), F_OFD_SETLK, &range) != 0) {
        if (errno == EAGAIN || errno == EACCES) throw DbfError(locked);
        throw DbfError("Nie można zablokować pliku " + what + " " + name + ": " +
                       SystemErrorUtf8(errno));
    }
    if (::flock(fd.get(), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) throw DbfError(locked);
        throw DbfError("Nie można zablokować pliku " + what + " " + name + ": " +
                       SystemErrorUtf8(errno));
    }
    return fd;
}

std::optional<std::filesystem::path> DbfMemo::Find(const std::filesystem::path& dbfFile,
                                                   std::uint8_t version) {
    std::filesystem::path folder = dbfFile.parent_path();
    if (folder.empty()) folder = ".";
    const std::string stem = config::TextFromPath(dbfFile.stem());
    const char* first = IsFoxVersion(version) ? ".FPT" : ".DBT";
    const char* second = IsFoxVersion(version) ? ".DBT" : ".FPT";
    if (auto found = config::FindFile(folder, stem + first)) return found;
    return config::FindFile(folder, stem + second);
}

DbfMemo DbfMemo::Open(const std::filesystem::path& file, std::uint8_t version, bool exclusive) {
    DbfMemo m;
    m.path_ = file;
    m.fd_ = OpenLockedFile(file, exclusive, "memo", m.size_);
    const std::string ext = text::ToUpper(config::TextFromPath(file.extension()));
    // A path without either extension (a memo file handed over by name) follows the version.
    if (ext == ".FPT" || (ext != ".DBT" && IsFoxVersion(version)))
        m.format_ = Format::Fox;
    else
        m.format_ = (version & 0x0F) == 0x03 ? Format::DBase3 : Format::DBase4;

    // A file shorter than its header holds no entry; every read reports it as past the end.
    if (m.size_ < kHeaderBytes) return m;
    char head[kHeaderBytes];
    m.ReadAt(0, head, sizeof head);
    if (m.format_ == Format::Fox) {
        m.blockSize_ = static_cast<std::uint32_t>(static_cast<unsigned char>(head[6])) << 8 |
                       static_cast<unsigned char>(head[7]);
        if (m.blockSize_ == 0)
            throw DbfError("Plik memo " + m.path_.string() +
                           " jest uszkodzony: nagłówek podaje rozmiar bloku 0");
    } else if (m.format_ == Format::DBase4) {
        m.blockSize_ = static_cast<unsigned char>(head[20]) |
                       static_cast<std::uint32_t>(static_cast<unsigned char>(head[21])) << 8;
        if (m.blockSize_ == 0) m.blockSize_ = 512;  // as dBase IV itself assumes
    }
    return m;
}

void DbfMemo::ReadAt(std::uint64_t offset, char* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got =
            ::pread(fd_.get(), out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw DbfError("nie można czytać pliku: " + SystemErrorUtf8(errno));
        if (got == 0) throw DbfError("plik stał się krótszy w trakcie odczytu");
        done += static_cast<std::size_t>(got);
    }
}

std::string_view DbfMemo::Read(std::uint64_t block) {
    // Block 0 (and in FoxPro files every block within the first 512 bytes) is the header.
    const std::uint64_t start = block * blockSize_;
    if (block == 0 || start < kHeaderBytes)
        throw DbfError("numer bloku " + Count(block) + " wskazuje na nagłówek pliku memo");
    if (start >= size_)
        throw DbfError("numer bloku " + Count(block) + " wskazuje poza koniec pliku memo (" +
                       Count(size_) + " bajtów)");
    const std::uint64_t room = size_ - start;

    // Most memos are short: one read takes the entry's head and, usually, all of its text.
    buffer_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(room, kFirstRead)));
    ReadAt(start, buffer_.data(), buffer_.size());
    // The text of an entry whose length its head gives: from `skip` on, `length` bytes.
    const auto lengthPrefixed = [&](std::uint64_t skip, std::uint64_t length) -> std::string_view {
        if (length > room - skip)
            throw DbfError("długość wpisu w bloku " + Count(block) + " (" + Count(length) +
                           " bajtów) wykracza poza koniec pliku memo");
        const std::size_t have = buffer_.size();
        buffer_.resize(static_cast<std::size_t>(skip + length));
        if (buffer_.size() > have)
            ReadAt(start + have, buffer_.data() + have, buffer_.size() - have);
        return std::string_view(buffer_).substr(static_cast<std::size_t>(skip));
    };

    if (format_ == Format::Fox) {
        if (room < 8) throw DbfError("wpis w bloku " + Count(block) + " jest ucięty");
        const std::uint32_t type = ReadU32Be(buffer_.data());
        const std::uint64_t length = ReadU32Be(buffer_.data() + 4);
        if (type == 0)
            throw DbfError("wpis w bloku " + Count(block) + " jest obrazem, nie tekstem");
        if (type != 1)
            throw DbfError("wpis w bloku " + Count(block) + " zawiera dane binarne (typ " +
                           Count(type) + "), nie tekst");
        return lengthPrefixed(8, length);
    }

    // dBase IV writes a length before the text; dBase III (and dBase IV for entries it took over
    // from dBase III) ends the text with 0x1A, so both are recognised in either kind of .DBT.
    if (room >= 8 && std::memcmp(buffer_.data(), kDBase4Signature, 4) == 0) {
        const std::uint64_t length = ReadU32Le(buffer_.data() + 4);
        if (length < 8)
            throw DbfError("wpis w bloku " + Count(block) + " podaje długość " + Count(length) +
                           ", mniejszą niż jego własny nagłówek");
        return lengthPrefixed(8, length - 8);
    }
    // Read on up to the end mark; the file's end bounds the search.
    std::size_t searched = 0;
    for (;;) {
        if (const void* end =
                std::memchr(buffer_.data() + searched, kEndMark, buffer_.size() - searched)) {
            buffer_.resize(
                static_cast<std::size_t>(static_cast<const char*>(end) - buffer_.data()));
            return buffer_;
        }
        searched = buffer_.size();
        if (searched >= room) break;
        const auto more =
            static_cast<std::size_t>(std::min<std::uint64_t>(kFirstRead, room - searched));
        buffer_.resize(searched + more);
        ReadAt(start + searched, buffer_.data() + searched, more);
    }
    throw DbfError("wpis w bloku " + Count(block) +
                   " nie ma znaku końca (0x1A) przed końcem pliku memo");
}

}  // namespace migracja::dbf
