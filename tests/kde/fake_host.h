#pragma once
// In-memory stand-ins for the host services the kernel calculator uses: message boxes that
// are recorded, and a raster workspace whose rasters keep their cells in memory.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/layer.h"
#include "host/raster.h"
#include "host/ui_services.h"
#include "host/workspace.h"

namespace orvex::ui::test {

class RecordingUi : public host::UiServices {
 public:
  std::vector<host::Message> shown;

  host::MessageAnswer show(const host::Message& message) override {
    shown.push_back(message);
    return host::MessageAnswer::Ok;
  }
  std::optional<std::filesystem::path> saveFile(const host::FileDialogOptions&) override {
    return std::nullopt;
  }
  std::vector<std::filesystem::path> openFiles(const host::FileDialogOptions&) override { return {}; }
  std::optional<std::filesystem::path> browseFolder(const host::FolderDialogOptions&) override {
    return std::nullopt;
  }
  int showModal(host::Form&) override { return 0; }
  void showModeless(host::Form&) override {}
  void hide(host::Form&) override {}
  void processPendingEvents() override {}
};

class MemoryBand : public host::RasterBand {
 public:
  // Cells are allocated at the first write, so that a large reference raster costs nothing.
  MemoryBand(int columns, int rows) : columns_(columns), rows_(rows) {}
  int width() const override { return columns_; }
  int height() const override { return rows_; }
  void readRows(int firstRow, int rowCount, std::span<float> out) const override {
    std::copy_n(cells.begin() + static_cast<std::ptrdiff_t>(firstRow) * columns_,
                static_cast<std::ptrdiff_t>(rowCount) * columns_, out.begin());
  }
  void writeRows(int firstRow, int rowCount, std::span<const float> values) override {
    if (firstRow < 0 || rowCount < 0 || firstRow + rowCount > rows_ ||
        values.size() != static_cast<std::size_t>(rowCount * columns_)) {
      throw host::Error(host::kInvalidArgument, "bad row range");
    }
    cells.resize(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_));
    std::copy(values.begin(), values.end(), cells.begin() + static_cast<std::ptrdiff_t>(firstRow) * columns_);
    ++writes;
  }
  host::RasterStatistics computeStatistics() override {
    ++statisticsRuns;
    return {};
  }
  std::vector<host::ContourLine> contour(std::span<const double>) const override { return {}; }

  std::vector<float> cells;
  int writes = 0;
  int statisticsRuns = 0;

 private:
  int columns_;
  int rows_;
};

class MemoryRaster : public host::RasterDataset {
 public:
  explicit MemoryRaster(host::RasterSpec rasterSpec)
      : spec(std::move(rasterSpec)), memoryBand(std::make_shared<MemoryBand>(spec.columns, spec.rows)) {}
  std::string name() const override { return spec.name; }
  std::filesystem::path path() const override { return spec.name + ".tif"; }
  int columns() const override { return spec.columns; }
  int rows() const override { return spec.rows; }
  double cellSizeX() const override { return spec.cellSize; }
  double cellSizeY() const override { return spec.cellSize; }
  host::Envelope extent() const override {
    return {spec.originX, spec.originY, spec.originX + spec.columns * spec.cellSize,
            spec.originY + spec.rows * spec.cellSize};
  }
  host::SpatialReferencePtr spatialReference() const override { return spec.spatialReference; }
  int bandCount() const override { return 1; }
  std::shared_ptr<host::RasterBand> band(int index) override {
    if (index != 0) throw host::Error(host::kInvalidArgument, "no such band");
    return memoryBand;
  }

  host::RasterSpec spec;
  std::shared_ptr<MemoryBand> memoryBand;
};

class MemoryRasterWorkspace : public host::RasterWorkspace {
 public:
  std::filesystem::path folder;
  std::map<std::string, std::shared_ptr<MemoryRaster>> rasters;

  std::filesystem::path path() const override { return folder; }
  bool exists(std::string_view name) const override { return rasters.count(std::string(name)) != 0; }
  std::shared_ptr<host::RasterDataset> createRaster(const host::RasterSpec& spec) override {
    if (exists(spec.name)) throw host::Error(host::kAlreadyExists, "raster exists");
    auto raster = std::make_shared<MemoryRaster>(spec);
    rasters[spec.name] = raster;
    return raster;
  }
  std::shared_ptr<host::RasterDataset> openRaster(std::string_view name) override {
    const auto it = rasters.find(std::string(name));
    return it == rasters.end() ? nullptr : it->second;
  }
  void deleteRaster(std::string_view name) override { rasters.erase(std::string(name)); }
};

/// Opens the same in-memory raster workspace for every folder and records the folders.
class MemoryWorkspaces : public host::WorkspaceFactory {
 public:
  std::shared_ptr<MemoryRasterWorkspace> rasterWorkspace = std::make_shared<MemoryRasterWorkspace>();
  std::vector<std::filesystem::path> opened;

  std::shared_ptr<host::Workspace> openShapefileWorkspace(const std::filesystem::path&) override {
    throw host::Error(host::kNotImplemented, "not in this fake");
  }
  std::shared_ptr<host::Workspace> openAccessWorkspace(const std::filesystem::path&) override {
    throw host::Error(host::kNotImplemented, "not in this fake");
  }
  std::shared_ptr<host::RasterWorkspace> openRasterWorkspace(const std::filesystem::path& folder) override {
    opened.push_back(folder);
    rasterWorkspace->folder = folder;
    return rasterWorkspace;
  }
};

class MemoryRasterLayer : public host::RasterLayer {
 public:
  explicit MemoryRasterLayer(std::shared_ptr<host::RasterDataset> raster) : raster_(std::move(raster)) {}
  std::string name() const override { return "reference"; }
  void setName(std::string) override {}
  bool visible() const override { return true; }
  host::SpatialReferencePtr spatialReference() const override { return nullptr; }
  std::shared_ptr<host::RasterDataset> raster() const override { return raster_; }

 private:
  std::shared_ptr<host::RasterDataset> raster_;
};

}  // namespace orvex::ui::test
