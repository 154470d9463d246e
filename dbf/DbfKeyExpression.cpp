#include "dbf/DbfKeyExpression.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "base/Decimal.h"
#include "base/Text.h"

namespace migracja::dbf {

using Type = DbfKeyExpression::Type;

// One term of a compiled expression. A character term of `width` bytes writes any window of
// them, so SUBSTR() of a long argument costs only the bytes it keeps and no term holds a copy
// of its argument; numeric terms give their value as a mantissa at `scale`; date terms give a
// DateTime.
struct DbfKeyExpression::Node {
    Type type = Type::Character;
    std::size_t width = 0;
    int scale = 0;

    virtual ~Node() = default;
    // Writes bytes [from, from + count) of the value to out; from + count <= width.
    virtual void Chars(const char* /*record*/, char* /*out*/, std::size_t /*from*/,
                       std::size_t /*count*/) const {}
    virtual std::int64_t Number(const char* /*record*/) const { return 0; }
    virtual DateTime Date(const char* /*record*/) const { return 0; }
};

namespace {

using NodePtr = std::unique_ptr<DbfKeyExpression::Node>;
using Node = DbfKeyExpression::Node;

struct CharField : Node {
    std::size_t offset;
    explicit CharField(const DbfField& f) : offset(f.offset) {
        width = static_cast<std::size_t>(f.length);
    }
    void Chars(const char* record, char* out, std::size_t from, std::size_t count) const override {
        // The key holds the text the reader delivers, padded with blanks like dBase keys.
        const std::string_view t = TextOf(record + offset, width);
        const std::size_t stored = t.size() > from ? std::min(t.size() - from, count) : 0;
        if (stored > 0) std::memcpy(out, t.data() + from, stored);
        std::memset(out + stored, ' ', count - stored);
    }
};

struct NumberField : Node {
    DbfField field;
    explicit NumberField(const DbfField& f) : field(f) {
        type = Type::Numeric;
        scale = f.type == 'I' ? 0 : f.type == 'O' ? 4 : (f.decimals > 18 ? 18 : f.decimals);
    }
    std::int64_t Number(const char* record) const override {
        const auto d = NumberOf(field, record + field.offset);
        if (!d) return 0;  // blank and unreadable numbers sort as 0, as the reader reads them
        const auto m = Rescale(*d, scale);
        return m ? *m : 0;
    }
};

struct DateField : Node {
    DbfField field;
    explicit DateField(const DbfField& f) : field(f) { type = Type::Date; }
    DateTime Date(const char* record) const override {
        return DateOf(field, record + field.offset);
    }
};

struct Literal : Node {
    std::string bytes;
    explicit Literal(std::string b) : bytes(std::move(b)) { width = bytes.size(); }
    void Chars(const char*, char* out, std::size_t from, std::size_t count) const override {
        if (count > 0) std::memcpy(out, bytes.data() + from, count);
    }
};

struct Concat : Node {
    std::vector<NodePtr> parts;
    std::vector<std::size_t> starts;  // offset of each part in the joined value

