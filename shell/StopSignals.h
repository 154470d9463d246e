#pragma once
// SIGINT and SIGTERM for the whole life of a program. The embedded Firebird engine puts handlers
// of its own on both when it attaches a database and shuts itself down in them, under the run;
// so both signals are blocked in every thread (threads inherit the mask of the thread that
// starts them) and received by a thread of this object's own instead. Whatever handler the
// engine installs then never runs.
//
// Construct it first in main, before any thread starts, and keep it until main returns. The first
// signal goes to the listener, when there is one, and is remembered; a second one, or one with
// nobody listening, ends the program at once as the signal does by default.

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace migracja::shell {

class StopSignals {
  public:
    // Called on the receiving thread; it must only note the signal or post it to its own thread.
    using Listener = std::function<void(int signal)>;

    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Who hears the first signal from now on; empty: nobody.
    void Listen(Listener listener);
    // The first signal received since the start or the last Forget, 0 for none.
    int Received() const { return received_.load(); }
    // A program that goes on after a stop: the next signal is a first one again.
    void Forget() { received_.store(0); }
    // What a program stopped by a signal returns: 128 + the signal; otherwise normal.
    int ExitStatus(int normal) const { return Received() != 0 ? 128 + Received() : normal; }

  private:
    void Receive();
    [[noreturn]] static void EndAtOnce(int signal);

    int signalFd_ = -1;
    int wakeFd_ = -1;  // tells the receiving thread to end
    std::atomic<int> received_{0};
    std::mutex mutex_;
    Listener listener_;
    std::thread thread_;
};

}  // namespace migracja::shell
