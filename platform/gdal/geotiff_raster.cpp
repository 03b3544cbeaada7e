#include "platform/gdal/geotiff_raster.h"

#include <ogrsf_frmts.h>
#include <unistd.h>

#include <array>
#include <system_error>

#include "host/error.h"
#include "host/text.h"
#include "numeric/fixed_chunks.h"
#include "platform/gdal/contour_lines.h"
#include "platform/gdal/density_raster.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/geometry_convert.h"
#include "platform/gdal/ogr_spatial_reference.h"
#include "platform/gdal/raster_grid.h"

namespace orvex::platform::gdal {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTifExtension = ".tif";

constexpr const char* kValidPercentItem = "STATISTICS_VALID_PERCENT";
/// The item's text when no cell is NaN, as GDAL prints 100 % ("%.4g").
constexpr const char* kAllCellsValid = "100";

/// Keeps the rows just written in the resident copy, or drops the copy when they do not
/// continue it.
void followWrite(RasterFile& file, int firstRow, int rowCount, std::span<const float> values) {
  ResidentCells* cells = file.cells.get();
  if (cells == nullptr) return;
  if (firstRow != cells->rowsWritten || cells->values.size() == 0) {
    file.cells.reset();
    return;
  }
  cells->append(values, rowCount, file.threads);
}

std::shared_ptr<RasterFile> openFile(const fs::path& tif, std::shared_ptr<FailedWriteSink> failedWrites,
                                     unsigned threads) {
  auto file = std::make_shared<RasterFile>();
  file->path = tif;
  file->failedWrites = std::move(failedWrites);
  file->threads = threads;
  file->readOnly = ::access(tif.c_str(), W_OK) != 0;
  file->dataset = gdal::openRaster(tif, !file->readOnly);
  return file;
}

}  // namespace

void ResidentCells::append(std::span<const float> newRows, int rowCount, unsigned threads) {
  std::copy(newRows.begin(), newRows.end(),
            values.data() + static_cast<std::size_t>(rowsWritten) * static_cast<std::size_t>(width));
  const std::span<const float> added = rows(rowsWritten, rowCount);
  rowsWritten += rowCount;
  // The running statistics chain every cell to the one before, so they cannot be split; they
  // can run beside the writing, one block behind it.
  if (pending_.valid()) pending_.get();
  if (numeric::worker_threads(threads) > 1) {
    try {
      pending_ = std::async(std::launch::async, [this, added] { running_.add(added); });
      return;
    } catch (const std::system_error&) {
      // No thread to be had: the statistics are taken here instead.
    }
  }
  running_.add(added);
}

std::optional<BandStatistics> ResidentCells::statistics() {
  if (pending_.valid()) pending_.get();
  return running_.result();
}

RasterFile::~RasterFile() {
  if (!dataset) return;
  ErrorCollector errors;
  dataset.reset();
  if (errors.failed() && !readOnly) writeFailed = true;
  if (!writeFailed) return;
  std::string what = "writing \"" + path.string() + "\" failed";
  if (const std::string reason = errors.text(); !reason.empty()) what += ": " + reason;
  if (created) {
    std::error_code ignored;
    fs::remove(path, ignored);
    fs::remove(path.string() + ".aux.xml", ignored);
    what += "; the incomplete file was removed";
  }
  reportFailedWrite(failedWrites, path, what);
}

GeoTiffRasterBand::GeoTiffRasterBand(std::shared_ptr<RasterFile> file) : file_(std::move(file)) {}

GDALRasterBand& GeoTiffRasterBand::band() const { return *file_->dataset->GetRasterBand(1); }

int GeoTiffRasterBand::width() const { return file_->dataset->GetRasterXSize(); }

int GeoTiffRasterBand::height() const { return file_->dataset->GetRasterYSize(); }

