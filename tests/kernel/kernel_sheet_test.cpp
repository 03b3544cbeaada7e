// The "Kernel Analysis Parameters" sheet driven as a person would: defaults, the
// standardisation radios, the h box rules, LSCV/BCV filling the box, the page-leave checks and
// the options handed over at OK.

#include <gtest/gtest.h>

#include <sstream>

#include "core/kernel/kernel_sheet.h"
#include "host/error.h"
#include "host/form_driver.h"
#include "host/text.h"
#include "kernel/kernel_test_support.h"
#include "platform/headless/scripted_ui.h"

namespace {

using orvex::core::ContourKind;
using orvex::core::HChoice;
using orvex::core::KernelEngine;
using orvex::core::KernelSheet;
using orvex::core::KernelType;
using orvex::host::FormDriver;
namespace names = orvex::core::kernel_controls;

/// A sheet over an engine loaded with `points`, open on its first page, with a scripted user
/// interface that records the message boxes.
class SheetTest : public ::testing::Test {
 protected:
  void open(const std::vector<orvex::test::XY>& points) {
    engine_ = std::make_unique<KernelEngine>(orvex::test::loadedEngine(points));
    sheet_ = std::make_unique<KernelSheet>(ui_, *engine_);
    sheet_->load();
    driver_ = std::make_unique<FormDriver>(*sheet_);
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
  std::unique_ptr<FormDriver> driver_;
};

// --- what the pages show ----------------------------------------------------------------------

TEST_F(SheetTest, PagesShowTheirDefaults) {
  open(orvex::test::squareFixes());
  ASSERT_EQ(sheet_->pageCount(), 4);
  EXPECT_EQ(sheet_->caption(), "Kernel Analysis Parameters");
  for (int page = 0; page < 4; ++page)
    EXPECT_EQ(sheet_->pageCaption(page),
              std::vector<std::string>({"Information", "Standardization", "Smoothing", "Contour"})[page]);

  EXPECT_EQ(text(names::kAnimalId), "Animal ID: None");
  EXPECT_EQ(text(names::kPointCount), "Number of points for analysis: 5");
  EXPECT_TRUE(sheet_->control(names::kStdUnit).checked());
  EXPECT_FALSE(sheet_->control(names::kStdX).visible());
  EXPECT_FALSE(sheet_->control(names::kStdY).enabled());
  EXPECT_TRUE(sheet_->control(names::kProportion).checked());
  EXPECT_EQ(text(names::kH), "1.0,0.9,0.8,0.7,0.6,0.5,0.4,0.3,0.2,0.1");
  EXPECT_TRUE(sheet_->control(names::kChooseUser).checked());
  EXPECT_TRUE(sheet_->control(names::kAdaptive).checked());
  EXPECT_TRUE(sheet_->control(names::kVolume).checked());
  EXPECT_EQ(text(names::kLevels), "0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9");
  EXPECT_EQ(text(names::kResolution), "150");
  EXPECT_FALSE(sheet_->control(names::kSmooth).checked());
  EXPECT_FALSE(sheet_->control(names::kDensify).checked());
  EXPECT_EQ(text(names::kDensifyLength), "1.0");
  EXPECT_FALSE(sheet_->control(names::kDensifyLength).enabled());
}

TEST_F(SheetTest, VariancesAndHrefComeFromTheWorkedExample) {
  // Worked example of the engine: the square's corners and centre have variances 0.25 in x
  // and y; at unit variance href = 5^(-1/6) = 0.76472449, unstandardised 0.5 * 5^(-1/6) =
  // 0.38236225 (8 significant digits, exact decimal expansion by hand).
  open(orvex::test::squareFixes());
  EXPECT_EQ(text(names::kVariance), "Variance (x, y): 0.25, 0.25");
  EXPECT_EQ(text(names::kHref), "0.76472449");
  driver_->showPage(KernelSheet::kStandardizationPage);
  driver_->choose(names::kStdNone);
  EXPECT_EQ(text(names::kHref), "0.38236225");
  EXPECT_EQ(text(names::kVariance), "Variance (x, y): 0.25, 0.25") << "the variances are those of the input";
  driver_->choose(names::kStdUnit);
  EXPECT_EQ(text(names::kHref), "0.76472449");
}

TEST_F(SheetTest, InformationPageShowsTheIndicesWithTheirNotes) {
  // Worked example: five fixes along a line at equal spacing give Schoener's
  // t2 / r2 = (4/3) / 2.5 = 0.533333 ("%f"); standardising x alone leaves the ratio unchanged
  // and the constant y is left unscaled. The Swihart and Slade index is undefined there and
  // shown as the formatted double gives it.
  open({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}});
  EXPECT_EQ(text(names::kSchoener), "Schoener Index: 0.533333");
  EXPECT_EQ(text(names::kSwihartSlade),
            "Swihart & Slade Index: " + orvex::host::cformat("%f", engine_->last_swihart_slade_index()));
  EXPECT_EQ(sheet_->control(names::kSwihartSladeNote).caption(),
            "(value > 0.6 indicates significant autocorrelation)");
  EXPECT_EQ(sheet_->control(names::kSchoenerNote).caption(),
            "(value < 1.6 or > 2.4 indicates significant autocorrelation)");
}

// --- the h box -------------------------------------------------------------------------------

TEST_F(SheetTest, ManualChoicesEnableAndFillTheHBox) {
  open(orvex::test::squareFixes());
  driver_->showPage(KernelSheet::kSmoothingPage);
  driver_->choose(names::kChooseHref);
  EXPECT_EQ(text(names::kH), "1.0");
  EXPECT_FALSE(sheet_->control(names::kH).enabled());
  EXPECT_THROW(driver_->type(names::kH, "0.5"), orvex::host::Error) << "a disabled box takes no typing";
  driver_->choose(names::kChooseUser);
  EXPECT_TRUE(sheet_->control(names::kH).enabled());
  driver_->type(names::kH, "0.5");
  EXPECT_EQ(text(names::kH), "0.5");
}

TEST_F(SheetTest, CrossValidationWritesHInSeventeenFifteenForm) {
  open(orvex::test::gaussianCloud(60, 3.0));
  driver_->showPage(KernelSheet::kSmoothingPage);
  for (const char* choice : {names::kChooseLscv, names::kChooseBcv}) {
    SCOPED_TRACE(choice);
    driver_->choose(choice);
    EXPECT_FALSE(sheet_->control(names::kH).enabled());
    const std::string proportional = text(names::kH);
    // "%17.15f": 15 decimals; a proportion of href below 10 fills exactly 17 characters.
    ASSERT_EQ(proportional.size(), 17u) << proportional;
    EXPECT_EQ(proportional.find('.'), 1u) << proportional;
    EXPECT_EQ(proportional, orvex::host::cformat("%17.15f", engine_->h() / engine_->gethref()));
    // The search looks between 0.1 and 1.0 href (tolerance: the bracket itself).
    const double value = orvex::host::parseNumberPrefix(proportional);
    EXPECT_GE(value, 0.1 - 1e-12);
    EXPECT_LE(value, 1.0 + 1e-12);

    // Unchecking the proportion box shows the same h in working units.
    driver_->check(names::kProportion, false);
    EXPECT_EQ(text(names::kH), orvex::host::cformat("%17.15f", engine_->h()));
    driver_->check(names::kProportion, true);
    EXPECT_EQ(text(names::kH), proportional);
  }
}

TEST_F(SheetTest, SearchBracketFollowsTheStandardisation) {
  // A cloud in metres (sd 1000): once "None" is chosen, LSCV must look at bandwidths of metres,
  // between 0.1 and 1.0 href of the unstandardised fixes.
  open(orvex::test::gaussianCloud(60, 1000.0, 500000.0, 6000000.0));
  driver_->showPage(KernelSheet::kStandardizationPage);
  driver_->choose(names::kStdNone);
  const double href = engine_->gethref();
  EXPECT_GT(href, 100.0) << "href in metres";
  EXPECT_DOUBLE_EQ(engine_->lower_bound(), 0.1 * href);
  EXPECT_DOUBLE_EQ(engine_->upper_bound(), 1.0 * href);

  driver_->showPage(KernelSheet::kSmoothingPage);
  driver_->check(names::kProportion, false);
  driver_->choose(names::kChooseLscv);
  const double h = orvex::host::parseNumberPrefix(text(names::kH));
  EXPECT_GE(h, 0.1 * href * (1 - 1e-12));
  EXPECT_LE(h, href * (1 + 1e-12));
}

TEST_F(SheetTest, LeavingTheSmoothingPageReadsTheList) {
  open(orvex::test::squareFixes());
  driver_->showPage(KernelSheet::kSmoothingPage);
  driver_->type(names::kH, " 0.5 , 0.25,");
  ASSERT_TRUE(driver_->showPage(KernelSheet::kContourPage));
  EXPECT_EQ(sheet_->options().hValues, (std::vector<double>{0.5, 0.25}));
  EXPECT_DOUBLE_EQ(engine_->h(), 0.5 * engine_->gethref()) << "the first value becomes the engine's h";
  EXPECT_TRUE(messages().empty());
}

TEST_F(SheetTest, HValuesOfZeroOrBelowAreRefusedAndThePageStays) {
  const struct {
    const char* text;
    const char* shown;
  } cases[] = {{"0.5,0", "0"}, {"-1", "-1"}, {"0.3, abc", "0"}, {"1e999", "Infinity"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    open(orvex::test::squareFixes());
    driver_->showPage(KernelSheet::kSmoothingPage);
    driver_->type(names::kH, c.text);
    EXPECT_FALSE(driver_->showPage(KernelSheet::kContourPage));
    EXPECT_EQ(sheet_->currentPage(), KernelSheet::kSmoothingPage);
    EXPECT_EQ(sheet_->focused(), names::kH);
    EXPECT_FALSE(driver_->ok());
    EXPECT_TRUE(sheet_->isOpen());
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages().back(),
              std::string("Each h value must be a number greater than 0 (the list holds ") + c.shown + ").");
    ui_.clearRecords();
  }
}

TEST_F(SheetTest, AListWithAnEmptyPieceGivesNoRunAndNoMessage) {
  for (const char* text : {"0.5,,0.9", "", " , "}) {
    SCOPED_TRACE(text);
    open(orvex::test::squareFixes());
    driver_->showPage(KernelSheet::kSmoothingPage);
    driver_->type(names::kH, text);
    EXPECT_TRUE(driver_->ok());
    EXPECT_TRUE(sheet_->options().hValues.empty());
    EXPECT_TRUE(messages().empty());
  }
}

TEST_F(SheetTest, OkFromAnotherPageReadsTheDefaultList) {
  open(orvex::test::squareFixes());
  ASSERT_TRUE(driver_->ok());
  EXPECT_EQ(sheet_->result(), orvex::host::dialog_result::kOk);
  const std::vector<double>& h = sheet_->options().hValues;
  ASSERT_EQ(h.size(), 10u);
  for (std::size_t k = 0; k < h.size(); ++k) EXPECT_DOUBLE_EQ(h[k], static_cast<double>(10 - k) / 10.0);
}

// --- the Contour page --------------------------------------------------------------------------

TEST_F(SheetTest, RasterResolutionTakesDigitsFrom40To100000) {
  const struct {
    const char* typed;
    const char* kept;
    bool accepted;
  } cases[] = {
      {"40", "40", true},    {"100000", "100000", true}, {"39", "39", false}, {"100001", "100001", false},
      {"15a0", "150", true}, {"-200", "200", true},      {"", "", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    open(orvex::test::squareFixes());
    driver_->showPage(KernelSheet::kContourPage);
    driver_->type(names::kResolution, c.typed);
    EXPECT_EQ(text(names::kResolution), c.kept);
    EXPECT_EQ(driver_->showPage(KernelSheet::kInformationPage), c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(driver_->lastRefusal().message, "Please enter an integer between 40 and 100000.");
    }
  }
}

TEST_F(SheetTest, DensifyBoxFollowsItsCheckBoxAndMustHoldANumber) {
  open(orvex::test::squareFixes());
  driver_->showPage(KernelSheet::kContourPage);
  driver_->check(names::kDensify, true);
  EXPECT_TRUE(sheet_->control(names::kDensifyLength).enabled());
  driver_->type(names::kDensifyLength, "ten");
  EXPECT_FALSE(driver_->showPage(KernelSheet::kInformationPage));
  EXPECT_EQ(driver_->lastRefusal().message, "Please enter a number.");
  driver_->check(names::kDensify, false);
  EXPECT_FALSE(sheet_->control(names::kDensifyLength).enabled());
  EXPECT_TRUE(driver_->showPage(KernelSheet::kInformationPage)) << "a disabled box is not checked";
}

TEST_F(SheetTest, OkHandsOverEveryChoice) {
  open(orvex::test::squareFixes());
  driver_->showPage(KernelSheet::kStandardizationPage);
  driver_->choose(names::kStdNone);
  driver_->showPage(KernelSheet::kContourPage);
  driver_->choose(names::kDensity);
  driver_->type(names::kLevels, "0.5, 0.95");
  driver_->type(names::kResolution, "200");
  driver_->check(names::kSmooth, true);
  driver_->check(names::kDensify, true);
  driver_->type(names::kDensifyLength, "2.5");
  driver_->showPage(KernelSheet::kSmoothingPage);
  driver_->check(names::kProportion, false);
  driver_->choose(names::kChooseHref);
  driver_->choose(names::kFixed);
  ASSERT_TRUE(driver_->ok());

  const orvex::core::KernelOptions& options = sheet_->options();
  EXPECT_EQ(options.standardisation, KernelEngine::NONE);
  EXPECT_FALSE(options.proportional);
  EXPECT_EQ(options.hChoice, HChoice::Href);
  EXPECT_EQ(options.hValues, std::vector<double>{1.0});
  EXPECT_EQ(options.kernel, KernelType::Fixed);
  EXPECT_EQ(options.contour, ContourKind::Density);
  EXPECT_EQ(options.levels, "0.5, 0.95");
  EXPECT_EQ(options.resolution, 200);
  EXPECT_TRUE(options.smooth);
  EXPECT_TRUE(options.densify);
  EXPECT_DOUBLE_EQ(options.densifyLength, 2.5);
}

}  // namespace
