#include "config/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace migracja::config {

namespace {

std::string WhatItIs(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
}

RegularFileOpen Refused(const std::string& name, mode_t mode) {
    RegularFileOpen r;
    r.refusal = name + " is " + WhatItIs(mode) + ", not a regular file";
    return r;
}

RegularFileOpen Failed(int error) {
    RegularFileOpen r;
    r.error = error;
    return r;
}

}  // namespace

RegularFileOpen OpenRegularFile(const std::filesystem::path& path, int flags) {
    const std::string name = path.string();
    struct stat link {};
    if (::lstat(name.c_str(), &link) != 0) return Failed(errno);
    struct stat target = link;
    if (S_ISLNK(link.st_mode) && ::stat(name.c_str(), &target) != 0) {
        const int e = errno;
        RegularFileOpen r;
        if (e == ENOENT)
            r.refusal = name + " is a symbolic link whose target does not exist";
        else if (e == ELOOP)
            r.refusal = name + " is a symbolic link that leads round in a loop";
        else
            return Failed(e);
        return r;
    }
    if (!S_ISREG(target.st_mode)) return Refused(name, target.st_mode);

    // Non-blocking only for the open itself, so that a FIFO swapped in cannot hold it up.
    const int fd = ::open(name.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Failed(errno);
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        const int e = errno;
        ::close(fd);
        return Failed(e);
    }
    if (!S_ISREG(opened.st_mode)) {
        ::close(fd);
        return Refused(name, opened.st_mode);
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        const int e = errno;
        ::close(fd);
        return Failed(e);
    }
    RegularFileOpen r;
    r.fd = fd;
    return r;
}

}  // namespace migracja::config
