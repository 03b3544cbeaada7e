#include "range/overlap/frm_overlap.h"

#include "host/application.h"

namespace orvex::range {
namespace {

using host::ControlKind;
using host::Notify;

enum Tab : int { kTabUds = 0, kTabFixes = 1, kTabIndices = 2 };

constexpr RangeControlRow kLayout[] = {
    // "UDs".
    {ControlKind::Frame, "fraSource", "UDs ", nullptr, kTabUds},
    {ControlKind::OptionButton, "optRasters",
     "Compare UD rasters (densities, as the KDE and bridge tools write)", "fraSource", kTabUds},
    {ControlKind::OptionButton, "optFixes", "Make one UD per animal from fixes, all on one grid", "fraSource",
     kTabUds},
    {ControlKind::Frame, "fraRasters", "UD rasters ", nullptr, kTabUds},
    {ControlKind::ComboBox, "cmbRaster", "Raster layer:", "fraRasters", kTabUds},
    {ControlKind::Button, "btnAddLayer", "Add layer", "fraRasters", kTabUds},
    {ControlKind::Button, "btnAddFile", "Add files...", "fraRasters", kTabUds},
    {ControlKind::Label, "lblUDs", "UDs to compare (each animal named by its file):", "fraRasters", kTabUds},
    {ControlKind::ListBox, "lstUDs", "", "fraRasters", kTabUds},
    {ControlKind::Button, "btnRemove", "Remove", "fraRasters", kTabUds},
    {ControlKind::Frame, "fraFixes", "UDs from fixes ", nullptr, kTabFixes},
    {ControlKind::ComboBox, "cmbPntL", "Point layer:", "fraFixes", kTabFixes},
    {ControlKind::CheckBox, "chkUseSel", "Use selected features only", "fraFixes", kTabFixes},
    {ControlKind::ComboBox, "cmbUIDFLD", "Unique animal ID field:", "fraFixes", kTabFixes},
    {ControlKind::OptionButton, "optKDE", "Kernel density (KDE tool)", "fraFixes", kTabFixes},
    {ControlKind::ComboBox, "cmbBandwidth", "Bandwidth (href, lscv, bcv, or map units):", "fraFixes",
     kTabFixes, "lscv"},
    {ControlKind::CheckBox, "chkAdaptive", "Adaptive kernel", "fraFixes", kTabFixes},
    {ControlKind::CheckBox, "chkRescale", "Rescale x and y to unit variance", "fraFixes", kTabFixes},
    {ControlKind::OptionButton, "optBBMM", "Brownian bridge", "fraFixes", kTabFixes},
    {ControlKind::TextBox, "txtTimeFld", "Time field (seconds):", "fraFixes", kTabFixes, "Time2"},
    {ControlKind::TextBox, "txtSigma2", "Location error of every fix (map units):", "fraFixes", kTabFixes},
    {ControlKind::TextBox, "txtSigma1", "s1 (auto: maximum likelihood):", "fraFixes", kTabFixes, "auto"},
    // "Indices".
    {ControlKind::Frame, "fraIndices", "Indices ", nullptr, kTabIndices},
    {ControlKind::TextBox, "txtPercent", "Volume contour (%):", "fraIndices", kTabIndices, "95"},
    {ControlKind::CheckBox, "chkHR", "HR: share of a range the other covers", "fraIndices", kTabIndices},
    {ControlKind::CheckBox, "chkPHR", "PHR: probability of the other in a range", "fraIndices", kTabIndices},
    {ControlKind::CheckBox, "chkVI", "VI: shared volume", "fraIndices", kTabIndices},
    {ControlKind::CheckBox, "chkBA", "BA: Bhattacharyya's affinity", "fraIndices", kTabIndices},
    {ControlKind::CheckBox, "chkUDOI", "UDOI: UD overlap index", "fraIndices", kTabIndices},
    {ControlKind::CheckBox, "chkHD", "HD: Hellinger's distance", "fraIndices", kTabIndices},
    {ControlKind::CheckBox, "chkConditional", "Conditional: each UD within its own volume contour",
     "fraIndices", kTabIndices},
    {ControlKind::Frame, "fraGrid", "Grid of the UDs made from fixes ", nullptr, kTabIndices},
    {ControlKind::TextBox, "txtBuffer", "Buffer around the layer's extent (map units):", "fraGrid",
     kTabIndices, "2000"},
    {ControlKind::TextBox, "txtCellSize", "Cell size (map units):", "fraGrid", kTabIndices, "100"},
    {ControlKind::Frame, "fraOutput", "Output ", nullptr, kTabIndices},
    {ControlKind::TextBox, "txtOutFolder",
     "Output folder (a new, empty folder is strongly recommended):", "fraOutput", kTabIndices},
    {ControlKind::Button, "btnFolder", "...", "fraOutput", kTabIndices},
    // Below the tabs.
    {ControlKind::Button, "btnOK", "OK", nullptr, kNoPage},
    {ControlKind::Button, "btnCancel", "Cancel", nullptr, kNoPage},
};

// The index check boxes in OverlapIndex order.
constexpr const char* kIndexBoxes[kOverlapIndexCount] = {"chkHR", "chkPHR",  "chkVI",
                                                         "chkBA", "chkUDOI", "chkHD"};

}  // namespace

frmOVERLAP::frmOVERLAP(host::Application& application, std::shared_ptr<host::Map> map)
    : RangeForm(kFormName, "Home Range Overlap", application, std::move(map)) {
  for (const char* page : {"UDs", "From Fixes", "Indices"}) addPage(page);
  AddControls(kLayout);
  ListRasterLayers("cmbRaster");
  ListPointLayers("cmbPntL");
  for (const char* choice : {"href", "lscv", "bcv"}) control("cmbBandwidth").addItem(choice);
  control("optRasters").setGroup("source").setChecked(true, Notify::No);
  control("optFixes").setGroup("source");
  control("optKDE").setGroup("estimator").setChecked(true, Notify::No);
  control("optBBMM").setGroup("estimator");
  for (const char* box : kIndexBoxes) control(box).setChecked(true, Notify::No);
  ShowSource();

  control("optRasters").onClick = [this] { ShowSource(); };
  control("optFixes").onClick = [this] { ShowSource(); };
  control("btnAddLayer").onClick = [this] { AddItem(control("cmbRaster").text()); };
  control("btnAddFile").onClick = [this] {
    host::FileDialogOptions options;
    options.title = "Add UD rasters...";
    options.filter = "GeoTIFF rasters (*.tif)|*.tif;*.tiff|All files (*.*)|*.*";
    options.allowMultiple = true;
    for (const auto& file : app().ui().openFiles(options)) AddItem(file.string());
  };
  control("btnRemove").onClick = [this] {
    host::Control& list = control("lstUDs");
    const int chosen = list.selectedIndex();
    if (chosen < 0) return;
    std::vector<std::string> items = list.items();
    items.erase(items.begin() + chosen);
    list.clearItems();
    for (std::string& item : items) list.addItem(std::move(item));
  };
  control("cmbPntL").onClick = [this] { ListIdFields(); };
  ConnectButtons([this] {
    result_ = RunOverlapBatch(app(), Settings());
    return *result_ == OverlapBatchResult::Completed;
  });
}

void frmOVERLAP::AddItem(const std::string& item) {
  host::Control& list = control("lstUDs");
  if (!item.empty() && list.findItem(item) < 0) list.addItem(item);
}

void frmOVERLAP::ShowSource() {
  const bool rasters = control("optRasters").checked();
  control("fraRasters").setEnabled(rasters);
  control("fraFixes").setEnabled(!rasters);
  control("fraGrid").setEnabled(!rasters);
}

OverlapSettings frmOVERLAP::Settings() const {
  OverlapSettings s;
  s.source = control("optFixes").checked() ? OverlapSource::Fixes : OverlapSource::Rasters;
  s.rasters = control("lstUDs").items();
  s.pointLayer = control("cmbPntL").text();
  s.idField = control("cmbUIDFLD").text();
  s.useSelectedOnly = control("chkUseSel").checked();
  s.estimator = control("optBBMM").checked() ? OverlapEstimator::Bridge : OverlapEstimator::Kde;
  s.bandwidth = control("cmbBandwidth").text();
  s.adaptive = control("chkAdaptive").checked();
  s.rescale = control("chkRescale").checked();
  s.timeField = control("txtTimeFld").text();
  s.sigma2 = control("txtSigma2").text();
  s.sigma1 = control("txtSigma1").text();
  s.buffer = control("txtBuffer").text();
  s.cellSize = control("txtCellSize").text();
  s.percent = control("txtPercent").text();
  for (std::size_t i = 0; i < kOverlapIndexCount; ++i) s.indices[i] = control(kIndexBoxes[i]).checked();
  s.conditional = control("chkConditional").checked();
  s.outputFolder = control("txtOutFolder").text();
  return s;
}

}  // namespace orvex::range
