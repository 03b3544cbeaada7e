#pragma once

// Options of a headless application for tests: message boxes printed into a stream, the
// clock simulated so that waits take no time.

#include <ostream>

#include "platform/headless/headless_application.h"

namespace orvex::test {

/// Messages go to `out`; Yes/No questions follow `choices`.
inline platform::headless::HeadlessOptions quietOptions(
    std::ostream& out, platform::headless::ChoicePolicy choices = platform::headless::ChoicePolicy::Ask) {
  platform::headless::HeadlessOptions options;
  options.messages = &out;
  options.choices = choices;
  options.simulatedClock = true;
  return options;
}

}  // namespace orvex::test
