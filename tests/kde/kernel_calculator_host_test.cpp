// clsKernelCalculator against in-memory host services: its error message boxes, the reference
// raster and the written raster.

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "kde/fake_host.h"
#include "kde/kde_test_data.h"
#include "ui/kde/cls_kernel_calculator.h"

namespace orvex::ui {
namespace {

using test::ScatteredFixes;

class CalculatorHost : public ::testing::Test {
 public:  // the table of cases drives the fixture from lambdas
  test::RecordingUi ui;
  test::MemoryWorkspaces workspaces;
  clsKernelCalculator calc{&ui, &workspaces};

  void Grid(double cellSize, std::int32_t columns, std::int32_t rows, double originX = 0,
            double originY = 0) {
    calc.SetCellSize(cellSize);
    calc.SetColumns(columns);
    calc.SetRows(rows);
    calc.SetOriginCoords(originX, originY);
  }
  void Kernel(const std::vector<CoordPair>& fixes, double bandwidth, double limitRadius = 0) {
    calc.SetInputCoords(fixes);
    calc.SetManualBandwidth(bandwidth);
    calc.SetLimitRadius(limitRadius);
    calc.CalculateKernel();
  }
};

TEST_F(CalculatorHost, RunTimeErrorsShowTheStepReached) {
  const std::vector<CoordPair> one{{50, 50}};  // sample variance 0/0 when rescaled
  const struct {
    const char* text;
    std::function<void(CalculatorHost&)> run;
  } cases[] = {
      {"KernelCalculator: 1006\rDivision by zero",
       [&](CalculatorHost& t) {
         t.calc.SetEnforceUnitVariance(true);
         t.Kernel(one, 30);
       }},
      {"KernelCalculator: 1000\rDivision by zero",
       [](CalculatorHost& t) {
         t.Grid(0.4, 20, 20);  // the cell size rounds to 0
         t.Kernel(ScatteredFixes(5, 100, 100), 30);
       }},
      {"CalcLSCV: 1060\rDivision by zero",
       [&](CalculatorHost& t) {
         t.calc.SetEnforceUnitVariance(true);
         t.calc.SetInputCoords(one);
         t.calc.CalculateLSCV();
       }},
      {"CalcBCV: 1160\rDivision by zero",
       [&](CalculatorHost& t) {
         t.calc.SetEnforceUnitVariance(true);
         t.calc.SetInputCoords(one);
         t.calc.CalculateBCV();
       }},
  };
  for (const auto& c : cases) {
    calc = clsKernelCalculator(&ui, &workspaces);
    ui.shown.clear();
    Grid(10, 20, 20);
    c.run(*this);
    ASSERT_EQ(ui.shown.size(), 1U) << c.text;
    EXPECT_EQ(ui.shown[0].text, c.text);
    EXPECT_EQ(ui.shown[0].title, std::optional<std::string>("Error"));
    EXPECT_EQ(ui.shown[0].icon, host::MessageIcon::Critical);
    EXPECT_EQ(calc.GetKernel(), nullptr);
    EXPECT_GT(calc.lErrorStatus, 0);
  }
}

TEST_F(CalculatorHost, LocalFactorErrorShowsItsIndicesAndValues) {
  // No fixes: the geometric mean divides by n = 0 after the pilot densities (code 10082).
  Grid(10, 20, 20);
  calc.SetFixedKernel(false);
  Kernel({}, 50);
  ASSERT_EQ(ui.shown.size(), 1U);
  EXPECT_EQ(ui.shown[0].text, "Local smooth error: 10082, 0, 0, 0, 50");
  EXPECT_FALSE(ui.shown[0].title.has_value());
  EXPECT_EQ(ui.shown[0].icon, host::MessageIcon::None);
  EXPECT_EQ(calc.lErrorStatus, 10082);
}

TEST_F(CalculatorHost, HrefErrorsAndStatusFailuresShowNoBox) {
  Grid(10, 20, 20);
  Kernel(ScatteredFixes(5, 100, 100), 5);  // 5002: a warning for the caller
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthBelowCellSize);
  calc.SetEnforceUnitVariance(true);
  calc.SetInputCoords(std::vector<CoordPair>{{50, 50}});
  EXPECT_THROW(calc.CalculateHREF(), host::Error);  // no handler: the batch run reports it
  EXPECT_EQ(calc.lErrorStatus, 1061);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(CalculatorHost, ReferenceRasterGivesTheGrid) {
  const auto raster = std::make_shared<test::MemoryRaster>(host::RasterSpec{
      .name = "ref", .originX = 1000, .originY = 2000, .cellSize = 25, .rows = 30, .columns = 40});
  calc.SetReferenceRaster(std::make_shared<test::MemoryRasterLayer>(raster));
  EXPECT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(calc.GetCellSize(), 25.0);
  EXPECT_EQ(calc.GetColumnCount(), 40);
  EXPECT_EQ(calc.GetRowCount(), 30);
  EXPECT_EQ(calc.GetOriginX(), 1000.0);
  EXPECT_EQ(calc.GetOriginY(), 2000.0);
  EXPECT_THROW(calc.SetReferenceRaster(std::make_shared<test::MemoryRasterLayer>(nullptr)), host::Error);
  calc.SetReferenceRaster(nullptr);
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kNoReferenceLayer);
}

TEST_F(CalculatorHost, OversizedReferenceGridIsRefusedForEveryAnimal) {
  const auto raster = std::make_shared<test::MemoryRaster>(
      host::RasterSpec{.name = "big", .cellSize = 1, .rows = 6'000, .columns = 10'000});
  calc.SetReferenceRaster(std::make_shared<test::MemoryRasterLayer>(raster));
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);  // SetRows completes the pair
  Kernel(ScatteredFixes(5, 100, 100), 30);
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);
  EXPECT_NE(calc.WarningMessages().find("Output raster is too large (> 50 million cells)."),
            std::string::npos);
  EXPECT_EQ(calc.WriteKernelToRaster("out", "k0", nullptr), nullptr);
  EXPECT_TRUE(workspaces.opened.empty());
}

