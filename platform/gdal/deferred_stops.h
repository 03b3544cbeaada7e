#pragma once

// A switch of an edit into the user's file (renames under a journal, a transaction's commit)
// that a Ctrl-C or SIGTERM must not cut in two.

#include <signal.h>

#include <atomic>

namespace orvex::platform::gdal {

/// While it lives, SIGINT, SIGTERM and SIGHUP wait in the calling thread (the one that runs
/// the switch), and are taken as it ends. A stop signal the kernel hands to another thread
/// meanwhile reaches the program's stop handler there, which calls `deferIfSwitching`: the
/// signal is then raised again in this thread when the switch is done.
class DeferredStops {
 public:
  DeferredStops() {
    switches_.fetch_add(1);  // before blocking: a handler that runs from here on defers
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
    pthread_sigmask(SIG_BLOCK, &stops, &previous_);
  }
  ~DeferredStops() {
    switches_.fetch_sub(1);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);  // a signal held for this thread is taken here
    if (const int signal = pending_.exchange(0); signal != 0) ::raise(signal);
  }
  DeferredStops(const DeferredStops&) = delete;
  DeferredStops& operator=(const DeferredStops&) = delete;

  /// For a stop handler (async-signal-safe): true, with `signal` kept for the end of the switch,
  /// while a switch runs in any thread; false when the handler should stop the program now.
  static bool deferIfSwitching(int signal) noexcept {
    if (switches_.load() == 0) return false;
    pending_.store(signal);
    return true;
  }

 private:
  static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the counts");
  inline static std::atomic<int> switches_{0};
  inline static std::atomic<int> pending_{0};
  sigset_t previous_{};
};

}  // namespace orvex::platform::gdal
