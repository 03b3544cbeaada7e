#pragma once
// The Brownian bridge dialog, as a form model that a host renders and a script or a person
// drives through its controls' events.

#include <memory>
#include <optional>
#include <string_view>

#include "range/bbmm/bbmm_batch.h"
#include "range/bbmm/bbmm_settings.h"
#include "range/shell/range_form.h"

namespace orvex::range {

/// "Brownian Bridge Home Range": three tabs (Input Data: cmbPntL to txtTimeFld; Bridge Settings:
/// txtSigma2 to txtMargin; Output Options: optFull to txtCellSize) of captioned frames, with OK
/// and Cancel below them. Controls (name: kind, initial state):
/// - cmbPntL: combo, the map's point layers; cmbUIDFLD: combo, the chosen layer's fields (filled
///   when a layer is chosen); txtTimeFld: text "Time2"; chkUseSel: "Use selected features only".
/// - txtSigma2: text, one location error; txtSigma2Fld: text, a field of per-fix errors.
/// - txtSigma1: text "auto"; optOdd (chosen) / optAll: independent or all triplets;
///   txtMaxGap: text, empty; chkDynamic unchecked with txtWindow "31" and txtMargin "11".
/// - optFull (chosen) with txtBuffer "2000", optSmall, optExtRef with cmbExtRef (the map's
///   raster layers); txtCellSize "100".
/// - chkBnds unchecked with txtBnds "95,50", chkLines and chkPolys checked.
/// - btnFolder: asks for the output folder into txtOutFolder; txtR: raster prefix "bbmm".
/// - btnOK: reads the controls into BbmmSettings and runs RunBbmmBatch; a run that completed
///   closes the dialog with OK, a refused one keeps it open. btnCancel closes it.
class frmBBMM final : public RangeForm {
 public:
  static constexpr std::string_view kFormName = "frmBBMM";

  frmBBMM(host::Application& application, std::shared_ptr<host::Map> map);

  /// The settings as the controls stand.
  BbmmSettings Settings() const;
  /// The result of the last run behind OK (none before).
  std::optional<BbmmBatchResult> LastResult() const { return result_; }

 private:
  std::optional<BbmmBatchResult> result_;
};

}  // namespace orvex::range
