#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "gis/test_host.h"
#include "ui/gis/cls_hiso.h"
#include "ui/gis/isopleth_polygons.h"

namespace fs = std::filesystem;
using namespace orvex;
using orvex::ui::clsHISO;
namespace status = orvex::ui::hiso_status;

namespace {

// Synthetic UD rasters: 10 m cells, side x side (odd), the middle cell centred on (0, 0).
constexpr double kCell = 10.0;
constexpr int kSide = 201;
constexpr double kSigma = 200.0;  // 20 cells
constexpr double kScale = 1e6;    // the kernel tool's default scaling factor

using Density = std::function<double(double x, double y)>;

double Gaussian(double x, double y, double cx, double cy) {
  const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
  return kScale * std::exp(-d2 / (2 * kSigma * kSigma)) / (2 * std::numbers::pi * kSigma * kSigma);
}

/// Radius of the p-volume contour of a bivariate normal: 1 - exp(-r^2 / 2 sigma^2) = p.
double VolumeRadius(double p) { return kSigma * std::sqrt(-2.0 * std::log(1.0 - p)); }

struct Raster {
  std::shared_ptr<host::RasterDataset> dataset;
  std::vector<float> cells;  // row-major, row 0 the northernmost
};

Raster WriteRaster(test::TestApplication& app, const fs::path& folder, const std::string& name,
                   const Density& f, int side = kSide) {
  const double origin = -0.5 * side * kCell;
  host::RasterSpec grid;
  grid.name = name;
  grid.originX = origin;
  grid.originY = origin;
  grid.cellSize = kCell;
  grid.rows = side;
  grid.columns = side;
  grid.spatialReference = app.spatialReferences().fromEpsg(32633);
  Raster r;
  r.dataset = app.workspaces().openRasterWorkspace(folder)->createRaster(grid);
  for (int row = 0; row < side; ++row) {
    const double y = origin + (side - row - 0.5) * kCell;
    for (int col = 0; col < side; ++col)
      r.cells.push_back(static_cast<float>(f(origin + (col + 0.5) * kCell, y)));
  }
  r.dataset->band(0)->writeRows(0, side, r.cells);
  return r;
}

double Field(const host::Row& row, const char* name) { return row.value(name).toDouble(); }

std::vector<double> Column(const std::vector<host::Row>& rows, const char* name) {
  std::vector<double> out;
  for (const auto& r : rows) out.push_back(Field(r, name));
  return out;
}

}  // namespace

class Isopleths : public ::testing::Test {
 protected:
  void Configure(bool lines, bool polys, bool donuts, std::vector<double> percents) {
    iso.SetCalculateLines(lines);
    iso.SetCalculatePolys(polys);
    iso.SetCalculateDonuts(donuts);
    iso.SetOutputFolder(dir.path().string());
    iso.SetOutputName("ud0_iso");
    iso.SetIsoplethBoundaries(percents);
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& m : app.recordingUi.messages) out.push_back(m.text);
    return out;
  }

  test::TestApplication app;
  test::TempFolder dir{"iso"};
  clsHISO iso{app};
  const Density gaussian = [](double x, double y) { return Gaussian(x, y, 0, 0); };
};

