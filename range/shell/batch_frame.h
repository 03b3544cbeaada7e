#pragma once
// What the range tools' batch runs share around their own steps: the refusal of settings that
// fail their check, the report of a run an error stopped, and the guard that turns errors into
// that report.

#include <new>
#include <string>
#include <string_view>

#include "host/error.h"

namespace orvex::host {
class Application;
}

namespace orvex::range {

/// Shows the settings check's `error` in a message box and records it as the run's failed item.
void RefuseSettings(host::Application& application, const std::string& error);

/// Shows "<tool>: <description>" in a message box and records the run as failed with it.
void ReportRunFailure(host::Application& application, std::string_view tool, const std::string& description);

/// `steps()`, with a host error (unless host::errorsPassThrough()) or exhausted memory handed to
/// `fail` as its description; what `fail` returns is the result.
template <class Steps, class Fail>
auto RunGuarded(Steps&& steps, Fail&& fail) -> decltype(steps()) {
  try {
    return steps();
  } catch (const host::Error& e) {
    if (host::errorsPassThrough()) throw;
    return fail(e.description());
  } catch (const std::bad_alloc&) {
    return fail("Out of memory");
  }
}

}  // namespace orvex::range
