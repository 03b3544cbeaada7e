#pragma once

// The host status a call ends with, for tests of operations that report failures by throwing
// the host's one error type.

#include <utility>

#include "host/error.h"
#include "host/status.h"

namespace orvex::test {

/// kOk when `call` returns, the status of the host::Error it throws otherwise; any other
/// exception passes through.
template <class F>
host::Status statusOf(F&& call) {
  try {
    std::forward<F>(call)();
  } catch (const host::Error& e) {
    return e.status();
  }
  return host::kOk;
}

}  // namespace orvex::test
