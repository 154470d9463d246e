#pragma once
// Independent DBF writers packaged for Debian (python3-dbf, Perl's XBase), run as programs so
// that memo files in the formats of the real tools are read, not only files this project's
// own test writer builds.

#include <filesystem>
#include <string>

namespace migracja::testing {

// Why the tool cannot be run, or empty when it can: the test then skips with this reason.
std::string PythonDbfMissing();
std::string PerlXBaseMissing();

// Runs the script in the folder (python3 with "import dbf" done, perl with "use XBase" done);
// texts in the script are UTF-8. Fails the test with the tool's output when it does not succeed.
void RunPythonDbf(const std::filesystem::path& folder, const std::string& script);
void RunPerlXBase(const std::filesystem::path& folder, const std::string& script);

}  // namespace migracja::testing
