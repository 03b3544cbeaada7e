// The "Kernel Analysis Parameters" sheet driven as a person would: the standardisation radios,
// the h box rules, LSCV/BCV filling the box, and the page-leave checks.

#include <gtest/gtest.h>

#include <sstream>

#include "core/kernel/kernel_sheet.h"
#include "host/error.h"
#include "host/text.h"
#include "kernel/kernel_test_support.h"
#include "platform/common/form_driver.h"
#include "platform/headless/scripted_ui.h"

namespace {

using orvex::core::KernelEngine;
using orvex::core::KernelSheet;
using orvex::host::cformat;
namespace names = orvex::core::kernel_controls;

/// A sheet over an engine loaded with `points`, open on its first page; the scripted user
/// interface records the message boxes.
class SheetTest : public ::testing::Test {
 protected:
  void open(const std::vector<orvex::test::XY>& points) {
    ui_.clearRecords();
    engine_ = std::make_unique<KernelEngine>(orvex::test::loadedEngine(points));
    sheet_ = std::make_unique<KernelSheet>(ui_, *engine_);
    sheet_->load();
    driver_ = std::make_unique<orvex::platform::FormDriver>(*sheet_);
  }
  const std::string& text(const char* control) const { return sheet_->control(control).text(); }
  std::vector<std::string> messages() const {
    std::vector<std::string> texts;
    for (const auto& record : ui_.messages()) texts.push_back(record.message.text);
    return texts;
  }

  std::ostringstream printed_;
  orvex::platform::headless::ScriptedUi ui_{printed_, "Orvex"};
  std::unique_ptr<KernelEngine> engine_;
  std::unique_ptr<KernelSheet> sheet_;
  std::unique_ptr<orvex::platform::FormDriver> driver_;
};

TEST_F(SheetTest, PagesShowTheWorkedExample) {
  // The engine's worked example: the unit square's corners and centre have variances 0.25;
  // href = 5^(-1/6) = 0.76472449 at unit variance, 0.5 * 5^(-1/6) = 0.38236225 without.
  open(orvex::test::squareFixes());
  EXPECT_EQ(text(names::kPointCount), "Number of points for analysis: 5");
  EXPECT_EQ(text(names::kAnimalId), "Animal ID: None");
  EXPECT_EQ(text(names::kVariance), "Variance (x, y): 0.25, 0.25");
  EXPECT_EQ(text(names::kHref), "0.76472449");
  driver_->showPage(KernelSheet::kStandardizationPage);
  driver_->choose(names::kStdNone);
  EXPECT_EQ(text(names::kHref), "0.38236225");
  EXPECT_EQ(text(names::kVariance), "Variance (x, y): 0.25, 0.25") << "the input's variances stay";

  // Five fixes on a line at equal spacing: Schoener's t2 / r2 = (4/3) / 2.5 = 0.533333.
  open({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}});
  EXPECT_EQ(text(names::kSchoener), "Schoener Index: 0.533333");
}

TEST_F(SheetTest, SearchBracketFollowsTheStandardisation) {
  // A cloud in metres (sd 1000): once "None" is chosen, LSCV must look at bandwidths of metres,
  // between 0.1 and 1.0 href of the unstandardised fixes, not of standardised units.
  open(orvex::test::gaussianCloud(60, 1000.0, 500000.0, 6000000.0));
  driver_->showPage(KernelSheet::kStandardizationPage);
  driver_->choose(names::kStdNone);
  const double href = engine_->gethref();
  EXPECT_DOUBLE_EQ(engine_->lower_bound(), 0.1 * href);
  EXPECT_DOUBLE_EQ(engine_->upper_bound(), href);

  driver_->showPage(KernelSheet::kSmoothingPage);
  driver_->check(names::kProportion, false);
  driver_->choose(names::kChooseLscv);
  const double h = orvex::host::parseNumberPrefix(text(names::kH));
  EXPECT_GE(h, 0.1 * href * (1 - 1e-12));
  EXPECT_LE(h, href * (1 + 1e-12));
}

