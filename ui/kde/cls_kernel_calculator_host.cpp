// The pieces of clsKernelCalculator that reach the host: error message boxes, the reference
// raster and the output raster.

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/layer.h"
#include "host/raster.h"
#include "host/text.h"
#include "host/ui_services.h"
#include "host/workspace.h"
#include "numeric/zeroed_buffer.h"
#include "ui/kde/cls_kernel_calculator.h"

namespace orvex::ui {

namespace {

// Rows converted to 32-bit floats and written per call, which bounds the conversion buffer
// (a 50,000,000-cell grid would otherwise need a second 200 MB copy).
constexpr int kRowsPerWrite = 256;

}  // namespace

void clsKernelCalculator::ShowError(const char* procedure, const std::string& description) {
  lastError_ = description;
  if (ui_ == nullptr) return;
  ui_->messageBox(std::string(procedure) + ": " + std::to_string(lErrorStatus) + '\r' + description, "Error",
                  host::MessageButtons::Ok, host::MessageIcon::Critical);
}

void clsKernelCalculator::ShowLocalFactorError(const LocalFactorError& error) {
  if (ui_ == nullptr) return;
  ui_->messageBox("Local smooth error: " + std::to_string(lErrorStatus) + ", " +
                  std::to_string(error.Outer()) + ", " + std::to_string(error.Inner()) + ", " +
                  host::numberText(error.LogSum()) + ", " + host::numberText(bandwidth_));
}

void clsKernelCalculator::SetReferenceRaster(const std::shared_ptr<host::RasterLayer>& pRL) {
  if (!pRL) {
    lErrorStatus = kNoReferenceLayer;
    return;
  }
  const std::shared_ptr<host::RasterDataset> raster = pRL->raster();
  if (!raster) {
    throw host::Error(host::error_number::kObjectNotSet,
                      "The reference layer '" + pRL->name() + "' has no raster data source");
  }
  SetCellSize(raster->cellSizeX());
  SetColumns(raster->columns());
  SetRows(raster->rows());
  const host::Envelope extent = raster->extent();
  SetOriginCoords(extent.xmin, extent.ymin);
}

std::shared_ptr<host::RasterDataset> clsKernelCalculator::WriteKernelToRaster(
    const std::string& sFolder, const std::string& sName, std::shared_ptr<const host::SpatialReference> pSR) {
  if (!calculated_ || lErrorStatus != 0) return nullptr;
  if (workspaces_ == nullptr) {
    throw host::Error(host::error_number::kObjectNotSet,
                      "No raster workspace service to write '" + sName + "'");
  }
  // A Float32 cell holds at most FLT_MAX: a scaling that carries a density past it would write
  // +Inf cells, which no volume or isopleth can be read from. Refused before any file exists.
  const auto values = grid_.Values();
  const auto largest = std::find_if(values.begin(), values.end(), [](double v) {
    return !(std::abs(v) <= static_cast<double>(std::numeric_limits<float>::max()));
  });
  if (largest != values.end()) {
    throw host::Error(host::error_number::kOverflow,
                      "The scaled density of '" + sName + "' (" + host::numberText(*largest) +
                          ") exceeds the largest value a raster cell holds; use a smaller scaling factor");
  }
  const std::shared_ptr<host::RasterWorkspace> workspace = workspaces_->openRasterWorkspace(sFolder);
  host::RasterSpec layout;
  layout.name = sName;
  layout.originX = originX_;
  layout.originY = originY_;
  layout.cellSize = static_cast<double>(cellSize_);
  layout.rows = rows_;
  layout.columns = columns_;
  layout.spatialReference = std::move(pSR);
  layout.densityScaling = scalingFactor_;
  std::shared_ptr<host::RasterDataset> dataset = workspace->createRaster(layout);
  const std::shared_ptr<host::RasterBand> band = dataset->band(0);

  // Row 0 of the grid is the top row of the raster, as in the band.
  const auto width = static_cast<std::size_t>(columns_);
  numeric::ZeroedArray<float> block(width * static_cast<std::size_t>(std::min(kRowsPerWrite, rows_)));
  for (int first = 0; first < rows_; first += kRowsPerWrite) {
    const int count = std::min(kRowsPerWrite, rows_ - first);
    const std::span<float> rows = block.span().first(width * static_cast<std::size_t>(count));
    const auto cells = grid_.Values().subspan(static_cast<std::size_t>(first) * width, rows.size());
    std::transform(cells.begin(), cells.end(), rows.begin(), [](double v) { return static_cast<float>(v); });
    band->writeRows(first, count, rows);
  }
  band->computeStatistics();
  return dataset;
}

}  // namespace orvex::ui
