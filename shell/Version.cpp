#include "shell/Version.h"

// Set by the build for this file alone, so that a new revision recompiles nothing else.
#ifndef MIGRACJA_VERSION
#define MIGRACJA_VERSION "0"
#endif
#ifndef MIGRACJA_REVISION
#define MIGRACJA_REVISION "unknown"
#endif

namespace migracja::shell {

std::string_view ProjectVersion() {
    return MIGRACJA_VERSION;
}

std::string_view SourceRevision() {
    return MIGRACJA_REVISION;
}

std::string VersionLine(std::string_view program) {
    return std::string(program) + " " + std::string(ProjectVersion()) + " (" +
           std::string(SourceRevision()) + ")\n";
}

}  // namespace migracja::shell
