#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "dbf/DbfTable.h"

namespace migracja::dbf {

// Read from the open descriptor, so that a file replaced under its name (a new file renamed
// over it) does not count: the run goes on reading the file it opened.
DbfTable::Stamp DbfTable::ReadStamp() const {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0)
        throw DbfError("cannot examine DBF file " + name_ + ": " + std::strerror(errno));
    Stamp s;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.modifiedSeconds = st.st_mtim.tv_sec;
    s.modifiedNanoseconds = st.st_mtim.tv_nsec;
    unsigned char head[8] = {};
    ssize_t got;
    do {
        got = ::pread(fd_.get(), head, sizeof head, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) throw DbfError("cannot read DBF file " + name_ + ": " + std::strerror(errno));
    for (std::size_t i = 0; i < sizeof head; ++i)
        s.header |= static_cast<std::uint64_t>(head[i]) << (8 * i);
    return s;
}

}  // namespace migracja::dbf
