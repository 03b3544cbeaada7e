// The analysis commands (Kernel Analysis, the KDE batch, Lotek import) run in the desktop host
// as the plug-in runs them and in the headless host on the same input: the files they write
// must be the same. The only expected values are the headless host's own files.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include <qgslayertree.h>
#include <qgslegendsymbolitem.h>
#include <qgsrenderer.h>
#include <QTreeWidget>

#include "access/lotek_fixture.h"
#include "platform/headless/form_script.h"
#include "qgis_host/qgis_data.h"
#include "qgis_host/qgis_host_support.h"
#include "support/files.h"

namespace orvex::test {
namespace {

using platform::headless::FormScript;
namespace fs = std::filesystem;

/// The files of a folder by name, sorted.
std::vector<std::string> fileNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

/// A text file of the run without what differs between two runs by design: the log's clock
/// times and the output folder's path.
std::string comparableText(const fs::path& file) {
  std::string text = readAll(file);
  text = std::regex_replace(text, std::regex("(Start|Finish) time: [^\r\n]*"), "$1 time: -");
  const std::string folder = file.parent_path().string();
  for (std::size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at))
    text.replace(at, folder.size(), "<out>");
  return text;
}

/// Every file of `qgis` equals the file of the same name in `headless` (the same set of names):
/// byte for byte, the text files up to clock times and the folder's path.
void expectSameFolders(const fs::path& qgis, const fs::path& headless) {
  ASSERT_EQ(fileNames(qgis), fileNames(headless));
  for (const std::string& name : fileNames(qgis)) {
    SCOPED_TRACE(name);
    if (name.ends_with(".txt"))
      EXPECT_EQ(comparableText(qgis / name), comparableText(headless / name));
    else
      EXPECT_TRUE(readAll(qgis / name) == readAll(headless / name)) << "files differ";
  }
}

class QgisAnalysis : public ::testing::Test {
 protected:
  /// The animals' fixes, all selected, in a project in their own CRS (UTM 33N).
  fs::path showAnimals(int animals, int perAnimal) {
    const fs::path shp = writeAnimals(folder.path(), "fixes", animals, perAnimal);
    QgsVectorLayer* layer = host.add(QString::fromStdString(shp.string()), "fixes");
    layer->selectAll();
    QgsProject::instance()->setCrs(layer->crs());
    return shp;
  }
  /// An empty folder under the temporary one.
  fs::path newFolder(const std::string& name) {
    fs::create_directories(folder / name);
    return folder / name;
  }

