#include "python/src/ud_estimate.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "host/environment.h"
#include "host/error.h"
#include "host/geometry_service.h"
#include "host/isopleths.h"
#include "host/raster.h"
#include "host/table.h"
#include "host/workspace.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/geometry_convert.h"
#include "platform/headless/headless_application.h"
#include "ui/gis/cls_hiso.h"
#include "ui/kde/kde_extent.h"

namespace orvex::python {

namespace fs = std::filesystem;

namespace {

void runMethod(ui::clsKernelCalculator& calculator, BandwidthMethod method) {
  switch (method) {
    case BandwidthMethod::Href:
      calculator.CalculateHREF();
      break;
    case BandwidthMethod::Lscv:
      calculator.CalculateLSCV();
      break;
    case BandwidthMethod::Bcv:
      calculator.CalculateBCV();
      break;
  }
}

// The reason `orvex kde` records for an animal whose bandwidth search failed.
[[noreturn]] void throwSearchFailed(const ui::clsKernelCalculator& calculator) {
  std::string reason = "the bandwidth search failed";
  if (!calculator.LastErrorDescription().empty()) reason += ": " + calculator.LastErrorDescription();
  throw host::Error(host::kFail, reason);
}

host::SpatialReferencePtr referenceOf(const std::string& wkt) {
  if (wkt.empty()) return nullptr;
  return platform::gdal::makeSpatialReferenceFactory()->fromWkt(wkt);
}

std::string wkbOf(const host::Polygon& polygon) {
  const platform::gdal::GeometryPtr geometry = platform::gdal::toOgr(polygon);
  if (!geometry) return {};
  std::string bytes(geometry->WkbSize(), '\0');
  geometry->exportToWkb(wkbNDR, reinterpret_cast<unsigned char*>(bytes.data()), wkbVariantIso);
  return bytes;
}

}  // namespace

BandwidthMethod parseBandwidthMethod(const std::string& text) {
  if (text == "href") return BandwidthMethod::Href;
  if (text == "lscv") return BandwidthMethod::Lscv;
  if (text == "bcv") return BandwidthMethod::Bcv;
  throw host::Error(host::kInvalidArgument, "Unknown bandwidth method '" + text + "': use href, lscv or bcv");
}

std::string messageLines(const std::string& text) {
  std::string lines = text;
  std::replace(lines.begin(), lines.end(), '\r', '\n');
  while (!lines.empty() && lines.back() == '\n') lines.pop_back();
  return lines;
}

BandwidthChoice chooseBandwidth(std::span<const CoordPair> fixes, BandwidthMethod method, bool rescale,
                                unsigned threads, bool exact) {
  ui::clsKernelCalculator calculator;
  calculator.SetWorkerThreads(threads);
  calculator.SetExactPairSums(exact);
  calculator.SetEnforceUnitVariance(rescale);
  calculator.SetInputCoords(fixes);
  runMethod(calculator, method);
  if (calculator.lErrorStatus != 0) throwSearchFailed(calculator);
  BandwidthChoice choice{.h = calculator.GetScaledBandwidth(),
                         .href = calculator.GetHREF(),
                         .minimised = calculator.LSCVMinimized,
                         .hs = {},
                         .scores = {},
                         .warnings = messageLines(calculator.WarningMessages())};
  if (const auto profile = calculator.GetLSCVProfile()) {
    // Readers skip the columns the scan left at h = 0.
    for (std::size_t k = 0; k < profile->h.size(); ++k) {
      if (profile->h[k] == 0.0) continue;
      choice.hs.push_back(profile->h[k]);
      choice.scores.push_back(profile->score[k]);
    }
  }
  return choice;
}

UdGrid::UdGrid(std::span<const CoordPair> fixes, const KdeRequest& request)
    : workspaces_(std::make_unique<platform::gdal::GdalWorkspaceFactory>(
          platform::gdal::GdalWorkspaceFactory::AccessOpener{}, request.threads)),
      scaling_(request.scaling) {
  calculator_ = std::make_unique<ui::clsKernelCalculator>(nullptr, workspaces_.get());
  ui::clsKernelCalculator& calc = *calculator_;
  // The order of `orvex kde`: options, the fixes, the bandwidth, then the grid around it.
  calc.SetWorkerThreads(request.threads);
  calc.SetEnforceUnitVariance(request.rescale);
  calc.SetFixedKernel(request.fixedKernel);
  calc.SetScalingFactor(request.scaling);
  calc.SetInputCoords(fixes);
  calc.SetKernelType(ui::KernelType::kernel_Guassian);
  if (request.method) {
    runMethod(calc, *request.method);
    if (calc.lErrorStatus == ui::clsKernelCalculator::kBandwidthSearchFailed) throwSearchFailed(calc);
  } else {
    calc.SetManualBandwidth(request.manualH);
  }
  const double h = calc.GetScaledBandwidth();
  calc.SetLimitRadius(ui::kLimitRadiusBandwidths * h);
  calc.SetCellSize(request.cellSize);
  const double cell = calc.GetCellSize();
  if (!(cell > 0.0)) throw host::Error(host::error_number::kDivisionByZero, "Division by zero");
  ui::KdeGrid grid;
  if (request.extent) {
    const auto& [xmin, ymin, xmax, ymax] = *request.extent;
    grid = {.columns = ui::GridCount(std::nearbyint((xmax - xmin) / cell)),
            .rows = ui::GridCount(std::nearbyint((ymax - ymin) / cell)),
            .originX = xmin,
            .originY = ymin};
  } else if (request.buffer) {
    host::Envelope box{.xmin = fixes[0][0], .ymin = fixes[0][1], .xmax = fixes[0][0], .ymax = fixes[0][1]};
    for (const CoordPair& p : fixes) {
      box.xmin = std::min(box.xmin, p[0]);
      box.xmax = std::max(box.xmax, p[0]);
      box.ymin = std::min(box.ymin, p[1]);
      box.ymax = std::max(box.ymax, p[1]);
    }
    const auto full = ui::FullExtentGrid(box, *request.buffer, cell, ui::clsKernelCalculator::kMaxCells);
    if (!full) {
      throw host::Error(host::kInvalidArgument,
                        "Output raster is too large (> 50 million cells). Kernel could not be calculated. "
                        "Please increase the output cell size.");
    }
    grid = *full;
  } else {
    grid = ui::AnimalExtentGrid(std::vector<CoordPair>(fixes.begin(), fixes.end()), h, cell);
  }
  calc.SetColumns(grid.columns);
  calc.SetRows(grid.rows);
  calc.SetOriginCoords(grid.originX, grid.originY);
  calc.CalculateKernel();
  warnings_ = messageLines(calc.WarningMessages());
  if (calc.lErrorStatus != 0 || calc.GetKernel() == nullptr) {
    std::string reason = warnings_;
    if (reason.empty()) {
      reason = calc.LastErrorDescription().empty() ? "no kernel was computed"
                                                   : "no kernel was computed: " + calc.LastErrorDescription();
      reason += " (status " + std::to_string(calc.lErrorStatus) + ")";
    }
    throw host::Error(host::kFail, reason);
  }
}

UdGrid::~UdGrid() = default;

std::array<double, 6> UdGrid::geotransform() const {
  const double cell = calculator_->GetCellSize();
  const double top = calculator_->GetOriginY() + static_cast<double>(rows()) * cell;
  return {calculator_->GetOriginX(), cell, 0.0, top, 0.0, -cell};
}

void UdGrid::copyDensities(std::span<double> out) const {
  const auto cells = calculator_->GetKernel()->Values();
  std::transform(cells.begin(), cells.end(), out.begin(), [this](double v) { return v / scaling_; });
}

void UdGrid::writeGeoTiff(const std::string& path, const std::string& crsWkt) {
  const fs::path file = fs::absolute(path);
  if (file.extension() != ".tif") {
    throw host::Error(host::kInvalidArgument, "The raster '" + path + "' must be a GeoTIFF ending in .tif");
  }
  std::error_code error;
  fs::remove(file, error);
  ui::clsKernelCalculator& calc = *calculator_;
  if (!calc.WriteKernelToRaster(file.parent_path().string(), file.stem().string(), referenceOf(crsWkt))) {
    throw host::Error(host::kFail, "The raster '" + path + "' was not written");
  }
}

std::vector<Isopleth> UdGrid::isopleths(const std::vector<double>& percents, const std::string& crsWkt) {
  const host::ScratchFolder scratch("orvex-iso-");
  std::ostringstream messages;
  platform::headless::HeadlessApplication application({.messages = &messages});
  ui::clsKernelCalculator& calc = *calculator_;
  std::shared_ptr<host::RasterDataset> raster =
      calc.WriteKernelToRaster(scratch.path().string(), "ud", referenceOf(crsWkt));
  if (!raster) throw host::Error(host::kFail, "The UD raster could not be written for its isopleths");
  std::vector<double> ascending = percents;
  std::sort(ascending.begin(), ascending.end());
  ascending.erase(std::unique(ascending.begin(), ascending.end()), ascending.end());

  std::vector<Isopleth> found;
  {
    ui::clsHISO maker(application);
    const host::IsoplethResult result = maker.makeIsopleths(application, {.raster = std::move(raster),
                                                                          .percentages = ascending,
                                                                          .lines = false,
                                                                          .polygons = true,
                                                                          .donuts = false,
                                                                          .folder = scratch.path(),
                                                                          .name = "ud_iso"});
    if (result.status != 0 || !result.polygons || !maker.GetTrappedError().empty()) {
      std::string reason = messageLines(messages.str());
      if (reason.empty()) reason = "the isopleths failed (status " + std::to_string(result.status) + ")";
      throw host::Error(host::kFail, reason);
    }
    const int percentField = result.polygons->findField("PERCENT");
    const std::unique_ptr<host::Cursor> rows = result.polygons->search();
    while (std::optional<host::Row> row = rows->next()) {
      const host::Polygon* polygon = row->shape().polygon();
      found.push_back({.percent = row->value(percentField).toDouble(),
                       .area = application.geometry().area(row->shape()),
                       .wkb = polygon != nullptr ? wkbOf(*polygon) : std::string{}});
    }
  }
  application.closeOpenFiles();
  std::vector<Isopleth> ordered;
  for (double p : percents) {
    const auto match =
        std::find_if(found.begin(), found.end(), [p](const Isopleth& i) { return i.percent == p; });
    ordered.push_back(match != found.end() ? *match : Isopleth{.percent = p, .area = 0.0, .wkb = {}});
  }
  return ordered;
}

}  // namespace orvex::python
