#include "structure/SourceScan.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

namespace migracja::testing {

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool IsSourceFile(const fs::path& p) {
    const std::string ext = p.extension().string();
    return ext == ".h" || ext == ".hpp" || ext == ".cpp" || ext == ".inc";
}

// Every library folder each folder reaches, directly or through the folders it links.
std::set<std::string> Reachable(const std::string& folder) {
    std::set<std::string> seen;
    std::vector<std::string> pending{folder};
    while (!pending.empty()) {
        const std::string f = pending.back();
        pending.pop_back();
        for (const LibraryFolder& l : LibraryFolders())
            if (l.name == f)
                for (const std::string& below : l.uses)
                    if (seen.insert(below).second) pending.push_back(below);
    }
    return seen;
}

bool IsLibraryFolder(const std::string& folder) {
    for (const LibraryFolder& l : LibraryFolders())
        if (l.name == folder) return true;
    return false;
}

std::string FirstComponent(const fs::path& relative) {
    return relative.empty() ? std::string() : relative.begin()->string();
}

bool IsFirebirdHeader(const std::string& include) {
    return include.rfind("firebird/", 0) == 0 || include == "ibase.h" || include == "iberror.h";
}

bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// The position after the bracket that closes the one at open, or npos.
std::size_t SkipBracketed(std::string_view s, std::size_t open) {
    int depth = 0;
    for (std::size_t i = open; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '(' || c == '[' || c == '{') ++depth;
        if (c == ')' || c == ']' || c == '}') {
            if (--depth == 0) return i + 1;
        }
    }
    return std::string_view::npos;
}

std::size_t SkipSpaces(std::string_view s, std::size_t i) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    return i;
}

// The text with every lambda (captures, parameters and body) removed.
std::string WithoutLambdas(std::string_view s) {
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '[') {
            const std::string_view before = Trim(out);
            const bool introducer = before.empty() || std::string_view("({,=").find(
                                                          before.back()) != std::string_view::npos;
            const std::size_t afterCaptures = SkipBracketed(s, i);
            if (introducer && afterCaptures != std::string_view::npos) {
                std::size_t j = SkipSpaces(s, afterCaptures);
                if (j < s.size() && s[j] == '(') j = SkipSpaces(s, SkipBracketed(s, j));
                // mutable, noexcept, a trailing return type: up to the body.
                while (j < s.size() && s[j] != '{' && s[j] != ';' && s[j] != ',' && s[j] != ')')
                    ++j;
                if (j < s.size() && s[j] == '{') {
                    const std::size_t end = SkipBracketed(s, j);
                    if (end != std::string_view::npos) {
                        i = end;
                        continue;
                    }
                }
            }
        }
        out += s[i++];
    }
    return out;
}

// Names in the text that are not reached through another object (a.b, p->b, N::b).
std::vector<std::string> PlainNames(std::string_view s) {
    std::vector<std::string> names;
    std::size_t i = 0;
    while (i < s.size()) {
        if (!IsIdentChar(s[i]) || std::isdigit(static_cast<unsigned char>(s[i]))) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < s.size() && IsIdentChar(s[i])) ++i;
        std::size_t b = start;
        while (b > 0 && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
        const bool member = (b >= 1 && s[b - 1] == '.') ||
                            (b >= 2 && s[b - 2] == '-' && s[b - 1] == '>') ||
                            (b >= 2 && s[b - 2] == ':' && s[b - 1] == ':');
        if (!member) names.emplace_back(s.substr(start, i - start));
    }
    return names;
}

// The text with every <...> region removed, innermost first.
std::string WithoutTemplateArguments(std::string s) {
    static const std::regex inner("<[^<>]*>");
    for (std::string next; (next = std::regex_replace(s, inner, "")) != s;) s = next;
    return s;
}

struct Declaration {
    std::string name;
    std::string init;  // from the "{" or "=" on, empty without one
};

