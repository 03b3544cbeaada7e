#pragma once

// A switch of an edit into the user's file (renames under a journal, a transaction's commit)
// that a Ctrl-C or SIGTERM must not cut in two.

#include <signal.h>

namespace orvex::platform::gdal {

/// While it lives, SIGINT, SIGTERM and SIGHUP wait in the calling thread (the one that runs
/// the switch; the command line has no other thread by then), and are taken as it goes.
class DeferredStops {
 public:
  DeferredStops() {
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
    pthread_sigmask(SIG_BLOCK, &stops, &previous_);
  }
  ~DeferredStops() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  DeferredStops(const DeferredStops&) = delete;
  DeferredStops& operator=(const DeferredStops&) = delete;

 private:
  sigset_t previous_{};
};

}  // namespace orvex::platform::gdal
