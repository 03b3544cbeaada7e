#pragma once

// What the two duplicate-removal commands share: the checks of the selected layer, the walk
// over its selection, the deletions, and the closing report.

#include <memory>
#include <string>
#include <vector>

#include "host/map.h"
#include "ui/command/ui_commands.h"
#include "ui/tools/frm_pw.h"

namespace orvex::ui {

/// The texts that differ between the two tools. Every message of the tools is shown with an
/// OK button and an empty title.
struct DuplicateToolTexts {
  const char* noLayer;       ///< no feature layer selected in the table of contents
  const char* wrongLayer;    ///< the layer does not suit the tool
  const char* setupError;    ///< prefix of an error before the comparison
  const char* compareError;  ///< prefix of an error during the comparison and deletion
};

/// Base of `FIndDupTime2` and `FindDupxy`, with the properties of their command table rows.
/// Creation keeps the application and its document. A click reports its own failures and
/// returns kOk (a click before creation throws host::Error).
///
/// The candidates are the selected features of the layer selected in the table of contents;
/// nothing outside the selection is read or deleted. Each selected feature is read once, the
/// duplicates are found from its key, and then deleted from the feature class: deletions are
/// final. Ids and counts are wide, so selections of any size and any feature id are handled.
class DuplicateRemoval : public command::UiCommand {
 public:
  static constexpr const char* kNothingSelected =
      "You must select/highlight some points in the map to test. No points were tested or removed!!";

  host::Status onClick() override;

  /// The selection of the feature layer selected in the table of contents.
  /// @throws host::Error when no feature layer is selected.
  host::SelectionSet GetSelectionFromActiveLayer() const;

  /// Reads the features `cursor` delivers (a walk over `selection`), deletes their duplicates
  /// from `featureClass` (the selection's table), then clears the map's selection, refreshes
  /// the view and shows "Deleted N duplicate features" (also for 0). When the cursor delivers
  /// nothing, says that some points must be selected and changes nothing. A selected fix
  /// without a position is an error (94) met before any deletion. An error is shown
  /// with the comparison error prefix; deletions made before it stay and the selection is
  /// kept. The progress window is hidden whenever this returns.
  ///
  /// With `animalField` (a field of `featureClass`) the duplicates are looked for within each
  /// animal only: a fix is never deleted for sharing its key with another animal's fix.
  /// Selected fixes without an animal are neither compared nor deleted; a warning of the run
  /// says how many.
  void CalcFeatures(host::Cursor& cursor, const host::SelectionSet& selection,
                    host::FeatureClass& featureClass, const std::string& animalField = {});

  /// The progress window, for hosts and tests that watch it.
  const FrmPW& progressWindow() const { return progress_; }

 protected:
  DuplicateRemoval(const command::UiCommandProperties& properties, DuplicateToolTexts texts)
      : UiCommand(properties), texts_(texts) {}

  /// The click's work: checks the layer, sets up the progress window and runs CalcFeatures
  /// over the selection, per animal when the layer names an animal field it has (a name it
  /// lacks is warned about, and the whole selection is worked on).
  void FindAndRemove();

  /// True when the feature class suits the tool.
  virtual bool suits(const host::FeatureClass& featureClass) const = 0;

  /// Keeps what the tool compares of one selected feature (called once per feature, in the
  /// order the selection delivers them; per animal, one animal's features between two `clear`). May throw
  /// host::Error for a value it cannot read.
  virtual void collect(const host::Feature& feature) = 0;
  /// The ids to delete among the features collected since `clear`, in deletion order.
  virtual std::vector<host::ObjectId> duplicates() = 0;
  /// Forgets what was collected.
  virtual void clear() = 0;

 private:
  std::shared_ptr<host::FeatureLayer> SelectedFeatureLayer() const;

  std::shared_ptr<host::Document> CurrentDocument() const;

  DuplicateToolTexts texts_;
  FrmPW progress_;
};

}  // namespace orvex::ui
