#pragma once

// The "Calculate Travel Times and Distances" menu command: time, distance and speed between
// successive fixes written as fields of the layer selected in the table of contents.

#include <memory>
#include <string>

#include "host/map.h"
#include "ui/command/ui_commands.h"
#include "ui/tools/frm_pw.h"

namespace orvex::ui {

/// Command "CalcOBS" (ProgID "ORVEX.orvexobs"), with the properties of its command table row.
/// Creation keeps the application and its document; every click runs `CalcObsFields` and
/// reports its own failures, so it returns kOk (a click before creation throws host::Error).
///
/// The tool works on every feature of the selected layer's feature class in stored order (the
/// map selection is ignored) and does not sort: fixes stored out of time order get negative
/// times and speeds. A layer that names its animal field is worked on per animal instead, in
/// time order (`CalcFeaturesByAnimal`); a name the layer lacks is warned about and the whole
/// layer is worked on. The layer must be a point layer with a numeric "Time2" (seconds) whose
/// coordinate system's name contains "UTM", so that distances are metres.
///
/// Counters, feature counts and times are 64-bit: layers of any size are walked.
class ORVEXOBS final : public command::UiCommand {
 public:
  ORVEXOBS() : UiCommand(command::kObsCommand) {}

  host::Status onClick() override;

  /// The click's work: checks the selected layer, asks "Add Time and Distance Fields" (Yes/No)
  /// and, on Yes, adds the fields and fills them. Every failure is shown as a message box;
  /// nothing escapes.
  void CalcObsFields();

  /// Adds "T_Obs_Sec", "T_Cumul", "Dist", "Dist_Cumul", "Me_per_Sec" and "Mi_per_hr" (64-bit
  /// floats of the host's default width) to the selected layer's feature class, each only when
  /// no field of that name (letter case ignored) exists.
  /// @throws host::Error when no feature layer is selected or a field cannot be added.
  void Addfields();

  /// An update cursor over every feature of the selected layer's feature class, no filter.
  /// @throws host::Error when no feature layer is selected.
  std::unique_ptr<host::UpdateCursor> GetAndSelectAllFromActiveLayer();

  /// Walks the cursor and writes the six fields of each fix, showing the progress window
  /// meanwhile. The first fix gets "T_Obs_Sec" = 0 and "T_Cumul" = 0 only. A stop (no "Time2"
  /// on the first feature, a coordinate system without "UTM", two successive fixes at the same
  /// time, an error) is reported by a message box; the fixes already stored keep their values,
  /// the one being processed is not stored, and the progress window is hidden in every case.
  /// Intervals that come out negative (fixes stored out of time order, the sign of several
  /// animals in one layer) are counted, and the count is reported as a warning of the run.
  void CalcFeatures(host::UpdateCursor& cursor);

  /// The same per animal, for a layer whose animal field (`host::FeatureLayer::animalField`)
  /// names a field of `featureClass`: each animal's fixes are taken in time order (equal times
  /// in stored order) and its intervals and cumulative sums start again at its first fix, which
  /// gets "T_Obs_Sec" = 0 and "T_Cumul" = 0 only; animals follow in unique-value order.
  /// Every fix is read before anything is written, so a fix without a position or a "Time2"
  /// that cannot be read changes nothing; a stop on a message (a coordinate system without
  /// "UTM", two fixes of one animal at the same time) writes the fixes computed before it.
  /// Fixes without an animal are left as they are, with a warning saying how many.
  void CalcFeaturesByAnimal(host::FeatureClass& featureClass, const std::string& animalField);

  /// The progress window, for hosts and tests that watch it.
  const FrmPW& progressWindow() const { return progress_; }

 private:
  std::shared_ptr<host::FeatureLayer> SelectedFeatureLayer() const;
  std::shared_ptr<host::FeatureClass> SelectedFeatureClass() const;

  FrmPW progress_;
};

}  // namespace orvex::ui
