#pragma once

// What a run produced, shown in QGIS: the run's map outputs that are not layers yet are added
// to the project in a group of their own, and the "Orvex results" panel lists every run with
// the files it wrote and the items that failed, each with its reason.

#include <string>
#include <vector>

#include <QDockWidget>

#include "host/run_record.h"
#include "host/status.h"

class QgsMapLayer;
class QgsProject;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvex::platform::qgis {

/// Reloads the layers that show a file of `record` (written again), and adds the shapefiles,
/// rasters and CSV tables of `record` that no layer of `project` shows yet, styled,
/// in a new group `groupName` on top of the layer tree (rasters below the vectors, so the
/// isopleths stay visible). Files QGIS cannot open are passed over. Returns the added layers.
std::vector<QgsMapLayer*> addOutputLayers(QgsProject& project, const host::RunRecord& record,
                                          const std::string& groupName);

/// True when a run wrote something or an item failed: a run that only ended at a dialog the
/// person cancelled, or was passed over after a message box, has nothing to report.
bool worthListing(const host::RunRecord& record);

/// One line of a run for the message bar: "<command>: 3 files written, 1 failed."
std::string runSummaryText(const std::string& command, const host::RunRecord& record);

/// The results panel: one top-level row per run (newest first), its outputs below it (file,
/// kind, feature count) and its failed, cancelled or skipped items with their reasons.
/// Double-clicking an output adds it to the project when no layer shows it.
class ResultsPanel final : public QDockWidget {
 public:
  ResultsPanel(QgsProject& project, QWidget* parent);

  /// Lists a finished run worth listing (above).
  void addRun(const std::string& command, const host::RunRecord& record);
  QTreeWidget& tree() { return *tree_; }

 private:
  void openOutput(QTreeWidgetItem* item);

  QgsProject& project_;
  QTreeWidget* tree_;
};

}  // namespace orvex::platform::qgis
