#pragma once

#include <chrono>

#include "host/ui_services.h"

namespace orvex::platform::headless {

/// The host's clock. A waiting command keeps the user interface alive: pending events (a Stop
/// posted by a script) are processed while it waits.
///
/// A simulated clock (tests) starts at the real time and moves only when a command waits,
/// by exactly the time waited, without sleeping; pending events are processed once per wait.
/// A real clock sleeps in short slices and processes events between them.
class HeadlessClock final : public host::Clock {
 public:
  /// `ui` must outlive the clock.
  HeadlessClock(host::UiServices& ui, bool simulated);

  std::chrono::system_clock::time_point now() const override;
  void wait(std::chrono::milliseconds duration) override;

  bool simulated() const { return simulated_; }
  /// Total time waited through this clock.
  std::chrono::milliseconds waited() const { return waited_; }

 private:
  host::UiServices* ui_;
  bool simulated_;
  std::chrono::system_clock::time_point simulatedNow_;
  std::chrono::milliseconds waited_{0};
};

}  // namespace orvex::platform::headless
