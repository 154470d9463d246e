// The libraries depend strictly downwards: config <- calc <- dbf <- engine <- definitions <-
// context <- tools <- shell <- app, cli. The build alone does not stop an upward include of a
// header-only part, so the include lines themselves are read.

#include <gtest/gtest.h>

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
    Write(root / "config/Text.h", "#pragma once\n");
    Write(root / "config/Settings.cpp",
          "#include \"config/Text.h\"\n"
          "#include \"Text.h\"\n"
          "  #  include \"engine/Dane.h\"  // the data module, three layers up\n"
          "#include <firebird/Interface.h>\n");
    Write(root / "engine/Dane.cpp",
          "#include \"config/Text.h\"\n"
          "#include \"../shell/TickBudget.h\"\n"
          "#include \"../tests/support/TempDir.h\"\n"
          "#include <ibase.h>\n"
          "#include <vector>\n");
    Write(root / "tests/support/TempDir.h", "#pragma once\n");
    Write(root / "shell/TickBudget.h", "#include \"engine/Dane.h\"\n#include \"calc/X.h\"\n");
    Write(root / "app/Program.h", "#include \"cli/Commands.h\"\n#include \"shell/TickBudget.h\"\n");
    Write(root / "cli/main.cpp", "#include \"app/Program.h\"\n");

    const std::vector<IncludeViolation> v = FindLayerViolations(root.path());
    // In the order of the chain, each folder's files in name order; config/ itself may include
    // the Firebird client's headers.
    ASSERT_EQ(v.size(), 6u) << Describe(v);
    EXPECT_EQ(v[0].file, fs::path("config/Settings.cpp"));
    EXPECT_EQ(v[0].line, 3);
    EXPECT_EQ(v[0].include, "engine/Dane.h");
    EXPECT_NE(v[0].reason.find("higher layer"), std::string::npos) << v[0].reason;
    EXPECT_EQ(v[1].file, fs::path("engine/Dane.cpp"));
    EXPECT_EQ(v[1].include, "../shell/TickBudget.h");
    EXPECT_EQ(v[2].include, "../tests/support/TempDir.h");
    EXPECT_NE(v[2].reason.find("outside"), std::string::npos) << v[2].reason;
    EXPECT_EQ(v[3].include, "ibase.h");
    EXPECT_EQ(v[4].file, fs::path("app/Program.h"));
    EXPECT_EQ(v[4].include, "cli/Commands.h");
    EXPECT_EQ(v[5].file, fs::path("cli/main.cpp"));
    EXPECT_NE(v[5].reason.find("each other"), std::string::npos) << v[5].reason;
}
