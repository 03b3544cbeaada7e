#pragma once

// The host status a call ends with, for tests of operations that report failures by throwing
// the host's one error type.

#include <cstdint>
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

/// 0 when `call` returns, the number of the host::Error it throws otherwise.
template <class F>
std::int32_t errorNumberOf(F&& call) {
  try {
    std::forward<F>(call)();
  } catch (const host::Error& e) {
    return e.number();
  }
  return 0;
}

}  // namespace orvex::test
