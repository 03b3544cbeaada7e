// The project's coordinate system is read at every run: a project switched to another system
// between runs gives the files the command line gives on the same fixes projected beforehand
// into that system, labelled with it. The expected values are the headless host's own files.

#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <regex>

#include <qgscoordinatetransform.h>

#include "platform/headless/form_script.h"
#include "qgis_host/qgis_data.h"
#include "qgis_host/qgis_host_support.h"

namespace orvex::test {
namespace {

using platform::headless::FormScript;
namespace fs = std::filesystem;

/// The numbers of a text, in order (a geometry's WKT).
std::vector<double> numbersIn(const std::string& text) {
  static const std::regex number(R"([-+]?[0-9]*\.?[0-9]+(?:[eE][-+]?[0-9]+)?)");
  std::vector<double> values;
  for (auto at = std::sregex_iterator(text.begin(), text.end(), number); at != std::sregex_iterator(); ++at)
    values.push_back(std::stod(at->str()));
  return values;
}

/// A vector file read by OGR: its reference, and per feature the numbers of its geometry's WKT
/// followed by its attributes (texts kept apart).
struct VectorFile {
  OGRSpatialReference reference;
  std::vector<std::vector<double>> numbers;
  std::vector<std::vector<std::string>> texts;
};

VectorFile readVector(const fs::path& file) {
  VectorFile read;
  GDALDatasetUniquePtr dataset(GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR));
  EXPECT_TRUE(dataset) << file;
  if (!dataset) return read;
  OGRLayer* layer = dataset->GetLayer(0);
  if (layer->GetSpatialRef() != nullptr) read.reference = *layer->GetSpatialRef();
  for (auto& feature : *layer) {
    std::vector<double> numbers;
    if (const OGRGeometry* shape = feature->GetGeometryRef()) numbers = numbersIn(shape->exportToWkt());
    std::vector<std::string> texts;
    for (int i = 0; i < feature->GetFieldCount(); ++i) {
      if (feature->GetFieldDefnRef(i)->GetType() == OFTString)
        texts.emplace_back(feature->GetFieldAsString(i));
      else
        numbers.push_back(feature->GetFieldAsDouble(i));
    }
    read.numbers.push_back(std::move(numbers));
    read.texts.push_back(std::move(texts));
  }
  return read;
}

/// Every number within `tolerance` relative to its size (at least 1), every text equal, the
/// same reference.
void expectSameVector(const fs::path& ours, const fs::path& theirs, double tolerance) {
  SCOPED_TRACE(ours.filename().string());
  const VectorFile a = readVector(ours), b = readVector(theirs);
  EXPECT_TRUE(a.reference.IsSame(&b.reference)) << "the output is labelled with another system";
  EXPECT_EQ(a.texts, b.texts);
  ASSERT_EQ(a.numbers.size(), b.numbers.size());
  for (std::size_t f = 0; f < a.numbers.size(); ++f) {
    ASSERT_EQ(a.numbers[f].size(), b.numbers[f].size()) << "feature " << f;
    for (std::size_t i = 0; i < a.numbers[f].size(); ++i)
      EXPECT_NEAR(a.numbers[f][i], b.numbers[f][i], tolerance * std::max(1.0, std::abs(b.numbers[f][i])))
          << "feature " << f << ", number " << i;
  }
}

/// Two rasters on the same grid (to `tolerance` of a cell) with densities within `tolerance`
/// of the largest, labelled with the same system.
void expectSameRaster(const fs::path& ours, const fs::path& theirs, double tolerance) {
  SCOPED_TRACE(ours.filename().string());
  GDALDatasetUniquePtr a(GDALDataset::Open(ours.c_str(), GDAL_OF_RASTER));
  GDALDatasetUniquePtr b(GDALDataset::Open(theirs.c_str(), GDAL_OF_RASTER));
  ASSERT_TRUE(a && b);
  ASSERT_EQ(a->GetRasterXSize(), b->GetRasterXSize());
  ASSERT_EQ(a->GetRasterYSize(), b->GetRasterYSize());
  ASSERT_NE(a->GetSpatialRef(), nullptr);
  EXPECT_TRUE(a->GetSpatialRef()->IsSame(b->GetSpatialRef())) << "the raster is labelled with another system";
  double ta[6], tb[6];
  a->GetGeoTransform(ta);
  b->GetGeoTransform(tb);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(ta[i], tb[i], tolerance * std::abs(tb[1])) << "geotransform " << i;
  const int cells = a->GetRasterXSize() * a->GetRasterYSize();
  std::vector<double> va(static_cast<std::size_t>(cells)), vb(va.size());
  for (auto [dataset, values] : {std::pair{a.get(), &va}, std::pair{b.get(), &vb}})
    ASSERT_EQ(dataset->GetRasterBand(1)->RasterIO(
                  GF_Read, 0, 0, dataset->GetRasterXSize(), dataset->GetRasterYSize(), values->data(),
                  dataset->GetRasterXSize(), dataset->GetRasterYSize(), GDT_Float64, 0, 0),
              CE_None);
  const double largest = *std::max_element(vb.begin(), vb.end());
  ASSERT_GT(largest, 0.0);
  double worst = 0.0;
  for (std::size_t i = 0; i < va.size(); ++i) worst = std::max(worst, std::abs(va[i] - vb[i]));
  EXPECT_LE(worst, tolerance * largest);
}

const FormScript kMcpOptions = FormScript().check("chkPercent", false).click("btnOK");

/// `selectedOnly`: the batch copies the selected fixes into its scratch shapefile first.
FormScript kdeScript(bool selectedOnly) {
  return FormScript()
      .select("cmbPntL", "fixes")
      .check("chkUseSel", selectedOnly)
      .select("cmbUIDFLD", "AnimalID")
      .pageOf("optBE_LSCV")
      .choose("optBE_MANUAL")
      .type("txtBW", "150")
      .pageOf("txtCellSize")
      .choose("optFull")
      .type("txtBuffer", "600")
      .type("txtCellSize", "40")
      .check("chkBnds", true)
      .type("txtBnds", "50, 95")
      .click("btnFolder")
      .click("btnOK");
}

class ProjectCrs : public ::testing::Test {
 protected:
  fs::path newFolder(const std::string& name) {
    fs::create_directories(folder / name);
    return folder / name;
  }
  void setProjectCrs(const char* authid) {
    QgsProject::instance()->setCrs(QgsCoordinateReferenceSystem(QString::fromLatin1(authid)));
  }
  /// MCP and the KDE batch in the desktop host into `out`.
  void runAnalyses(const fs::path& out, bool selectedOnly) {
    host.scripted.setFormScript("frmMCPOptions", kMcpOptions);
    host.scripted.queueSaveAnswer(out / "mcp.shp");
    ASSERT_EQ(host.run("Orvex8.orvex_MCP"), host::kOk) << host.out.str();
    host.scripted.setFormScript("frmKDE", kdeScript(selectedOnly));
    host.scripted.queueFolderAnswer(out / "kde");
    fs::create_directories(out / "kde");
    ASSERT_EQ(host.run("ORVEX.clsKDETool"), host::kOk) << host.out.str();
  }
  /// The same analyses in the headless host on `shp` into `out`.
  static void runHeadless(const fs::path& shp, const fs::path& out, bool selectedOnly) {
    HeadlessRun headless(shp);
    headless.ui().setFormScript("frmMCPOptions", kMcpOptions);
    headless.ui().queueSaveAnswer(out / "mcp.shp");
    ASSERT_EQ(headless.run("Orvex8.orvex_MCP"), host::kOk) << headless.out.str();
    headless.ui().setFormScript("frmKDE", kdeScript(selectedOnly));
    fs::create_directories(out / "kde");
    headless.ui().queueFolderAnswer(out / "kde");
    ASSERT_EQ(headless.run("ORVEX.clsKDETool"), host::kOk) << headless.out.str();
  }

