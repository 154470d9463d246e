#include "shell/StopSignals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <system_error>

namespace migracja::shell {

namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// A program started from this one (the report viewer, a test's X server) must not inherit the
// blocked signals: it could not be stopped by them at all.
void UnblockInChild() {
    const sigset_t set = StopSet();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace

StopSignals::StopSignals() {
    static std::once_flag atFork;
    std::call_once(atFork, [] { pthread_atfork(nullptr, nullptr, UnblockInChild); });
    const sigset_t set = StopSet();
    if (const int e = pthread_sigmask(SIG_BLOCK, &set, nullptr); e != 0)
        throw std::system_error(e, std::generic_category(), "blocking SIGINT and SIGTERM");
    signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (signalFd_ < 0 || wakeFd_ < 0)
        throw std::system_error(errno, std::generic_category(), "receiving SIGINT and SIGTERM");
    thread_ = std::thread([this] { Receive(); });
}

StopSignals::~StopSignals() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    thread_.join();
    ::close(signalFd_);
    ::close(wakeFd_);
    // The signals stay blocked: what comes after this (the engine's exit handlers) must not run
    // the engine's own handlers either. One that came meanwhile ends the program as it would
    // have by default.
    const sigset_t set = StopSet();
    sigset_t pending;
    if (::sigpending(&pending) == 0)
        for (int sig : {SIGINT, SIGTERM})
            if (sigismember(&pending, sig) && sigismember(&set, sig)) EndAtOnce(sig);
}

void StopSignals::Listen(Listener listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

void StopSignals::Receive() {
    for (;;) {
        pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        signalfd_siginfo info{};
        if (::read(signalFd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
        const int sig = static_cast<int>(info.ssi_signo);
        std::lock_guard lock(mutex_);
        int expected = 0;
        if (!listener_ || !received_.compare_exchange_strong(expected, sig)) EndAtOnce(sig);
        listener_(sig);
    }
}

void StopSignals::EndAtOnce(int sig) {
    // As the signal does by default: whatever handler the engine put on it goes first.
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    ::sigaction(sig, &defaultAction, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(sig);
    ::_exit(128 + sig);
}

}  // namespace migracja::shell
