// clsKernelCalculator against in-memory host services: its error message boxes, the reference
// raster and the written raster.

#include <gtest/gtest.h>

#include <vector>

#include "kde/fake_host.h"
#include "kde/kde_test_data.h"
#include "ui/kde/cls_kernel_calculator.h"

namespace orvex::ui {
namespace {

using test::MemoryRaster;
using test::MemoryRasterLayer;
using test::MemoryWorkspaces;
using test::RecordingUi;
using test::ScatteredFixes;

class CalculatorHost : public ::testing::Test {
 protected:
  RecordingUi ui;
  MemoryWorkspaces workspaces;
  clsKernelCalculator calc{&ui, &workspaces};

  void Grid(double cellSize, std::int32_t columns, std::int32_t rows, double originX = 0,
            double originY = 0) {
    calc.SetCellSize(cellSize);
    calc.SetColumns(columns);
    calc.SetRows(rows);
    calc.SetOriginCoords(originX, originY);
  }
  void ExpectErrorBox(const std::string& text) {
    ASSERT_EQ(ui.shown.size(), 1U);
    EXPECT_EQ(ui.shown[0].text, text);
    EXPECT_EQ(ui.shown[0].title, std::optional<std::string>("Error"));
    EXPECT_EQ(ui.shown[0].icon, host::MessageIcon::Critical);
    EXPECT_EQ(ui.shown[0].buttons, host::MessageButtons::Ok);
  }
};

// ---------------------------------------------------------------------------------------
// Error message boxes

TEST_F(CalculatorHost, RescalingOneFixFailsInsideCalculateKernel) {
  Grid(10, 20, 20);
  calc.SetEnforceUnitVariance(true);
  calc.SetInputCoords(std::vector<CoordPair>{{50, 50}});  // sample variance 0/0
  calc.SetManualBandwidth(30);
  calc.CalculateKernel();
  ExpectErrorBox("KernelCalculator: 1006\rDivision by zero");
  EXPECT_EQ(calc.lErrorStatus, 1006);
  EXPECT_EQ(calc.GetKernel(), nullptr);
}

TEST_F(CalculatorHost, CellSizeRoundedToZeroFailsAtTheGeometryStep) {
  Grid(0.4, 20, 20);  // rounds to 0
  calc.SetInputCoords(ScatteredFixes(5, 100, 100));
  calc.SetManualBandwidth(30);
  calc.CalculateKernel();
  ExpectErrorBox("KernelCalculator: 1000\rDivision by zero");
}

TEST_F(CalculatorHost, RescalingOneFixFailsInsideTheSearches) {
  calc.SetEnforceUnitVariance(true);
  calc.SetInputCoords(std::vector<CoordPair>{{50, 50}});
  calc.CalculateLSCV();
  ExpectErrorBox("CalcLSCV: 1060\rDivision by zero");
  EXPECT_EQ(calc.lErrorStatus, 1060);

  ui.shown.clear();
  calc.SetInputCoords(std::vector<CoordPair>{{50, 50}});
  calc.CalculateBCV();
  ExpectErrorBox("CalcBCV: 1160\rDivision by zero");
}

TEST_F(CalculatorHost, HrefErrorsReachTheCaller) {
  calc.SetEnforceUnitVariance(true);
  calc.SetInputCoords(std::vector<CoordPair>{{50, 50}});
  EXPECT_THROW(calc.CalculateHREF(), host::Error);
  EXPECT_EQ(calc.lErrorStatus, 1061);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(CalculatorHost, LocalFactorErrorShowsItsIndicesAndValues) {
  // No fixes: the geometric mean divides by n = 0 after the pilot densities (code 10082).
  Grid(10, 20, 20);
  calc.SetFixedKernel(false);
  calc.SetInputCoords({});
  calc.SetManualBandwidth(50);
  calc.CalculateKernel();
  ASSERT_EQ(ui.shown.size(), 1U);
  EXPECT_EQ(ui.shown[0].text, "Local smooth error: 10082, 0, 0, 0, 50");
  EXPECT_FALSE(ui.shown[0].title.has_value());
  EXPECT_EQ(ui.shown[0].icon, host::MessageIcon::None);
  EXPECT_EQ(calc.lErrorStatus, 10082);
  EXPECT_EQ(calc.GetKernel(), nullptr);
}

TEST_F(CalculatorHost, StatusFailuresShowNoBox) {
  Grid(10, 20, 20);
  calc.SetInputCoords(ScatteredFixes(5, 100, 100));
  calc.SetManualBandwidth(5);
  calc.CalculateKernel();  // 5002: a warning for the caller, not a box
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthBelowCellSize);
  EXPECT_TRUE(ui.shown.empty());
}

// ---------------------------------------------------------------------------------------
// Reference raster

TEST_F(CalculatorHost, ReferenceRasterGivesTheGrid) {
  host::RasterSpec spec;
  spec.name = "ref";
  spec.originX = 1000;
  spec.originY = 2000;
  spec.cellSize = 25;
  spec.columns = 40;
  spec.rows = 30;
  calc.SetReferenceRaster(std::make_shared<MemoryRasterLayer>(std::make_shared<MemoryRaster>(spec)));
  EXPECT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(calc.GetCellSize(), 25.0);
  EXPECT_EQ(calc.GetColumnCount(), 40);
  EXPECT_EQ(calc.GetRowCount(), 30);
  EXPECT_EQ(calc.GetOriginX(), 1000.0);
  EXPECT_EQ(calc.GetOriginY(), 2000.0);
}

TEST_F(CalculatorHost, NoReferenceLayerIsCode1010) {
  calc.SetReferenceRaster(nullptr);
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kNoReferenceLayer);
}

TEST_F(CalculatorHost, BrokenReferenceLayerThrows) {
  EXPECT_THROW(calc.SetReferenceRaster(std::make_shared<MemoryRasterLayer>(nullptr)), host::Error);
}

TEST_F(CalculatorHost, OversizedReferenceGridIsRefusedPerAnimal) {
  host::RasterSpec spec;
  spec.name = "big";
  spec.cellSize = 1;
  spec.columns = 10'000;
  spec.rows = 6'000;
  calc.SetReferenceRaster(std::make_shared<MemoryRasterLayer>(std::make_shared<MemoryRaster>(spec)));
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);  // SetRows completes the pair
  calc.SetInputCoords(ScatteredFixes(5, 100, 100));
  calc.SetManualBandwidth(30);
  calc.CalculateKernel();
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);
  EXPECT_NE(calc.WarningMessages().find("Output raster is too large (> 50 million cells)."),
            std::string::npos);
  EXPECT_EQ(calc.WriteKernelToRaster("out", "k0", nullptr), nullptr);
}

