#pragma once
// What the database benchmarks share: switching a database's forced writes (the access layer
// has no word for it, so this attaches on Firebird's OO API as gfix -write does), the rate of
// synchronous page writes of a folder (what a commit with forced writes waits for), CPU time
// and the peak resident memory of the process.

#include <fcntl.h>
#include <firebird/Interface.h>
#include <ibase.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace migracja::bench {

// Firebird's page size for the databases made by the benchmarks.
inline constexpr std::size_t kPageSize = 8192;

// Attaches as user with character set WIN1250 and dialect 1, setting forced writes of the
// database on the way (isc_dpb_force_write), and detaches again.
inline void SetForcedWrites(const std::string& location, bool on,
                            const std::string& user = "SYSDBA",
                            const std::string& password = "masterkey") {
    using namespace Firebird;
    IMaster* master = fb_get_master_interface();
    IStatus* st = master->getStatus();
    ThrowStatusWrapper status(st);
    IProvider* prov = master->getDispatcher();
    try {
        IXpbBuilder* dpb =
            master->getUtilInterface()->getXpbBuilder(&status, IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(&status, isc_dpb_user_name, user.c_str());
        dpb->insertString(&status, isc_dpb_password, password.c_str());
        dpb->insertString(&status, isc_dpb_lc_ctype, "WIN1250");
        dpb->insertInt(&status, isc_dpb_sql_dialect, 1);
        dpb->insertInt(&status, isc_dpb_force_write, on ? 1 : 0);
        IAttachment* att = prov->attachDatabase(
            &status, location.c_str(), dpb->getBufferLength(&status), dpb->getBuffer(&status));
        dpb->dispose();
        att->detach(&status);
    } catch (const FbException& e) {
        char text[1024];
        master->getUtilInterface()->formatStatus(text, sizeof text, e.getStatus());
        prov->release();
        st->dispose();
        throw std::runtime_error("cannot set forced writes of " + location + ": " + text);
    }
    prov->release();
    st->dispose();
}

// Synchronous page writes per second in a folder: a page written and fdatasync'ed, 300 times.
inline double SyncedWritesPerSecond(const std::filesystem::path& dir) {
    const std::string file = (dir / "sync-probe").string();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return 0;
    const std::vector<char> page(kPageSize, 'x');
    constexpr int kWrites = 300;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kWrites; ++i) {
        const off_t at = static_cast<off_t>((i % 16) * kPageSize);
        if (::pwrite(fd, page.data(), page.size(), at) != static_cast<ssize_t>(page.size()) ||
            ::fdatasync(fd) != 0) {
            ::close(fd);
            return 0;
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    ::close(fd);
    std::filesystem::remove(file);
    return kWrites / took.count();
}

// CPU time this process has spent in user space and in the kernel, in microseconds.
struct CpuTimes {
    double user = 0, system = 0;
    double Total() const { return user + system; }
    static CpuTimes Now() {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return {u.ru_utime.tv_sec * 1e6 + u.ru_utime.tv_usec,
                u.ru_stime.tv_sec * 1e6 + u.ru_stime.tv_usec};
    }
};

// The peak resident set of this process (VmHWM), in KiB.
inline long PeakResidentKb() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::strtol(line + 6, nullptr, 10);
    std::fclose(f);
    return kb;
}

}  // namespace migracja::bench