// The data members declared in a class body, in order.
std::vector<Declaration> DataMembers(std::string_view body) {
    std::vector<std::string> statements;
    std::string current;
    int depth = 0;
    std::size_t firstBrace = std::string::npos;  // in current
    for (const char c : body) {
        if (depth == 0 && c == ';') {
            statements.push_back(current);
            current.clear();
            firstBrace = std::string::npos;
            continue;
        }
        if (c == '{' && depth == 0 && firstBrace == std::string::npos) firstBrace = current.size();
        current += c;
        if (c == '(' || c == '[' || c == '{') ++depth;
        if (c == ')' || c == ']' || c == '}') --depth;
        if (c == '}' && depth == 0 && firstBrace != std::string::npos) {
            // A function body ends its declaration without a semicolon.
            const std::string head = WithoutTemplateArguments(current.substr(0, firstBrace));
            if (head.find('(') != std::string::npos &&
                std::string_view(Trim(head)).find('=') == std::string_view::npos) {
                statements.push_back(current);
                current.clear();
                firstBrace = std::string::npos;
            }
        }
    }

    static const std::regex access(R"(\b(public|private|protected)\s*:(?!:))");
    static const std::regex skipped(
        R"(^(using|friend|typedef|static|static_assert|enum|struct|class|template|~)\b)");
    std::vector<Declaration> members;
    for (std::string statement : statements) {
        statement = std::regex_replace(statement, access, " ");
        const std::string_view s = Trim(statement);
        if (s.empty() || s.front() == '~' || std::regex_search(std::string(s), skipped)) continue;
        std::size_t p = 0;
        int d = 0;
        for (; p < s.size(); ++p) {
            const char c = s[p];
            if (d == 0 && (c == '{' || (c == '=' && (p + 1 == s.size() || s[p + 1] != '=')))) break;
            if (c == '(' || c == '[' || c == '<') ++d;
            if (c == ')' || c == ']' || c == '>') --d;
        }
        const std::string head = WithoutTemplateArguments(std::string(Trim(s.substr(0, p))));
        if (head.find('(') != std::string::npos || head.find("operator") != std::string::npos)
            continue;
        std::size_t end = head.size();
        std::size_t begin = end;
        while (begin > 0 && IsIdentChar(head[begin - 1])) --begin;
        if (begin == end) continue;
        members.push_back({head.substr(begin, end - begin), std::string(s.substr(p))});
    }
    return members;
}

// The initialiser list of ClassName::ClassName(...): member name to its bracketed initialiser.
std::map<std::string, std::string> ConstructorInitialisers(std::string_view source,
                                                           const std::string& className) {
    std::map<std::string, std::string> inits;
    const std::regex definition("\\b" + className + "\\s*::\\s*" + className + "\\s*\\(");
    std::cmatch m;
    if (!std::regex_search(source.data(), source.data() + source.size(), m, definition))
        return inits;
    std::size_t i = static_cast<std::size_t>(m.position(0) + m.length(0)) - 1;
    i = SkipBracketed(source, i);
    if (i == std::string_view::npos) return inits;
    i = SkipSpaces(source, i);
    if (i >= source.size() || source[i] != ':') return inits;
    ++i;
    while (true) {
        i = SkipSpaces(source, i);
        const std::size_t start = i;
        while (i < source.size() && (IsIdentChar(source[i]) || source[i] == ':')) ++i;
        const std::string name(source.substr(start, i - start));
        i = SkipSpaces(source, i);
        if (name.empty() || i >= source.size() || (source[i] != '(' && source[i] != '{')) break;
        const std::size_t end = SkipBracketed(source, i);
        if (end == std::string_view::npos) break;
        inits[name] = std::string(source.substr(i, end - i));
        i = SkipSpaces(source, end);
        if (i >= source.size() || source[i] != ',') break;
        ++i;
    }
    return inits;
}

}  // namespace

const std::vector<LibraryFolder>& LibraryFolders() {
    static const std::vector<LibraryFolder> folders = {
        {"base", {}},
        {"fb", {"base"}},
        {"config", {"base", "fb"}},
        {"calc", {"base", "config"}},
        {"dbf", {"base"}},
        {"engine", {"base", "fb", "config", "calc", "dbf"}},
        {"definitions", {"engine"}},
        {"context", {"engine"}},
        {"tools", {"engine"}},
        {"shell", {"definitions", "context", "tools"}},
        {"app", {"shell"}},
        {"cli", {"shell"}},
    };
    return folders;
}

