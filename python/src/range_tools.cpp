// The Brownian bridge UD, LoCoH isopleths and the overlap indices on numpy arrays: the functions
// `orvex bbmm`, `orvex locoh` and `orvex overlap` call, bound as they are.

#include "python/src/range_tools.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/raster.h"
#include "host/spatial_reference.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/geometry_convert.h"
#include "range/bbmm/bbmm_batch.h"
#include "range/bbmm/bbmm_grids.h"
#include "range/bridge/bridge_likelihood.h"
#include "range/locoh/locoh_hulls.h"
#include "range/locoh/locoh_isopleths.h"
#include "range/overlap/overlap_indices.h"

namespace py = pybind11;

namespace orvex::python {
namespace {

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::span<const double> spanOf(const DoubleArray& values) {
  return {values.data(), static_cast<std::size_t>(values.size())};
}

range::LocohMethod locohMethod(const std::string& name) {
  if (name == "k") return range::LocohMethod::k;
  if (name == "r") return range::LocohMethod::r;
  if (name == "a") return range::LocohMethod::a;
  throw host::Error(host::kInvalidArgument, "Unknown LoCoH method '" + name + "': use k, r or a");
}

// An explicit grid's outer edges, columns and rows rounded as the KDE tool rounds them.
range::BridgeGrid explicitGrid(const std::array<double, 4>& edges, double cellSize) {
  const auto [xmin, ymin, xmax, ymax] = edges;
  if (!(xmax > xmin) || !(ymax > ymin) || !std::isfinite(xmax - xmin) || !std::isfinite(ymax - ymin))
    throw py::value_error("extent must be (xmin, ymin, xmax, ymax) with xmax > xmin and ymax > ymin");
  return {.origin_x = xmin,
          .origin_y = ymin,
          .cell_size = cellSize,
          .columns = static_cast<std::size_t>(std::llround((xmax - xmin) / cellSize)),
          .rows = static_cast<std::size_t>(std::llround((ymax - ymin) / cellSize))};
}

// One animal's bridge UD as `orvex bbmm` makes it: s1 by maximum likelihood unless given, the
// grid the animal's minimum extent unless its edges are given; densities as they are (no scaling).
py::dict bbmm(const DoubleArray& x, const DoubleArray& y, const DoubleArray& t, const DoubleArray& sigma2,
              const std::optional<double>& sigma1, bool allTriplets, const std::optional<double>& maxGap,
              double cellSize, const std::optional<std::array<double, 4>>& extent, unsigned threads) {
  if (x.ndim() != 1 || y.ndim() != 1 || t.ndim() != 1 || sigma2.ndim() != 1)
    throw py::value_error("x, y, t and sigma2 must be one-dimensional arrays");
  if (!(cellSize > 0.0) || !std::isfinite(cellSize))
    throw py::value_error("cell_size must be a positive number");
  const range::BridgeTrack track{spanOf(x), spanOf(y), spanOf(t), spanOf(sigma2)};
  const double gap = maxGap.value_or(range::kNoMaxGap);
  const range::TripletChoice choice =
      allTriplets ? range::TripletChoice::all : range::TripletChoice::independent;
  py::dict result;
  range::BridgeGrid grid;
  range::BridgeIntervals intervals;
  double s1 = sigma1.value_or(0.0);
  {
    py::gil_scoped_release unlocked;
    range::check_track(track, sigma1 ? 2 : 3);
    intervals = range::classify_intervals(track.t, gap);
    if (!sigma1) {
      const range::Sigma1Estimate estimate = range::estimate_sigma1(track, choice, gap);
      s1 = estimate.sigma1;
      py::gil_scoped_acquire locked;
      result["log_likelihood"] = estimate.log_likelihood;
      result["triplets"] = estimate.triplets;
    }
    grid = extent ? explicitGrid(*extent, cellSize)
                  : range::MinimumExtentBridgeGrid(track, intervals.used, s1, cellSize);
  }
  if (static_cast<double>(grid.columns) * static_cast<double>(grid.rows) >
      static_cast<double>(range::kBbmmMaxCells))
    throw py::value_error("a grid of " + std::to_string(grid.columns) + " x " + std::to_string(grid.rows) +
                          " cells is above " + std::to_string(range::kBbmmMaxCells) +
                          ": use a larger cell size");
  py::array_t<double> values({static_cast<py::ssize_t>(grid.rows), static_cast<py::ssize_t>(grid.columns)});
  {
    py::gil_scoped_release unlocked;
    range::bridge_ud(track, {.sigma1 = s1, .max_gap = gap, .threads = threads}, grid,
                     {values.mutable_data(), grid.cell_count()});
  }
  result["values"] = values;
  result["sigma1"] = s1;
  result["geotransform"] =
      py::make_tuple(grid.origin_x, grid.cell_size, 0.0,
                     grid.origin_y + static_cast<double>(grid.rows) * grid.cell_size, 0.0, -grid.cell_size);
  result["intervals"] =
      py::make_tuple(intervals.used.size(), intervals.zero_length.size(), intervals.over_gap.size());
  return result;
}

// `values` (rows x columns, row 0 at the north, on GDAL's geotransform) as the Float32 GeoTIFF
// `orvex bbmm` writes, through the same raster workspace.
void writeGeoTiff(const std::string& path, const DoubleArray& values,
                  const std::array<double, 6>& geotransform, const std::string& crsWkt) {
  if (values.ndim() != 2) throw py::value_error("values must be a two-dimensional array");
  const int rows = static_cast<int>(values.shape(0));
  const int columns = static_cast<int>(values.shape(1));
  const double cell = geotransform[1];
  const std::vector<float> cells(values.data(), values.data() + values.size());
  py::gil_scoped_release unlocked;
  const std::filesystem::path file(path);
  const host::SpatialReferencePtr reference =
      crsWkt.empty() ? nullptr : platform::gdal::makeSpatialReferenceFactory()->fromWkt(crsWkt);
  const auto raster =
      platform::gdal::openRasterWorkspace(file.parent_path().empty() ? "." : file.parent_path())
          ->createRaster({.name = file.filename().string(),
                          .originX = geotransform[0],
                          .originY = geotransform[3] - rows * cell,
                          .cellSize = cell,
                          .rows = rows,
                          .columns = columns,
                          .spatialReference = reference});
  raster->band(0)->writeRows(0, rows, cells);
}

py::list locoh(const DoubleArray& x, const DoubleArray& y, const std::string& method, double parameter,
               const std::vector<double>& percents, unsigned threads) {
  if (x.ndim() != 1 || y.ndim() != 1 || x.size() != y.size()) {
    throw py::value_error("x and y must be one-dimensional arrays of the same length");
  }
  const range::LocohOptions options{
      .method = locohMethod(method), .parameter = parameter, .threads = threads};
  std::vector<range::LocohIsopleth> isopleths;
  {
    py::gil_scoped_release unlocked;
    const auto geometry = platform::gdal::makeGeometryService();
    const range::LocohHulls hulls = range::locoh_hulls(spanOf(x), spanOf(y), options);
    isopleths = range::locoh_isopleths(hulls, percents, *geometry, threads);
  }
  py::list result;
  for (const range::LocohIsopleth& isopleth : isopleths) {
    const platform::gdal::GeometryPtr shape = platform::gdal::toOgr(isopleth.polygon);
    std::string wkb(shape ? shape->WkbSize() : 0, '\0');
    if (shape) shape->exportToWkb(wkbNDR, reinterpret_cast<unsigned char*>(wkb.data()), wkbVariantIso);
    result.append(py::make_tuple(isopleth.percent, isopleth.area, isopleth.fixes, py::bytes(wkb)));
  }
  return result;
}

// Each index as an n x n matrix, by the names `orvex overlap --method` takes.
py::dict overlap(const std::vector<DoubleArray>& uds, const std::array<double, 3>& grid, std::size_t columns,
                 std::size_t rows, double percent, bool conditional, unsigned threads) {
  std::vector<std::span<const double>> densities;
  for (const DoubleArray& ud : uds) {
    if (static_cast<std::size_t>(ud.size()) != columns * rows)
      throw py::value_error("a UD is not on the grid");
    densities.push_back(spanOf(ud));
  }
  const range::UdGrid layout{
      .origin_x = grid[0], .origin_y = grid[1], .cell_size = grid[2], .columns = columns, .rows = rows};
  range::OverlapMatrices matrices;
  {
    py::gil_scoped_release unlocked;
    matrices = range::overlap_indices(densities, layout,
                                      {.percent = percent, .conditional = conditional, .threads = threads});
  }
  static constexpr const char* kNames[range::kOverlapIndexCount] = {"HR", "PHR", "VI", "BA", "UDOI", "HD"};
  py::dict result;
  const auto n = static_cast<py::ssize_t>(matrices.animals);
  for (std::size_t k = 0; k < range::kOverlapIndexCount; ++k) {
    py::array_t<double> matrix({n, n});
    std::copy(matrices.values[k].begin(), matrices.values[k].end(), matrix.mutable_data());
    result[kNames[k]] = matrix;
  }
  return result;
}

}  // namespace

void bindRangeTools(py::module_& module) {
  module.def("bbmm", &bbmm, py::arg("x"), py::arg("y"), py::arg("t"), py::arg("sigma2"), py::arg("sigma1"),
             py::arg("all_triplets"), py::arg("max_gap"), py::arg("cell_size"), py::arg("extent"),
             py::arg("threads"));
  module.def("write_geotiff", &writeGeoTiff, py::arg("path"), py::arg("values"), py::arg("geotransform"),
             py::arg("crs"));
  module.def("locoh", &locoh, py::arg("x"), py::arg("y"), py::arg("method"), py::arg("parameter"),
             py::arg("percents"), py::arg("threads"));
  module.def("overlap", &overlap, py::arg("uds"), py::arg("grid"), py::arg("columns"), py::arg("rows"),
             py::arg("percent"), py::arg("conditional"), py::arg("threads"));
}

}  // namespace orvex::python
