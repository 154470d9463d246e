// Members are constructed in the order they are declared, whatever order their initialisers are
// written in. A program-wide object handed a member declared after it gets an object that does
// not exist yet, and the compiler says nothing about it.

#include <gtest/gtest.h>

#include <sstream>

#include "structure/SourceScan.h"
#include "support/TempDir.h"

using namespace migracja::testing;

namespace {

std::string Describe(const std::vector<MemberReference>& refs) {
    std::ostringstream s;
    for (const MemberReference& r : refs) s << r.member << " refers to " << r.refersTo << "\n";
    return s.str();
}

}  // namespace

TEST(MemberOrderTest, TheProgramWideObjectsReferOnlyToThoseBuiltBeforeThem) {
    const std::string header = ReadFileBytes(MIGRACJA_SOURCE_DIR "/app/Program.h");
    const std::string source = ReadFileBytes(MIGRACJA_SOURCE_DIR "/app/Program.cpp");
    ASSERT_NE(header.find("class TProgram"), std::string::npos);
    const std::vector<MemberReference> refs = ForwardMemberReferences(header, source, "TProgram");
    EXPECT_TRUE(refs.empty()) << Describe(refs);
}

TEST(MemberOrderTest, ForwardReferencesAreFoundInBothKindsOfInitialiser) {
    const std::string header = R"(
#pragma once
namespace n {
class Other { int ignored_; };
class TProgram final : public Base {
  public:
    explicit TProgram(const std::filesystem::path& dir);
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;
    Window& Main() { return window_; }  // a function, not a member
    int Count() const;

  private:
    std::filesystem::path dir_;
    Window window_;
    Messages messages_{&window_};  /* fine: window_ comes first */
    std::function<void()> quit_;
    Import import_{data_, loader_,
                   &window_};       // data_ and loader_ come later
    Data data_;
    Loader loader_{data_, "{ import_ }", messages_};
    Timer timer_{[this] { controller_.OnTimer(); }};  // runs later: not a reference now
    Other::Thing thing_ = Other::controller_;
    Controller controller_;
    Self self_{self_.Next()};
};
}  // namespace n
)";
    const std::string source = R"(
#include "Program.h"
TProgram::TProgram(const std::filesystem::path& dir)
    : Base(dir),
      dir_(dir),
      controller_(Parts{dir_, window_, timer_, quit_}) {
    // controller_ here is the body, after construction
    controller_.Start();
}
)";
    const std::vector<MemberReference> refs = ForwardMemberReferences(header, source, "TProgram");
    ASSERT_EQ(refs.size(), 3u) << Describe(refs);
    EXPECT_EQ(refs[0].member, "import_");
    EXPECT_EQ(refs[0].refersTo, "data_");
    EXPECT_EQ(refs[1].member, "import_");
    EXPECT_EQ(refs[1].refersTo, "loader_");
    EXPECT_EQ(refs[2].member, "self_");
    EXPECT_EQ(refs[2].refersTo, "self_");

    // The constructor's list counts too, and overrides a default initialiser.
    const std::string late = R"(
TProgram::TProgram(const std::filesystem::path& dir)
    : dir_(dir), window_{controller_}, import_(data_) {}
)";
    const std::vector<MemberReference> fromList = ForwardMemberReferences(header, late, "TProgram");
    ASSERT_EQ(fromList.size(), 3u) << Describe(fromList);
    EXPECT_EQ(fromList[0].member, "window_");
    EXPECT_EQ(fromList[0].refersTo, "controller_");
    EXPECT_EQ(fromList[1].member, "import_");
    EXPECT_EQ(fromList[1].refersTo, "data_");
    EXPECT_EQ(fromList[2].member, "self_");
}
