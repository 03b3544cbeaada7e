// The Kernel Analysis command clicked in the headless host: selections, the sheet, one run
// per h value with its Save As, the shapefile written and the layer added, and the failures.

#include <gtest/gtest.h>

#include <sstream>

#include "core/kernel/orvex_kernel.h"
#include "host/command.h"
#include "host/form.h"
#include "host/text.h"
#include "kernel/kernel_shapefile.h"
#include "kernel/kernel_test_support.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"

namespace {

using orvex::platform::headless::FormScript;
namespace host = orvex::host;

constexpr const char* kSheet = "frmKernelParameters";

class KernelCommandTest : public ::testing::Test {
 protected:
  /// A map with one layer of `points`, the features matching `where` selected (all by default).
  void loadCloud(const std::vector<orvex::test::XY>& points, const std::string& where = {}) {
    orvex::platform::headless::MapSource source;
    source.files = {orvex::test::writeCloud(folder_.path(), "fixes", points)};
    source.where = where;
    orvex::platform::headless::loadMapSource(app_, source);
  }
  void script(FormScript sheet) { app_.scriptedUi().setFormScript(kSheet, std::move(sheet)); }
  void answer(std::optional<std::filesystem::path> path) {
    app_.scriptedUi().queueSaveAnswer(std::move(path));
  }

  host::Status click() {
    const std::unique_ptr<host::Command> command = orvex::core::makeOrvexKernel();
    command->onCreate(app_);
    return command->onClick();
  }

  std::vector<std::string> messages() {
    std::vector<std::string> texts;
    for (const auto& record : app_.scriptedUi().messages()) texts.push_back(record.message.text);
    return texts;
  }
  std::vector<std::string> saveTitles() {
    std::vector<std::string> titles;
    for (const auto& dialog : app_.scriptedUi().dialogs()) titles.push_back(dialog.title);
    return titles;
  }