  TempFolder folder;
  QgisHost host;
};

TEST_F(QgisAnalysis, KernelAnalysisWritesTheSameShapefilesForEachH) {
  const fs::path shp = showAnimals(1, 60);
  const FormScript sheet = FormScript().page(2).type("txtH", "0.5, 0.3").choose("optFixed").ok();
  const fs::path qgisOut = newFolder("qgis"), headlessOut = newFolder("headless");
  host.scripted.setFormScript("frmKernelParameters", sheet);
  for (const char* name : {"h05.shp", "h03.shp"}) host.scripted.queueSaveAnswer(qgisOut / name);
  ASSERT_EQ(host.run("Orvex8.orvex_kernel"), host::kOk) << host.out.str();
  {
    HeadlessRun headless(shp);
    headless.ui().setFormScript("frmKernelParameters", sheet);
    for (const char* name : {"h05.shp", "h03.shp"}) headless.ui().queueSaveAnswer(headlessOut / name);
    ASSERT_EQ(headless.run("Orvex8.orvex_kernel"), host::kOk) << headless.out.str();
  }
  expectSameFolders(qgisOut, headlessOut);
  EXPECT_TRUE(fs::exists(qgisOut / "h03.dbf"));
  EXPECT_EQ(QgsProject::instance()->mapLayers().size(), 3) << "both contour layers added";
}

// The KDE batch from its dialog: a bandwidth given by the user, and LSCV's search, on two
// animals; rasters, isopleths, the settings copy and the log.
TEST_F(QgisAnalysis, KdeBatchWritesTheSameRastersIsoplethsAndLog) {
  const fs::path shp = showAnimals(2, 40);
  struct Case {
    const char* name;
    FormScript bandwidth;
  };
  const Case cases[] = {
      {"user-h", FormScript().pageOf("optBE_LSCV").choose("optBE_MANUAL").type("txtBW", "150")},
      {"lscv", FormScript().pageOf("optBE_LSCV").choose("optBE_LSCV")},
  };
  for (const Case& run : cases) {
    SCOPED_TRACE(run.name);
    FormScript script = run.bandwidth;
    script.pageOf("cmbPntL").select("cmbPntL", "fixes").select("cmbUIDFLD", "AnimalID");
    script.pageOf("txtCellSize").choose("optFull").type("txtBuffer", "300").type("txtCellSize", "40");
    script.check("chkBnds", true).type("txtBnds", "50, 95").click("btnFolder").click("btnOK");

    const fs::path qgisOut = newFolder(std::string("qgis-") + run.name);
    const fs::path headlessOut = newFolder(std::string("headless-") + run.name);
    host.scripted.setFormScript("frmKDE", script);
    host.scripted.queueFolderAnswer(qgisOut);
    ASSERT_EQ(host.run("ORVEX.clsKDETool"), host::kOk) << host.out.str();
    {
      HeadlessRun headless(shp);
      headless.ui().setFormScript("frmKDE", script);
      headless.ui().queueFolderAnswer(headlessOut);
      ASSERT_EQ(headless.run("ORVEX.clsKDETool"), host::kOk) << headless.out.str();
    }
    EXPECT_NE(host.messages().back().find("Processing complete."), std::string::npos) << host.out.str();
    EXPECT_GE(fileNames(qgisOut).size(), 10u) << "two rasters and their isopleths";
    expectSameFolders(qgisOut, headlessOut);
    // The batch adds no layers itself: the desktop shows its rasters and isopleths in a group.
    const QgsLayerTreeGroup* group = QgsProject::instance()->layerTreeRoot()->findGroup(
        QString("Kernel Density Estimation (qgis-") + run.name + ")");
    ASSERT_NE(group, nullptr);
    std::size_t maps = 0;
    for (const auto& output : host.application->runRecord().outputs())
      maps += output.kind == host::OutputKind::Raster || output.kind == host::OutputKind::Shapefile;
    EXPECT_EQ(group->findLayers().size(), maps);
    EXPECT_EQ(group->findLayers().back()->layer()->type(), QgsMapLayerType::RasterLayer) << "rasters below";
    // The isopleths' legend names their levels, not density values.
    int legends = 0;
    for (const QgsLayerTreeLayer* node : group->findLayers()) {
      const auto* isopleths = qobject_cast<const QgsVectorLayer*>(node->layer());
      if (isopleths == nullptr ||
          !(isopleths->name().endsWith("_iso_line") || isopleths->name().endsWith("_iso_poly")))
        continue;
      QStringList labels;
      for (const QgsLegendSymbolItem& item : isopleths->renderer()->legendSymbolItems())
        labels << item.label();
      labels.sort();
      EXPECT_EQ(labels, QStringList({"50 %", "95 %"})) << isopleths->name().toStdString();
      ++legends;
    }
    EXPECT_EQ(legends, 4) << "lines and polygons of both animals";
  }
}

TEST_F(QgisAnalysis, CancelInTheMessageBarStopsTheKdeBatchAndARerunReplacesWhatItLeft) {
  showAnimals(3, 30);
  const fs::path out = newFolder("out");
  host.scripted.setFormScript("frmKDE", FormScript()
                                            .select("cmbPntL", "fixes")
                                            .select("cmbUIDFLD", "AnimalID")
                                            .pageOf("optBE_LSCV")
                                            .choose("optBE_MANUAL")
                                            .type("txtBW", "150")
                                            .pageOf("txtCellSize")
                                            .choose("optSmall")
                                            .click("btnFolder")
                                            .click("btnOK"));
  host.scripted.queueFolderAnswer(out);
  host.rendering.onEvents = [this] { host.application->qgisStatusBar().cancel(); };
  ASSERT_EQ(host.run("ORVEX.clsKDETool"), host::kOk);
  host.rendering.onEvents = nullptr;

  EXPECT_TRUE(fs::exists(out / "kde0_b1.tif"));  // a bandwidth list names rasters by value
  EXPECT_FALSE(fs::exists(out / "kde1_b1.tif")) << "stopped after the first animal";
  EXPECT_NE(readAll(out / "TALVO_KDE_ANALYSIS.txt").find("Run stopped by the user"), std::string::npos);
  EXPECT_TRUE(fs::exists(out / "TALVO_KERNEL_SETTINGS.txt"));
  EXPECT_NE(readAll(out / "TALVO_KDE_STOPPED.txt").find("kde0_b1\r\n"), std::string::npos);
  const auto& failures = host.application->runRecord().failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].kind, host::FailureKind::Cancelled);
  EXPECT_EQ(failures[0].reason, "the run was stopped by the user");

  // The same run again into that folder: no naming conflict; the stopped run's raster is
  // replaced and its list goes.
  host.scripted.queueFolderAnswer(out);
  ASSERT_EQ(host.run("ORVEX.clsKDETool"), host::kOk);
  for (const std::string& message : host.messages())
    EXPECT_EQ(message.find("naming conflict"), std::string::npos) << message;
  EXPECT_NE(host.messages().back().find("Processing complete."), std::string::npos) << host.out.str();
  EXPECT_TRUE(fs::exists(out / "kde2_b1.tif"));
  EXPECT_FALSE(fs::exists(out / "TALVO_KDE_STOPPED.txt"));
}

