// Status-bar progress, the terminal progress bar and the host's clock.

#include <gtest/gtest.h>

#include <sstream>

#include "headless/headless_fixtures.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/headless_clock.h"
#include "platform/headless/status_bar.h"

namespace host = orvex::host;
using orvex::platform::headless::HeadlessApplication;
using orvex::platform::headless::HeadlessClock;
using orvex::platform::headless::HeadlessOptions;
using orvex::platform::headless::ScriptedUi;
using orvex::platform::headless::TerminalProgressBar;

namespace {

TEST(TerminalProgressBar, DrawsInPlaceWithTheWholePercentAndTheMessage) {
  std::ostringstream terminal;
  TerminalProgressBar bar(terminal);
  bar.draw(0.5, "Calculating areas...");
  EXPECT_EQ(terminal.str(), "\r[###############...............]  50% Calculating areas...");
  terminal.str("");
  bar.draw(0.999, "Calculating areas...");  // floors: 99 %, never 100 % before the end
  EXPECT_EQ(terminal.str(), "\r[#############################.]  99% Calculating areas...");
}

TEST(TerminalProgressBar, RedrawsOnlyWhenThePercentOrMessageChanges) {
  std::ostringstream terminal;
  TerminalProgressBar bar(terminal);
  bar.draw(0.101, "a");
  const std::string once = terminal.str();
  bar.draw(0.109, "a");
  EXPECT_EQ(terminal.str(), once);
  bar.draw(0.109, "b");
  EXPECT_NE(terminal.str(), once);
}

TEST(TerminalProgressBar, OutOfRangeFractionsAreClampedAndHidingBlanksTheLine) {
  std::ostringstream terminal;
  TerminalProgressBar bar(terminal);
  bar.draw(7.0, "");
  EXPECT_EQ(terminal.str(), "\r[##############################] 100%");
  terminal.str("");
  bar.draw(std::nan(""), "");
  EXPECT_EQ(terminal.str(), "\r[..............................]   0%");
  terminal.str("");
  bar.hide();
  EXPECT_EQ(terminal.str(), "\r" + std::string(37, ' ') + "\r");
  terminal.str("");
  bar.hide();  // already hidden
  EXPECT_EQ(terminal.str(), "");
}

TEST(TerminalProgressBar, AShorterLineBlanksWhatTheLongerOneLeft) {
  std::ostringstream terminal;
  TerminalProgressBar bar(terminal);
  bar.draw(0.2, "long message");
  terminal.str("");
  bar.draw(0.3, "");
  EXPECT_EQ(terminal.str(), "\r[#########.....................]  30%" + std::string(13, ' '));
}

TEST(HeadlessApplicationProgress, TheBarGivesUpItsLineWhenAMessageIsPrinted) {
  std::ostringstream terminal;
  HeadlessOptions options;
  options.messages = &terminal;
  options.progressTerminal = &terminal;
  HeadlessApplication app(options);
  app.statusBar().progress()(0.25, "Working");
  app.ui().messageBox("Processing complete.", std::string("Done"));
  const std::string text = terminal.str();
  const auto message = text.find("Done: Processing complete.\n");
  ASSERT_NE(message, std::string::npos);
  // Just before the message: the bar's line blanked and the cursor back at its start.
  EXPECT_EQ(text[message - 1], '\r');
}

TEST(HeadlessApplicationProgress, WithoutATerminalNothingIsDrawn) {
  std::ostringstream messages;
  HeadlessApplication app(orvex::test::quietOptions(messages));
  app.statusBar().progress()(0.25, "Working");
  app.statusBar().hideProgress();
  EXPECT_EQ(messages.str(), "");
  EXPECT_EQ(app.headlessStatusBar().reportCount(), 1);
}

TEST(HeadlessClock, ASimulatedClockMovesExactlyByTheTimeWaitedAndHandlesEvents) {
  std::ostringstream out;
  ScriptedUi ui(out, "Orvex");
  HeadlessClock clock(ui, true);
  const auto start = clock.now();
  bool stopped = false;
  ui.postEvent([&] { stopped = true; });
  clock.wait(std::chrono::milliseconds(1500));
  EXPECT_TRUE(stopped);
  EXPECT_EQ(clock.now() - start, std::chrono::milliseconds(1500));
  clock.wait(std::chrono::milliseconds(-5));  // a negative wait does not turn time back
  EXPECT_EQ(clock.now() - start, std::chrono::milliseconds(1500));
  EXPECT_EQ(clock.waited(), std::chrono::milliseconds(1500));
}

}  // namespace
