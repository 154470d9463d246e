#pragma once
// Builds legacy DBF files for tests, byte by byte, independently of the reader: the fields
// with their type, length and decimals, the records as texts of values, deleted flags, the
// version byte, and raw-byte overrides for damaged files.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace migracja::testing {

class DbfWriter {
  public:
    // 0x03 dBase III+; 0x83, 0x8B, 0xF5 ... with memo; 0x30, 0x31, 0x32 Visual FoxPro, whose
    // header gets the 263-byte backlink area.
    explicit DbfWriter(std::uint8_t version = 0x03) : version_(version) {}

    DbfWriter& Field(const std::string& name, char type, int length, int decimals = 0);

    // One value per field, written as dBase stores it: C, D, L and unknown types left-aligned
    // and blank-padded, N and F right-aligned. Binary types take text: I "-12", O "1.5",
    // T and @ "2024-02-29 13:45:30.250" (day number and milliseconds); "" leaves them blank.
    DbfWriter& Record(const std::vector<std::string>& values, bool deleted = false);
    DbfWriter& Deleted(const std::vector<std::string>& values) { return Record(values, true); }
    // A whole record as given, the deletion flag byte included.
    DbfWriter& RawRecord(std::string bytes);

    // Overrides of what the header would say.
    DbfWriter& RecordCount(std::uint32_t n);
    DbfWriter& HeaderLength(std::uint16_t n);
    DbfWriter& RecordLength(std::uint16_t n);
    // The 0x1A end-of-file byte after the records (on by default).
    DbfWriter& EndMarker(bool on);
    // Bytes written over the finished image at an offset (may extend it).
    DbfWriter& Patch(std::size_t offset, const std::string& bytes);
    // Cuts the finished image to this many bytes.
    DbfWriter& TruncateTo(std::size_t size);

    // Where things lie in the image, for patches.
    std::size_t HeaderBytes() const;
    std::size_t RecordBytes() const;
    std::size_t RecordOffset(std::size_t index) const {
        return HeaderBytes() + index * RecordBytes();
    }

    std::string Bytes() const;
    void WriteTo(const std::filesystem::path& file) const;

    // Encodings of the binary field types.
    static std::string Int32Bytes(std::int32_t v);
    static std::string DoubleBytes(double v);
    static std::string DateTimeBytes(std::int32_t julianDay, std::int32_t milliseconds);

  private:
    struct FieldSpec {
        std::string name;
        char type;
        int length;
        int decimals;
    };
    std::string Encode(const FieldSpec& f, const std::string& value) const;

    std::uint8_t version_;
    std::vector<FieldSpec> fields_;
    std::vector<std::string> records_;
    std::optional<std::uint32_t> recordCount_;
    std::optional<std::uint16_t> headerLength_, recordLength_;
    bool endMarker_ = true;
    std::vector<std::pair<std::size_t, std::string>> patches_;
    std::optional<std::size_t> truncateTo_;
};

}  // namespace migracja::testing
