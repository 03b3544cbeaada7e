#pragma once

// Small layers written with OGR directly for the robustness suite, and the checks every run
// shares: the inputs unchanged byte for byte, no half-written file left.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/files.h"

namespace orvex::test {

/// One feature: its geometry as WKT ("" for none; "XY x y" for a point of any two doubles
/// strtod reads, "nan" and "inf" among them) and its attributes as text (nullopt: null).
struct TestFeature {
  std::string wkt;
  std::map<std::string, std::optional<std::string>> values;
};

/// A layer to write: geometry type, coordinate system, attribute fields and features.
struct TestLayer {
  OGRwkbGeometryType type = wkbPoint;
  int epsg = 32642;  ///< 0: no .prj
  std::vector<std::pair<std::string, OGRFieldType>> fields{{"AnimalID", OFTString}, {"Time2", OFTInteger}};
  std::map<std::string, int> widths{};  ///< field widths other than GDAL's default
  std::vector<TestFeature> features;
  std::string encoding = "UTF-8";  ///< the .dbf's code page ("ISO-8859-1" for Latin-1)
  bool cpg = true;                 ///< false: the .cpg is removed after writing
};

/// `count` fixes of animal "A" on a circle of radius 1 km around a UTM point, an hour apart.
inline std::vector<TestFeature> circleFixes(int count, double x0 = 500000, double y0 = 5000000) {
  std::vector<TestFeature> features;
  for (int i = 0; i < count; ++i) {
    const double angle = 2.399963 * i;  // the golden angle spreads the fixes evenly
    const double r = 1000.0 * (0.2 + 0.8 * ((i * 7919) % 101) / 100.0);
    features.push_back({"POINT (" + std::to_string(x0 + r * std::cos(angle)) + " " +
                            std::to_string(y0 + r * std::sin(angle)) + ")",
                        {{"AnimalID", "A"}, {"Time2", std::to_string(1000000 + 3600 * i)}}});
  }
  return features;
}

/// A layer of `features` of `type` in the coordinate system `epsg` (0: none).
inline TestLayer layerOf(std::vector<TestFeature> features, OGRwkbGeometryType type = wkbPoint,
                         int epsg = 32642) {
  TestLayer layer;
  layer.features = std::move(features);
  layer.type = type;
  layer.epsg = epsg;
  return layer;
}

/// Writes `layer` as the shapefile `shp` (or a GeoPackage / CSV by its extension).
inline void writeLayer(const std::filesystem::path& shp, const TestLayer& layer) {
  GDALAllRegister();
  const std::string extension = shp.extension().string();
  const char* driverName = extension == ".gpkg" ? "GPKG" : extension == ".csv" ? "CSV" : "ESRI Shapefile";
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driverName);
  ASSERT_NE(driver, nullptr);
  GDALDatasetUniquePtr dataset(driver->Create(shp.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  ASSERT_TRUE(dataset) << shp;
  OGRSpatialReference srs;
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  if (layer.epsg != 0) srs.importFromEPSG(layer.epsg);
  char** options = nullptr;
  if (extension == ".shp") options = CSLSetNameValue(options, "ENCODING", layer.encoding.c_str());
  if (extension == ".csv") options = CSLSetNameValue(options, "GEOMETRY", "AS_XY");
  OGRLayer* out =
      dataset->CreateLayer(shp.stem().c_str(), layer.epsg != 0 ? &srs : nullptr, layer.type, options);
  CSLDestroy(options);
  ASSERT_NE(out, nullptr);
  for (const auto& [name, type] : layer.fields) {
    OGRFieldDefn field(name.c_str(), type);
    if (const auto width = layer.widths.find(name); width != layer.widths.end())
      field.SetWidth(width->second);
    ASSERT_EQ(out->CreateField(&field), OGRERR_NONE);
  }
  for (const TestFeature& spec : layer.features) {
    OGRFeatureUniquePtr feature(OGRFeature::CreateFeature(out->GetLayerDefn()));
    if (spec.wkt.rfind("XY ", 0) == 0) {
      char* end = nullptr;
      const double x = std::strtod(spec.wkt.c_str() + 3, &end);
      feature->SetGeometryDirectly(new OGRPoint(x, std::strtod(end, nullptr)));
    } else if (!spec.wkt.empty()) {
      OGRGeometry* geometry = nullptr;
      ASSERT_EQ(OGRGeometryFactory::createFromWkt(spec.wkt.c_str(), nullptr, &geometry), OGRERR_NONE)
          << spec.wkt;
      feature->SetGeometryDirectly(geometry);
    }
    for (const auto& [name, value] : spec.values) {
      if (value)
        feature->SetField(name.c_str(), value->c_str());
      else
        feature->SetFieldNull(feature->GetFieldIndex(name.c_str()));
    }
    ASSERT_EQ(out->CreateFeature(feature.get()), OGRERR_NONE);
  }
  dataset.reset();
  if (!layer.cpg) std::filesystem::remove(std::filesystem::path(shp).replace_extension(".cpg"));
}

/// One `orvex` command line for an input file and an output folder, and what the suites take
/// it for.
struct CommandLine {
  /// Test lists name a case by its name, not by the bytes of its members.
  friend void PrintTo(const CommandLine& line, std::ostream* os) { *os << line.name; }
  const char* name;
  std::vector<std::string> (*args)(const std::filesystem::path& input, const std::filesystem::path& out);
  bool inPlace = false;    ///< edits its input
  bool measures = false;   ///< measures in map units: refuses degrees
  bool readsInput = true;  ///< false: makes its data itself (no bad-input runs)
};

/// Every subcommand that reads fixes or writes files, as the bad-input and fault suites run them.
inline const std::vector<CommandLine>& commandLines() {
  using Args = std::vector<std::string>;
  static const std::vector<CommandLine> table{
      {"mcp",
       [](auto& in, auto& out) {
         return Args{"mcp", in, "--percent", "95,50", "--out", out / "mcp_{percent}.shp"};
       },
       false, true},
      {"kernel",
       [](auto& in, auto& out) {
         return Args{"--yes", "kernel", in, "--h", "1,0.5", "--out", out / "kernel_{id}_h{h}.shp"};
       },
       false, true},
      {"kde",
       [](auto& in, auto& out) {
         return Args{"kde",         in,      "--id",      "AnimalID", "--bandwidth", "href",
                     "--isopleths", "95,50", "--out-dir", out};
       },
       false, true},
      {"travel",
       [](auto& in, auto&) {
         return Args{"--yes", "travel", in};
       },
       true},
      {"dedup-time",
       [](auto& in, auto&) {
         return Args{"dedup-time", in};
       },
       true},
      {"dedup-xy",
       [](auto& in, auto&) {
         return Args{"dedup-xy", in};
       },
       true},
      {"track",
       [](auto& in, auto& out) {
         return Args{"track", in, "--save-path", out / "path.shp", "--svg", out / "track.svg"};
       }},
      {"simulate",
       [](auto&, auto& out) {
         return Args{"simulate", "--out", out / "sim", "--fixes", "200"};
       },
       false, false, false},
  };
  return table;
}

/// A command's name as a test name ("dedup-xy" becomes "dedup_xy").
inline std::string testName(std::string name) {
  for (char& c : name) c = c == '-' ? '_' : c;
  return name;
}

/// Every regular file under `folder` with its bytes.
inline std::map<std::filesystem::path, std::string> snapshot(const std::filesystem::path& folder) {
  std::map<std::filesystem::path, std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error))
    if (entry.is_regular_file()) files[entry.path()] = readAll(entry.path());
  return files;
}