void GeoTiffRasterBand::readRows(int firstRow, int rowCount, std::span<float> out) const {
  std::lock_guard lock(file_->mutex);
  const ResidentCells* cells = file_->completeCells();
  if (cells == nullptr || firstRow < 0 || rowCount <= 0 || firstRow > cells->height - rowCount ||
      out.size() != static_cast<std::size_t>(rowCount) * static_cast<std::size_t>(cells->width)) {
    readBlock(band(), 0, firstRow, width(), rowCount, out);  // also the one place that reports bad ranges
    return;
  }
  const std::span<const float> rows = cells->rows(firstRow, rowCount);
  std::copy(rows.begin(), rows.end(), out.begin());
}

void GeoTiffRasterBand::writeRows(int firstRow, int rowCount, std::span<const float> values) {
  std::lock_guard lock(file_->mutex);
  if (file_->readOnly) {
    throw host::Error(host::kAccessDenied, "raster \"" + file_->path.string() + "\" is read-only");
  }
  file_->statistics.reset();
  ErrorCollector errors;
  try {
    gdal::writeRows(band(), firstRow, rowCount, values);
  } catch (const host::Error&) {
    file_->writeFailed = true;
    file_->cells.reset();
    throw;
  }
  followWrite(*file_, firstRow, rowCount, values);
  file_->dataset->FlushCache(false);
  if (errors.failed()) {
    file_->writeFailed = true;
    failWithGdal("cannot write \"" + file_->path.string() + "\"", &errors);
  }
}

host::RasterStatistics GeoTiffRasterBand::computeStatistics() {
  std::lock_guard lock(file_->mutex);
  if (!file_->statistics) {
    if (const auto fromCells =
            file_->completeCells() != nullptr ? file_->cells->statistics() : std::nullopt) {
      // From the cells just written instead of the file, stored on the band as GDAL's own pass
      // would leave them.
      band().SetStatistics(fromCells->minimum, fromCells->maximum, fromCells->mean,
                           fromCells->standardDeviation);
      band().SetMetadataItem(kValidPercentItem, kAllCellsValid);
      file_->statistics = fromCells;
    } else {
      file_->statistics = gdal::computeStatistics(band());
    }
  }
  const BandStatistics& s = *file_->statistics;
  return {s.minimum, s.maximum, s.mean, s.standardDeviation};
}

std::vector<host::ContourLine> GeoTiffRasterBand::contour(std::span<const double> levels) const {
  std::lock_guard lock(file_->mutex);
  std::optional<std::array<double, 2>> range;
  if (file_->statistics) range = std::array{file_->statistics->minimum, file_->statistics->maximum};
  const ResidentCells* cells = file_->completeCells();
  DatasetPtr lines =
      contourBand(band(), levels, range, cells != nullptr ? cells->values.span() : std::span<const float>(),
                  file_->threads);
  OGRLayer* layer = lines->GetLayerByName(kContourLayer);
  const int valueField = layer->GetLayerDefn()->GetFieldIndex(kContourField);
  std::vector<host::ContourLine> out;
  layer->ResetReading();
  while (FeaturePtr f{layer->GetNextFeature()}) {
    const OGRGeometry* g = f->GetGeometryRef();
    if (g == nullptr) continue;
    out.push_back({polylineFromOgr(*g), f->GetFieldAsDouble(valueField)});
  }
  return out;
}

GeoTiffRasterDataset::GeoTiffRasterDataset(std::shared_ptr<RasterFile> file)
    : file_(std::move(file)), spatialReference_(fromOgrSrs(file_->dataset->GetSpatialRef())) {}

std::string GeoTiffRasterDataset::name() const { return file_->path.stem().string(); }

int GeoTiffRasterDataset::columns() const { return file_->dataset->GetRasterXSize(); }

int GeoTiffRasterDataset::rows() const { return file_->dataset->GetRasterYSize(); }

double GeoTiffRasterDataset::cellSizeX() const { return gridOf(*file_->dataset).cellSize; }

host::Envelope GeoTiffRasterDataset::extent() const {
  const host::RasterSpec g = gridOf(*file_->dataset);
  return {g.originX, g.originY, g.originX + g.columns * g.cellSize, g.originY + g.rows * g.cellSize};
}

