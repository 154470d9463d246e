#include "base/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/FileSearch.h"
#include "base/Text.h"

namespace migracja::config {

using namespace migracja::literals;

namespace {

RegularFileOpen Refused(const std::string& name, mode_t mode) {
    RegularFileOpen r;
    r.refusal = NotARegularFileText(name, mode);
    return r;
}

RegularFileOpen Failed(int error) {
    RegularFileOpen r;
    r.error = error;
    return r;
}

}  // namespace

std::string NotARegularFileText(const std::string& name, unsigned mode) {
    if (S_ISDIR(mode)) return name + " jest folderem, a nie zwykłym plikiem"_w;
    if (S_ISFIFO(mode)) return name + " jest łączem nazwanym (FIFO), a nie zwykłym plikiem"_w;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return name + " jest urządzeniem, a nie zwykłym plikiem"_w;
    if (S_ISSOCK(mode)) return name + " jest gniazdem, a nie zwykłym plikiem"_w;
    return name + " nie jest zwykłym plikiem"_w;
}

std::string SystemErrorText(int error) {
    switch (error) {
        case ENOENT:
            return "nie ma takiego pliku ani folderu"_w;
        case EACCES:
        case EPERM:
            return "brak uprawnień"_w;
        case ENOSPC:
            return "brak miejsca na dysku"_w;
        case EDQUOT:
            return "przekroczony przydział miejsca na dysku"_w;
        case EFBIG:
            return "plik przekroczyłby dopuszczalny rozmiar"_w;
        case EROFS:
            return "system plików jest tylko do odczytu"_w;
        case EIO:
            return "błąd odczytu lub zapisu urządzenia"_w;
        case ENOTDIR:
            return "część ścieżki nie jest folderem"_w;
        case EISDIR:
            return "to jest folder"_w;
        case ENAMETOOLONG:
            return "za długa nazwa"_w;
        case ELOOP:
            return "dowiązania symboliczne tworzą pętlę"_w;
        case EMFILE:
        case ENFILE:
            return "za dużo otwartych plików"_w;
        case EBUSY:
        case ETXTBSY:
            return "plik jest zajęty"_w;
        case EAGAIN:
            return "plik jest zablokowany przez inny program"_w;
        default:
            // Rare causes keep the system's own words, after their number.
            return "błąd systemu nr "_w + std::to_string(error) + " (" + std::strerror(error) + ")";
    }
}

RegularFileOpen OpenRegularFile(const std::filesystem::path& path, int flags) {
    const std::string file = path.string();
    const std::string name = TextFromPath(path);  // for the messages, in Windows-1250
    struct stat link {};
    if (::lstat(file.c_str(), &link) != 0) return Failed(errno);
    struct stat target = link;
    if (S_ISLNK(link.st_mode) && ::stat(file.c_str(), &target) != 0) {
        const int e = errno;
        RegularFileOpen r;
        if (e == ENOENT)
            r.refusal = name + " jest dowiązaniem symbolicznym do pliku, którego nie ma"_w;
        else if (e == ELOOP)
            r.refusal = name + " jest dowiązaniem symbolicznym, które prowadzi w koło"_w;
        else
            return Failed(e);
        return r;
    }
    if (!S_ISREG(target.st_mode)) return Refused(name, target.st_mode);

    // Non-blocking only for the open itself, so that a FIFO swapped in cannot hold it up.
    const int fd = ::open(file.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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
