// The diagnostic log: where it goes, its header, sharing between engines, locale-free numbers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <regex>
#include <string>

#include "core/engine/log_format.h"
#include "engine_test_support.h"

namespace orvex::core::test {
namespace {

using ::testing::HasSubstr;

// Every format the engine writes, against the C library's printf in the "C" locale.
TEST(LogFormat, MatchesPrintfInTheCLocale) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const char* formats[] = {"%f",    "%10.2f%%", "%5.1f",   "%7.3f", "%6.3f",   "%10.8f", "%5.3f",
                           "%0.1f", "%-9.2f|",  "%+08.3f", "% f",   "%17.15f", "%.0f"};
  const double values[] = {0.0,        -0.0,  0.125, -0.04, 2.5, 99.995, 1e20, 5000000.5,
                           0.38236213, -12.5, nan,   -nan,  inf, -inf,   1e-7, 123456.789};
  for (const char* format : formats) {
    for (double value : values) {
      char expected[512];
      std::snprintf(expected, sizeof expected, format, value);
      EXPECT_EQ(format_log_text(format, {value}), expected) << format << " of " << value;
    }
  }
  char expected[64];
  std::snprintf(expected, sizeof expected, "(%d) %5d|%-4d|%s", 6, -42, 7, "text");
  EXPECT_EQ(format_log_text("(%d) %5d|%-4d|%s", {6, -42, 7, "text"}), expected);
}

TEST(LogPath, TempThenTmpdirThenTmp) {
  {
    ScopedEnv temp("TEMP", "/t1");
    ScopedEnv tmpdir("TMPDIR", "/t2");
    const auto paths = EngineLog::default_candidates();
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], "/t1/logfile");
    EXPECT_EQ(paths[1], "/t2/logfile");
    EXPECT_EQ(paths[2], "/tmp/logfile");
  }
  ScopedEnv temp("TEMP", "");
  ScopedEnv tmpdir("TMPDIR", nullptr);
  const auto paths = EngineLog::default_candidates();
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(paths[0], "/tmp/logfile");
}

TEST(LogPath, UnopenableFolderFallsThroughToTheNext) {
  TempLogFolder folder;
  const auto missing = folder.folder() / "no" / "such" / "logfile";
  EngineLog log = EngineLog::open_shared({missing, folder.log_path()});
  EXPECT_EQ(log.path(), folder.log_path());
  log.write("line\n");
  EXPECT_EQ(folder.contents(), "line\n");
}

TEST(LogPath, NoOpenableFileDropsLinesQuietly) {
  TempLogFolder folder;
  EngineLog log = EngineLog::open_shared({folder.folder() / "missing" / "logfile"});
  EXPECT_FALSE(log.is_open());
  log.print("dropped %d\n", {1});
  EXPECT_TRUE(log.path().empty());
}

TEST(LogFile, HeaderIsWrittenAndFlushedAtStart) {
  TempLogFolder log;
  KernelEngine engine(3);
  EXPECT_EQ(engine.log_path(), log.log_path());
  // Read while the engine is alive: the header must already be on disk.
  const std::regex header(
      R"(Kernel home range estimation - [A-Z][a-z]{2} [ 0-9][0-9] \d{4} at \d\d:\d\d:\d\d, v2\n)");
  EXPECT_TRUE(std::regex_match(log.contents(), header)) << log.contents();
}

TEST(LogFile, TwoLiveEnginesShareOneStreamWithoutLosingLines) {
  TempLogFolder log;
  {
    KernelEngine sheet(5);
    sheet.warning("from the sheet engine");
    {
      KernelEngine run(5);  // opening must not truncate the sheet engine's lines
      run.warning("from the run engine");
      sheet.warning("sheet again");
    }
    sheet.warning("sheet after the run");
  }
  const std::string text = log.contents();
  EXPECT_EQ(text.find('\0'), std::string::npos);
  const auto header = text.find("Kernel home range estimation");
  const auto second_header = text.find("Kernel home range estimation", header + 1);
  const auto a = text.find("WARNING: from the sheet engine\n");
  const auto b = text.find("WARNING: from the run engine\n");
  const auto c = text.find("WARNING: sheet again\n");
  const auto d = text.find("WARNING: sheet after the run\n");
  ASSERT_NE(second_header, std::string::npos);
  ASSERT_NE(d, std::string::npos);
  EXPECT_LT(header, a);
  EXPECT_LT(a, second_header);
  EXPECT_LT(second_header, b);
  EXPECT_LT(b, c);
  EXPECT_LT(c, d);
}

TEST(LogFile, FirstEngineAfterAllHaveEndedStartsAFreshFile) {
  TempLogFolder log;
  { KernelEngine(1).warning("old run"); }
  { KernelEngine fresh(1); }
  EXPECT_THAT(log.contents(), ::testing::Not(HasSubstr("old run")));
}

// The engine's numbers (log lines and level texts) under a decimal-comma locale.
class DecimalCommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
      GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    ASSERT_STREQ(probe, "0,5") << "the locale should write a decimal comma";
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(DecimalCommaLocale, LogLinesAndLevelTextsKeepTheDecimalPoint) {
  TempLogFolder log;
  KernelEngine engine(5);
  add_fixes(engine, {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0.5, 0.5}});
  EXPECT_NEAR(engine.gethref(), 0.3824, 5e-5);  // worked example of the five-fix set
  engine.set_contour_levels("0.25, 0.75");
  ASSERT_EQ(engine.contour_levels().size(), 2u);
  EXPECT_EQ(engine.contour_levels()[0], 0.25);
  EXPECT_EQ(engine.contour_levels()[1], 0.75);
  EXPECT_THAT(log.contents(), HasSubstr("\ts 0.500000, href 0.382362\n"));
  EXPECT_EQ(format_log_text("%10.2f%%", {99.5}), "     99.50%");
}

}  // namespace
}  // namespace orvex::core::test