TEST_F(CalculatorHost, WrittenRasterHoldsTheGridAsFloats) {
  // 300 rows: more than one block of rows is written.
  Grid(10, 37, 300, 500, 700);
  Kernel(ScatteredFixes(30, 370, 3000, 500, 700), 40, 160);
  ASSERT_EQ(calc.lErrorStatus, 0);
  ASSERT_NE(calc.WriteKernelToRaster("out", "k0", nullptr), nullptr);
  EXPECT_EQ(workspaces.opened, std::vector<std::filesystem::path>{"out"});
  const auto& raster = *workspaces.rasters.at("k0");
  EXPECT_EQ(raster.extent().xmin, 500.0);
  EXPECT_EQ(raster.extent().ymin, 700.0);
  EXPECT_EQ(raster.cellSizeX(), 10.0);
  EXPECT_EQ(raster.columns(), 37);
  EXPECT_EQ(raster.rows(), 300);
  EXPECT_EQ(raster.statisticsRuns, 1);
  const KernelGrid& grid = *calc.GetKernel();
  std::size_t zeros = 0;
  for (std::int32_t row = 0; row < 300; ++row) {
    for (std::int32_t col = 0; col < 37; ++col) {
      const float cell = raster.cells[static_cast<std::size_t>(row * 37 + col)];
      ASSERT_EQ(cell, static_cast<float>(grid.At(col, row))) << col << ", " << row;
      zeros += cell == 0.0f ? 1 : 0;
    }
  }
  EXPECT_GT(zeros, 0U);  // cells outside every window hold 0, not a no-data value
  EXPECT_THROW(calc.WriteKernelToRaster("out", "k0", nullptr), host::Error);  // exists: host failure
}

}  // namespace
}  // namespace orvex::ui
