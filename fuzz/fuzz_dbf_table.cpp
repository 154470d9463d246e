// The DBF reader on arbitrary file contents: header, field descriptors, every record read with
// every accessor, then index orders over the fields the header declares.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzFile.h"
#include "dbf/DbfTable.h"

using migracja::dbf::DbfError;
using migracja::dbf::DbfTable;

namespace {

// Touches every byte a value is made of, so the sanitizers see any read outside a field.
std::size_t ReadRecord(const DbfTable& t) {
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
    static migracja::fuzz::FuzzFile file;
    const std::string& path = file.Hold(data, size);
    try {
        DbfTable t = DbfTable::Open(path, DbfTable::Access::Shared);
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
