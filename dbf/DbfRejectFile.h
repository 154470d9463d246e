#pragma once
// A DBF file that collects records set aside during a run, each exactly as it was read from its
// source file. The file has the source's header (fields, version, code page) and grows one
// record at a time, so that the records can be corrected in any DBF editor and migrated again.
//
// The file is valid at every moment, also when the process is killed: it is created under a
// temporary name and renamed when its header is complete, each record is written whole beyond
// the records the header counts, and only then, after the bytes have reached the disk, the
// header's record count is raised to include it. A reader therefore never counts a record that
// is not whole.

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace migracja::dbf {

class DbfRejectFile {
  public:
    // Creates file (replacing an existing one) with the header of the DBF file source and no
    // record. Throws DbfError when the source's header cannot be read or the file not written.
    static DbfRejectFile Create(const std::filesystem::path& file,
                                const std::filesystem::path& source);

    DbfRejectFile(DbfRejectFile&& o) noexcept;
    DbfRejectFile& operator=(DbfRejectFile&& o) noexcept;
    DbfRejectFile(const DbfRejectFile&) = delete;
    DbfRejectFile& operator=(const DbfRejectFile&) = delete;
    ~DbfRejectFile();

    // Appends one record of the source, deletion flag byte included; the copy is never marked
    // deleted. Throws DbfError when the record has another length or cannot be written; the
    // file then still holds the records before it.
    void Append(std::string_view record);

    const std::filesystem::path& Path() const { return path_; }
    std::uint32_t RecordCount() const { return count_; }
    std::uint32_t RecordLength() const { return recordLength_; }

  private:
    DbfRejectFile() = default;
    void WriteAt(std::uint64_t offset, const char* bytes, std::size_t n);

    std::filesystem::path path_;
    int fd_ = -1;
    std::uint32_t headerLength_ = 0;
    std::uint32_t recordLength_ = 0;
    std::uint32_t count_ = 0;
};

}  // namespace migracja::dbf