/// The files of `folder` that changed, appeared or went between two snapshots, for messages.
inline std::string changedFiles(const std::map<std::filesystem::path, std::string>& before,
                                const std::map<std::filesystem::path, std::string>& after) {
  std::string changed;
  for (const auto& [path, bytes] : before) {
    const auto found = after.find(path);
    if (found == after.end() || found->second != bytes) changed += path.filename().string() + " ";
  }
  for (const auto& [path, bytes] : after)
    if (!before.contains(path)) changed += "+" + path.filename().string() + " ";
  return changed;
}

/// True when OGR (vector) or GDAL (raster) opens every data file under `folder`: a half-written
/// shapefile or GeoTIFF fails to open or to read to its end. Names the first that fails.
inline std::string firstUnreadable(const std::filesystem::path& folder) {
  GDALAllRegister();
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
    const auto extension = entry.path().extension();
    if (!entry.is_regular_file()) continue;
    if (extension != ".shp" && extension != ".tif") continue;
    CPLPushErrorHandler(CPLQuietErrorHandler);
    GDALDatasetUniquePtr dataset(GDALDataset::Open(entry.path().c_str(), GDAL_OF_VECTOR | GDAL_OF_RASTER));
    bool readable = dataset != nullptr;
    if (readable && extension == ".shp") {
      OGRLayer* layer = dataset->GetLayer(0);
      CPLErrorReset();
      for (auto& feature : *layer) (void)feature;
      readable = CPLGetLastErrorType() < CE_Failure;
      const auto shx = std::filesystem::path(entry.path()).replace_extension(".shx");
      const auto records = layer->GetFeatureCount();
      // The index holds a 100-byte header and 8 bytes per record.
      readable =
          readable && std::filesystem::file_size(shx) == static_cast<std::uintmax_t>(100 + 8 * records);
    }
    if (readable && extension == ".tif") {
      GDALRasterBand* band = dataset->GetRasterBand(1);
      double minMax[2];
      readable = band != nullptr && band->ComputeRasterMinMax(FALSE, minMax) == CE_None;
    }
    CPLPopErrorHandler();
    if (!readable) return entry.path().string();
  }
  return {};
}

}  // namespace orvex::test
