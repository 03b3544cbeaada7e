#include "range/bbmm/frm_bbmm.h"

namespace orvex::range {
namespace {

using host::ControlKind;
using host::Notify;

enum Tab : int { kTabInput = 0, kTabBridge = 1, kTabOutput = 2 };

// The dialog's controls in tab order, grouped as the kernel dialog groups its own.
constexpr RangeControlRow kLayout[] = {
    // "Input Data".
    {ControlKind::Frame, "fraInput", "Input ", nullptr, kTabInput},
    {ControlKind::ComboBox, "cmbPntL", "Point layer:", "fraInput", kTabInput},
    {ControlKind::CheckBox, "chkUseSel", "Use selected features only", "fraInput", kTabInput},
    {ControlKind::ComboBox, "cmbUIDFLD", "Unique animal ID field for batch processing:", "fraInput",
     kTabInput},
    {ControlKind::TextBox, "txtTimeFld", "Time field (seconds):", "fraInput", kTabInput, "Time2"},
    // "Bridge Settings".
    {ControlKind::Frame, "fraError", "Location error (s2) ", nullptr, kTabBridge},
    {ControlKind::TextBox, "txtSigma2", "Location error of every fix (map units):", "fraError", kTabBridge},
    {ControlKind::TextBox, "txtSigma2Fld", "or a field of per-fix errors:", "fraError", kTabBridge},
    {ControlKind::Frame, "fraMotion", "Brownian motion variance (s1) ", nullptr, kTabBridge},
    {ControlKind::TextBox, "txtSigma1", "s1 (auto: maximum likelihood):", "fraMotion", kTabBridge, "auto"},
    {ControlKind::OptionButton, "optOdd", "Independent triplets", "fraMotion", kTabBridge},
    {ControlKind::OptionButton, "optAll", "All triplets", "fraMotion", kTabBridge},
    {ControlKind::TextBox, "txtMaxGap", "Largest gap between fixes (seconds; empty: none):", "fraMotion",
     kTabBridge},
    {ControlKind::Frame, "fraDynamic", "Dynamic bridge ", nullptr, kTabBridge},
    {ControlKind::CheckBox, "chkDynamic", "Dynamic bridge (s1 per fix)", "fraDynamic", kTabBridge},
    {ControlKind::TextBox, "txtWindow", "Window (fixes):", "fraDynamic", kTabBridge, "31"},
    {ControlKind::TextBox, "txtMargin", "Margin (fixes):", "fraDynamic", kTabBridge, "11"},
    // "Output Options".
    {ControlKind::Frame, "fraExtents", "Extents ", nullptr, kTabOutput},
    {ControlKind::OptionButton, "optFull",
     "Every UD is calculated at the full extent of the input point layer plus this buffer:", "fraExtents",
     kTabOutput},
    {ControlKind::TextBox, "txtBuffer", "", "fraExtents", kTabOutput, "2000"},
    {ControlKind::OptionButton, "optSmall", "Minimize the extent of each UD", "fraExtents", kTabOutput},
    {ControlKind::OptionButton, "optExtRef",
     "Every UD is calculated at the same extent as this raster layer:", "fraExtents", kTabOutput},
    {ControlKind::ComboBox, "cmbExtRef", "", "fraExtents", kTabOutput},
    {ControlKind::Frame, "fraIsopleths", "Isopleths ", nullptr, kTabOutput},
    {ControlKind::CheckBox, "chkBnds", "Isopleths (%):", "fraIsopleths", kTabOutput},
    {ControlKind::TextBox, "txtBnds", "", "fraIsopleths", kTabOutput, "95,50"},
    {ControlKind::CheckBox, "chkLines", "Lines", "fraIsopleths", kTabOutput},
    {ControlKind::CheckBox, "chkPolys", "Polygons", "fraIsopleths", kTabOutput},
    {ControlKind::Frame, "fraOutput", "Output ", nullptr, kTabOutput},
    {ControlKind::TextBox, "txtOutFolder",
     "Output folder (a new, empty folder is strongly recommended):", "fraOutput", kTabOutput},
    {ControlKind::Button, "btnFolder", "...", "fraOutput", kTabOutput},
    {ControlKind::TextBox, "txtR", "Raster name prefix:", "fraOutput", kTabOutput, "bbmm"},
    {ControlKind::TextBox, "txtCellSize", "Raster cell size (coordinate system units):", "fraOutput",
     kTabOutput, "100"},
    // Below the tabs.
    {ControlKind::Button, "btnOK", "OK", nullptr, kNoPage},
    {ControlKind::Button, "btnCancel", "Cancel", nullptr, kNoPage},
};

}  // namespace

frmBBMM::frmBBMM(host::Application& application, std::shared_ptr<host::Map> map)
    : RangeForm(kFormName, "Brownian Bridge Home Range", application, std::move(map)) {
  for (const char* page : {"Input Data", "Bridge Settings", "Output Options"}) addPage(page);
  AddControls(kLayout);
  ListPointLayers("cmbPntL");
  ListRasterLayers("cmbExtRef");
  control("optOdd").setGroup("triplets").setChecked(true, Notify::No);
  control("optAll").setGroup("triplets");
  control("optFull").setGroup("extent").setChecked(true, Notify::No);
  control("optSmall").setGroup("extent");
  control("optExtRef").setGroup("extent");
  control("chkLines").setChecked(true, Notify::No);
  control("chkPolys").setChecked(true, Notify::No);

  control("cmbPntL").onClick = [this] { ListIdFields(); };
  ConnectButtons([this] {
    result_ = RunBbmmBatch(app(), Settings());
    return *result_ == BbmmBatchResult::Completed;
  });
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

}  // namespace orvex::range
