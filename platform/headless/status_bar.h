#pragma once

// The status bar of the headless host: it keeps what commands report, and draws a progress
// bar on a terminal when one is attached.

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "host/progress.h"

namespace orvex::platform::headless {

/// Where progress is drawn.
class ProgressDisplay {
 public:
  virtual ~ProgressDisplay();
  /// Shows `fraction` (0 to 1) with the task's message.
  virtual void draw(double fraction, std::string_view message) = 0;
  /// Removes the bar.
  virtual void hide() = 0;
};

/// A one-line bar redrawn in place with a carriage return: "[#######.............]  35% text".
/// Only a terminal understands the redraw; the caller attaches it only to one.
class TerminalProgressBar final : public ProgressDisplay {
 public:
  /// Draws on `out`, which must outlive the bar.
  explicit TerminalProgressBar(std::ostream& out);
  ~TerminalProgressBar() override;

  /// Redraws only when the whole percentage or the message changes, so that a task
  /// reporting every fix does not flood the terminal.
  void draw(double fraction, std::string_view message) override;
  /// Blanks the line and leaves the cursor at its start.
  void hide() override;

 private:
  std::ostream* out_;
  bool shown_ = false;
  int percent_ = -1;
  std::string message_;
  std::size_t width_ = 0;  ///< characters of the line last drawn
};

/// Machine-readable progress for a program that runs this one: a line
/// "orvex-progress <percent> <message>" each time the whole percentage or the message changes
/// (line breaks in the message become spaces).
class ProgressLines final : public ProgressDisplay {
 public:
  /// Writes to `out`, which must outlive the writer.
  explicit ProgressLines(std::ostream& out) : out_(&out) {}

  void draw(double fraction, std::string_view message) override;
  /// Nothing to remove: lines stay.
  void hide() override {}

 private:
  std::ostream* out_;
  int percent_ = -1;
  std::string message_;
};

/// The host's status bar. Progress reports are kept (tests read them) and forwarded to the
/// display when there is one. Reports never ask a task to stop.
class HeadlessStatusBar final : public host::StatusBar {
 public:
  HeadlessStatusBar() = default;

  /// Null: progress is kept but not drawn.
  void setDisplay(std::unique_ptr<ProgressDisplay> display) { display_ = std::move(display); }
  ProgressDisplay* display() const { return display_.get(); }

  host::ProgressFn progress() override;
  void hideProgress() override;

  int reportCount() const { return reports_; }

  /// Lets the bar's line go before other output is printed: the bar is drawn again at the
  /// next report.
  void yieldLine();

 private:
  void report(double fraction, std::string_view message);

  std::unique_ptr<ProgressDisplay> display_;
  double lastFraction_ = 0.0;
  int reports_ = 0;
};

}  // namespace orvex::platform::headless
