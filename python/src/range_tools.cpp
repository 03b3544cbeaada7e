// LoCoH isopleths and the overlap indices on numpy arrays: the functions `orvex locoh` and
// `orvex overlap` call, bound as they are.

#include "python/src/range_tools.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "host/error.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/geometry_convert.h"
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
  module.def("locoh", &locoh, py::arg("x"), py::arg("y"), py::arg("method"), py::arg("parameter"),
             py::arg("percents"), py::arg("threads"));
  module.def("overlap", &overlap, py::arg("uds"), py::arg("grid"), py::arg("columns"), py::arg("rows"),
             py::arg("percent"), py::arg("conditional"), py::arg("threads"));
}

}  // namespace orvex::python