std::vector<double> GeoTiffRasterDataset::readDensity() {
  const std::lock_guard<std::mutex> lock(file_->mutex);
  return readDensityRaster(*file_->dataset, file_->path).values;
}

int GeoTiffRasterDataset::bandCount() const { return file_->dataset->GetRasterCount(); }

std::shared_ptr<host::RasterBand> GeoTiffRasterDataset::band(int index) {
  if (index < 0 || index >= bandCount()) {
    throw host::Error(host::kInvalidArgument,
                      "raster \"" + file_->path.string() + "\" has no band " + std::to_string(index));
  }
  return std::make_shared<GeoTiffRasterBand>(file_);
}

GeoTiffRasterWorkspace::GeoTiffRasterWorkspace(fs::path folder, bool unreferencedData,
                                               std::shared_ptr<FailedWriteSink> failedWrites,
                                               unsigned threads)
    : folder_(std::move(folder)),
      unreferencedData_(unreferencedData),
      failedWrites_(std::move(failedWrites)),
      threads_(threads) {
  std::error_code ec;
  if (!fs::is_directory(folder_, ec)) {
    throw host::Error(host::kPathNotFound,
                      "cannot open raster folder \"" + folder_.string() + "\": no such folder");
  }
}

std::optional<fs::path> GeoTiffRasterWorkspace::tifPathOf(std::string_view name) const {
  std::string stem(name);
  if (stem.size() >= kTifExtension.size() &&
      host::iequals(std::string_view(stem).substr(stem.size() - kTifExtension.size()), kTifExtension)) {
    stem.resize(stem.size() - kTifExtension.size());
  }
  if (stem.empty() || stem == "." || stem == ".." || stem.find('/') != std::string::npos ||
      stem.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  return folder_ / (stem + std::string(kTifExtension));
}

bool GeoTiffRasterWorkspace::exists(std::string_view name) const {
  const auto tif = tifPathOf(name);
  std::error_code ec;
  return tif && fs::is_regular_file(*tif, ec);
}

std::shared_ptr<host::RasterDataset> GeoTiffRasterWorkspace::createRaster(const host::RasterSpec& raster) {
  const auto tif = tifPathOf(raster.name);
  if (!tif) throw host::Error(host::kInvalidArgument, "\"" + raster.name + "\" is not a raster name");
  if (exists(raster.name))
    throw host::Error(host::kAlreadyExists, "raster \"" + tif->string() + "\" already exists");
  SpatialRefPtr srs = toOgrSrs(outputReference(raster.spatialReference, unreferencedData_).get());
  auto file = std::make_shared<RasterFile>();
  file->path = *tif;
  file->created = true;
  file->failedWrites = failedWrites_;
  file->threads = threads_;
  try {
    file->dataset = createFloatGeoTiff(*tif, raster, srs.get());
  } catch (const host::Error&) {
    std::error_code ignored;
    fs::remove(*tif, ignored);
    throw;
  }
  // Fresh pages: the copy costs nothing until rows are written into it. Without the memory
  // for it the raster is simply read back from its file.
  try {
    auto cells = std::make_shared<ResidentCells>();
    cells->values = numeric::ZeroedArray<float>(static_cast<std::size_t>(raster.columns) *
                                                static_cast<std::size_t>(raster.rows));
    cells->width = raster.columns;
    cells->height = raster.rows;
    file->cells = std::move(cells);
  } catch (const std::bad_alloc&) {
  }
  return std::make_shared<GeoTiffRasterDataset>(std::move(file));
}

std::shared_ptr<host::RasterDataset> GeoTiffRasterWorkspace::openRaster(std::string_view name) {
  if (!exists(name)) return nullptr;
  return std::make_shared<GeoTiffRasterDataset>(openFile(*tifPathOf(name), failedWrites_, threads_));
}

void GeoTiffRasterWorkspace::deleteRaster(std::string_view name) {
  if (!exists(name)) {
    throw host::Error(host::kNotFound,
                      "no raster \"" + std::string(name) + "\" in \"" + folder_.string() + "\"");
  }
  gdal::deleteRaster(*tifPathOf(name));
}

}  // namespace orvex::platform::gdal
