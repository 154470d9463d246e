#pragma once
// Opening the files a user names or puts beside the program (definitions, settings, DBF files)
// only when they are regular files. A FIFO would block the program for good, a device could
// deliver bytes without end, and a symbolic link that dangles or loops must be reported rather
// than taken for a file that is simply not there.

#include <filesystem>
#include <string>

namespace migracja::config {

struct RegularFileOpen {
    int fd = -1;          // the open descriptor (close-on-exec, blocking), or -1
    int error = 0;        // errno of a failed open; ENOENT when nothing at all is at the path
    std::string refusal;  // set when something is there that is not a regular file; names it
                          // (Windows-1250, in Polish)
    bool Opened() const { return fd >= 0; }
};

// "<name> jest folderem, a nie zwykłym plikiem" and the like, for the st_mode of what is there.
std::string NotARegularFileText(const std::string& name, unsigned mode);

// Why a system call failed, in Polish (Windows-1250), for messages the user reads.
std::string SystemErrorText(int error);

// Opens path with the open(2) flags given when it is a regular file, symbolic links followed.
// The check is made again on the open descriptor, so a file swapped in meanwhile is refused too.
RegularFileOpen OpenRegularFile(const std::filesystem::path& path, int flags);

}  // namespace migracja::config
