#pragma once
// dBase index key expressions, compiled against the fields of one file and evaluated over raw
// records. Supported: field names (matched without regard to case), character terms joined
// with "+", string literals, and the functions UPPER(c), DTOS(d), STR(n[,len[,dec]]),
// SUBSTR(c,start[,len]), LEFT(c,n) and RIGHT(c,n). Function names may be shortened to four
// letters, as dBase allows.
//
// A key is encoded into a fixed number of bytes that compare with memcmp in the order dBase
// gives: character keys as stored (padded to their full width), numeric keys by value, dates
// chronologically with blank dates first.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/DbfField.h"

namespace migracja::dbf {

class DbfKeyExpression {
  public:
    enum class Type { Character, Numeric, Date };

    // dBase itself keeps keys to a few hundred bytes; this bound admits any two dBase III
    // character fields and keeps the memory of an order proportional to the records.
    static constexpr std::size_t kMaxKeyWidth = 512;
    // Parentheses and function calls inside one another.
    static constexpr int kMaxNesting = 100;

    // Throws DbfError naming the expression and the file when the expression is not valid for
    // these fields, nests deeper than kMaxNesting or gives keys wider than kMaxKeyWidth.
    // Compiling and encoding take time linear in the length of the expression.
    static DbfKeyExpression Compile(std::string_view expression,
                                    const std::vector<DbfField>& fields,
                                    const std::string& fileName);

    DbfKeyExpression(DbfKeyExpression&&) noexcept;
    DbfKeyExpression& operator=(DbfKeyExpression&&) noexcept;
    ~DbfKeyExpression();

    Type ResultType() const { return type_; }
    // Bytes of one encoded key: the width of a character key, 8 for numbers and dates.
    std::size_t KeyWidth() const { return width_; }
    // Writes KeyWidth() bytes for a record (deletion flag at byte 0) into out.
    void EncodeKey(const char* record, char* out) const;

    struct Node;

  private:
    DbfKeyExpression() = default;
    std::unique_ptr<Node> root_;
    Type type_ = Type::Character;
    std::size_t width_ = 0;
};

}  // namespace migracja::dbf
