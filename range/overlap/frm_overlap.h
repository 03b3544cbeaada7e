#pragma once
// The overlap dialog, as a form model that a host renders and a script or a person drives
// through its controls' events.

#include <memory>
#include <optional>
#include <string_view>

#include "range/overlap/overlap_batch.h"
#include "range/shell/range_form.h"

namespace orvex::range {

/// "Home Range Overlap": three tabs (UDs: fraSource and fraRasters; From Fixes: fraFixes;
/// Indices: fraIndices, fraGrid and fraOutput) of captioned frames, with OK and Cancel below them. Controls
/// (name: kind, initial state):
/// - optRasters (chosen) / optFixes: compare rasters, or UDs made from fixes. The frame of the
///   other source is disabled.
/// - fraRasters: cmbRaster, the map's raster layers; btnAddLayer adds the chosen one to lstUDs,
///   btnAddFile asks for raster files and adds their paths; btnRemove takes the chosen item of
///   lstUDs away. An item already listed is not added again.
/// - fraFixes: cmbPntL (the map's point layers), chkUseSel, cmbUIDFLD (the chosen layer's
///   fields); optKDE (chosen) with cmbBandwidth (href, lscv (chosen), bcv; or a bandwidth typed),
///   chkAdaptive and chkRescale; optBBMM with txtTimeFld "Time2", txtSigma2 and txtSigma1 "auto".
///   fraGrid (disabled with fraFixes): txtBuffer "2000" and txtCellSize "100", one grid for all.
/// - txtPercent "95"; chkHR, chkPHR, chkVI, chkBA, chkUDOI, chkHD checked; chkConditional.
/// - btnFolder: asks for the output folder into txtOutFolder.
/// - btnOK: reads the controls into OverlapSettings and runs RunOverlapBatch; a completed run
///   closes the dialog with OK, any other keeps it open. btnCancel closes it.
class frmOVERLAP final : public RangeForm {
 public:
  static constexpr std::string_view kFormName = "frmOVERLAP";

  frmOVERLAP(host::Application& application, std::shared_ptr<host::Map> map);

  OverlapSettings Settings() const;
  std::optional<OverlapBatchResult> LastResult() const { return result_; }

 private:
  void AddItem(const std::string& item);
  void ShowSource();

  std::optional<OverlapBatchResult> result_;
};

}  // namespace orvex::range