  orvex::test::TempFolder folder_;
  std::ostringstream printed_;
  orvex::platform::headless::HeadlessApplication app_{orvex::test::quietOptions(printed_)};
};

// --- before the sheet ---------------------------------------------------------------------------

TEST_F(KernelCommandTest, TooFewPointsFailAndNoSelectionAsksForOne) {
  loadCloud(orvex::test::gaussianCloud(20, 10.0), "Seq <= 4");
  EXPECT_TRUE(host::failed(click()));
  app_.focusMap().clearSelection();
  EXPECT_EQ(click(), host::kOk);
  EXPECT_EQ(messages(),
            (std::vector<std::string>{orvex::core::kKernelFewPoints, orvex::core::kKernelNoSelection}));
  EXPECT_TRUE(app_.scriptedUi().forms().empty()) << "no sheet";
}

TEST_F(KernelCommandTest, TheInformationPageCountsTheSelectedPointsAndNamesTheAnimal) {
  loadCloud(orvex::test::gaussianCloud(20, 10.0), "Seq <= 5");
  std::vector<std::string> shown;
  app_.scriptedUi().setFormClosedHook([&](const host::Form& form) {
    shown = {form.control("txtAnimalID").text(), form.control("txtNumPoints").text()};
  });
  script(FormScript().cancel());
  EXPECT_EQ(click(), host::kOk) << "a cancelled sheet ends the click quietly";
  EXPECT_EQ(shown, (std::vector<std::string>{"Animal ID: a1", "Number of points for analysis: 5"}));
  EXPECT_TRUE(saveTitles().empty());
}

// --- runs and their Save As ---------------------------------------------------------------------

TEST_F(KernelCommandTest, AcceptingTheDefaultsAsksTenTimesFromOneDownToATenth) {
  loadCloud(orvex::test::gaussianCloud(50, 10.0));
  script(FormScript().ok());
  EXPECT_EQ(click(), host::kOk) << "every Save As cancelled: every run skipped";
  std::vector<std::string> expected;
  for (const char* h : {"1.0", "0.9", "0.8", "0.7", "0.6", "0.5", "0.4", "0.3", "0.2", "0.1"})
    expected.push_back(std::string("Save As  for h = ") + h);
  EXPECT_EQ(saveTitles(), expected);
  EXPECT_EQ(app_.focusMap().layers().size(), 1u) << "no layer added";
}

TEST_F(KernelCommandTest, HrefWithoutProportionRunsOnceAtOneMapUnit) {
  const auto points = orvex::test::gaussianCloud(200, 5.0, 500000.0, 5000000.0);
  loadCloud(points);
  script(FormScript().page(1).choose("optNone").page(2).check("chkProportion", false).choose("optHref").ok());
  const auto out = folder_ / "href.shp";
  answer(out);
  ASSERT_EQ(click(), host::kOk) << printed_.str();
  EXPECT_EQ(saveTitles(), std::vector<std::string>{"Save As  for h = 1.0"});

  const auto file = orvex::test::readKernelShapefile(out);
  ASSERT_FALSE(file.rows.empty());
  // h in map units; href that of the unstandardised fixes (computed here). The .dbf keeps 12
  // decimals: tolerance 1e-12 on h, 1e-9 relative on href.
  const double href = orvex::test::hrefOf(points);
  for (const auto& row : file.rows) {
    EXPECT_NEAR(row.h, 1.0, 1e-12);
    EXPECT_NEAR(row.href, href, 1e-9 * href);
  }

  // The layer on top of the map, named with the file name; the view's geography redrawn.
  ASSERT_EQ(app_.focusMap().layers().size(), 2u);
  EXPECT_EQ(app_.focusMap().layers().front()->name(), "href.shp");
  EXPECT_EQ(app_.view().partialRefreshes(), std::vector<host::ViewPhase>{host::ViewPhase::Geography});
}

TEST_F(KernelCommandTest, DensityContoursComeLowestDensityFirst) {
  loadCloud(orvex::test::gaussianCloud(100, 10.0));
  script(FormScript().page(2).type("txtH", "0.5").choose("optFixed").page(3).choose("optDensity").ok());
  answer(folder_ / "density.shp");
  EXPECT_EQ(click(), host::kOk);
  const auto file = orvex::test::readKernelShapefile(folder_ / "density.shp");
  ASSERT_GE(file.rows.size(), 2u);
  for (std::size_t k = 1; k < file.rows.size(); ++k) {
    EXPECT_GT(file.rows[k].density, file.rows[k - 1].density);
    EXPECT_LT(file.rows[k].area, file.rows[k - 1].area);
    EXPECT_EQ(file.rows[k].kernType, "Fixed");
  }
}

// --- failures -------------------------------------------------------------------------------------

TEST_F(KernelCommandTest, AFolderThatCannotBeOpenedIsReportedAndTheNextRunGoesOn) {
  loadCloud(orvex::test::gaussianCloud(60, 10.0));
  script(FormScript().page(2).type("txtH", "0.5, 0.3").ok());
  answer(folder_ / "absent" / "lost.shp");
  answer(folder_ / "kept.shp");
  EXPECT_EQ(click(), host::kOk) << "the click returns the last run's status";
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_TRUE(messages()[0].ends_with("\norvex_kernel(207)")) << messages()[0];
  EXPECT_TRUE(std::filesystem::exists(folder_ / "kept.shp"));
}

TEST_F(KernelCommandTest, FixesWithoutExtentGiveAMessageInsteadOfAnEmptyFile) {
  loadCloud(std::vector<orvex::test::XY>(6, orvex::test::XY{300.0, 400.0}));
  script(FormScript().page(2).type("txtH", "1.0, 0.5").ok());
  EXPECT_TRUE(host::failed(click()));
  EXPECT_EQ(messages(),
            (std::vector<std::string>{"No utilisation distribution could be computed for h = 1.0.",
                                      "No utilisation distribution could be computed for h = 0.5."}));
  EXPECT_TRUE(saveTitles().empty()) << "no file asked for";
}

}  // namespace
