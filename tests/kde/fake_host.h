#pragma once
// In-memory stand-ins for the host services the kernel calculator uses: message boxes that
// are recorded, and raster workspaces whose rasters keep their cells in memory.

#include <algorithm>
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
  std::optional<std::filesystem::path> saveFile(const host::FileDialogOptions&) override { return {}; }
  std::vector<std::filesystem::path> openFiles(const host::FileDialogOptions&) override { return {}; }
  std::optional<std::filesystem::path> browseFolder(const host::FolderDialogOptions&) override { return {}; }
  int showModal(host::Form&) override { return 0; }
  void showModeless(host::Form&) override {}
  void hide(host::Form&) override {}
  void processPendingEvents() override {}
};

/// A raster whose band keeps its cells (allocated at the first write, so that a large
/// reference raster costs nothing) and counts statistics runs.
class MemoryRaster : public host::RasterDataset, public host::RasterBand {
 public:
  explicit MemoryRaster(host::RasterSpec rasterLayout) : layout(std::move(rasterLayout)) {}

  host::RasterSpec layout;
  std::vector<float> cells;
  int statisticsRuns = 0;

  std::string name() const override { return layout.name; }
  std::filesystem::path path() const override { return layout.name + ".tif"; }
  int columns() const override { return layout.columns; }
  int rows() const override { return layout.rows; }
  double cellSizeX() const override { return layout.cellSize; }
  host::Envelope extent() const override {
    return {layout.originX, layout.originY, layout.originX + layout.columns * layout.cellSize,
            layout.originY + layout.rows * layout.cellSize};
  }
  host::SpatialReferencePtr spatialReference() const override { return layout.spatialReference; }
  int bandCount() const override { return 1; }
  /// Not owning: the raster outlives the band in every test.
  std::shared_ptr<host::RasterBand> band(int) override { return {std::shared_ptr<void>(), this}; }

  int width() const override { return layout.columns; }
  int height() const override { return layout.rows; }
  void readRows(int, int, std::span<float>) const override {}
  void writeRows(int firstRow, int rowCount, std::span<const float> values) override {
    if (firstRow < 0 || firstRow + rowCount > layout.rows ||
        values.size() != std::size_t(rowCount * layout.columns)) {
      throw host::Error(host::kInvalidArgument, "bad row range");
    }
    cells.resize(std::size_t(layout.columns) * std::size_t(layout.rows));
    std::copy(values.begin(), values.end(), cells.begin() + std::ptrdiff_t(firstRow) * layout.columns);
  }
  host::RasterStatistics computeStatistics() override {
    ++statisticsRuns;
    return {};
  }
  std::vector<host::ContourLine> contour(std::span<const double>) const override { return {}; }
};

/// Opens one in-memory raster workspace for every folder and records the folders opened.
class MemoryWorkspaces : public host::WorkspaceFactory, public host::RasterWorkspace {
 public:
  std::vector<std::filesystem::path> opened;
  std::map<std::string, std::shared_ptr<MemoryRaster>> rasters;

  std::shared_ptr<host::Workspace> openShapefileWorkspace(const std::filesystem::path&) override {
    return {};
  }
  std::shared_ptr<host::Workspace> openAccessWorkspace(const std::filesystem::path&) override { return {}; }
  std::shared_ptr<host::RasterWorkspace> openRasterWorkspace(const std::filesystem::path& folder) override {
    opened.push_back(folder);
    return {std::shared_ptr<void>(), this};  // not owning: the factory outlives the workspace
  }

  std::filesystem::path path() const override { return opened.empty() ? "" : opened.back(); }
  bool exists(std::string_view name) const override { return rasters.count(std::string(name)) != 0; }
  std::shared_ptr<host::RasterDataset> createRaster(const host::RasterSpec& layout) override {
    if (exists(layout.name)) throw host::Error(host::kAlreadyExists, "raster exists");
    return rasters[layout.name] = std::make_shared<MemoryRaster>(layout);
  }
  std::shared_ptr<host::RasterDataset> openRaster(std::string_view name) override {
    return exists(name) ? rasters.at(std::string(name)) : nullptr;
  }
  void deleteRaster(std::string_view name) override { rasters.erase(std::string(name)); }
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
