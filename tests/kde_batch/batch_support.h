#pragma once

// Test sets and readers for the batch run tests.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gdal.h>

#include "kde_batch/kde_batch_fixture.h"

namespace orvex::test {

/// `count` fixes around (cx, cy) with standard deviation `sd` in x and y, drawn from a fixed
/// seed (mt19937 output is the same everywhere; Box-Muller by hand, since the standard
/// normal distribution is implementation-defined).
inline std::vector<TestFix> GaussianFixes(const host::Value& id, int count, double cx, double cy, double sd,
                                          std::uint32_t seed) {
  std::mt19937 engine(seed);
  const auto uniform = [&engine] { return (static_cast<double>(engine()) + 0.5) / 4294967296.0; };
  std::vector<TestFix> fixes;
  for (int i = 0; i < count; ++i) {
    const double r = std::sqrt(-2.0 * std::log(uniform()));
    const double a = 2.0 * 3.141592653589793 * uniform();
    fixes.push_back(TestFix{id, cx + sd * r * std::cos(a), cy + sd * r * std::sin(a)});
  }
  return fixes;
}

/// A single-band raster read back with GDAL.
struct RasterRead {
  int columns = 0;
  int rows = 0;
  double transform[6] = {};
  std::string projection;
  std::vector<float> cells;  ///< row-major, row 0 the northernmost
  bool hasNoData = false;

  float at(int column, int row) const {
    return cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                 static_cast<std::size_t>(column)];
  }
};

inline bool ReadRaster(const std::filesystem::path& file, RasterRead& out) {
  GDALAllRegister();
  GDALDatasetH dataset = GDALOpen(file.string().c_str(), GA_ReadOnly);
  if (dataset == nullptr) return false;
  out.columns = GDALGetRasterXSize(dataset);
  out.rows = GDALGetRasterYSize(dataset);
  GDALGetGeoTransform(dataset, out.transform);
  out.projection = GDALGetProjectionRef(dataset);
  GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
  int noData = 0;
  GDALGetRasterNoDataValue(band, &noData);
  out.hasNoData = noData != 0;
  out.cells.resize(static_cast<std::size_t>(out.columns) * static_cast<std::size_t>(out.rows));
  const CPLErr read = GDALRasterIO(band, GF_Read, 0, 0, out.columns, out.rows, out.cells.data(), out.columns,
                                   out.rows, GDT_Float32, 0, 0);
  GDALClose(dataset);
  return read == CE_None;
}

/// Features of a shapefile as read through the platform: field names and each feature's
/// values by field name.
struct ShapefileRead {
  std::vector<std::string> fieldNames;  ///< attribute fields, in stored order
  std::vector<host::Row> rows;
  double value(std::size_t row, const std::string& field) const { return rows[row].value(field).toDouble(); }
};

inline bool ReadShapefile(const std::filesystem::path& folder, const std::string& name, ShapefileRead& out) {
  platform::gdal::GdalWorkspaceFactory factory;
  auto features = factory.openShapefileWorkspace(folder)->openFeatureClass(name);
  if (!features) return false;
  for (const host::FieldDef& field : features->fields()) {
    if (field.type != host::FieldType::ObjectId && field.type != host::FieldType::Geometry) {
      out.fieldNames.push_back(field.name);
    }
  }
  auto cursor = features->search();
  while (auto row = cursor->next()) out.rows.push_back(std::move(*row));
  return true;
}

/// The value after `prefix` on the first line starting with it at or after line `from`.
inline std::string LineValue(const std::vector<std::string>& lines, const std::string& prefix,
                             std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i].rfind(prefix, 0) == 0) return lines[i].substr(prefix.size());
  }
  return "<no line " + prefix + ">";
}

}  // namespace orvex::test
