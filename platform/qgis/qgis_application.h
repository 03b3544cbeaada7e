#pragma once

// The desktop host application: the host interface on the QGIS project, its map canvas and
// main window, with the data services of the GDAL and Access platforms.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <QPointer>

#include "host/application.h"
#include "host/command.h"
#include "host/registry.h"
#include "platform/qgis/edit_sessions.h"
#include "platform/qgis/message_watch.h"
#include "platform/qgis/qgis_map.h"
#include "platform/qgis/qgis_status_bar.h"
#include "platform/qgis/qt_ui_services.h"
#include "platform/qgis/run_results.h"

class QgsMessageBar;
class QMainWindow;

namespace orvex::platform::qgis {

/// Shown once when MCP Analysis found no selected feature in any layer of the project.
inline constexpr const char* kMcpNothingSelected =
    "No layer has selected features, so MCP Analysis had nothing to analyse.\n\nSelect the fixes "
    "to analyse in each layer (for example with Select Features, or Select All Features), then run "
    "MCP Analysis again.";

struct QgisHostOptions {
  /// The host's name, also the title of message boxes that give none.
  std::string name = "Orvex";
  QgsProject* project = nullptr;  ///< null: QgsProject::instance()
  QgsMapCanvas* canvas = nullptr;
  QMainWindow* mainWindow = nullptr;  ///< parent of dialogs; its status bar shows messages
  QgsMessageBar* messageBar = nullptr;
  /// The layer chosen in the layers panel.
  std::function<QgsMapLayer*()> currentLayer{};
  /// Replaces the Qt dialogs (scripted tests); must outlive the application.
  host::UiServices* ui = nullptr;
};

class QgisApplication final : public host::Application {
 public:
  explicit QgisApplication(QgisHostOptions options);
  ~QgisApplication() override;
  QgisApplication(const QgisApplication&) = delete;
  QgisApplication& operator=(const QgisApplication&) = delete;

  std::string name() const override { return name_; }
  std::shared_ptr<host::Document> document() const override { return document_; }
  host::UiServices& ui() override { return watch_; }
  host::StatusBar& statusBar() override { return *statusBar_; }
  host::Clock& clock() override { return clock_; }
  host::WorkspaceFactory& workspaces() override { return *workspaces_; }
  host::SpatialReferenceFactory& spatialReferences() override { return *spatialReferences_; }
  host::GeometryService& geometry() override { return *geometry_; }
  /// Made from the registry given by `setComponents` (none: null).
  std::shared_ptr<host::Component> createComponent(std::string_view progId) override {
    return components_ != nullptr ? components_->create(progId) : nullptr;
  }
  /// The registry commands create other libraries' classes from; it outlives the application.
  void setComponents(const host::ComponentRegistry* registry) { components_ = registry; }

  QgisDocument& qgisDocument() { return *document_; }
  QgisStatusBar& qgisStatusBar() { return *statusBar_; }
  QgsProject& project() { return project_; }
  /// The results panel (docked in the main window when there is one).
  ResultsPanel& resultsPanel() { return *results_; }

  /// Clicks a command once as the toolbar does: takes the project's coordinate system as it is
  /// now, refuses kernels and areas on a project whose system has no ground units and in-place
  /// edits of a read-only layer, then runs the command (its progress in the message bar, with
  /// Cancel). The edits it made to layers in place are left in their edit buffers as one undo
  /// step per layer, uncommitted; a run that failed (an error escaped it, or it showed one of its
  /// failure messages) has them undone, so that it changes nothing. Errors that escape the
  /// command are shown in a message box. An MCP Analysis that found no selected feature in any
  /// layer (each layer passed over without a word, by design) ends with the message box
  /// kMcpNothingSelected. Afterwards the run's map outputs that are not layers yet are added in
  /// a group, and the run is listed in the results panel (without the layers it passed over for
  /// having no selection) and summed up in the message bar. Returns the click's status.
  host::Status click(host::Command& command, std::string_view progId);

 private:
  bool refuseCoordinateSystem(std::string_view progId);
  /// Refuses travel and the duplicate removals on a read-only layer chosen in the layers panel,
  /// with the plug-in's message naming it, before the command asks anything: the commands'
  /// own error traps would show only an error number.
  bool refuseReadOnlyLayer(std::string_view progId);
  /// Keeps the run's in-place edits, or undoes them when the run `failed` or reported a
  /// failure through its messages.
  void endEdits(const host::Command& command, bool failed);
  host::RunRecord listedRecord();
  void showResults(const host::Command& command);
  /// The run's warnings, each as a message-bar message that stays until closed.
  void showWarnings(const host::Command& command);

  std::string name_;
  QgsProject& project_;
  std::unique_ptr<QtUiServices> qtUi_;
  host::UiServices* ui_;
  MessageWatch watch_;
  QtClock clock_;
  std::unique_ptr<QgisStatusBar> statusBar_;
  std::unique_ptr<host::WorkspaceFactory> workspaces_;
  std::shared_ptr<host::SpatialReferenceFactory> spatialReferences_;
  std::shared_ptr<host::GeometryService> geometry_;
  EditSessions edits_;
  std::shared_ptr<QgisDocument> document_;
  QPointer<QgsMessageBar> messageBar_;
  QPointer<ResultsPanel> results_;  // docked in the main window, if any; deleted with this
  const host::ComponentRegistry* components_ = nullptr;
};

/// True for the commands that measure distances and areas (kernels, home ranges).
bool needsGroundUnits(std::string_view progId);

}  // namespace orvex::platform::qgis
