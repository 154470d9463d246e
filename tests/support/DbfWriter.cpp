#include "support/DbfWriter.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "support/TempDir.h"

namespace migracja::testing {
namespace {

bool IsVisualFoxPro(std::uint8_t v) {
    return v == 0x30 || v == 0x31 || v == 0x32;
}

void PutLe(std::string& out, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Julian day number of a proleptic Gregorian date.
std::int32_t JulianDay(int y, int m, int d) {
    const int a = (14 - m) / 12;
    const int yy = y + 4800 - a;
    const int mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

}  // namespace

DbfWriter& DbfWriter::Field(const std::string& name, char type, int length, int decimals) {
    fields_.push_back({name, type, length, decimals});
    return *this;
}

std::string DbfWriter::Encode(const FieldSpec& f, const std::string& value) const {
    const auto n = static_cast<std::size_t>(f.length);
    std::string bytes;
    switch (f.type) {
        case 'N':
        case 'F':
            bytes =
                value.size() >= n ? value.substr(0, n) : std::string(n - value.size(), ' ') + value;
            return bytes;
        case 'I':
            bytes = value.empty() ? std::string(4, '\0') : Int32Bytes(std::stoi(value));
            break;
        case 'O':
            bytes = value.empty() ? std::string(8, '\0') : DoubleBytes(std::stod(value));
            break;
        case 'T':
        case '@':
            if (value.empty()) {
                bytes = std::string(8, ' ');
            } else {
                int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
                std::sscanf(value.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms);
                bytes = DateTimeBytes(JulianDay(y, mo, d), ((h * 60 + mi) * 60 + s) * 1000 + ms);
            }
            break;
        default:
            bytes = value;
            break;
    }
    bytes.resize(n, ' ');
    return bytes;
}

DbfWriter& DbfWriter::Record(const std::vector<std::string>& values, bool deleted) {
    if (values.size() != fields_.size())
        throw std::invalid_argument("DbfWriter: " + std::to_string(values.size()) + " values for " +
                                    std::to_string(fields_.size()) + " fields");
    std::string r(1, deleted ? '*' : ' ');
    for (std::size_t i = 0; i < fields_.size(); ++i) r += Encode(fields_[i], values[i]);
    records_.push_back(std::move(r));
    return *this;
}

DbfWriter& DbfWriter::RawRecord(std::string bytes) {
    records_.push_back(std::move(bytes));
    return *this;
}

DbfWriter& DbfWriter::RecordCount(std::uint32_t n) {
    recordCount_ = n;
    return *this;
}
DbfWriter& DbfWriter::HeaderLength(std::uint16_t n) {
    headerLength_ = n;
    return *this;
}
DbfWriter& DbfWriter::RecordLength(std::uint16_t n) {
    recordLength_ = n;
    return *this;
}
DbfWriter& DbfWriter::EndMarker(bool on) {
    endMarker_ = on;
    return *this;
}
DbfWriter& DbfWriter::Patch(std::size_t offset, const std::string& bytes) {
    patches_.emplace_back(offset, bytes);
    return *this;
}
DbfWriter& DbfWriter::TruncateTo(std::size_t size) {
    truncateTo_ = size;
    return *this;
}

std::size_t DbfWriter::HeaderBytes() const {
    return 32 + 32 * fields_.size() + 1 + (IsVisualFoxPro(version_) ? 263 : 0);
}

std::size_t DbfWriter::RecordBytes() const {
    std::size_t n = 1;
    for (const auto& f : fields_) n += static_cast<std::size_t>(f.length);
    return n;
}

std::string DbfWriter::Bytes() const {
    const std::size_t headerBytes = HeaderBytes();
    std::string out(headerBytes, '\0');
    out[0] = static_cast<char>(version_);
    out[1] = 124;  // last update 2024-01-15
    out[2] = 1;
    out[3] = 15;
    PutLe(out, 4, recordCount_.value_or(static_cast<std::uint32_t>(records_.size())), 4);
    PutLe(out, 8, headerLength_.value_or(static_cast<std::uint16_t>(headerBytes)), 2);
    PutLe(out, 10, recordLength_.value_or(static_cast<std::uint16_t>(RecordBytes())), 2);
    std::size_t displacement = 1;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const FieldSpec& f = fields_[i];
        const std::size_t d = 32 + 32 * i;
        std::memcpy(&out[d], f.name.data(), std::min<std::size_t>(f.name.size(), 10));
        out[d + 11] = f.type;
        PutLe(out, d + 12, displacement, 4);
        if (f.type == 'C' && f.length > 255) {
            out[d + 16] = static_cast<char>(f.length & 0xFF);
            out[d + 17] = static_cast<char>(f.length >> 8);
        } else {
            out[d + 16] = static_cast<char>(f.length);
            out[d + 17] = static_cast<char>(f.decimals);
        }
        displacement += static_cast<std::size_t>(f.length);
    }
    out[32 + 32 * fields_.size()] = '\x0D';
    for (const auto& r : records_) out += r;
    if (endMarker_) out += '\x1A';
    for (const auto& [offset, bytes] : patches_) {
        if (out.size() < offset + bytes.size()) out.resize(offset + bytes.size(), '\0');
        out.replace(offset, bytes.size(), bytes);
    }
    if (truncateTo_ && *truncateTo_ < out.size()) out.resize(*truncateTo_);
    return out;
}

void DbfWriter::WriteTo(const std::filesystem::path& file) const {
    WriteFileBytes(file, Bytes());
}

std::string DbfWriter::Int32Bytes(std::int32_t v) {
    std::string s(4, '\0');
    PutLe(s, 0, static_cast<std::uint32_t>(v), 4);
    return s;
}

std::string DbfWriter::DoubleBytes(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    std::string s(8, '\0');
    PutLe(s, 0, bits, 8);
    return s;
}

std::string DbfWriter::DateTimeBytes(std::int32_t julianDay, std::int32_t milliseconds) {
    return Int32Bytes(julianDay) + Int32Bytes(milliseconds);
}

}  // namespace migracja::testing
