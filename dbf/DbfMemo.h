#pragma once
// The memo file beside a DBF file: dBase III and dBase IV .DBT, FoxPro and Visual FoxPro .FPT.
// A memo field of a record holds only a block number; the text lives in the memo file. Entries
// are read one at a time into one reused buffer, and every length and pointer is checked against
// the size of the file before anything is allocated, so a damaged or hostile file costs at most
// its own size in memory.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace migracja::dbf {

// An open descriptor, closed with its owner; closing it releases the locks taken on it.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& o) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();
    int get() const { return fd_; }

  private:
    int fd_ = -1;
};

// Opens a file of the DBF family and locks it the way the legacy program's exclusive open does:
// no other open of it, in this process or another, may coexist (shared: only other shared opens).
// `what` names the kind of file in messages ("DBF", "memo"). Throws DbfError in Polish.
// The system's reason for a failed file operation, in Polish, as UTF-8 like every DbfError.
std::string SystemErrorUtf8(int error);

FileDescriptor OpenLockedFile(const std::filesystem::path& file, bool exclusive,
                              const std::string& what, std::uint64_t& size);

// Reads big- or little-endian 32-bit numbers from memo headers and binary fields.
std::uint32_t ReadU32Le(const char* p);
std::uint32_t ReadU32Be(const char* p);

class DbfMemo {
  public:
    enum class Format { DBase3, DBase4, Fox };

    // The memo file that belongs to the DBF file: same name, extension .FPT or .DBT in any
    // letter case; the FoxPro versions look for .FPT first, the others for .DBT. nullopt when
    // there is none.
    static std::optional<std::filesystem::path> Find(const std::filesystem::path& dbfFile,
                                                     std::uint8_t version);
    // Opens and locks the memo file and reads its header. The format follows the extension and,
    // for .DBT, the version byte of the DBF file.
    static DbfMemo Open(const std::filesystem::path& file, std::uint8_t version, bool exclusive);

    DbfMemo(DbfMemo&&) noexcept = default;
    DbfMemo& operator=(DbfMemo&&) noexcept = default;

    const std::filesystem::path& Path() const { return path_; }
    Format GetFormat() const { return format_; }
    std::uint32_t BlockSize() const { return blockSize_; }

    // The text of the entry that starts at this block. The view stays valid until the next
    // read. Throws DbfError with the reason alone (the caller adds field and record): a block
    // past the end or inside the header, a length that overruns the file, a missing end mark,
    // an entry that is a picture or binary data.
    std::string_view Read(std::uint64_t block);

  private:
    DbfMemo() = default;
    void ReadAt(std::uint64_t offset, char* out, std::size_t n);

    std::filesystem::path path_;
    FileDescriptor fd_;
    std::uint64_t size_ = 0;
    Format format_ = Format::DBase3;
    std::uint32_t blockSize_ = 512;
    std::string buffer_;
};

}  // namespace migracja::dbf
