#include "platform/headless/headless_clock.h"

#include <algorithm>
#include <thread>

namespace orvex::platform::headless {
namespace {

/// Longest sleep between two looks at pending events, short enough for a Stop to feel
/// immediate.
constexpr std::chrono::milliseconds kEventSlice{50};

}  // namespace

HeadlessClock::HeadlessClock(host::UiServices& ui, bool simulated)
    : ui_(&ui), simulated_(simulated), simulatedNow_(std::chrono::system_clock::now()) {}

std::chrono::system_clock::time_point HeadlessClock::now() const {
  return simulated_ ? simulatedNow_ : std::chrono::system_clock::now();
}

void HeadlessClock::wait(std::chrono::milliseconds duration) {
  duration = std::max(duration, std::chrono::milliseconds{0});
  waited_ += duration;
  if (simulated_) {
    simulatedNow_ += duration;
    ui_->processPendingEvents();
    return;
  }
  const auto end = std::chrono::steady_clock::now() + duration;
  do {
    ui_->processPendingEvents();
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds{0}) break;
    std::this_thread::sleep_for(std::min(left, kEventSlice));
  } while (std::chrono::steady_clock::now() < end);
}

}  // namespace orvex::platform::headless
