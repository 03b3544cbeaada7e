// The `orvex._orvex` extension: the command line's fix reader, the KDE tool's bandwidths, kernel
// grids and isopleths, and the MCP styles, on numpy arrays. The Python package around it
// (python/orvex/__init__.py) gives them their documented names and defaults.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/mcp/mcp_polygon.h"
#include "host/error.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/geometry_convert.h"
#include "python/src/fix_table.h"
#include "python/src/range_tools.h"
#include "python/src/ud_estimate.h"

namespace py = pybind11;

namespace orvex::python {
namespace {

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Fixes from x and y (each of n values), copied into pairs; or from x alone as an n x 2 array of
// float64, read in place.
struct FixView {
  std::vector<CoordPair> storage;
  std::span<const CoordPair> fixes;
};

FixView fixesOf(const DoubleArray& x, const std::optional<DoubleArray>& y) {
  FixView view;
  if (!y) {
    if (x.ndim() != 2 || x.shape(1) != 2) throw py::value_error("x alone must be an n x 2 array of fixes");
    view.fixes = {reinterpret_cast<const CoordPair*>(x.data()), static_cast<std::size_t>(x.shape(0))};
    return view;
  }
  if (x.ndim() != 1 || y->ndim() != 1 || x.shape(0) != y->shape(0)) {
    throw py::value_error("x and y must be one-dimensional arrays of the same length");
  }
  const auto xs = x.unchecked<1>();
  const auto ys = y->unchecked<1>();
  view.storage.resize(static_cast<std::size_t>(x.shape(0)));
  for (py::ssize_t i = 0; i < x.shape(0); ++i) view.storage[static_cast<std::size_t>(i)] = {xs(i), ys(i)};
  view.fixes = view.storage;
  return view;
}

py::array_t<double> arrayOf(const std::vector<double>& values) {
  py::array_t<double> array(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), array.mutable_data());
  return array;
}

py::dict readFixes(const std::string& path, const std::string& idField, const std::string& timeField,
                   const std::string& where) {
  FixTable table;
  {
    py::gil_scoped_release unlocked;
    table = readFixTable(path, idField, timeField, where);
  }
  py::list animals;
  for (AnimalTrack& track : table.animals) {
    animals.append(py::make_tuple(track.id, arrayOf(track.x), arrayOf(track.y), arrayOf(track.t)));
  }
  py::dict result;
  result["animals"] = animals;
  result["crs"] = table.crsWkt;
  return result;
}

py::dict bandwidth(const DoubleArray& x, const std::optional<DoubleArray>& y, const std::string& method,
                   bool rescale, unsigned threads, bool exact) {
  const FixView view = fixesOf(x, y);
  const BandwidthMethod chosen = parseBandwidthMethod(method);
  BandwidthChoice choice;
  {
    py::gil_scoped_release unlocked;
    choice = chooseBandwidth(view.fixes, chosen, rescale, threads, exact);
  }
  py::dict result;
  result["h"] = choice.h;
  result["href"] = choice.href;
  result["minimised"] = choice.minimised;
  result["hs"] = arrayOf(choice.hs);
  result["scores"] = arrayOf(choice.scores);
  result["warnings"] = choice.warnings;
  return result;
}

std::unique_ptr<UdGrid> kde(const DoubleArray& x, const std::optional<DoubleArray>& y, const py::object& h,
                            double cellSize, const std::optional<std::array<double, 4>>& extent,
                            const std::optional<double>& buffer, bool adaptive, bool rescale, double scaling,
                            unsigned threads) {
  const FixView view = fixesOf(x, y);
  if (view.fixes.empty()) throw host::Error(host::kInvalidArgument, "No fixes to estimate a kernel from");
  KdeRequest request{.method = std::nullopt,
                     .manualH = 0.0,
                     .rescale = rescale,
                     .fixedKernel = !adaptive,
                     .cellSize = cellSize,
                     .extent = extent,
                     .buffer = buffer,
                     .scaling = scaling,
                     .threads = threads};
  if (py::isinstance<py::str>(h)) {
    request.method = parseBandwidthMethod(h.cast<std::string>());
  } else {
    request.manualH = h.cast<double>();
  }
  py::gil_scoped_release unlocked;
  return std::make_unique<UdGrid>(view.fixes, request);
}

py::array_t<double> densities(const UdGrid& grid) {
  py::array_t<double> values(
      {static_cast<py::ssize_t>(grid.rows()), static_cast<py::ssize_t>(grid.columns())});
  grid.copyDensities({values.mutable_data(), static_cast<std::size_t>(values.size())});
  return values;
}

py::list isopleths(UdGrid& grid, const std::vector<double>& percents, const std::string& crsWkt) {
  std::vector<Isopleth> found;
  {
    py::gil_scoped_release unlocked;
    found = grid.isopleths(percents, crsWkt);
  }
  py::list result;
  for (const Isopleth& i : found) result.append(py::make_tuple(i.percent, i.area, py::bytes(i.wkb)));
  return result;
}

// The style names of `orvex mcp --style` in Python's spelling.
std::string mcpStyleName(const std::string& style) {
  static const std::pair<const char*, std::string_view> kStyles[] = {
      {"fixed_mean", core::kMcpFixedMean},           {"fixed_median", core::kMcpFixedMedian},
      {"user_centre", core::kMcpUserCentre},         {"floating_mean", core::kMcpFloatingMean},
      {"floating_median", core::kMcpFloatingMedian}, {"area_added", core::kMcpAreaAdded}};
  for (const auto& [name, text] : kStyles) {
    if (style == name) return std::string(text);
  }
  throw host::Error(
      host::kInvalidArgument,
      "Unknown MCP style '" + style +
          "': use fixed_mean, fixed_median, user_centre, floating_mean, floating_median or area_added");
}

py::tuple mcp(const DoubleArray& x, const std::optional<DoubleArray>& y, double percent,
              const std::string& style, const std::optional<std::array<double, 2>>& centre) {
  const FixView view = fixesOf(x, y);
  std::vector<core::McpPoint> points;
  points.reserve(view.fixes.size());
  for (const CoordPair& p : view.fixes) points.push_back({p[0], p[1]});
  core::McpOptions options{.percentage = percent, .style = mcpStyleName(style), .userCentre = {}};
  if (centre) options.userCentre = {(*centre)[0], (*centre)[1]};
  core::McpResult result;
  {
    py::gil_scoped_release unlocked;
    result = core::mcpPercentageAnalysis(points, options);
  }
  switch (result.status) {
    case core::McpStatus::ok:
      break;
    case core::McpStatus::percentageTooLow:
      throw host::Error(host::kInvalidArgument, core::mcpTooLowMessage(percent));
    case core::McpStatus::tooFewFixes:
      throw host::Error(host::kInvalidArgument, "Fewer than 3 fixes: no polygon can be generated");
    case core::McpStatus::invalidCoordinates:
      throw host::Error(host::kInvalidArgument, "A fix has a coordinate that is not a finite number");
  }
  host::Polygon polygon;
  host::Ring ring;
  for (const core::McpPoint& p : result.ring.vertices) ring.push_back(host::Point{p.x, p.y});
  if (!ring.empty()) polygon.rings.push_back(std::move(ring));
  const platform::gdal::GeometryPtr geometry = platform::gdal::toOgr(polygon);
  std::string wkb(geometry ? geometry->WkbSize() : 0, '\0');
  if (geometry) geometry->exportToWkb(wkbNDR, reinterpret_cast<unsigned char*>(wkb.data()), wkbVariantIso);
  const double area = std::isfinite(result.ring.area) ? result.ring.area : 0.0;
  return py::make_tuple(area, py::bytes(wkb), result.nPoints, result.nUsed);
}

}  // namespace
}  // namespace orvex::python

