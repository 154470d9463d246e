// The libraries depend downwards only (base <- fb <- config <- calc, dbf <- engine <-
// definitions, context, tools <- shell <- app, cli). The build alone does not stop an upward
// include of a header-only part, so the include lines themselves are read.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "structure/SourceScan.h"
#include "support/TempDir.h"

using namespace migracja::testing;
namespace fs = std::filesystem;

namespace {

std::string Describe(const std::vector<IncludeViolation>& violations) {
    std::ostringstream s;
    for (const IncludeViolation& v : violations)
        s << v.file.string() << ":" << v.line << ": #include \"" << v.include << "\": " << v.reason
          << "\n";
    return s.str();
}

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    WriteFileBytes(file, text);
}

}  // namespace

TEST(LayeringTest, NoLibraryIncludesAHigherLayer) {
    const std::vector<IncludeViolation> violations = FindLayerViolations(MIGRACJA_SOURCE_DIR);
    EXPECT_TRUE(violations.empty()) << Describe(violations);
}

TEST(LayeringTest, UpwardSidewaysAndOutsideIncludesAreFound) {
    TempDir root("migracja-layers");
    Write(root / "base/Text.h", "#pragma once\n");
    Write(root / "fb/Fb.cpp", "#include \"base/Text.h\"\n#include <firebird/Interface.h>\n");
    Write(root / "config/Settings.cpp",
          "#include \"base/Text.h\"\n"
          "#include \"Text.h\"\n"
          "  #  include \"engine/Dane.h\"  // the data module, three layers up\n"
          "#include <firebird/Interface.h>\n");
    Write(root / "dbf/DbfTable.cpp", "#include \"base/Text.h\"\n#include \"calc/X.h\"\n");
    Write(root / "engine/Dane.cpp",
          "#include \"base/Text.h\"\n"
          "#include \"../shell/TickBudget.h\"\n"
          "#include \"../tests/support/TempDir.h\"\n"
          "#include <ibase.h>\n"
          "#include <vector>\n");
    Write(root / "tests/support/TempDir.h", "#pragma once\n");
    Write(root / "context/Choice.cpp", "#include \"engine/Dane.h\"\n#include \"tools/Split.h\"\n");
    Write(root / "shell/TickBudget.h", "#include \"engine/Dane.h\"\n#include \"calc/X.h\"\n");
    Write(root / "app/Program.h", "#include \"cli/Commands.h\"\n#include \"shell/TickBudget.h\"\n");
    Write(root / "cli/main.cpp", "#include \"app/Program.h\"\n");

    const std::vector<IncludeViolation> v = FindLayerViolations(root.path());
    // Folder by folder from the bottom up, each folder's files in name order; fb/ alone may
    // include the Firebird client's headers; shell/ reaches calc/ through engine/.
    ASSERT_EQ(v.size(), 9u) << Describe(v);
    EXPECT_EQ(v[0].file, fs::path("config/Settings.cpp"));
    EXPECT_EQ(v[0].line, 3);
    EXPECT_EQ(v[0].include, "engine/Dane.h");
    EXPECT_NE(v[0].reason.find("higher layer"), std::string::npos) << v[0].reason;
    EXPECT_EQ(v[1].include, "firebird/Interface.h");
    EXPECT_NE(v[1].reason.find("fb/ alone"), std::string::npos) << v[1].reason;
    EXPECT_EQ(v[2].file, fs::path("dbf/DbfTable.cpp"));
    EXPECT_NE(v[2].reason.find("each other"), std::string::npos) << v[2].reason;
    EXPECT_EQ(v[3].file, fs::path("engine/Dane.cpp"));
    EXPECT_EQ(v[3].include, "../shell/TickBudget.h");
    EXPECT_EQ(v[4].include, "../tests/support/TempDir.h");
    EXPECT_NE(v[4].reason.find("outside"), std::string::npos) << v[4].reason;
    EXPECT_EQ(v[5].include, "ibase.h");
    EXPECT_EQ(v[6].file, fs::path("context/Choice.cpp"));
    EXPECT_EQ(v[6].include, "tools/Split.h");
    EXPECT_NE(v[6].reason.find("each other"), std::string::npos) << v[6].reason;
    EXPECT_EQ(v[7].file, fs::path("app/Program.h"));
    EXPECT_EQ(v[7].include, "cli/Commands.h");
    EXPECT_EQ(v[8].file, fs::path("cli/main.cpp"));
    EXPECT_NE(v[8].reason.find("each other"), std::string::npos) << v[8].reason;
}

// The folders a library may include are the libraries its CMakeLists.txt links: a link added
// without a word here (or the other way round) fails, so the two cannot drift apart.
TEST(LayeringTest, EachLibraryLinksExactlyTheFoldersItMayInclude) {
    const std::string call = "migracja_library(";
    for (const LibraryFolder& l : LibraryFolders()) {
        const fs::path list = fs::path(MIGRACJA_SOURCE_DIR) / l.name / "CMakeLists.txt";
        const std::string text = ReadFileBytes(list);
        const std::size_t at = text.find(call);
        if (at == std::string::npos) continue;  // app/ and cli/ link by hand
        const std::size_t end = text.find(')', at);
        ASSERT_NE(end, std::string::npos) << list;
        std::istringstream words(text.substr(at + call.size(), end - at - call.size()));
        std::string name;
        words >> name;
        EXPECT_EQ(name, l.name) << list;
        std::vector<std::string> links;
        for (std::string w; words >> w;) links.push_back(w);
        std::vector<std::string> uses = l.uses;
        std::sort(links.begin(), links.end());
        std::sort(uses.begin(), uses.end());
        EXPECT_EQ(links, uses) << list;
    }
}
