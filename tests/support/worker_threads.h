#pragma once

// Sets the host's worker-thread setting for the life of the object, as a host would.

#include <cstdlib>
#include <optional>
#include <string>

#include "host/fixed_chunks.h"

namespace orvex::test {

class ScopedWorkerThreads {
 public:
  explicit ScopedWorkerThreads(unsigned threads) {
    if (const char* old = std::getenv(host::kWorkerThreadsVariable)) previous_ = old;
    ::setenv(host::kWorkerThreadsVariable, std::to_string(threads).c_str(), 1);
  }
  ~ScopedWorkerThreads() {
    if (previous_) {
      ::setenv(host::kWorkerThreadsVariable, previous_->c_str(), 1);
    } else {
      ::unsetenv(host::kWorkerThreadsVariable);
    }
  }
  ScopedWorkerThreads(const ScopedWorkerThreads&) = delete;
  ScopedWorkerThreads& operator=(const ScopedWorkerThreads&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace orvex::test
