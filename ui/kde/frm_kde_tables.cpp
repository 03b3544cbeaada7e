// The KDE dialog's tables: the variance and bandwidth tables and the recommended buffer built
// on a tab change, the independence table and its CSV export.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "host/error.h"
#include "host/number_list.h"
#include "host/text.h"
#include "ui/gis/sample_stats.h"
#include "ui/kde/frm_kde.h"
#include "ui/kde/independence.h"
#include "ui/kde/settings_file.h"

namespace orvex::ui {

namespace {

using host::Notify;

constexpr char kCr = '\r';
constexpr const char* kCrLf = "\r\n";

// Step codes of the tab-change handler, shown in its error message.
enum TabStep : int {
  kStepEntry = 1000,
  kStepVariancePrepare = 1001,
  kStepVarianceTable = 1002,
  kStepBandwidthPrepare = 1003,
  kStepBandwidthTable = 1004,
  kStepBuffer = 1005,
};

// href of one animal of 2 or more fixes as the bandwidth table shows it.
double TableHref(const KdeAnimal& animal, bool rescale) {
  const double n = static_cast<double>(animal.count());
  if (!rescale) return ((animal.sdX + animal.sdY) / 2.0) * std::pow(n, -1.0 / 6.0);
  std::vector<CoordPair> rescaled;
  rescaled.reserve(animal.points.size());
  for (const CoordPair& p : animal.points) rescaled.push_back({p[0] / animal.sdX, p[1] / animal.sdY});
  return ((gis::SampleVariance(rescaled, 0) + gis::SampleVariance(rescaled, 1)) / 2.0) *
         std::pow(n, -1.0 / 6.0);
}

std::string CsvField(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (const char c : value) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

host::GridData Grid(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows) {
  return host::GridData{std::move(columns), std::move(rows)};
}

}  // namespace

double RoundHalfUp(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::floor(value * scale + 0.5) / scale;
}

std::string TableValueText(double value, int decimals) {
  if (!std::isfinite(value)) return "N/A";
  return host::numberText(RoundHalfUp(value, decimals));
}

std::vector<std::vector<std::string>> BandwidthTableRows(const KdeAnimalData& data, bool rescale) {
  std::vector<std::vector<std::string>> rows;
  for (const KdeAnimal& animal : data.animals) {
    std::vector<std::string> row{animal.displayId(data.textIds), std::to_string(animal.count())};
    row.push_back(animal.count() > 1 ? TableValueText(TableHref(animal, rescale), 3) : "N/A");
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::vector<std::string>> IndependenceTableRows(const KdeAnimalData& data) {
  std::vector<std::vector<std::string>> rows;
  for (const KdeAnimal& animal : data.animals) {
    std::vector<std::string> row{animal.displayId(data.textIds), std::to_string(animal.count())};
    if (animal.count() > 1) {
      row.push_back(TableValueText(SchoenerRatio(animal.points), 5));
      row.push_back(TableValueText(SwihartSladeIndex(animal.points), 5));
    } else {
      row.insert(row.end(), 2, "N/A");
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string IndependenceCsvText(const std::string& idField,
                                const std::vector<std::vector<std::string>>& rows) {
  std::string text = CsvField(idField) + ",Count,Schoener,Swihart_Slade" + kCrLf;
  for (const std::vector<std::string>& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) text += (i > 0 ? "," : "") + CsvField(row[i]);
    text += kCrLf;
  }
  return text;
}

bool frmKDE::LayerAndFieldChosen() const {
  return layer_ != nullptr && !control("cmbPntL").text().empty() && !control("cmbUIDFLD").text().empty();
}

std::string frmKDE::IdColumnName() const { return control("cmbUIDFLD").text(); }

void frmKDE::DiscardPreparedData() {
  animals_.reset();
  prepared_ = varianceBuilt_ = bandwidthBuilt_ = independenceBuilt_ = false;
  largestHref_ = 0.0;
  varianceRows_.clear();
  independenceRows_.clear();
  control("datagridVar").setGrid({});
  control("datagridIO").setGrid({});
}

bool frmKDE::EnsurePrepared() {
  if (prepared_) return true;
  std::optional<KdeAnimalData> data =
      PrepareKdeInput(*app_, *layer_, control("cmbUIDFLD").text(), control("chkUseSel").checked());
  if (!data) return false;  // the null-geometry message was shown; tried again next time
  animals_ = std::move(*data);
  prepared_ = true;
  return true;
}

void frmKDE::BuildVarianceTable() {
  varianceRows_ = VarianceTableRows(*animals_);
  control("datagridVar")
      .setGrid(Grid({IdColumnName(), "Count", "StdDev(x)", "StdDev(y)", "Ratio(x:y)"}, varianceRows_));
  varianceBuilt_ = true;
}

void frmKDE::BuildBandwidthTable() {
  const bool rescale = control("chkRescale").checked();
  largestHref_ = 0.0;
  control("datagridHref")
      .setGrid(Grid({IdColumnName(), "Count", rescale ? "href (scaled)" : "href"},
                    BandwidthTableRows(*animals_, rescale)));
  // In map units whatever the rescaling: the buffer it recommends is a distance on the map.
  largestHref_ = ui::LargestHref(*animals_);
  bandwidthBuilt_ = true;
}

void frmKDE::RecommendBuffer() {
  if (!(largestHref_ > 0.0)) return;
  double quantity = largestHref_;
  if (control("optBE_MANUAL").checked() || control("optPropHref").checked()) {
    const bool manual = control("optBE_MANUAL").checked();
    const host::NumberList list =
        host::parseNumberList(control(manual ? "txtBW" : "txtPropHref").text(), host::kWholeNumberList);
    // A list still being typed recommends nothing rather than a buffer of 0.
    if (!list.ok()) return;
    const double largest = *std::max_element(list.values.begin(), list.values.end());
    quantity = manual ? largest : largest * largestHref_;
  }
  const double recommended = std::floor(kBufferBandwidths * quantity + 0.5);
  if (!std::isfinite(recommended) || recommended < 0.0) return;
  control("txtBuffer").setText(host::numberText(recommended));
}

void frmKDE::TabChanged(int previousTab) {
  int step = kStepEntry;
  try {
    if (!LayerAndFieldChosen()) return;
    if (previousTab != kTabKernel && !varianceBuilt_) {
      step = kStepVariancePrepare;
      if (!EnsurePrepared()) return;
      step = kStepVarianceTable;
      BuildVarianceTable();
    }
    if (previousTab != kTabBandwidth && !bandwidthBuilt_) {
      step = kStepBandwidthPrepare;
      if (!EnsurePrepared()) return;
      step = kStepBandwidthTable;
      BuildBandwidthTable();
    }
    if (previousTab != kTabOutput) {
      step = kStepBuffer;
      RecommendBuffer();
    }
  } catch (const host::Error& error) {
    if (host::errorsPassThrough()) throw;
    ShowError("Error: " + std::to_string(step) + kCr + error.description());
  }
}

void frmKDE::CalculateIndependence() {
  if (!LayerAndFieldChosen()) {
    app_->ui().messageBox(kMsgCannotCalculateIndependence, "Cannot calculate", host::MessageButtons::Ok,
                          host::MessageIcon::Exclamation);
    return;
  }
  if (!EnsurePrepared()) return;
  for (const char* name : {"btnIOSave", "lblIO1", "lblIO2"}) control(name).setEnabled(true);
  independenceRows_ = IndependenceTableRows(*animals_);
  control("datagridIO")
      .setGrid(Grid({IdColumnName(), "Count", "Schoener", "Swihart_Slade"}, independenceRows_));
  independenceBuilt_ = true;
}

void frmKDE::SaveIndependence() {
  if (!independenceBuilt_) {
    app_->ui().messageBox(kMsgIndependenceNotCalculated, "Error", host::MessageButtons::Ok,
                          host::MessageIcon::Exclamation);
    return;
  }
  const std::optional<std::filesystem::path> file =
      AskSaveFile("Save Data As...", "Comma delimited text files (*.csv)|*.csv", kMsgCsvNotSaved);
  if (!file) return;
  WriteRecorded(*file, host::OutputKind::Table, [&] {
    WriteWholeTextFile(*file, IndependenceCsvText(IdColumnName(), independenceRows_), "the table");
  });
}

}  // namespace orvex::ui