// ---------------------------------------------------------------------------------------
// Writing the raster

TEST_F(CalculatorHost, WrittenRasterHoldsTheGridAsFloats) {
  // 300 rows: more than one block of rows is written.
  Grid(10, 37, 300, 500, 700);
  calc.SetInputCoords(ScatteredFixes(30, 370, 3000, 500, 700));
  calc.SetManualBandwidth(40);
  calc.SetLimitRadius(160);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  const auto dataset = calc.WriteKernelToRaster("out", "k0", nullptr);
  ASSERT_NE(dataset, nullptr);
  ASSERT_EQ(workspaces.opened.size(), 1U);
  EXPECT_EQ(workspaces.opened[0], std::filesystem::path("out"));

  const auto& raster = *workspaces.rasterWorkspace->rasters.at("k0");
  EXPECT_EQ(raster.spec.originX, 500.0);
  EXPECT_EQ(raster.spec.originY, 700.0);
  EXPECT_EQ(raster.spec.cellSize, 10.0);
  EXPECT_EQ(raster.spec.columns, 37);
  EXPECT_EQ(raster.spec.rows, 300);
  EXPECT_EQ(raster.memoryBand->statisticsRuns, 1);

  const KernelGrid& grid = *calc.GetKernel();
  std::size_t zeros = 0;
  for (std::int32_t row = 0; row < 300; ++row) {
    for (std::int32_t col = 0; col < 37; ++col) {
      const float cell = raster.memoryBand->cells[static_cast<std::size_t>(row * 37 + col)];
      ASSERT_EQ(cell, static_cast<float>(grid.At(col, row))) << col << ", " << row;
      zeros += cell == 0.0f ? 1 : 0;
    }
  }
  EXPECT_GT(zeros, 0U);  // cells outside every window hold 0, not a no-data value
}

TEST_F(CalculatorHost, NothingIsWrittenAfterAFailedCalculation) {
  Grid(10, 20, 20);
  calc.SetInputCoords(ScatteredFixes(5, 100, 100));
  calc.CalculateKernel();  // bandwidth 0
  EXPECT_EQ(calc.WriteKernelToRaster("out", "k0", nullptr), nullptr);
  EXPECT_TRUE(workspaces.opened.empty());
  EXPECT_TRUE(workspaces.rasterWorkspace->rasters.empty());
}

TEST_F(CalculatorHost, HostFailuresWhileWritingReachTheCaller) {
  Grid(10, 20, 20);
  calc.SetInputCoords(ScatteredFixes(5, 100, 100));
  calc.SetManualBandwidth(30);
  calc.CalculateKernel();
  ASSERT_NE(calc.WriteKernelToRaster("out", "k0", nullptr), nullptr);
  EXPECT_THROW(calc.WriteKernelToRaster("out", "k0", nullptr), host::Error);  // exists already
}

}  // namespace
}  // namespace orvex::ui
