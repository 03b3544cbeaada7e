#include "platform/headless/status_bar.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace orvex::platform::headless {
namespace {

/// Cells of the drawn bar.
constexpr int kBarCells = 30;

double clampFraction(double fraction) {
  if (std::isnan(fraction)) return 0.0;
  return std::clamp(fraction, 0.0, 1.0);
}

}  // namespace

ProgressDisplay::~ProgressDisplay() = default;

TerminalProgressBar::TerminalProgressBar(std::ostream& out) : out_(&out) {}

TerminalProgressBar::~TerminalProgressBar() { hide(); }

void TerminalProgressBar::draw(double fraction, std::string_view message) {
  fraction = clampFraction(fraction);
  const int percent = static_cast<int>(std::floor(fraction * 100.0));
  if (shown_ && percent == percent_ && message == message_) return;
  percent_ = percent;
  message_ = message;

  const int filled = static_cast<int>(std::floor(fraction * kBarCells));
  std::string line = "[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(kBarCells - filled), '.');
  line += "] ";
  const std::string number = std::to_string(percent);
  line.append(3 - std::min<std::size_t>(3, number.size()), ' ');
  line += number + "%";
  if (!message.empty()) line += " " + std::string(message);

  // Blank what a longer earlier line leaves behind.
  std::string padding;
  if (width_ > line.size()) padding.assign(width_ - line.size(), ' ');
  *out_ << '\r' << line << padding << std::flush;
  width_ = line.size();
  shown_ = true;
}

void TerminalProgressBar::hide() {
  if (!shown_) return;
  *out_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
  shown_ = false;
  width_ = 0;
}

void ProgressLines::draw(double fraction, std::string_view message) {
  const int percent = static_cast<int>(std::floor(clampFraction(fraction) * 100.0));
  std::string text(message);
  for (char& c : text) c = c == '\n' || c == '\r' ? ' ' : c;
  if (percent == percent_ && text == message_) return;
  percent_ = percent;
  message_ = text;
  *out_ << "orvex-progress " << percent << (text.empty() ? "" : " ") << text << '\n' << std::flush;
}

host::ProgressFn HeadlessStatusBar::progress() {
  return [this](double fraction, std::string_view message) {
    report(fraction, message);
    return true;
  };
}

void HeadlessStatusBar::report(double fraction, std::string_view message) {
  lastFraction_ = clampFraction(fraction);
  ++reports_;
  if (display_) display_->draw(lastFraction_, message);
}

void HeadlessStatusBar::hideProgress() {
  if (display_) display_->hide();
}

void HeadlessStatusBar::yieldLine() {
  if (display_) display_->hide();
}

}  // namespace orvex::platform::headless
