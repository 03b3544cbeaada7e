#pragma once
// The LoCoH dialog, as a form model that a host renders and a script or a person drives
// through its controls' events.

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "range/locoh/locoh_batch.h"
#include "range/shell/range_form.h"

namespace orvex::range {

/// "LoCoH Home Range": one page of captioned frames, with OK and Cancel below them. Controls
/// (name: kind, initial state):
/// - cmbPntL: combo, the map's point layers; cmbUIDFLD: combo, the chosen layer's fields (filled
///   when a layer is chosen); chkUseSel: "Use selected features only".
/// - optK (chosen) / optR / optA: the local-set rule; txtParam: its value; chkOwnParam
///   unchecked: each animal its own suggested value instead (txtParam disabled while checked);
///   lblSuggest: the suggestion. Choosing a field, a rule or the selection reads the fixes and
///   puts into txtParam the median over the animals of Getz et al.'s starting value
///   (SuggestedLocohParameter), said in lblSuggest.
/// - txtBnds: isopleths, "10,20,...,100"; chkHulls unchecked: also write the hulls.
/// - btnFolder: asks for the output folder into txtOutFolder.
/// - btnOK: reads the controls into LocohSettings and runs RunLocohBatch; a run that completed
///   closes the dialog with OK, a refused one keeps it open. btnCancel closes it.
class frmLOCOH final : public RangeForm {
 public:
  static constexpr std::string_view kFormName = "frmLOCOH";

  frmLOCOH(host::Application& application, std::shared_ptr<host::Map> map);

  /// The settings as the controls stand.
  LocohSettings Settings() const;
  std::optional<LocohBatchResult> LastResult() const { return result_; }

 private:
  void Suggest();

  std::optional<LocohBatchResult> result_;
};

}  // namespace orvex::range