// Closed forms for a bivariate normal UD: the p-volume isopleth is the circle of radius
// r_p = sigma * sqrt(-2 ln(1 - p)) at density f0 * (1 - p). Tolerances: levels 0.15 % of f0
// (histogram quantum 0.001 %; counting whole cells inside a circle of 24 to 49 cells radius
// moves the level by up to 0.09 % of f0, measured); lengths and areas 1 % (the contour is a
// chord polygon through cell-edge crossings, and the level error moves the 90 % area by about
// 0.4 %). AREA and PERIMETER hold whole units (16 digits, no decimals).
TEST_F(Isopleths, GaussianRasterGivesCircularLinesPolygonsAndDonuts) {
  const Raster ud = WriteRaster(app, dir.path(), "ud0", gaussian);
  Configure(true, true, true, {50, 90, 95});
  iso.SetRasterDataset(ud.dataset);
  iso.CreateIsopleths();
  ASSERT_TRUE(app.recordingUi.messages.empty()) << app.recordingUi.messages[0].text;
  EXPECT_EQ(iso.GetErrorStatus(), 0);
  const double f0 = Gaussian(0, 0, 0, 0);
  const double maximum = static_cast<double>(*std::max_element(ud.cells.begin(), ud.cells.end()));
  const std::vector<double> p{0.50, 0.90, 0.95};

  ASSERT_TRUE(iso.GetLinesFeatureClass());
  const auto& lineClass = *iso.GetLinesFeatureClass();
  EXPECT_EQ(test::FieldNames(lineClass),
            (std::vector<std::string>{"FID", "Shape", "ISOPLETH", "PERCENT", "LENGTH"}));
  EXPECT_TRUE(lineClass.spatialReference()->isSame(*ud.dataset->spatialReference()));
  const auto lines = test::ReadAll(lineClass);
  ASSERT_EQ(lines.size(), 3u);  // one closed circle per level
  for (const auto& line : lines) {
    const double percent = Field(line, "PERCENT") / 100.0;
    EXPECT_NEAR(Field(line, "ISOPLETH"), f0 * (1 - percent), 1.5e-3 * f0);
    const double length = 2 * std::numbers::pi * VolumeRadius(percent);
    EXPECT_NEAR(Field(line, "LENGTH"), length, 0.01 * length) << percent;
  }

  ASSERT_TRUE(iso.GetPolysFeatureClass());
  const auto& polyClass = *iso.GetPolysFeatureClass();
  EXPECT_EQ(test::FieldNames(polyClass),
            (std::vector<std::string>{"FID", "Shape", "ISOPLETH", "PERCENT", "AREA", "PERIMETER"}));
  const auto polys = test::ReadAll(polyClass);
  ASSERT_EQ(polys.size(), 3u);
  EXPECT_EQ(Column(polys, "PERCENT"), (std::vector<double>{95, 90, 50}));  // largest first
  for (std::size_t k = 0; k < 3; ++k) {
    const double percent = p[2 - k];
    const double r = VolumeRadius(percent);
    EXPECT_NEAR(Field(polys[k], "ISOPLETH"), f0 * (1 - percent), 1.5e-3 * f0);
    EXPECT_NEAR(Field(polys[k], "AREA"), std::numbers::pi * r * r, 0.01 * std::numbers::pi * r * r);
    EXPECT_NEAR(Field(polys[k], "PERIMETER"), 2 * std::numbers::pi * r, 0.01 * 2 * std::numbers::pi * r);
  }

  ASSERT_TRUE(iso.GetDonutsFeatureClass());
  const auto& donutClass = *iso.GetDonutsFeatureClass();
  EXPECT_EQ(test::FieldNames(donutClass),
            (std::vector<std::string>{"FID", "Shape", "ISOPLETH1", "ISOPLETH2", "PERCENT1", "PERCENT2",
                                      "AREA", "PERIMETER"}));
  const auto donuts = test::ReadAll(donutClass);
  ASSERT_EQ(donuts.size(), 3u);
  EXPECT_EQ(Column(donuts, "PERCENT1"), (std::vector<double>{0, 50, 90}));
  EXPECT_EQ(Column(donuts, "PERCENT2"), (std::vector<double>{50, 90, 95}));
  EXPECT_DOUBLE_EQ(Field(donuts[0], "ISOPLETH1"), maximum);
  EXPECT_DOUBLE_EQ(Field(donuts[1], "ISOPLETH1"), Field(donuts[0], "ISOPLETH2"));
  double inner = 0.0;
  for (std::size_t i = 0; i < 3; ++i) {
    const double outer = std::numbers::pi * VolumeRadius(p[i]) * VolumeRadius(p[i]);
    EXPECT_NEAR(Field(donuts[i], "AREA"), outer - inner, 0.01 * outer) << i;
    inner = outer;
  }

  // The edge maximum is the largest cell of the outer rows and columns (exact: the same floats).
  float edge = 0.0f;
  for (int i = 0; i < kSide; ++i) {
    for (int j : {0, kSide - 1}) {
      edge = std::max({edge, ud.cells[static_cast<std::size_t>(j * kSide + i)],
                       ud.cells[static_cast<std::size_t>(i * kSide + j)]});
    }
  }
  EXPECT_GT(edge, 0.0f);
  EXPECT_EQ(iso.GetMaxEdgeValue(), static_cast<double>(edge));
  EXPECT_FALSE(app.bar.progressMessages.empty());
}