TEST_F(QgisAnalysis, ResultsPanelListsEachRunsFilesAndWhatFailedWithTheReason) {
  showAnimals(1, 60);
  host.scripted.setFormScript("frmKernelParameters", FormScript().page(2).type("txtH", "0.5, 0.3").ok());
  host.scripted.queueSaveAnswer(folder / "h05.shp");
  host.scripted.queueSaveAnswer(std::nullopt);  // the second Save As cancelled
  ASSERT_EQ(host.run("Orvex8.orvex_kernel"), host::kOk);
  host.scripted.setFormScript("frmKernelParameters", FormScript().cancel());
  ASSERT_EQ(host.run("Orvex8.orvex_kernel"), host::kOk);  // a dismissed sheet: not listed

  const QTreeWidget& list = host.application->resultsPanel().tree();
  ASSERT_EQ(list.topLevelItemCount(), 1);
  const QTreeWidgetItem* run = list.topLevelItem(0);
  EXPECT_TRUE(run->text(0).endsWith("Kernel Analysis")) << run->text(0).toStdString();
  EXPECT_EQ(run->text(1), "1 file written, 1 cancelled.");
  ASSERT_EQ(run->childCount(), 2);
  EXPECT_EQ(run->child(0)->text(0), "h05.shp");
  EXPECT_TRUE(run->child(0)->text(1).startsWith("shapefile, ")) << run->child(0)->text(1).toStdString();
  EXPECT_EQ(run->child(1)->text(0), "h = 0.3");
  EXPECT_TRUE(run->child(1)->text(1).startsWith("cancelled: ")) << run->child(1)->text(1).toStdString();
  EXPECT_EQ(QgsProject::instance()->layerTreeRoot()->findGroups().size(), 0)
      << "the command added its own layer: no group of outputs";
}

TEST_F(QgisAnalysis, LotekImportWritesTheSameShapefileInTheProjectsCrs) {
  ORVEX_REQUIRE_LOTEK();
  const std::vector<fs::path> collars = {access::testing::lotekFolder() / "collar_a.mdb",
                                         access::testing::lotekFolder() / "collar_b.mdb"};
  const fs::path qgisOut = newFolder("qgis"), headlessOut = newFolder("headless");
  const FormScript keepers = FormScript().click("btnExclude");
  QgsProject::instance()->setCrs(QgsCoordinateReferenceSystem("EPSG:32642"));
  host.scripted.queueOpenAnswer(collars);
  host.scripted.queueSaveAnswer(qgisOut / "collars.shp");
  host.scripted.setFormScript("frmKeepers", keepers);
  ASSERT_EQ(host.run("Orvex8.orvex_import"), host::kOk) << host.out.str();
  {
    platform::headless::MapSource source;
    source.mapCrs = "EPSG:32642";
    HeadlessRun headless(source);
    headless.ui().queueOpenAnswer(collars);
    headless.ui().queueSaveAnswer(headlessOut / "collars.shp");
    headless.ui().setFormScript("frmKeepers", keepers);
    ASSERT_EQ(headless.run("Orvex8.orvex_import"), host::kOk) << headless.out.str();
  }
  expectSameFolders(qgisOut, headlessOut);
  ASSERT_EQ(QgsProject::instance()->mapLayers().size(), 1);
  const QgsMapLayer* added = QgsProject::instance()->mapLayers().first();
  EXPECT_EQ(added->crs().authid(), "EPSG:32642");
  EXPECT_EQ(qobject_cast<const QgsVectorLayer*>(added)->featureCount(), 270 + 184) << "fixes less Acquiring";
}

}  // namespace
}  // namespace orvex::test