    void Add(NodePtr part) {
        starts.push_back(width);
        width += part->width;
        parts.push_back(std::move(part));
    }
    void Chars(const char* record, char* out, std::size_t from, std::size_t count) const override {
        // The first part that reaches into the window, then on until the window is full.
        std::size_t k = static_cast<std::size_t>(
            std::upper_bound(starts.begin(), starts.end(), from) - starts.begin() - 1);
        for (; count > 0; ++k) {
            const Node& p = *parts[k];
            const std::size_t inPart = from - starts[k];
            const std::size_t n = std::min(p.width - inPart, count);
            p.Chars(record, out, inPart, n);
            out += n, from += n, count -= n;
        }
    }
};

struct Upper : Node {
    NodePtr arg;
    explicit Upper(NodePtr a) : arg(std::move(a)) { width = arg->width; }
    void Chars(const char* record, char* out, std::size_t from, std::size_t count) const override {
        arg->Chars(record, out, from, count);
        for (std::size_t i = 0; i < count; ++i) out[i] = text::ToUpper(out[i]);
    }
};

struct Dtos : Node {
    NodePtr arg;
    explicit Dtos(NodePtr a) : arg(std::move(a)) { width = 8; }
    void Chars(const char* record, char* out, std::size_t from, std::size_t count) const override {
        char text[8];
        const DateTime d = arg->Date(record);
        if (d == 0) {
            std::memset(text, ' ', 8);  // DTOS of a blank date is blank
        } else {
            const CivilDateTime c = DecodeDateTime(d);
            int v = c.year * 10000 + c.month * 100 + c.day;
            for (int i = 7; i >= 0; --i, v /= 10) text[i] = static_cast<char>('0' + v % 10);
        }
        std::memcpy(out, text + from, count);
    }
};

// STR(n, len, dec): right-aligned; when the number does not fit, decimals are given up first
// and asterisks fill the width when even the whole part does not fit.
struct Str : Node {
    NodePtr arg;
    int decimals;
    Str(NodePtr a, int len, int dec) : arg(std::move(a)), decimals(dec) {
        width = static_cast<std::size_t>(len);
    }
    void Chars(const char* record, char* out, std::size_t from, std::size_t count) const override {
        const std::string text = Text(record);
        std::memcpy(out, text.data() + from, count);
    }
    std::string Text(const char* record) const {
        const Decimal value{arg->Number(record), arg->scale};
        for (int dec = decimals; dec >= 0; --dec) {
            const auto m = Rescale(value, dec);
            if (!m) break;
            const std::string s = FormatDecimal({*m, dec});
            if (s.size() <= width) return std::string(width - s.size(), ' ') + s;
        }
        return std::string(width, '*');
    }
};

struct Substr : Node {
    NodePtr arg;
    std::size_t start;  // from 0
    Substr(NodePtr a, std::size_t from, std::size_t len) : arg(std::move(a)), start(from) {
        width = len;
    }
    void Chars(const char* record, char* out, std::size_t from, std::size_t count) const override {
        arg->Chars(record, out, start + from, count);
    }
};

class Parser {
  public:
    Parser(std::string_view expression, const std::vector<DbfField>& fields,
           const std::string& fileName)
        : s_(expression), fields_(fields), fileName_(fileName) {}

    NodePtr ParseAll() {
        NodePtr n = ParseSum();
        SkipBlanks();
        if (pos_ < s_.size()) Fail("nieoczekiwane " + Quoted(s_.substr(pos_)));
        return n;
    }

    [[noreturn]] void Fail(const std::string& reason) const {
        throw DbfError("Nie można obliczyć wyrażenia indeksu " + Quoted(s_) + " dla pliku " +
                       fileName_ + ": " + reason);
    }

    // Long expressions are named by their start and length, so a message stays readable.
    static std::string Quoted(std::string_view s) {
        constexpr std::size_t kShown = 80;
        if (s.size() <= kShown) return "\"" + std::string(s) + "\"";
        return "\"" + std::string(s.substr(0, kShown)) + "...\" (" + std::to_string(s.size()) +
               " znaków)";
    }

  private:
    static bool IsIdentStart(char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u >= 0x80;
    }
    static bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

