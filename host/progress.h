#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace orvex::host {

/// Progress of a task: `fraction` runs from 0 to 1; returns false when the user asked to
/// stop (the task then ends as cancelled). An empty function means "no progress wanted".
using ProgressFn = std::function<bool(double fraction, std::string_view message)>;

/// A progress function for a sub-task occupying [start, end] of its parent's range: the
/// sub-task's fraction f is reported to `parent` as start + f * (end - start). Fractions are
/// clamped to [0, 1] first and NaN is reported as 0. An empty parent gives a function that
/// reports nothing and always returns true.
ProgressFn scaledProgress(ProgressFn parent, double start, double end);

/// Counts steps of a known range onto a progress function (the status-bar step progressor):
/// position p in [minimum, maximum] is reported as (p - minimum) / (maximum - minimum) with
/// the fixed message. A range without width reports 1 for any position.
class StepProgressor {
 public:
  StepProgressor(ProgressFn progress, double minimum, double maximum, std::string message);

  /// Reports the position; returns the progress function's answer (true without one).
  bool setPosition(double position);
  /// Advances by `increment` and reports.
  bool step(double increment = 1.0) { return setPosition(position_ + increment); }
  double position() const { return position_; }

 private:
  ProgressFn progress_;
  double minimum_;
  double maximum_;
  std::string message_;
  double position_;
};

/// The host's status bar.
class StatusBar {
 public:
  virtual ~StatusBar();

  /// A progress function drawing the status bar's progress bar (shown at the first report).
  virtual ProgressFn progress() = 0;
  /// Hides the progress bar.
  virtual void hideProgress() = 0;
};

}  // namespace orvex::host