// Two identical normals 7 sigma apart (overlap at the midpoint 0.2 % of a peak, 4 sigma to
// the raster edge): each holds half the volume, so the 50 % level encloses 50 % of each, two
// circles of radius r_50 in one two-part polygon (1 %, as above).
TEST_F(Isopleths, SeparatePeaksMakeOneMultiPartPolygon) {
  const Raster ud = WriteRaster(
      app, dir.path(), "ud0",
      [](double x, double y) { return 0.5 * Gaussian(x, y, -700, 0) + 0.5 * Gaussian(x, y, 700, 0); }, 301);
  Configure(false, true, false, {50});
  iso.SetRasterDataset(ud.dataset);
  iso.CreateIsopleths();
  ASSERT_TRUE(app.recordingUi.messages.empty()) << app.recordingUi.messages[0].text;
  const auto polys = test::ReadAll(*iso.GetPolysFeatureClass());
  ASSERT_EQ(polys.size(), 1u);
  const host::Polygon* shape = polys[0].shape().polygon();
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->rings.size(), 2u);
  const double r = VolumeRadius(0.5);
  EXPECT_NEAR(Field(polys[0], "AREA"), 2 * std::numbers::pi * r * r, 0.02 * std::numbers::pi * r * r);
}

TEST_F(Isopleths, PreconditionsAndSetterErrorsLeaveAPullOnlyStatus) {
  iso.CreateIsopleths();
  EXPECT_EQ(iso.GetErrorStatus(), status::kNoRaster);
  const Raster ud = WriteRaster(app, dir.path(), "ud0", gaussian, 21);
  iso.SetRasterDataset(ud.dataset);
  iso.SetIsoplethBoundaries(std::vector<double>{50});
  iso.CreateIsopleths();
  EXPECT_EQ(iso.GetErrorStatus(), status::kNoOutputKind);
  iso.SetCalculatePolys(true);
  iso.SetOutputFolder(dir.path().string());
  iso.CreateIsopleths();
  EXPECT_EQ(iso.GetErrorStatus(), status::kNoOutputLocation);
  EXPECT_EQ(std::count_if(fs::directory_iterator(dir.path()), fs::directory_iterator(),
                          [](const fs::directory_entry& e) { return e.path().extension() == ".shp"; }),
            0);
  EXPECT_TRUE(app.recordingUi.messages.empty());

  iso.SetRasterDataset(nullptr);  // keeps the dataset given before
  EXPECT_EQ(iso.GetErrorStatus(), status::kNullRasterDataset);
  iso.SetRasterBand(nullptr);
  EXPECT_EQ(iso.GetErrorStatus(), status::kNullRasterBand);
  iso.SetOutputName("");
  EXPECT_EQ(iso.GetErrorStatus(), status::kEmptyOutputText);
  iso.SetOutputName("ud0_iso");
  iso.CreateIsopleths();  // succeeds and leaves the last status in place
  EXPECT_TRUE(iso.GetPolysFeatureClass());
  EXPECT_EQ(iso.GetErrorStatus(), status::kEmptyOutputText);
}

TEST_F(Isopleths, OnlyTheRequestedOutputsAreBuilt) {
  const Raster ud = WriteRaster(app, dir.path(), "ud0", gaussian, 41);
  Configure(true, false, false, {50});
  iso.SetRasterDataset(ud.dataset);
  iso.CreateIsopleths();
  EXPECT_TRUE(iso.GetLinesFeatureClass());

  iso.SetCalculateLines(false);
  iso.SetCalculatePolys(true);
  iso.SetOutputName("second");
  iso.CreateIsopleths();
  EXPECT_TRUE(iso.GetPolysFeatureClass());
  EXPECT_FALSE(iso.GetLinesFeatureClass());  // none from this run, not the last run's
  EXPECT_FALSE(iso.GetDonutsFeatureClass());
  EXPECT_TRUE(fs::exists(dir.path() / "second_poly.shp"));
  EXPECT_FALSE(fs::exists(dir.path() / "second_line.shp"));
  EXPECT_FALSE(fs::exists(dir.path() / "second_donut.shp"));
}

TEST_F(Isopleths, ZeroPercentHasNoLineAndBreaksOnlyTheDonuts) {
  const Raster ud = WriteRaster(app, dir.path(), "ud0", gaussian, 41);
  Configure(true, true, false, {0, 50});
  iso.SetRasterDataset(ud.dataset);
  iso.CreateIsopleths();
  EXPECT_TRUE(app.recordingUi.messages.empty());
  EXPECT_EQ(Column(test::ReadAll(*iso.GetLinesFeatureClass()), "PERCENT"), (std::vector<double>{50}));
  EXPECT_EQ(Column(test::ReadAll(*iso.GetPolysFeatureClass()), "PERCENT"), (std::vector<double>{50}));

  iso.SetCalculateDonuts(true);
  iso.SetOutputName("with_donuts");
  iso.SetRasterDataset(ud.dataset);
  iso.CreateIsopleths();
  ASSERT_EQ(app.recordingUi.messages.size(), 1u);
  EXPECT_EQ(app.recordingUi.messages[0].text.rfind("CreateIsopleths 0\n91\nNo contour line", 0), 0u)
      << app.recordingUi.messages[0].text;
}

