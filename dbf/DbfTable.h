#pragma once
// Read-only access to one legacy DBF file: dBase III+ and the header variants of dBase IV,
// FoxPro and Visual FoxPro. The file is streamed through a fixed buffer, so memory does not
// grow with the file; ordering by an index expression keeps only the keys and record numbers
// in memory and writes no index file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/Values.h"
#include "dbf/DbfField.h"

namespace migracja::dbf {

// The legacy definitions write "?" (or nothing) for "no index"; only longer texts are
// expressions.
inline bool IsIndexExpression(std::string_view expression) {
    return expression.size() > 2;
}

class DbfTable {
  public:
    static constexpr std::size_t kMaxFields = 101;

    enum class Access {
        Exclusive,  // no other open of the file, in this process or another, may coexist
        Shared,     // other shared opens may coexist, exclusive ones may not
    };

    // Opens and locks the file and positions on the first visited record. Throws DbfError when
    // the file is missing, locked, not a DBF file, of an unsupported variant, or has more than
    // kMaxFields fields.
    static DbfTable Open(const std::filesystem::path& file, Access access = Access::Exclusive);

    DbfTable(DbfTable&&) noexcept = default;
    DbfTable& operator=(DbfTable&&) noexcept = default;
    DbfTable(const DbfTable&) = delete;
    DbfTable& operator=(const DbfTable&) = delete;
    ~DbfTable() = default;  // closing the descriptor releases the locks

    const std::filesystem::path& Path() const { return path_; }
    std::uint8_t Version() const { return version_; }

    // The record count of the header, deleted records included.
    std::uint32_t RecordCount() const { return recordCount_; }
    // Whole records actually present; less than RecordCount() when the file is truncated.
    std::uint32_t AvailableRecordCount() const { return available_; }
    bool IsTruncated() const { return available_ < recordCount_; }
    // A sentence for the error log when the file is truncated, else empty.
    const std::string& Warning() const { return warning_; }

    const std::vector<DbfField>& Fields() const { return fields_; }
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    const DbfField& Field(int i) const {
        if (static_cast<std::size_t>(i) >= fields_.size()) NoField(i);
        return fields_[static_cast<std::size_t>(i)];
    }
    // Index of the field with this name, compared without regard to case.
    std::optional<int> FindField(std::string_view name) const;

    // Visits records in ascending order of the dBase key expression, equal keys in file order,
    // and moves to the first one. Records are then read one at a time with pread, not through a
    // map of the file: another program shortening the file would turn a read of the map into
    // SIGBUS, where a read reports the file as shorter. Throws
    // DbfError naming the expression when it cannot be evaluated; the current order and position
    // are then unchanged.
    void SetOrder(std::string_view expression);
    // Back to file order, at the first record.
    void ClearOrder();
    bool IsOrdered() const { return ordered_; }

    // Navigation over the records not marked deleted. Each returns !Eof().
    bool First();
    bool Next();
    bool Eof() const { return current_ == 0; }
    // Physical number of the current record, counted from 1; 0 at the end.
    std::uint32_t RecordNumber() const { return current_; }

    // Values of the current record; throw DbfError at the end or for a field of another type.
    // Text stays valid until the next move.
    std::string_view RawValue(int i) const;
    std::string_view AsText(int i) const;  // any type: the stored bytes, trailing blanks cut
    std::int32_t AsInteger(int i) const;   // N, F, I, O; rounded; 0 when blank or unreadable
    Money AsMoney(int i) const;            // N, F, I, O; 0 when blank or unreadable
    DateTime AsDateTime(int i) const;      // D, T, @; 0 when blank or impossible
    bool AsLogical(int i) const;           // L: true only for "T" and "t"
    // The current record as stored, deletion flag byte first; valid until the next move.
    std::string_view RecordBytes() const;

  private:
    class Descriptor {
      public:
        Descriptor() = default;
        explicit Descriptor(int fd) : fd_(fd) {}
        Descriptor(Descriptor&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
        Descriptor& operator=(Descriptor&& o) noexcept;
        ~Descriptor();
        int get() const { return fd_; }

      private:
        int fd_ = -1;
    };

    DbfTable() = default;
    void ReadHeader();
    void Load(std::uint32_t record);
    bool SeekVisited(std::uint32_t from);
    bool SeekOrdered(std::size_t position);
    // The stored bytes of field i in the current record; inline because it runs per field.
    const char* Current(int i, const char* use) const {
        const DbfField& f = Field(i);
        if (current_ == 0) NoRecord(i, use);
        return record_ + f.offset;
    }
    [[noreturn]] void NoField(int i) const;
    [[noreturn]] void NoRecord(int i, const char* use) const;
    [[noreturn]] void WrongType(int i, const char* wanted) const;

    std::filesystem::path path_;
    std::string name_;  // path_ as text, for messages
    Descriptor fd_;
    std::uint64_t fileSize_ = 0;
    std::uint8_t version_ = 0;
    std::uint32_t recordCount_ = 0;
    std::uint32_t available_ = 0;
    std::uint32_t headerLength_ = 0;
    std::uint32_t recordLength_ = 0;
    std::string warning_;
    std::vector<DbfField> fields_;

    // Read window over the record area: whole records from file offset windowStart_.
    std::vector<char> buffer_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowLength_ = 0;
    std::size_t recordInWindow_ = 0;
    const char* record_ = nullptr;  // the current record, in the buffer
    std::uint32_t readAhead_ = 1;   // records per read when access runs forwards

    bool ordered_ = false;
    std::vector<std::uint32_t> order_;  // record numbers in key order
    std::size_t orderPosition_ = 0;
    std::uint32_t current_ = 0;
};

}  // namespace migracja::dbf
