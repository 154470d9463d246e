#pragma once
// A DBF file that collects records set aside during a run, each exactly as it was read from its
// source file. The file has the source's header (fields, version, code page) and grows one
// record at a time, so that the records can be corrected in any DBF editor and migrated again.
//
// The file is valid at every moment, also when the process is killed: it is created under a
// temporary name and renamed when its header is complete, each record is written whole beyond
// the records the header counts, and Flush, after those bytes have reached the disk, raises the
// header's record count to include them. A reader therefore never counts a record that is not
// whole. Flush is called once in a while (at most once a second during a run) rather than per
// record, because waiting for the disk at every record would cost more than the record.

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
    // deleted. It counts in the header from the next Flush. Throws DbfError when the record has
    // another length or cannot be written; the file then still holds the records before it.
    void Append(std::string_view record);
    // Syncs the appended records to the disk, then counts them in the header. Throws DbfError.
    void Flush();

    const std::filesystem::path& Path() const { return path_; }
    // Records appended; the header counts those of the last Flush.
    std::uint32_t RecordCount() const { return written_; }
    std::uint32_t RecordLength() const { return recordLength_; }

  private:
    DbfRejectFile() = default;
    void WriteAt(std::uint64_t offset, const char* bytes, std::size_t n);
    // Flush without throwing, for the destructor: false when the file could not be synced.
    bool TryFlush() noexcept;

    std::filesystem::path path_;
    int fd_ = -1;
    std::uint32_t headerLength_ = 0;
    std::uint32_t recordLength_ = 0;
    std::uint32_t count_ = 0;    // in the header
    std::uint32_t written_ = 0;  // appended
};

}  // namespace migracja::dbf
