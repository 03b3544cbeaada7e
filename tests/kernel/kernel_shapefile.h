#pragma once

// A Kernel Analysis shapefile read back through GDAL directly, independently of the
// platform's own reader: the .dbf field definitions and every feature's values and polygon.

#include <filesystem>
#include <string>
#include <vector>

#include "support/shapefile_readback.h"

namespace orvex::test {

using DbfField = ShpField;

struct KernelRow {
  double volume = 0.0;
  double density = 0.0;
  std::string kernType;
  double h = 0.0;
  double href = 0.0;
  long long nPoints = 0;
  double area = 0.0;
  double polygonArea = 0.0;  ///< computed by GDAL from the stored rings
};

struct KernelShapefile {
  bool opened = false;
  std::vector<DbfField> fields;
  std::vector<KernelRow> rows;
};

inline KernelShapefile readKernelShapefile(const std::filesystem::path& shp) {
  const ShpContents contents = readShapefile(shp);
  KernelShapefile file;
  file.opened = contents.opened;
  file.fields = contents.fields;
  for (const ShpFeature& feature : contents.features) {
    KernelRow row;
    row.volume = feature.numberOf("Volume");
    row.density = feature.numberOf("Density");
    row.kernType = feature.textOf("KernType");
    row.h = feature.numberOf("h");
    row.href = feature.numberOf("href");
    row.nPoints = static_cast<long long>(feature.numberOf("NPoints"));
    row.area = feature.numberOf("Area");
    row.polygonArea = feature.area;
    file.rows.push_back(row);
  }
  return file;
}

}  // namespace orvex::test