std::vector<IncludeViolation> FindLayerViolations(const fs::path& root) {
    static const std::regex include(R"(^\s*#\s*include\s*([<"])([^">]+)[">])");
    std::vector<IncludeViolation> found;
    for (const LibraryFolder& library : LibraryFolders()) {
        const std::string& folder = library.name;
        const fs::path dir = root / folder;
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) continue;
        const std::set<std::string> below = Reachable(folder);
        std::vector<fs::path> files;
        for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file() && IsSourceFile(it->path())) files.push_back(it->path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::istringstream lines(ReadText(file));
            std::string line;
            for (int number = 1; std::getline(lines, line); ++number) {
                std::smatch m;
                if (!std::regex_search(line, m, include)) continue;
                const std::string target = m[2].str();
                const fs::path relativeFile = file.lexically_relative(root);
                if (m[1].str() == "<") {
                    if (folder != "fb" && IsFirebirdHeader(target))
                        found.push_back({relativeFile, number, target,
                                         "Firebird's headers belong to fb/ alone"});
                    continue;
                }
                const fs::path beside = (file.parent_path() / target).lexically_normal();
                const fs::path resolved =
                    fs::exists(beside, ec) ? beside : (root / target).lexically_normal();
                const fs::path relative = resolved.lexically_relative(root);
                const std::string top = FirstComponent(relative);
                if (top.empty() || top == ".." || top == folder) continue;
                if (!IsLibraryFolder(top)) {
                    if (fs::is_directory(root / top, ec))
                        found.push_back(
                            {relativeFile, number, target, top + "/ is outside the libraries"});
                } else if (Reachable(top).count(folder)) {
                    found.push_back({relativeFile, number, target,
                                     top + "/ is a higher layer than " + folder + "/"});
                } else if (!below.count(top)) {
                    found.push_back({relativeFile, number, target,
                                     top + "/ and " + folder + "/ may not include each other"});
                }
            }
        }
    }
    return found;
}

std::string StripCommentsAndLiterals(std::string_view s) {
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            while (i < s.size() && s[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const std::size_t end = s.find("*/", i + 2);
            i = end == std::string_view::npos ? s.size() : end + 2;
            out += ' ';
        } else if (c == 'R' && i + 1 < s.size() && s[i + 1] == '"' &&
                   (i == 0 || !IsIdentChar(s[i - 1]))) {
            const std::size_t paren = s.find('(', i + 2);
            if (paren == std::string_view::npos) return out;
            const std::string close = ")" + std::string(s.substr(i + 2, paren - i - 2)) + "\"";
            const std::size_t end = s.find(close, paren);
            i = end == std::string_view::npos ? s.size() : end + close.size();
            out += "\"\"";
        } else if (c == '"' ||
                   (c == '\'' &&
                    !(i > 0 && std::isxdigit(static_cast<unsigned char>(s[i - 1])) &&
                      i + 1 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1]))))) {
            std::size_t j = i + 1;
            while (j < s.size() && s[j] != c && s[j] != '\n') j += s[j] == '\\' ? 2 : 1;
            i = std::min(j + 1, s.size());
            out += c;
            out += c;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::vector<MemberReference> ForwardMemberReferences(std::string_view headerSource,
                                                     std::string_view constructorSource,
                                                     const std::string& className) {
    const std::string header = StripCommentsAndLiterals(headerSource);
    const std::regex start("\\b(class|struct)\\s+" + className + "\\b[^;{]*\\{");
    std::smatch m;
    std::vector<MemberReference> found;
    if (!std::regex_search(header, m, start)) return found;
    const std::size_t open = static_cast<std::size_t>(m.position(0) + m.length(0)) - 1;
    const std::size_t close = SkipBracketed(header, open);
    if (close == std::string::npos) return found;
    const std::vector<Declaration> members =
        DataMembers(std::string_view(header).substr(open + 1, close - open - 2));
    const std::map<std::string, std::string> ctor =
        ConstructorInitialisers(StripCommentsAndLiterals(constructorSource), className);

    std::map<std::string, std::size_t> position;
    for (std::size_t i = 0; i < members.size(); ++i) position[members[i].name] = i;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto fromCtor = ctor.find(members[i].name);
        const std::string& init = fromCtor != ctor.end() ? fromCtor->second : members[i].init;
        for (const std::string& name : PlainNames(WithoutLambdas(init))) {
            const auto it = position.find(name);
            if (it != position.end() && it->second >= i) {
                const MemberReference ref{members[i].name, name};
                if (std::none_of(found.begin(), found.end(), [&](const MemberReference& r) {
                        return r.member == ref.member && r.refersTo == ref.refersTo;
                    }))
                    found.push_back(ref);
            }
        }
    }
    return found;
}

}  // namespace migracja::testing
