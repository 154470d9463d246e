#pragma once
// Reading the project's own sources for rules the compiler does not enforce: which library
// folder may include which, and in which order the program-wide objects refer to each other.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace migracja::testing {

// A library folder and the folders it links. A folder may include its own headers and those of
// the folders it reaches through them; two folders neither of which reaches the other (dbf/ and
// calc/, context/ and tools/, app/ and cli/) may not include each other.
struct LibraryFolder {
    std::string name;
    std::vector<std::string> uses;
};
const std::vector<LibraryFolder>& LibraryFolders();

struct IncludeViolation {
    std::filesystem::path file;  // relative to the root
    int line = 0;
    std::string include;  // the text between the quotes or angle brackets
    std::string reason;
};

// Every quoted include of a file in a library folder that names a file of a higher (or a
// sibling) layer, resolved relative to the including file first, then to the root; and every
// Firebird client header included outside fb/, which alone speaks to the client library.
std::vector<IncludeViolation> FindLayerViolations(const std::filesystem::path& root);

// Source text without comments and with string and character literals emptied, so that braces
// and names inside them do not count.
std::string StripCommentsAndLiterals(std::string_view source);

struct MemberReference {
    std::string member;    // the member being initialised
    std::string refersTo;  // the member its initialiser names
};

// The data members of the class named className, in declaration order, whose default member
// initialiser, or whose entry in the constructor's initialiser list (constructorSource, the
// .cpp text, may be empty), names a member declared at or after it. Lambda bodies are left out:
// they run later, when every member exists.
std::vector<MemberReference> ForwardMemberReferences(std::string_view headerSource,
                                                     std::string_view constructorSource,
                                                     const std::string& className);

}  // namespace migracja::testing
