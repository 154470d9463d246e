// dbf dump FILE [--index EXPR]: shows a legacy DBF file the way the migration reads it: the
// same exclusive open, the same order and the same typed values.
//
// Output: "records\tN", "fields\tK", "codepage\tMARK\tCODE PAGE" (the header's language-driver
// byte, "0x00\t-" when there is none), "memo\tFILE" when the file has memo fields ("-" when
// the memo file is missing), then one "field\ti\tNAME\tTYPE\tLENGTH\tDECIMALS\tKIND" line per
// field, then one tab-separated line per visited record; memo fields show their text. Text is
// printed as stored (no code-page translation); tab, line feed, carriage return and backslash
// inside it are written as \t, \n, \r and \\ so that every record stays one line.

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "dbf/DbfTable.h"

namespace migracja::cli {
namespace {

using dbf::DbfTable;

void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
}

void AppendValue(std::string& out, DbfTable& t, int i) {
    switch (t.Field(i).kind) {
        case ValueKind::Text:
            AppendEscaped(out, t.Field(i).IsMemo() ? t.AsMemo(i) : t.AsText(i));
            break;
        case ValueKind::Integer:
            out += std::to_string(t.AsInteger(i));
            break;
        case ValueKind::Money:
            out += t.AsMoney(i).ToString();
            break;
        case ValueKind::Date:
            if (const DateTime d = t.AsDateTime(i); d != 0) out += FormatDateTime(d);
            break;
        case ValueKind::Logical:
            out += t.AsLogical(i) ? 'T' : 'N';
            break;
        case ValueKind::Other:
            break;  // the migration cannot read these either
    }
}

std::string CodePageLine(std::uint8_t mark) {
    static const char* kDigits = "0123456789abcdef";
    const int page = dbf::CodePageOfMark(mark);
    return std::string("codepage\t0x") + kDigits[mark >> 4] + kDigits[mark & 15] + "\t" +
           (mark == 0   ? "-"
            : page == 0 ? "?"
                        : std::to_string(page)) +
           "\n";
}

int Dump(const std::string& file, const std::string* index) {
    DbfTable t = DbfTable::Open(file);
    if (index && dbf::IsIndexExpression(*index)) t.SetOrder(*index);
    if (!t.Warning().empty())
        std::fprintf(stderr, "migracja-cli: warning: %s\n", t.Warning().c_str());

    std::string out = "records\t" + std::to_string(t.RecordCount()) + "\nfields\t" +
                      std::to_string(t.FieldCount()) + "\n" + CodePageLine(t.CodePageMark());
    if (t.HasMemoFields()) out += "memo\t" + (t.Memo() ? t.Memo()->Path().string() : "-") + "\n";
    for (int i = 0; i < t.FieldCount(); ++i) {
        const auto& f = t.Field(i);
        out += "field\t" + std::to_string(i) + "\t" + f.name + "\t" + f.type + "\t" +
               std::to_string(f.length) + "\t" + std::to_string(f.decimals) + "\t" +
               std::to_string(static_cast<int>(f.kind)) + "\n";
    }
    for (bool more = !t.Eof(); more; more = t.Next()) {
        for (int i = 0; i < t.FieldCount(); ++i) {
            if (i > 0) out += '\t';
            AppendValue(out, t, i);
        }
        out += '\n';
        if (out.size() >= 64 * 1024) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int RunDbf(const Args& args) {
    const Options o = Options::Parse(args, {"index"});
    if (o.positional.size() != 2 || o.positional[0] != "dump")
        throw UsageError{"usage: migracja-cli dbf dump FILE [--index EXPR]"};
    return Dump(o.positional[1], o.Find("index"));
}

}  // namespace migracja::cli