  TempFolder folder;
  QgisHost host;
};

// A project in degrees switched to UTM, and one in UTM switched to World Mercator, after the
// layer was read once: MCP and the KDE batch (on the layer, and on its selection copied first)
// compute in the new system and label their files with it. Tolerance 1e-9 relative: the fixes pass through
// PROJ in QGIS on one side and in ogr2ogr on the other, the same transformation, which agree to far below a
// micrometre.
TEST_F(ProjectCrs, AnalysesAfterASwitchEqualTheCommandLinesOnFixesProjectedBeforehand) {
  struct Switch {
    const char* from;
    const char* to;
    bool selectedOnly;
  };
  for (const Switch& change :
       {Switch{"EPSG:4326", "EPSG:32633", false}, Switch{"EPSG:32633", "EPSG:3395", true}}) {
    SCOPED_TRACE(std::string(change.from) + " -> " + change.to);
    const std::string tag = std::string(change.to).substr(5);
    const fs::path utm = writeAnimals(newFolder("utm" + tag), "fixes", 2, 40);
    const fs::path projected = newFolder("projected" + tag) / "fixes.shp";
    translate(utm, projected, {"-t_srs", change.to});

    QgsVectorLayer* layer = host.add(QString::fromStdString(utm.string()), "fixes");
    layer->selectAll();
    setProjectCrs(change.from);
    ASSERT_NE(host.application->document()->selectedLayer(), nullptr);  // the layer read once
    setProjectCrs(change.to);
    const fs::path qgisOut = newFolder("qgis" + tag), headlessOut = newFolder("headless" + tag);
    runAnalyses(qgisOut, change.selectedOnly);
    runHeadless(projected, headlessOut, change.selectedOnly);

    expectSameVector(qgisOut / "mcp.shp", headlessOut / "mcp.shp", 1e-9);
    for (const char* raster : {"kde0_b1.tif", "kde1_b1.tif"})
      expectSameRaster(qgisOut / "kde" / raster, headlessOut / "kde" / raster, 1e-9);
    expectSameVector(qgisOut / "kde" / "kde0_b1_iso_poly.shp", headlessOut / "kde" / "kde0_b1_iso_poly.shp",
                     1e-9);
    QgsProject::instance()->removeAllMapLayers();
  }
}

const std::vector<std::string> kTravelFields = {"Time2",      "T_Obs_Sec",  "T_Cumul",  "Dist",
                                                "Dist_Cumul", "Me_per_Sec", "Mi_per_hr"};

// Travel in a project in degrees refuses (the design's "UTM" test) and changes nothing; once
// the project is in the fixes' UTM zone it writes what the command line writes, to the digit.
TEST_F(ProjectCrs, TravelAfterASwitchToUtmEqualsTheCommandLines) {
  const fs::path qgisShp = writeTimedPoints(newFolder("qgis"), "fixes", walk(12));
  const fs::path headlessShp = writeTimedPoints(newFolder("headless"), "fixes", walk(12));
  QgsVectorLayer* layer = host.add(QString::fromStdString(qgisShp.string()), "fixes");
  setProjectCrs("EPSG:4326");
  ASSERT_EQ(host.run("ORVEX.orvexobs"), host::kOk);
  EXPECT_NE(host.messages().back().find("UTM projection"), std::string::npos);
  EXPECT_FALSE(layer->isEditable()) << "a refused run leaves the layer as it was";
  EXPECT_EQ(layer->fields().indexOf("T_Obs_Sec"), -1);

  setProjectCrs("EPSG:32633");
  ASSERT_EQ(host.run("ORVEX.orvexobs"), host::kOk);
  ASSERT_TRUE(layer->commitChanges());  // the user saves
  {
    HeadlessRun headless(headlessShp);
    ASSERT_EQ(headless.run("ORVEX.orvexobs"), host::kOk);
  }
  EXPECT_EQ(fieldTexts(qgisShp, kTravelFields), fieldTexts(headlessShp, kTravelFields));
}

// Display Travel draws the track where the canvas shows the fixes: in the project's system
// after a switch. Expected: each fix projected by QGIS into World Mercator (tolerance 1 mm,
// far below the 15 m and more between fixes, and far above the transform's rounding).
TEST_F(ProjectCrs, DisplayTravelDrawsInTheProjectsNewSystem) {
  const std::vector<TimedPoint> fixes = walk(6);
  QgsVectorLayer* layer = host.add(
      QString::fromStdString(writeTimedPoints(newFolder("track"), "fixes", fixes).string()), "fixes");
  layer->selectAll();
  setProjectCrs("EPSG:32633");
  ASSERT_NE(host.application->document()->selectedLayer(), nullptr);
  setProjectCrs("EPSG:3395");
  std::vector<host::Point> drawn;
  host.scripted.setFormScript(
      "frmORVEX",
      FormScript().type("TxtSec", "0").check("CBKeepGraphic", true).click("CmdTrackMoose").cancel());
  host.scripted.setFormClosedHook([&](const host::Form&) {
    for (const auto& [id, element] : host.application->qgisDocument().qgisView().canvasGraphics().elements())
      if (const host::Polyline* line = element.geometry.polyline())
        for (const auto& path : line->paths) drawn.insert(drawn.end(), path.begin(), path.end());
  });
  ASSERT_EQ(host.run("ORVEX.MOLE"), host::kOk);
  ASSERT_FALSE(drawn.empty());
  const QgsCoordinateTransform toMercator(layer->crs(), QgsCoordinateReferenceSystem("EPSG:3395"),
                                          QgsProject::instance()->transformContext());
  for (const host::Point& point : drawn) {
    const bool onAFix = std::any_of(fixes.begin(), fixes.end(), [&](const TimedPoint& fix) {
      const QgsPointXY expected = toMercator.transform(QgsPointXY(fix.x, fix.y));
      return std::abs(point.x - expected.x()) < 1e-3 && std::abs(point.y - expected.y()) < 1e-3;
    });
    EXPECT_TRUE(onAFix) << "a track vertex at " << point.x << ", " << point.y << " is on no fix";
  }
}

}  // namespace
}  // namespace orvex::test
