#include "support/FixtureTools.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace migracja::testing {
namespace {

// Runs "program file" in the folder with both output streams captured; returns the exit status
// and appends the output.
int RunScript(const std::filesystem::path& folder, const std::string& program,
              const std::string& extension, const std::string& script, std::string& output) {
    const std::filesystem::path file = folder / ("writer." + extension);
    {
        std::ofstream out(file, std::ios::binary);
        out << script;
    }
    const std::string command =
        "cd '" + folder.string() + "' && " + program + " '" + file.string() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = ::pclose(pipe);
    std::filesystem::remove(file);
    return status;
}

std::string Missing(const std::string& program, const std::string& extension,
                    const std::string& probe, const std::string& package) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    std::string output;
    if (RunScript(folder, program, extension + ".probe" + std::to_string(::getpid()), probe,
                  output) == 0)
        return {};
    return package + " is not installed (setup.sh installs it): " + output;
}

}  // namespace

std::string PythonDbfMissing() {
    return Missing("/usr/bin/python3", "py", "import dbf\n", "python3-dbf");
}

std::string PerlXBaseMissing() {
    return Missing("perl", "pl", "use XBase;\n", "libdbd-xbase-perl");
}

void RunPythonDbf(const std::filesystem::path& folder, const std::string& script) {
    std::string output;
    const int status = RunScript(folder, "/usr/bin/python3", "py",
                                 "# -*- coding: utf-8 -*-\nimport dbf\n" + script, output);
    ASSERT_EQ(status, 0) << "python3-dbf failed:\n" << output;
}

void RunPerlXBase(const std::filesystem::path& folder, const std::string& script) {
    std::string output;
    const int status =
        RunScript(folder, "perl", "pl", "use strict;\nuse XBase;\n" + script, output);
    ASSERT_EQ(status, 0) << "Perl XBase failed:\n" << output;
}

}  // namespace migracja::testing