TEST_F(SheetTest, HBoxIsFilledByTheChoices) {
  open(orvex::test::gaussianCloud(60, 3.0));
  driver_->showPage(KernelSheet::kSmoothingPage);
  EXPECT_EQ(text(names::kH), "1.0,0.9,0.8,0.7,0.6,0.5,0.4,0.3,0.2,0.1");
  driver_->choose(names::kChooseHref);
  EXPECT_EQ(text(names::kH), "1.0");
  EXPECT_THROW(driver_->type(names::kH, "0.5"), orvex::host::Error) << "the box is disabled";
  driver_->choose(names::kChooseUser);
  driver_->type(names::kH, "0.5");

  for (const char* search : {names::kChooseLscv, names::kChooseBcv}) {
    SCOPED_TRACE(search);
    driver_->choose(search);
    EXPECT_FALSE(sheet_->control(names::kH).enabled());
    // "%17.15f" of h / href: 15 decimals, 17 characters for a proportion below 10, inside the
    // search bracket 0.1 to 1.0.
    const std::string proportional = text(names::kH);
    EXPECT_EQ(proportional, cformat("%17.15f", engine_->h() / engine_->gethref()));
    ASSERT_EQ(proportional.size(), 17u);
    EXPECT_GE(orvex::host::parseNumberPrefix(proportional), 0.1 - 1e-12);
    EXPECT_LE(orvex::host::parseNumberPrefix(proportional), 1.0 + 1e-12);
    // The proportion box shows the same h in working units, and back.
    driver_->check(names::kProportion, false);
    EXPECT_EQ(text(names::kH), cformat("%17.15f", engine_->h()));
    driver_->check(names::kProportion, true);
    EXPECT_EQ(text(names::kH), proportional);
  }
}

TEST_F(SheetTest, LeavingTheSmoothingPageReadsOrRefusesTheList) {
  const struct {
    const char* typed;
    std::vector<double> runs;
    const char* refusedValue;  ///< null: accepted without a message
  } cases[] = {
      {" 0.5 , 0.25,", {0.5, 0.25}, nullptr},
      {"0.5,,0.9", {}, nullptr},  // an empty piece: no run, silently
      {"", {}, nullptr},
      {"0.5,0", {}, "0"},
      {"-1", {}, "-1"},
      {"0.3, abc", {}, "0"},  // a piece without a number reads as 0
      {"1e999", {}, "Infinity"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    open(orvex::test::squareFixes());
    driver_->showPage(KernelSheet::kSmoothingPage);
    driver_->type(names::kH, c.typed);
    const bool left = driver_->showPage(KernelSheet::kContourPage);
    if (c.refusedValue == nullptr) {
      EXPECT_TRUE(left);
      EXPECT_EQ(sheet_->options().hValues, c.runs);
      EXPECT_TRUE(messages().empty());
      continue;
    }
    EXPECT_FALSE(left);
    EXPECT_FALSE(driver_->ok());
    EXPECT_EQ(sheet_->focused(), names::kH);
    EXPECT_EQ(
        messages().back(),
        std::string("Each h value must be a number greater than 0 (the list holds ") + c.refusedValue + ").");
  }
  // The first value becomes the engine's h, as a proportion of href.
  open(orvex::test::squareFixes());
  driver_->showPage(KernelSheet::kSmoothingPage);
  driver_->type(names::kH, "0.5, 0.25");
  driver_->ok();
  EXPECT_DOUBLE_EQ(engine_->h(), 0.5 * engine_->gethref());
}

TEST_F(SheetTest, OkFromAnotherPageReadsTheDefaultList) {
  open(orvex::test::squareFixes());
  ASSERT_TRUE(driver_->ok());
  EXPECT_EQ(sheet_->options().hValues,
            (std::vector<double>{1.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1}));
}

TEST_F(SheetTest, ContourPageChecksResolutionAndDensifyLength) {
  const struct {
    const char* typed;
    const char* kept;
    bool accepted;
  } cases[] = {{"40", "40", true},          {"100000", "100000", true}, {"39", "39", false},
               {"100001", "100001", false}, {"15a0", "150", true},      {"", "", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    open(orvex::test::squareFixes());
    driver_->showPage(KernelSheet::kContourPage);
    driver_->type(names::kResolution, c.typed);
    EXPECT_EQ(text(names::kResolution), c.kept) << "digits only";
    EXPECT_EQ(driver_->showPage(KernelSheet::kInformationPage), c.accepted);
  }

  open(orvex::test::squareFixes());
  driver_->showPage(KernelSheet::kContourPage);
  driver_->check(names::kDensify, true);
  driver_->type(names::kDensifyLength, "ten");
  EXPECT_FALSE(driver_->showPage(KernelSheet::kInformationPage));
  EXPECT_EQ(driver_->lastRefusal().message, "Please enter a number.");
  driver_->check(names::kDensify, false);
  EXPECT_TRUE(driver_->showPage(KernelSheet::kInformationPage)) << "a disabled box is not checked";
}

}  // namespace
