#include "platform/qgis/run_results.h"

#include <algorithm>
#include <filesystem>

#include <qgslayertree.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgsvectorlayer.h>
#include <QHeaderView>
#include <QTime>
#include <QTreeWidget>
#include <QUrl>

#include "platform/qgis/layer_styles.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLayerRole = Qt::UserRole + 1;
constexpr int kRasterRole = Qt::UserRole + 2;

bool isCsvTable(const host::OutputRecord& output) {
  return output.kind == host::OutputKind::Table && output.path.extension() == ".csv";
}

bool isMapOutput(const host::OutputRecord& output) {
  return output.kind == host::OutputKind::Shapefile || output.kind == host::OutputKind::Raster ||
         isCsvTable(output);
}

/// A CSV table as QGIS's delimited-text provider reads it: numbers as numbers, no geometry.
QString csvSource(const std::filesystem::path& path) {
  return QUrl::fromLocalFile(QString::fromStdString(path.string())).toString() +
         QStringLiteral("?type=csv&detectTypes=yes&geomType=none");
}

/// The data source QGIS opens for an output: a GeoPackage's layer by name, a CSV table through
/// the delimited-text provider, any other file whole.
QString sourceOf(const std::filesystem::path& path, const std::string& layer) {
  if (path.extension() == ".csv") return csvSource(path);
  QString source = QString::fromStdString(path.string());
  if (!layer.empty() && path.extension() == ".gpkg")
    source += QStringLiteral("|layername=") + toQString(layer);
  return source;
}

/// The layers of `project` that read `source` (compared as absolute, normal paths).
std::vector<QgsMapLayer*> layersShowing(const QgsProject& project, const QString& source) {
  const auto normal = [](QString text) {
    if (text.startsWith(QStringLiteral("file:"))) text = QUrl(text).toLocalFile();
    const QStringList parts = text.split('|');
    QString path =
        QString::fromStdString(std::filesystem::absolute(parts.front().toStdString()).lexically_normal());
    return parts.size() > 1 ? path + '|' + parts.mid(1).join('|') : path;
  };
  const QString wanted = normal(source);
  std::vector<QgsMapLayer*> showing;
  for (QgsMapLayer* layer : project.mapLayers()) {
    const QString shown = normal(layer->source());
    if (shown == wanted || shown.section('|', 0, 0) == wanted) showing.push_back(layer);
  }
  return showing;
}

bool shownIn(const QgsProject& project, const QString& source) {
  return !layersShowing(project, source).empty();
}

/// A new styled layer of an output file; null when QGIS cannot open it.
QgsMapLayer* openLayer(const QString& source, const QString& name, bool raster) {
  QgsMapLayer* layer = nullptr;
  if (source.startsWith(QStringLiteral("file:"))) {
    layer = new QgsVectorLayer(source, name, QStringLiteral("delimitedtext"));
  } else if (raster) {
    auto* rasterLayer = new QgsRasterLayer(source, name, QStringLiteral("gdal"));
    if (rasterLayer->isValid()) applyDefaultStyle(*rasterLayer);
    layer = rasterLayer;
  } else {
    auto* vectorLayer = new QgsVectorLayer(source, name, QStringLiteral("ogr"));
    if (vectorLayer->isValid()) applyDefaultStyle(*vectorLayer);
    layer = vectorLayer;
  }
  if (layer->isValid()) return layer;
  delete layer;
  return nullptr;
}

QString layerName(const host::OutputRecord& output) {
  return toQString(output.layer.empty() ? output.path.stem().string() : output.layer);
}

QString describe(const host::OutputRecord& output) {
  QString text = toQString(std::string(host::outputKindName(output.kind)));
  if (output.features) text += QStringLiteral(", %1 features").arg(*output.features);
  if (!output.values.tableIndex.empty())
    text += QStringLiteral(", %1%2 at %3 %")
                .arg(toQString(output.values.tableIndex),
                     output.values.conditional.value_or(false) ? QStringLiteral(" (conditional)") : QString(),
                     QString::number(output.values.percentage.value_or(0.0), 'g', 6));
  return text;
}

/// A matrix between animals under its output's row: one row per animal, its values in column
/// order.
void addMatrixRows(QTreeWidgetItem* parent, const host::RecordValues& values) {
  for (std::size_t i = 0; i < values.matrix.size() && i < values.animals.size(); ++i) {
    QStringList cells;
    for (const double value : values.matrix[i]) cells.append(QString::number(value, 'g', 4));
    auto* row = new QTreeWidgetItem(parent, {toQString(values.animals[i]), cells.join(QStringLiteral(", "))});
    QStringList columns;
    for (const std::string& animal : values.animals) columns.append(toQString(animal));
    row->setToolTip(1, QStringLiteral("against ") + columns.join(QStringLiteral(", ")));
  }
}

}  // namespace

