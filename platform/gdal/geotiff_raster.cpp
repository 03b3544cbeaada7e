#include "platform/gdal/geotiff_raster.h"

#include <ogrsf_frmts.h>
#include <unistd.h>

#include <array>
#include <map>
#include <system_error>

#include "host/error.h"
#include "host/text.h"
#include "numeric/fixed_chunks.h"
#include "platform/gdal/contour_lines.h"
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

/// What a closed file looked like. Whatever this process keeps of a raster it closed holds
/// only while the file keeps the size and modification time it had then, so any later write, by
/// whatever means, voids it.
struct FileStamp {
  std::uintmax_t size = 0;
  fs::file_time_type modified;
  bool operator==(const FileStamp&) const = default;
};

/// Nothing when the file cannot be looked at (no throwing: this runs in destructors).
std::optional<FileStamp> stampOf(const fs::path& path) {
  std::error_code sizeError;
  std::error_code timeError;
  const auto size = fs::file_size(path, sizeError);
  const auto modified = fs::last_write_time(path, timeError);
  if (sizeError || timeError) return std::nullopt;
  return FileStamp{size, modified};
}

/// The statistics of a raster this process wrote or read and then closed. The KDE tool writes
/// a raster, closes it and opens it again for its isopleths; with these the second open need
/// not read every cell again.
struct ClosedStatistics {
  FileStamp stamp;
  BandStatistics values;
  std::string validPercent;
};

std::mutex closedMutex;
std::map<fs::path, ClosedStatistics> closedStatistics;

fs::path statisticsKey(const fs::path& path) {
  std::error_code error;  // no throwing here: this runs in a destructor
  const fs::path absolute = fs::absolute(path, error);
  return (error ? path : absolute).lexically_normal();
}

void forgetStatistics(const fs::path& path) {
  std::lock_guard lock(closedMutex);
  closedStatistics.erase(statisticsKey(path));
}

/// Called once the file is closed: keeps its statistics if it has current ones.
void rememberStatistics(const RasterFile& file) {
  const auto stamp = stampOf(file.path);
  if (!file.statistics || file.writeFailed || !stamp) {
    forgetStatistics(file.path);
    return;
  }
  std::lock_guard lock(closedMutex);
  closedStatistics[statisticsKey(file.path)] = {*stamp, *file.statistics, file.statisticsValidPercent};
}

std::optional<ClosedStatistics> recallStatistics(const fs::path& path) {
  std::lock_guard lock(closedMutex);
  const auto found = closedStatistics.find(statisticsKey(path));
  if (found == closedStatistics.end()) return std::nullopt;
  if (stampOf(path) != found->second.stamp) {
    closedStatistics.erase(found);
    return std::nullopt;
  }
  return found->second;
}

/// The cells of the raster closed last, while its file stays as it was. One raster only: the
/// KDE tool reopens each raster right after writing it when it runs one animal, and a longer
/// run should not hold every raster it wrote.
struct ClosedCells {
  fs::path key;
  FileStamp stamp;
  std::shared_ptr<ResidentCells> cells;
};

std::mutex closedCellsMutex;
ClosedCells closedCells;

void rememberCells(const RasterFile& file) {
  const auto stamp = stampOf(file.path);
  std::lock_guard lock(closedCellsMutex);
  const fs::path key = statisticsKey(file.path);
  if (file.completeCells() != nullptr && !file.writeFailed && stamp) {
    // Settled before they are shared: later opens only read them, from any thread.
    (void)file.cells->statistics();
    closedCells = {key, *stamp, file.cells};
  } else if (closedCells.key == key) {
    closedCells = {};
  }
}

void forgetCells(const fs::path& path) {
  std::lock_guard lock(closedCellsMutex);
  if (closedCells.key == statisticsKey(path)) closedCells = {};
}

std::shared_ptr<ResidentCells> recallCells(const fs::path& path) {
  std::lock_guard lock(closedCellsMutex);
  if (!closedCells.cells || closedCells.key != statisticsKey(path)) return nullptr;
  if (stampOf(path) != closedCells.stamp) {
    closedCells = {};
    return nullptr;
  }
  return closedCells.cells;
}