TEST_F(Isopleths, FailuresAreReportedWithStatusNumberAndDescription) {
  const Raster flat = WriteRaster(
      app, dir.path(), "flat", [](double, double) { return 2.0; }, 5);
  Configure(false, true, false, {50});
  iso.SetRasterDataset(flat.dataset);
  iso.CreateIsopleths();

  const Raster ud = WriteRaster(app, dir.path(), "ud0", gaussian, 21);
  iso.SetRasterDataset(ud.dataset);
  iso.SetIsoplethBoundaries(std::vector<double>{50, 101});
  iso.CreateIsopleths();

  iso.SetIsoplethBoundaries(std::vector<double>{50});
  iso.CreateIsopleths();  // writes ud0_iso_poly
  iso.CreateIsopleths();  // which now exists

  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].rfind("CreateIsopleths 0\n11\n", 0), 0u) << messages[0];
  EXPECT_EQ(messages[1].rfind("CreateIsopleths 0\n9\n", 0), 0u) << messages[1];
  EXPECT_EQ(messages[2], "ERROR: file already exists. Cannot create output file.");
  EXPECT_EQ(messages[3].rfind("CreateIsopleths 0\n58\n", 0), 0u) << messages[3];
  for (std::size_t i : {0u, 1u, 3u}) {
    EXPECT_EQ(app.recordingUi.messages[i].title, "Error");
    EXPECT_EQ(app.recordingUi.messages[i].icon, host::MessageIcon::Critical);
  }
  EXPECT_EQ(iso.GetErrorStatus(), 0);
}

TEST_F(Isopleths, ABandGivenDirectlyServesOneRun) {
  const Raster ud = WriteRaster(app, dir.path(), "ud0", gaussian, 41);
  Configure(false, true, false, {50});
  iso.SetRasterBand(ud.dataset->band(0));
  iso.CreateIsopleths();
  EXPECT_TRUE(iso.GetPolysFeatureClass());
  EXPECT_EQ(iso.GetErrorStatus(), 0);
  iso.SetOutputName("again");
  iso.CreateIsopleths();
  EXPECT_EQ(iso.GetErrorStatus(), status::kNoRaster);
}

// Squares (clockwise outer rings): outer O = 100 x 100, hole H = 60 x 60, island I = 20 x 20
// inside the hole. Expected area 10000 - 3600 + 400 = 6800 whatever the order of the lines
// (exact for axis-parallel squares; tolerance 1e-6).
TEST(LevelPolygon, RingsResolveToHolesAndIslandsInAnyOrder) {
  test::TestApplication app;
  const auto square = [&](double x0, double side) {
    return app.geometry().simplify(
        host::Polygon{{{{x0, x0}, {x0, x0 + side}, {x0 + side, x0 + side}, {x0 + side, x0}, {x0, x0}}}});
  };
  const host::Polygon o = square(0, 100), h = square(20, 60), i = square(40, 20);
  using Parts = std::vector<host::Polygon>;
  for (const Parts& parts :
       {Parts{o, h, i}, Parts{o, i, h}, Parts{i, h, o}, Parts{h, o, i}, Parts{i, o, h}}) {
    const auto level = ui::gis::AssembleLevelPolygon(app.geometry(), parts);
    ASSERT_TRUE(level);
    EXPECT_NEAR(level->area(), 6800.0, 1e-6);
  }
  EXPECT_NEAR(ui::gis::AssembleLevelPolygon(app.geometry(), Parts{o, h})->area(), 6400.0, 1e-6);
  const host::Polygon far =
      app.geometry().simplify(host::Polygon{{{{500, 0}, {500, 10}, {510, 10}, {510, 0}, {500, 0}}}});
  EXPECT_NEAR(ui::gis::AssembleLevelPolygon(app.geometry(), Parts{o, far})->area(), 10100.0, 1e-6);
  EXPECT_FALSE(ui::gis::AssembleLevelPolygon(app.geometry(), Parts{}));
}
