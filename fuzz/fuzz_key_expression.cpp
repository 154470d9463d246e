// The index-expression parser and key encoder: the input is the expression, compiled against
// fields of every type; accepted expressions are encoded over records made from the input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/DbfKeyExpression.h"

using migracja::ValueKind;
using migracja::dbf::DbfError;
using migracja::dbf::DbfField;
using migracja::dbf::DbfKeyExpression;
using migracja::dbf::DbfKindOf;

namespace {

std::vector<DbfField> Fields() {
    struct FieldShape {
        const char* name;
        char type;
        int length, decimals;
    };
    const FieldShape shapes[] = {{"NAZWA", 'C', 20, 0}, {"K", 'C', 1, 0},      {"PUSTY", 'C', 0, 0},
                                 {"NR", 'N', 4, 0},     {"KW", 'N', 12, 3},    {"F", 'F', 20, 18},
                                 {"DATA", 'D', 8, 0},   {"KROTKA", 'D', 3, 0}, {"L", 'L', 1, 0},
                                 {"I", 'I', 4, 0},      {"O", 'O', 8, 0},      {"T", 'T', 8, 0},
                                 {"UWAGI", 'M', 10, 0}, {"DLUGI", 'C', 300, 0}};
    std::vector<DbfField> fields;
    std::size_t offset = 1;
    for (const FieldShape& s : shapes) {
        DbfField f;
        f.name = s.name;
        f.type = s.type;
        f.length = s.length;
        f.decimals = s.decimals;
        f.kind = DbfKindOf(s.type, s.length, s.decimals);
        f.offset = offset;
        offset += static_cast<std::size_t>(s.length);
        fields.push_back(f);
    }
    return fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<DbfField> fields = Fields();
    static const std::size_t recordLength = fields.back().offset + fields.back().length;
    const std::string_view expression(reinterpret_cast<const char*>(data), size);
    try {
        const DbfKeyExpression key = DbfKeyExpression::Compile(expression, fields, "FUZZ.DBF");
        if (key.KeyWidth() == 0 || key.KeyWidth() > DbfKeyExpression::kMaxKeyWidth)
            __builtin_trap();
        // Records of blanks, of digits and of the input's own bytes; each key exactly its width.
        std::string out(key.KeyWidth() + 1, '\x7F');
        for (int round = 0; round < 3; ++round) {
            std::string record(recordLength, round == 0 ? ' ' : '1');
            if (round == 2)
                for (std::size_t i = 0; i < recordLength && size > 0; ++i)
                    record[i] = static_cast<char>(data[i % size]);
            key.EncodeKey(record.data(), out.data());
            if (out.back() != '\x7F') __builtin_trap();  // wrote past the key
        }
    } catch (const DbfError&) {
    }
    return 0;
}
