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

#include "base/Values.h"
#include "dbf/DbfField.h"
#include "dbf/DbfMemo.h"

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
    // A file with memo fields also opens and locks its memo file (DbfMemo::Find) with the same
    // access; when there is none, reading a memo reports it. A memo file named here is opened
    // instead, for files that do not lie side by side.
    static DbfTable Open(const std::filesystem::path& file, Access access = Access::Exclusive,
                         const std::optional<std::filesystem::path>& memoFile = std::nullopt);

    DbfTable(DbfTable&&) noexcept = default;
    DbfTable& operator=(DbfTable&&) noexcept = default;
    DbfTable(const DbfTable&) = delete;
    DbfTable& operator=(const DbfTable&) = delete;
    ~DbfTable() = default;  // closing the descriptor releases the locks

    const std::filesystem::path& Path() const { return path_; }
    std::uint8_t Version() const { return version_; }
    // The language-driver byte of the header (the code page the file was written in); 0 when
    // the file carries no mark.
    std::uint8_t CodePageMark() const { return codePageMark_; }

    // The record count of the header, deleted records included.
    std::uint32_t RecordCount() const { return recordCount_; }
    // Whole records actually present; less than RecordCount() when the file is truncated.
    std::uint32_t AvailableRecordCount() const { return available_; }
    bool IsTruncated() const { return available_ < recordCount_; }
    // Whole records that follow the last one the header counts; they are not read.
    std::uint32_t ExtraRecordCount() const { return extra_; }
    // A sentence for the error log when the file is truncated or holds records past its
    // header's count, else empty.
    const std::string& Warning() const { return warning_; }

    bool HasMemoFields() const;
    // The open memo file; nullopt when the file has no memo fields or no memo file.
    const std::optional<DbfMemo>& Memo() const { return memo_; }

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

    // Navigation over the records not marked deleted. Each returns !Eof().
    bool First();
    bool Next();
    bool Eof() const { return current_ == 0; }
    // Physical number of the current record, counted from 1; 0 at the end.
    std::uint32_t RecordNumber() const { return current_; }

    // What shows that another program rewrote the open file in place: its size and
    // modification time and the header's date and record count, read from the file now.
    struct Stamp {
        std::uint64_t size = 0;
        std::int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
        std::uint64_t header = 0;  // bytes 0..7: version, date (YYMMDD), record count
        bool operator==(const Stamp&) const = default;
    };
    Stamp ReadStamp() const;

    // Values of the current record; throw DbfError at the end or for a field of another type.
    // Text stays valid until the next move.
    std::string_view RawValue(int i) const;
    std::string_view AsText(int i) const;  // any type: the stored bytes, trailing blanks cut
    std::int32_t AsInteger(int i) const;   // N, F, I, O; rounded; 0 when blank or unreadable
    Money AsMoney(int i) const;            // N, F, I, O; 0 when blank or unreadable
    DateTime AsDateTime(int i) const;      // D, T, @; 0 when blank or impossible
    bool AsLogical(int i) const;           // L: true only for "T" and "t"
    // M: the text of the memo, read from the memo file now; empty when the record has none.
    // Valid until the next memo read. Throws DbfError naming the memo file, the field and the
    // record when the memo file is missing or damaged, or the entry is not text.
    std::string_view AsMemo(int i);
    // Whether the value of field i is neither blank nor readable as its type: a number field
    // holding overflow marks ("***") or other text, or a number (a double too) too large for
    // the field's kind.
    // The typed accessors give 0 for such a value; the migration reports it instead.
    bool IsUnreadable(int i) const;
    // The current record as stored, deletion flag byte first; valid until the next move.
    std::string_view RecordBytes() const;

  private:
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
    FileDescriptor fd_;
    std::uint64_t fileSize_ = 0;
    std::uint8_t version_ = 0;
    std::uint32_t recordCount_ = 0;
    std::uint32_t available_ = 0;
    std::uint32_t extra_ = 0;
    std::uint8_t codePageMark_ = 0;
    std::uint32_t headerLength_ = 0;
    std::uint32_t recordLength_ = 0;
    std::string warning_;
    std::vector<DbfField> fields_;
    std::optional<DbfMemo> memo_;

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
