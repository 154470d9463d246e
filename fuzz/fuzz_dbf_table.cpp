// The DBF reader on arbitrary file contents: header, field descriptors, every record read with
// every accessor, memos included, then index orders over the fields the header declares. An
// input holding the marker "MEMOFILE" is split there: the bytes before it are the DBF file, the
// bytes after it its memo file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzFile.h"
#include "dbf/DbfTable.h"

using migracja::dbf::DbfError;
using migracja::dbf::DbfTable;

namespace {

// Touches every byte a value is made of, so the sanitizers see any read outside a field.
std::size_t ReadRecord(DbfTable& t) {
    std::size_t sum = 0;
    for (int i = 0; i < t.FieldCount(); ++i) {
        sum += t.RawValue(i).size() + t.AsText(i).size();
        try {
            sum += static_cast<std::size_t>(t.AsInteger(i));
            sum += static_cast<std::size_t>(t.AsMoney(i).raw);
        } catch (const DbfError&) {
        }
        try {
            sum += t.AsDateTime(i) != 0 ? 1 : 0;
        } catch (const DbfError&) {
        }
        try {
            sum += t.AsLogical(i) ? 1 : 0;
        } catch (const DbfError&) {
        }
        try {
            const std::string_view memo = t.AsMemo(i);
            for (char c : memo) sum += static_cast<unsigned char>(c);
        } catch (const DbfError&) {
        }
        sum += t.IsUnreadable(i) ? 1 : 0;
    }
    return sum;
}

std::size_t ReadAll(DbfTable& t) {
    std::size_t sum = 0;
    int budget = 10000;  // bounded work per input
    for (bool more = t.First(); more && budget-- > 0; more = t.Next()) sum += ReadRecord(t);
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static migracja::fuzz::FuzzFile file, memoFile;
    static constexpr std::string_view kMarker = "MEMOFILE";
    const auto* begin = reinterpret_cast<const char*>(data);
    const char* split = std::search(begin, begin + size, kMarker.begin(), kMarker.end());
    const auto dbfSize = static_cast<std::size_t>(split - begin);
    const std::string& path = file.Hold(data, dbfSize);
    std::optional<std::string> memoPath;
    if (dbfSize < size)
        memoPath = memoFile.Hold(data + dbfSize + kMarker.size(), size - dbfSize - kMarker.size());
    try {
        DbfTable t = DbfTable::Open(
            path, DbfTable::Access::Shared,
            memoPath ? std::optional<std::filesystem::path>(*memoPath) : std::nullopt);
        volatile std::size_t sink = ReadAll(t);
        const int n = t.FieldCount();
        const std::string first = t.Field(0).name, last = t.Field(n - 1).name;
        for (const std::string& expression :
             {first, "UPPER(" + first + ")+" + last, "DTOS(" + last + ")", "STR(" + first + ",8,2)",
              "SUBSTR(" + first + ",2)+" + last}) {
            try {
                t.SetOrder(expression);
                sink = sink + ReadAll(t);
            } catch (const DbfError&) {
            }
        }
        (void)sink;
    } catch (const DbfError&) {
    }
    return 0;
}