/// Keeps the rows just written in the resident copy, or drops the copy when they do not
/// continue it.
void followWrite(RasterFile& file, int firstRow, int rowCount, std::span<const float> values) {
  ResidentCells* cells = file.cells.get();
  if (cells == nullptr) return;
  if (firstRow != cells->rowsWritten || cells->values.size() == 0) {
    file.cells.reset();
    return;
  }
  cells->append(values, rowCount);
}

std::shared_ptr<RasterFile> openFile(const fs::path& tif, std::shared_ptr<FailedWriteSink> failedWrites) {
  auto file = std::make_shared<RasterFile>();
  file->path = tif;
  file->failedWrites = std::move(failedWrites);
  file->readOnly = ::access(tif.c_str(), W_OK) != 0;
  file->dataset = gdal::openRaster(tif, !file->readOnly);
  file->cells = recallCells(tif);
  return file;
}

}  // namespace

void ResidentCells::append(std::span<const float> newRows, int rowCount) {
  std::copy(newRows.begin(), newRows.end(),
            values.data() + static_cast<std::size_t>(rowsWritten) * static_cast<std::size_t>(width));
  const std::span<const float> added = rows(rowsWritten, rowCount);
  rowsWritten += rowCount;
  // The running statistics chain every cell to the one before, so they cannot be split; they
  // can run beside the writing, one block behind it.
  if (pending_.valid()) pending_.get();
  if (numeric::worker_threads(0) > 1) {
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
  rememberStatistics(*this);
  rememberCells(*this);
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
  forgetStatistics(file_->path);
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
    // Statistics known without a pass: stored on the band as GDAL's own pass would leave them.
    const auto adopt = [&](const BandStatistics& values, const std::string& validPercent) {
      band().SetStatistics(values.minimum, values.maximum, values.mean, values.standardDeviation);
      if (!validPercent.empty()) band().SetMetadataItem(kValidPercentItem, validPercent.c_str());
      file_->statistics = values;
      file_->statisticsValidPercent = validPercent;
    };
    if (const auto known = recallStatistics(file_->path)) {
      adopt(known->values, known->validPercent);
    } else if (const auto fromCells =
                   file_->completeCells() != nullptr ? file_->cells->statistics() : std::nullopt) {
      adopt(*fromCells, kAllCellsValid);  // from the cells just written instead of the file
    } else {
      file_->statistics = gdal::computeStatistics(band());
      const char* validPercent = band().GetMetadataItem(kValidPercentItem);
      file_->statisticsValidPercent = validPercent != nullptr ? validPercent : "";
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
      contourBand(band(), levels, range, cells != nullptr ? cells->values.span() : std::span<const float>());
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

double GeoTiffRasterDataset::cellSizeY() const { return gridOf(*file_->dataset).cellSize; }

host::Envelope GeoTiffRasterDataset::extent() const {
  const GridGeometry g = gridOf(*file_->dataset);
  return {g.originX, g.originY, g.originX + g.columns * g.cellSize, g.topY()};
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
                                               std::shared_ptr<FailedWriteSink> failedWrites)
    : folder_(std::move(folder)),
      unreferencedData_(unreferencedData),
      failedWrites_(std::move(failedWrites)) {
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
  try {
    file->dataset = createFloatGeoTiff(
        *tif, {raster.originX, raster.originY, raster.cellSize, raster.rows, raster.columns}, srs.get());
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
  return std::make_shared<GeoTiffRasterDataset>(openFile(*tifPathOf(name), failedWrites_));
}

void GeoTiffRasterWorkspace::deleteRaster(std::string_view name) {
  if (!exists(name)) {
    throw host::Error(host::kNotFound,
                      "no raster \"" + std::string(name) + "\" in \"" + folder_.string() + "\"");
  }
  forgetStatistics(*tifPathOf(name));
  forgetCells(*tifPathOf(name));
  gdal::deleteRaster(*tifPathOf(name));
}

}  // namespace orvex::platform::gdal
