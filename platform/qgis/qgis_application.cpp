#include "platform/qgis/qgis_application.h"

#include <algorithm>
#include <cctype>

#include <qgsmessagebar.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>
#include <QMainWindow>

#include "host/error.h"
#include "host/text.h"
#include "platform/access/access_workspace.h"
#include "platform/common/command_kinds.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/qgis/qgis_convert.h"

namespace orvex::platform::qgis {

bool needsGroundUnits(std::string_view progId) {
  // A version-dependent ProgID ("Orvex8.orvex_MCP.1") names the same class: what follows its
  // second point is the version.
  return measuresFixes(progId.substr(0, progId.find('.', progId.find('.') + 1)));
}

namespace {

/// MCP Analysis, under any version of its ProgID ("Orvex8.orvex_MCP.1").
bool isMcp(std::string_view progId) {
  constexpr std::string_view kMcp = "orvex8.orvex_mcp";
  const std::string_view name = progId.substr(0, progId.find('.', progId.find('.') + 1));
  return name.size() == kMcp.size() && std::equal(name.begin(), name.end(), kMcp.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

/// True when the project has vector layers and none of them has a selected feature (without
/// any, the command says itself that there is no layer).
bool vectorLayersWithoutSelection(const QgsProject& project) {
  bool anyVector = false;
  for (QgsMapLayer* layer : project.mapLayers()) {
    const auto* vector = qobject_cast<QgsVectorLayer*>(layer);
    if (vector == nullptr) continue;
    if (vector->selectedFeatureCount() > 0) return false;
    anyVector = true;
  }
  return anyVector;
}

bool hasSelection(const QgsProject& project, const std::string& layerName) {
  const auto layers = project.mapLayersByName(toQString(layerName));
  return std::any_of(layers.begin(), layers.end(), [](QgsMapLayer* layer) {
    const auto* vector = qobject_cast<QgsVectorLayer*>(layer);
    return vector != nullptr && vector->selectedFeatureCount() > 0;
  });
}

}  // namespace

QgisApplication::QgisApplication(QgisHostOptions options)
    : name_(std::move(options.name)),
      project_(options.project != nullptr ? *options.project : *QgsProject::instance()),
      qtUi_(options.ui == nullptr ? std::make_unique<QtUiServices>(options.mainWindow, name_) : nullptr),
      ui_(options.ui != nullptr ? options.ui : qtUi_.get()),
      watch_(*ui_),
      clock_(*ui_),
      statusBar_(std::make_unique<QgisStatusBar>(options.messageBar, *ui_)),
      workspaces_(
          std::make_unique<gdal::GdalWorkspaceFactory>(&access::openAccessWorkspace, workerThreads())),
      spatialReferences_(gdal::makeSpatialReferenceFactory()),
      geometry_(gdal::makeGeometryService()),
      document_(std::make_shared<QgisDocument>(project_, options.canvas, *spatialReferences_, edits_,
                                               std::move(options.currentLayer))),
      messageBar_(options.messageBar),
      results_(new ResultsPanel(project_, options.mainWindow)) {
  results_->hide();
  if (options.mainWindow != nullptr) options.mainWindow->addDockWidget(Qt::RightDockWidgetArea, results_);
}

QgisApplication::~QgisApplication() {
  edits_.discardAll();
  document_.reset();
  delete results_.data();  // also when docked: an unloaded plug-in leaves no panel behind
}

bool QgisApplication::refuseCoordinateSystem(std::string_view progId) {
  const QgsCoordinateReferenceSystem crs = project_.crs();
  if (!needsGroundUnits(progId) || !lacksGroundUnits(crs)) return false;
  const std::string what = crs.isGeographic() ? "degrees" : "Web Mercator pseudo-metres";
  ui_->messageBox("The project's coordinate system, " + toStd(crs.userFriendlyIdentifier()) +
                      ", measures in " + what +
                      ", so distances and areas would be wrong.\n\nSet a local projected coordinate system "
                      "(Project > Properties > CRS, for example the UTM zone of the study area), then run "
                      "the tool again.",
                  std::nullopt, host::MessageButtons::Ok, host::MessageIcon::Exclamation);
  return true;
}

bool QgisApplication::refuseReadOnlyLayer(std::string_view progId) {
  if (!editsInPlace(progId)) return false;
  const auto layer = std::dynamic_pointer_cast<host::FeatureLayer>(document_->selectedLayer());
  const auto* table = layer ? dynamic_cast<const QgisFeatureClass*>(layer->featureClass().get()) : nullptr;
  if (table == nullptr) return false;  // the command says itself that it needs a point layer
  // Travel adds and fills fields; the duplicate removals delete features.
  const int needed = host::iequals(progId, "ORVEX.orvexobs")
                         ? QgsVectorDataProvider::AddAttributes | QgsVectorDataProvider::ChangeAttributeValues
                         : QgsVectorDataProvider::DeleteFeatures;
  const std::string refusal = readOnlyRefusal(table->layer(), needed);
  if (refusal.empty()) return false;
  ui_->messageBox(refusal, std::nullopt, host::MessageButtons::Ok, host::MessageIcon::Exclamation);
  return true;
}

host::Status QgisApplication::click(host::Command& command, std::string_view progId) {
  document_->qgisMap().followProject();
  if (refuseCoordinateSystem(progId)) return host::kOk;
  if (refuseReadOnlyLayer(progId)) return host::kAccessDenied;
  statusBar_->beginRun();
  runRecord().clear();
  runRecord().setProgress(statusBar_->progress());
  edits_.startRun(command.caption());
  watch_.clear();
  host::Status status = host::kFail;
  std::string failure;
  try {
    status = command.onClick();
  } catch (const host::Error& error) {
    status = error.status();
    failure = error.what();
  } catch (const std::exception& error) {
    failure = error.what();
  }
  endEdits(command, host::failed(status));
  statusBar_->hideProgress();
  runRecord().setProgress({});
  if (!failure.empty()) {
    runRecord().failure({.item = command.caption(), .reason = failure});
    ui_->messageBox(failure, std::nullopt, host::MessageButtons::Ok, host::MessageIcon::Critical);
  }
  if (isMcp(progId) && host::succeeded(status) && runRecord().outputs().empty() &&
      vectorLayersWithoutSelection(project_))
    ui_->messageBox(kMcpNothingSelected, command.caption(), host::MessageButtons::Ok,
                    host::MessageIcon::Information);
  showResults(command);
  showWarnings(command);
  document_->qgisView().refresh();
  return status;
}

void QgisApplication::endEdits(const host::Command& command, bool failed) {
  if (edits_.empty()) return;
  const auto reported = std::find_if(watch_.shown().begin(), watch_.shown().end(), reportsFailedEdit);
  if (!failed && reported == watch_.shown().end()) {
    edits_.keepAll();
    return;
  }
  edits_.discardAll();
  if (reported != watch_.shown().end())
    runRecord().failure({.item = command.caption(), .reason = *reported + " (nothing was changed)"});
}

host::RunRecord QgisApplication::listedRecord() {
  // A layer passed over whole because none of its features was selected is not what the
  // person ran the command on: the panel leaves it out (the command line's report keeps it).
  host::RunRecord listed;
  const host::RunRecord& record = runRecord();
  for (const host::OutputRecord& output : record.outputs()) listed.output(output);
  for (const host::FailureRecord& failure : record.failures()) {
    const bool wholeLayer = !failure.values.inputLayer.empty() && failure.item == failure.values.inputLayer;
    if (failure.kind == host::FailureKind::Skipped && wholeLayer && !hasSelection(project_, failure.item))
      continue;
    listed.failure(failure);
  }
  return listed;
}

void QgisApplication::showResults(const host::Command& command) {
  const host::RunRecord record = listedRecord();
  if (!worthListing(record)) return;
  std::string group = command.caption();
  for (const host::OutputRecord& output : record.outputs())
    if (output.kind == host::OutputKind::Log || output.kind == host::OutputKind::Settings) {
      group += " (" + output.path.parent_path().filename().string() + ")";  // the run's output folder
      break;
    }
  addOutputLayers(project_, record, group);
  results_->addRun(command.caption(), record);
  if (messageBar_)
    messageBar_->pushMessage(toQString(runSummaryText(command.caption(), record)),
                             record.anyFailed() ? Qgis::MessageLevel::Warning : Qgis::MessageLevel::Success,
                             10);
}

void QgisApplication::showWarnings(const host::Command& command) {
  if (!messageBar_) return;
  for (const std::string& warning : runRecord().warnings())
    messageBar_->pushMessage(toQString(command.caption()), toQString(warning), Qgis::MessageLevel::Warning,
                             0);
}

}  // namespace orvex::platform::qgis
