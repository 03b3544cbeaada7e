#include "host/progress.h"

#include <algorithm>
#include <cmath>

namespace orvex::host {
namespace {

double clampFraction(double fraction) { return std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0); }

}  // namespace

ProgressFn scaledProgress(ProgressFn parent, double start, double end) {
  if (!parent) return [](double, std::string_view) { return true; };
  return [parent = std::move(parent), start, end](double fraction, std::string_view message) {
    return parent(start + clampFraction(fraction) * (end - start), message);
  };
}

StepProgressor::StepProgressor(ProgressFn progress, double minimum, double maximum, std::string message)
    : progress_(std::move(progress)),
      minimum_(minimum),
      maximum_(maximum),
      message_(std::move(message)),
      position_(minimum) {}

bool StepProgressor::setPosition(double position) {
  position_ = position;
  if (!progress_) return true;
  const double width = maximum_ - minimum_;
  const double fraction = width > 0.0 ? (position - minimum_) / width : 1.0;
  return progress_(clampFraction(fraction), message_);
}

}  // namespace orvex::host
