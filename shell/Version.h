#pragma once
// The version of the project and the source revision it was built from, for --version.

#include <string>
#include <string_view>

namespace migracja::shell {

std::string_view ProjectVersion();
// The git revision at configure time, "unknown" when the sources were not a git checkout.
std::string_view SourceRevision();
// "<program> <version> (<revision>)" and a line end.
std::string VersionLine(std::string_view program);

}  // namespace migracja::shell
