#include "range/bbmm/frm_bbmm.h"

#include "host/application.h"
#include "host/layer.h"
#include "host/map.h"
#include "host/table.h"

namespace orvex::range {
namespace {

using host::ControlKind;
using host::Notify;

}  // namespace

frmBBMM::frmBBMM(host::Application& application, std::shared_ptr<host::Map> map)
    : host::Form(std::string(kFormName), "Brownian Bridge Home Range"),
      app_(&application),
      map_(std::move(map)) {
  host::Control& layers = add(ControlKind::ComboBox, "cmbPntL", "Point layer");
  for (const auto& layer : map_->featureLayers(host::GeometryType::Point)) layers.addItem(layer->name());
  add(ControlKind::ComboBox, "cmbUIDFLD", "Animal ID field");
  add(ControlKind::TextBox, "txtTimeFld", "Time field (seconds)").setText("Time2", Notify::No);
  add(ControlKind::CheckBox, "chkUseSel", "Use selected features only");
  add(ControlKind::TextBox, "txtSigma2", "Location error s2 (map units)");
  add(ControlKind::TextBox, "txtSigma2Fld", "or field of per-fix errors");
  add(ControlKind::TextBox, "txtSigma1", "s1 (auto: maximum likelihood)").setText("auto", Notify::No);
  add(ControlKind::OptionButton, "optOdd", "Independent triplets")
      .setGroup("triplets")
      .setChecked(true, Notify::No);
  add(ControlKind::OptionButton, "optAll", "All triplets").setGroup("triplets");
  add(ControlKind::CheckBox, "chkDynamic", "Dynamic bridge (s1 per fix)");
  add(ControlKind::TextBox, "txtWindow", "Window (fixes)").setText("31", Notify::No);
  add(ControlKind::TextBox, "txtMargin", "Margin (fixes)").setText("11", Notify::No);
  add(ControlKind::TextBox, "txtMaxGap", "Largest gap (seconds; empty: none)");
  add(ControlKind::OptionButton, "optFull", "Full extent").setGroup("extent").setChecked(true, Notify::No);
  add(ControlKind::TextBox, "txtBuffer", "Buffer").setText("2000", Notify::No);
  add(ControlKind::OptionButton, "optSmall", "Minimum extent").setGroup("extent");
  add(ControlKind::OptionButton, "optExtRef", "Reference raster").setGroup("extent");
  host::Control& rasters = add(ControlKind::ComboBox, "cmbExtRef", "Reference raster");
  for (const auto& layer : map_->rasterLayers()) rasters.addItem(layer->name());
  add(ControlKind::TextBox, "txtCellSize", "Cell size").setText("100", Notify::No);
  add(ControlKind::CheckBox, "chkBnds", "Isopleths");
  add(ControlKind::TextBox, "txtBnds", "Percentages").setText("95,50", Notify::No);
  add(ControlKind::CheckBox, "chkLines", "Lines").setChecked(true, Notify::No);
  add(ControlKind::CheckBox, "chkPolys", "Polygons").setChecked(true, Notify::No);
  add(ControlKind::TextBox, "txtOutFolder", "Output folder").setReadOnly(true);
  add(ControlKind::Button, "btnFolder", "...");
  add(ControlKind::TextBox, "txtR", "Raster prefix").setText("bbmm", Notify::No);
  add(ControlKind::Button, "btnOK", "OK");
  add(ControlKind::Button, "btnCancel", "Cancel");

  control("cmbPntL").onClick = [this] { FillFields(); };
  control("btnFolder").onClick = [this] {
    host::FolderDialogOptions options;
    options.title = "Select output folder...";
    if (const auto folder = app_->ui().browseFolder(options))
      control("txtOutFolder").setText(folder->string());
  };
  control("btnOK").onClick = [this] { PressOk(); };
  control("btnCancel").onClick = [this] { cancel(); };
}

void frmBBMM::FillFields() {
  host::Control& fields = control("cmbUIDFLD");
  fields.clearItems();
  const auto layer =
      std::dynamic_pointer_cast<host::FeatureLayer>(map_->findLayer(control("cmbPntL").text()));
  if (!layer || !layer->featureClass()) return;
  const host::Fields& list = layer->featureClass()->fields();
  for (int i = 0; i < list.count(); ++i) {
    const host::FieldDef& field = list.at(i);
    if (field.type != host::FieldType::Geometry) fields.addItem(field.name);
  }
}

BbmmSettings frmBBMM::Settings() const {
  BbmmSettings s;
  s.pointLayer = control("cmbPntL").text();
  s.idField = control("cmbUIDFLD").text();
  s.timeField = control("txtTimeFld").text();
  s.useSelectedOnly = control("chkUseSel").checked();
  s.sigma2 = control("txtSigma2").text();
  s.sigma2Field = control("txtSigma2Fld").text();
  s.sigma1 = control("txtSigma1").text();
  s.allTriplets = control("optAll").checked();
  s.dynamic = control("chkDynamic").checked();
  s.window = control("txtWindow").text();
  s.margin = control("txtMargin").text();
  s.maxGap = control("txtMaxGap").text();
  s.extent = control("optSmall").checked()    ? BbmmExtent::Minimum
             : control("optExtRef").checked() ? BbmmExtent::Reference
                                              : BbmmExtent::Full;
  s.buffer = control("txtBuffer").text();
  s.referenceLayer = control("cmbExtRef").text();
  s.cellSize = control("txtCellSize").text();
  if (control("chkBnds").checked()) s.isopleths = control("txtBnds").text();
  s.lines = control("chkLines").checked();
  s.polygons = control("chkPolys").checked();
  s.outputFolder = control("txtOutFolder").text();
  s.prefix = control("txtR").text();
  return s;
}

void frmBBMM::PressOk() {
  result_ = RunBbmmBatch(*app_, Settings());
  if (*result_ == BbmmBatchResult::Completed) close(host::dialog_result::kOk);
}

}  // namespace orvex::range