    void SkipBlanks() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
    }
    bool Accept(char c) {
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void Expect(char c, const char* what) {
        if (!Accept(c)) Fail(std::string("oczekiwano ") + what);
    }

    NodePtr ParseSum() {
        NodePtr first = ParseTerm();
        if (!Accept('+')) return first;
        auto concat = std::make_unique<Concat>();
        concat->Add(std::move(first));
        do concat->Add(ParseTerm());
        while (Accept('+'));
        for (const auto& p : concat->parts)
            if (p->type != Type::Character) Fail("\"+\" łączy tylko wartości znakowe");
        return concat;
    }

    // Parentheses and function calls recurse; the depth is bounded so that no expression can
    // exhaust the stack.
    class Nested {
      public:
        explicit Nested(Parser& p) : p_(p) {
            if (++p_.depth_ > DbfKeyExpression::kMaxNesting)
                p_.Fail("nawiasy i funkcje są zagnieżdżone głębiej niż na " +
                        std::to_string(DbfKeyExpression::kMaxNesting) + " poziomów");
        }
        ~Nested() { --p_.depth_; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;

      private:
        Parser& p_;
    };

    NodePtr ParseTerm() {
        SkipBlanks();
        if (pos_ >= s_.size()) Fail("wyrażenie kończy się za wcześnie");
        const char c = s_[pos_];
        if (c == '(') {
            ++pos_;
            const Nested nested(*this);
            NodePtr inner = ParseSum();
            Expect(')', "\")\"");
            return inner;
        }
        if (c == '"' || c == '\'' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const std::size_t end = s_.find(close, pos_ + 1);
            if (end == std::string_view::npos) Fail("tekst w cudzysłowie nie jest zamknięty");
            auto lit = std::make_unique<Literal>(std::string(s_.substr(pos_ + 1, end - pos_ - 1)));
            pos_ = end + 1;
            return lit;
        }
        if (!IsIdentStart(c)) Fail("nieoczekiwane " + Quoted(s_.substr(pos_)));
        const std::size_t begin = pos_;
        while (pos_ < s_.size() && IsIdentChar(s_[pos_])) ++pos_;
        const std::string name(s_.substr(begin, pos_ - begin));
        if (Accept('(')) {
            const Nested nested(*this);
            return ParseFunction(name);
        }
        return FieldTerm(name);
    }

    NodePtr FieldTerm(const std::string& name) const {
        for (const DbfField& f : fields_) {
            if (!text::EqualsIgnoreCase(f.name, name)) continue;
            switch (f.type) {
                case 'C':
                    return std::make_unique<CharField>(f);
                case 'N':
                case 'F':
                case 'I':
                case 'O':
                case 'Y':
                    return std::make_unique<NumberField>(f);
                case 'D':
                case 'T':
                case '@':
                    return std::make_unique<DateField>(f);
                default:
                    Fail("pole " + FieldName(f) + " typu " + std::string(1, f.type) +
                         " nie może być częścią klucza");
            }
        }
        Fail("brak pola " + text::Win1250ToUtf8(name));
    }

    static bool NamesFunction(const std::string& written, std::string_view function) {
        const std::string upper = text::ToUpper(written);
        if (upper == function) return true;
        return upper.size() >= 4 && function.substr(0, upper.size()) == upper;
    }

    int ParseInt(const char* what) {
        SkipBlanks();
        const std::size_t begin = pos_;
        long v = 0;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9' && v < 100000)
            v = v * 10 + (s_[pos_++] - '0');
        if (pos_ == begin) Fail(std::string("oczekiwano liczby całkowitej: ") + what);
        return static_cast<int>(v);
    }

    NodePtr Argument(Type wanted, const std::string& function) {
        NodePtr a = ParseSum();
        if (a->type != wanted) {
            static const char* kNames[] = {"znakowego", "liczbowego", "typu data"};
            Fail(function + "() wymaga argumentu " + kNames[static_cast<int>(wanted)]);
        }
        return a;
    }

    NodePtr ParseFunction(const std::string& name) {
        NodePtr result;
        if (NamesFunction(name, "UPPER")) {
            result = std::make_unique<Upper>(Argument(Type::Character, "UPPER"));
        } else if (NamesFunction(name, "DTOS")) {
            result = std::make_unique<Dtos>(Argument(Type::Date, "DTOS"));
        } else if (NamesFunction(name, "STR")) {
            NodePtr arg = Argument(Type::Numeric, "STR");
            int len = 10, dec = 0;
            if (Accept(',')) {
                len = ParseInt("długość STR()");
                if (Accept(',')) dec = ParseInt("miejsca po przecinku STR()");
            }
            if (len < 1 || len > 255) Fail("długość STR() musi wynosić od 1 do 255");
            if (dec > 18 || (dec > 0 && dec + 2 > len))
                Fail("miejsca po przecinku STR() nie mieszczą się w jej długości");
            result = std::make_unique<Str>(std::move(arg), len, dec);
        } else if (NamesFunction(name, "SUBSTR")) {
            NodePtr arg = Argument(Type::Character, "SUBSTR");
            Expect(',', "początku SUBSTR()");
            const auto start = static_cast<std::size_t>(ParseInt("początek SUBSTR()"));
            const std::size_t avail =
                start >= 1 && start <= arg->width ? arg->width - start + 1 : 0;
            std::size_t len = avail;
            if (Accept(',')) len = static_cast<std::size_t>(ParseInt("długość SUBSTR()"));
            if (avail < 1 || len < 1 || len > avail) Fail("SUBSTR() sięga poza swój argument");
            result = std::make_unique<Substr>(std::move(arg), start - 1, len);
        } else if (NamesFunction(name, "LEFT") || NamesFunction(name, "RIGHT")) {
            const bool left = NamesFunction(name, "LEFT");
            NodePtr arg = Argument(Type::Character, left ? "LEFT" : "RIGHT");
            Expect(',', "długości");
            const int len = ParseInt("długość");
            if (len < 1 || static_cast<std::size_t>(len) > arg->width)
                Fail(std::string(left ? "LEFT" : "RIGHT") + "() sięga poza swój argument");
            const std::size_t from = left ? 0 : arg->width - static_cast<std::size_t>(len);
            result = std::make_unique<Substr>(std::move(arg), from, static_cast<std::size_t>(len));
        } else {
            Fail("nieznana funkcja " + text::Win1250ToUtf8(name) + "()");
        }
        Expect(')', "\")\"");
        return result;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    const std::vector<DbfField>& fields_;
    const std::string& fileName_;
};

void PutBigEndian(std::uint64_t v, char* out) {
    for (int i = 7; i >= 0; --i, v >>= 8) out[i] = static_cast<char>(v & 0xFF);
}

}  // namespace

DbfKeyExpression DbfKeyExpression::Compile(std::string_view expression,
                                           const std::vector<DbfField>& fields,
                                           const std::string& fileName) {
    Parser parser(expression, fields, fileName);
    DbfKeyExpression e;
    e.root_ = parser.ParseAll();
    e.type_ = e.root_->type;
    e.width_ = e.type_ == Type::Character ? e.root_->width : 8;
    if (e.width_ == 0) parser.Fail("klucz jest pusty");
    // Every record keeps its key while the order is built, so the width bounds the memory.
    if (e.width_ > kMaxKeyWidth)
        parser.Fail("klucz ma " + std::to_string(e.width_) + " bajtów; dozwolone jest najwyżej " +
                    std::to_string(kMaxKeyWidth));
    return e;
}

DbfKeyExpression::DbfKeyExpression(DbfKeyExpression&&) noexcept = default;
DbfKeyExpression& DbfKeyExpression::operator=(DbfKeyExpression&&) noexcept = default;
DbfKeyExpression::~DbfKeyExpression() = default;

void DbfKeyExpression::EncodeKey(const char* record, char* out) const {
    switch (type_) {
        case Type::Character:
            root_->Chars(record, out, 0, width_);
            return;
        case Type::Numeric:
            // Flipping the sign bit makes two's complement order unsigned order.
            PutBigEndian(static_cast<std::uint64_t>(root_->Number(record)) ^ (1ULL << 63), out);
            return;
        case Type::Date: {
            DateTime d = root_->Date(record);
            if (d == 0) d = -std::numeric_limits<double>::infinity();  // blank dates first
            std::uint64_t bits;
            std::memcpy(&bits, &d, sizeof bits);
            // IEEE order: negative numbers reversed, positive numbers above them.
            bits = (bits >> 63) ? ~bits : bits | (1ULL << 63);
            PutBigEndian(bits, out);
            return;
        }
    }
}

}  // namespace migracja::dbf