std::vector<QgsMapLayer*> addOutputLayers(QgsProject& project, const host::RunRecord& record,
                                          const std::string& groupName) {
  std::vector<const host::OutputRecord*> wanted;
  for (const host::OutputRecord& output : record.outputs()) {
    if (!isMapOutput(output)) continue;
    const std::vector<QgsMapLayer*> showing = layersShowing(project, sourceOf(output.path, output.layer));
    // A file written again (a run into a folder a stopped run left): its layer reads it anew.
    for (QgsMapLayer* layer : showing) {
      layer->reload();
      layer->triggerRepaint();
    }
    if (showing.empty()) wanted.push_back(&output);
  }
  // Vectors first: the group draws its first layers on top.
  std::stable_partition(wanted.begin(), wanted.end(), [](const host::OutputRecord* output) {
    return output->kind != host::OutputKind::Raster;
  });
  std::vector<QgsMapLayer*> added;
  QgsLayerTreeGroup* group = nullptr;
  for (const host::OutputRecord* output : wanted) {
    QgsMapLayer* layer = openLayer(sourceOf(output->path, output->layer), layerName(*output),
                                   output->kind == host::OutputKind::Raster);
    if (layer == nullptr) continue;
    if (group == nullptr) group = project.layerTreeRoot()->insertGroup(0, toQString(groupName));
    project.addMapLayer(layer, false);  // the project owns it; the group places it
    group->addLayer(layer);
    added.push_back(layer);
  }
  return added;
}

std::string runSummaryText(const std::string& command, const host::RunRecord& record) {
  std::size_t failed = 0, cancelled = 0, skipped = 0;
  for (const host::FailureRecord& failure : record.failures()) {
    if (failure.kind == host::FailureKind::Failed) ++failed;
    if (failure.kind == host::FailureKind::Cancelled) ++cancelled;
    if (failure.kind == host::FailureKind::Skipped) ++skipped;
  }
  const std::size_t written = record.outputs().size();
  std::string text =
      command + ": " + std::to_string(written) + (written == 1 ? " file" : " files") + " written";
  if (failed > 0) text += ", " + std::to_string(failed) + " failed";
  if (cancelled > 0) text += ", " + std::to_string(cancelled) + " cancelled";
  if (skipped > 0) text += ", " + std::to_string(skipped) + " skipped";
  return text + ".";
}

ResultsPanel::ResultsPanel(QgsProject& project, QWidget* parent)
    : QDockWidget(QStringLiteral("Orvex results"), parent), project_(project), tree_(new QTreeWidget(this)) {
  setObjectName(QStringLiteral("orvexResults"));
  tree_->setObjectName(QStringLiteral("orvexResultsList"));
  tree_->setHeaderLabels({QStringLiteral("Item"), QStringLiteral("Result")});
  tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setWidget(tree_);
  connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { openOutput(item); });
}

bool worthListing(const host::RunRecord& record) {
  return !record.outputs().empty() || std::any_of(record.failures().begin(), record.failures().end(),
                                                  [](const host::FailureRecord& failure) {
                                                    return failure.kind == host::FailureKind::Failed;
                                                  });
}

void ResultsPanel::addRun(const std::string& command, const host::RunRecord& record) {
  if (!worthListing(record)) return;
  auto* run = new QTreeWidgetItem(
      {QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + ' ' + toQString(command),
       toQString(runSummaryText(command, record).substr(command.size() + 2))});
  for (const host::OutputRecord& output : record.outputs()) {
    auto* row = new QTreeWidgetItem(run, {toQString(output.path.filename().string()), describe(output)});
    row->setToolTip(0, QString::fromStdString(output.path.string()));
    row->setData(0, kPathRole, QString::fromStdString(output.path.string()));
    row->setData(0, kLayerRole, toQString(output.layer));
    row->setData(0, kRasterRole, output.kind == host::OutputKind::Raster);
    addMatrixRows(row, output.values);
  }
  for (const host::FailureRecord& failure : record.failures()) {
    auto* row = new QTreeWidgetItem(
        run, {toQString(failure.item),
              toQString(std::string(host::failureKindName(failure.kind)) + ": " + failure.reason)});
    row->setToolTip(1, toQString(failure.reason));
    if (failure.kind == host::FailureKind::Failed) row->setForeground(1, QBrush(Qt::darkRed));
  }
  tree_->insertTopLevelItem(0, run);
  tree_->collapseAll();
  run->setExpanded(true);
  show();
  raise();
}

void ResultsPanel::openOutput(QTreeWidgetItem* item) {
  const QString path = item->data(0, kPathRole).toString();
  if (path.isEmpty()) return;
  const std::filesystem::path file(path.toStdString());
  const std::string layer = item->data(0, kLayerRole).toString().toStdString();
  const bool raster = item->data(0, kRasterRole).toBool();
  if (file.extension() != ".shp" && file.extension() != ".gpkg" && file.extension() != ".csv" && !raster)
    return;  // logs, settings
  const QString source = sourceOf(file, layer);
  if (shownIn(project_, source)) return;
  if (QgsMapLayer* added = openLayer(source, toQString(layer.empty() ? file.stem().string() : layer), raster))
    project_.addMapLayer(added);
}

}  // namespace orvex::platform::qgis