PYBIND11_MODULE(_orvex, m) {
  using namespace orvex::python;
  m.doc() = "Orvex's estimators on numpy arrays (see the orvex package)";
  static py::exception<orvex::host::Error> error(m, "OrvexError", PyExc_RuntimeError);
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const orvex::host::Error& e) {
      error(e.description().c_str());
    }
  });

  m.def("read_fixes", &readFixes, py::arg("path"), py::arg("id_field"), py::arg("time_field"),
        py::arg("where"));
  m.def("bandwidth", &bandwidth, py::arg("x"), py::arg("y"), py::arg("method"), py::arg("rescale"),
        py::arg("threads"), py::arg("exact") = false);
  m.def("kde", &kde, py::arg("x"), py::arg("y"), py::arg("h"), py::arg("cell_size"), py::arg("extent"),
        py::arg("buffer"), py::arg("adaptive"), py::arg("rescale"), py::arg("scaling"), py::arg("threads"));
  m.def(
      "crs_epsg",
      [](const std::string& wkt) -> std::optional<int> {
        if (wkt.empty()) return std::nullopt;
        const orvex::host::SpatialReferencePtr reference =
            orvex::platform::gdal::makeSpatialReferenceFactory()->fromWkt(wkt);
        return reference ? reference->epsg() : std::nullopt;
      },
      py::arg("wkt"));
  m.def("mcp", &mcp, py::arg("x"), py::arg("y"), py::arg("percent"), py::arg("style"), py::arg("centre"));

  bindRangeTools(m);

  py::class_<UdGrid>(m, "UdGrid")
      .def_property_readonly("values", &densities)
      .def_property_readonly("geotransform", &UdGrid::geotransform)
      .def_property_readonly("h", &UdGrid::bandwidth)
      .def_property_readonly("href", &UdGrid::href)
      .def_property_readonly("scaling", &UdGrid::scaling)
      .def_property_readonly("warnings", &UdGrid::warnings)
      .def("isopleths", &isopleths, py::arg("percents"), py::arg("crs"))
      .def(
          "to_geotiff",
          [](UdGrid& grid, const std::string& path, const std::string& crs) {
            py::gil_scoped_release unlocked;
            grid.writeGeoTiff(path, crs);
          },
          py::arg("path"), py::arg("crs"));
}
