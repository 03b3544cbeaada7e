#pragma once

// Reads a written shapefile back with GDAL directly, independently of the platform code that
// wrote it.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvex::test {

struct ShapefileField {
  std::string name;
  std::string type;  ///< OGR's type name: "String", "Integer", "Real", "Date"
  int width = 0;
  int precision = 0;
};

struct ShapefilePoint {
  double x = 0.0;
  double y = 0.0;
  /// Attribute values as OGR's text; nothing for a null value.
  std::map<std::string, std::optional<std::string>> values;
};

struct ShapefileContent {
  std::vector<ShapefileField> fields;
  std::vector<ShapefilePoint> points;
  std::optional<int> epsg;  ///< the .prj's EPSG code when it identifies one
  bool hasPrj = false;
  const ShapefileField* field(const std::string& name) const;
};

/// Throws std::runtime_error when the file cannot be opened or is not a point shapefile.
ShapefileContent readShapefile(const std::filesystem::path& shp);

}  // namespace orvex::test
