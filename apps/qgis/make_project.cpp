// orvex-qgis-project: writes a QGIS project holding the given data files as layers, in the
// coordinate system of the first one (or of --crs EPSG:<code>). `make desktop` opens the demo's
// fixes this way; the end-to-end test builds its project with it too.
//
//   orvex-qgis-project OUT.qgz [--crs EPSG:<code>] FILE...

#include <cstdio>
#include <cstdlib>

#include <qgsapplication.h>
#include <qgscoordinatetransform.h>
#include <qgsproject.h>
#include <qgsprojectviewsettings.h>
#include <qgsrasterlayer.h>
#include <qgsreferencedgeometry.h>
#include <qgsvectorlayer.h>
#include <QFileInfo>
#include <QStringList>

namespace {

int writeProject(const QStringList& arguments) {
  if (arguments.size() < 2) {
    std::fprintf(stderr, "usage: orvex-qgis-project OUT.qgz [--crs EPSG:<code>] FILE...\n");
    return 2;
  }
  QgsProject project;
  QString crs;
  for (int i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == QLatin1String("--crs") && i + 1 < arguments.size()) {
      crs = arguments[++i];
      continue;
    }
    const QFileInfo file(arguments[i]);
    QgsMapLayer* layer = nullptr;
    if (file.suffix().compare(QLatin1String("tif"), Qt::CaseInsensitive) == 0)
      layer = new QgsRasterLayer(file.absoluteFilePath(), file.completeBaseName(), QStringLiteral("gdal"));
    else
      layer = new QgsVectorLayer(file.absoluteFilePath(), file.completeBaseName(), QStringLiteral("ogr"));
    if (!layer->isValid()) {
      std::fprintf(stderr, "orvex-qgis-project: cannot open %s\n", qPrintable(file.filePath()));
      delete layer;
      return 1;
    }
    if (project.mapLayers().isEmpty() && crs.isEmpty()) project.setCrs(layer->crs());
    project.addMapLayer(layer);
  }
  if (!crs.isEmpty()) project.setCrs(QgsCoordinateReferenceSystem(crs));
  // The project opens on its first layer rather than on an empty extent.
  if (!project.mapLayers().isEmpty()) {
    QgsMapLayer* first = project.mapLayers().first();
    QgsRectangle extent = QgsCoordinateTransform(first->crs(), project.crs(), project.transformContext())
                              .transformBoundingBox(first->extent());
    extent.scale(1.1);
    project.viewSettings()->setDefaultViewExtent(QgsReferencedRectangle(extent, project.crs()));
  }
  if (!project.write(arguments[0])) {
    std::fprintf(stderr, "orvex-qgis-project: cannot write %s\n", qPrintable(arguments[0]));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QgsApplication application(argc, argv, false);
  // Provider plug-ins (delimited text, ...) are found under QGIS's own prefix, not this program's.
  QgsApplication::setPrefixPath(qEnvironmentVariable("QGIS_PREFIX_PATH", QStringLiteral("/usr")), true);
  QgsApplication::initQgis();
  QStringList arguments = QCoreApplication::arguments();
  arguments.removeFirst();
  const int status = writeProject(arguments);
  QgsApplication::exitQgis();
  return status;
}
