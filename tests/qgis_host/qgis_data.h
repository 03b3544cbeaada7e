#pragma once

// Telemetry fixtures in the formats a desktop user opens: a point shapefile, a GeoPackage
// copy (ids from 1, optionally with a gap) and a CSV copy with X and Y columns.

#include <gdal_utils.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "tools_obs/tools_obs_support.h"

namespace orvex::test {

/// `count` fixes of a walk in UTM 33N, 30 s apart, some of them repeated in place and time so
/// the duplicate tools find something.
inline std::vector<TimedPoint> walk(int count) {
  std::vector<TimedPoint> fixes;
  for (int i = 0; i < count; ++i) {
    const int step = i % 7 == 6 ? i - 1 : i;  // every seventh fix repeats the one before
    fixes.push_back({500000.0 + 40.0 * step + (step % 3) * 15.0, 5600000.0 + 25.0 * step - (step % 4) * 10.0,
                     30.0 * step + 1000.0});
  }
  return fixes;
}

/// `animals` animals ("A1", "A2", ...) of `perAnimal` fixes each in UTM 33N, written to
/// folder/name.shp with a text "AnimalID" and a "Time2" field. Each animal's fixes fill a
/// sunflower spiral of its own, 3 km from the next animal's, so kernels have spread to work on.
inline std::filesystem::path writeAnimals(const std::filesystem::path& folder, const std::string& name,
                                          int animals, int perAnimal) {
  auto workspace = platform::gdal::openShapefileWorkspace(folder);
  host::FeatureClassSpec definition;
  definition.name = name;
  definition.fields.add(host::FieldDef::shape(
      "Shape", host::GeometryDef{host::GeometryType::Point, false, false,
                                 platform::gdal::makeSpatialReferenceFactory()->fromEpsg(32633)}));
  definition.fields.add(host::FieldDef("AnimalID", host::FieldType::String, 20));
  definition.fields.add(host::FieldDef("Time2", host::FieldType::Double, 8, 19, 3));
  auto featureClass = workspace->createFeatureClass(definition);
  auto cursor = featureClass->insert(true);
  for (int a = 0; a < animals; ++a) {
    for (int i = 0; i < perAnimal; ++i) {
      const double radius = 40.0 * std::sqrt(i + 1.0) + (i * 37 % 11) * 6.0;
      const double angle = 2.39996 * i;
      host::Row buffer = featureClass->createRowBuffer();
      buffer.setValue(buffer.findField("AnimalID"), host::Value("A" + std::to_string(a + 1)));
      buffer.setValue(buffer.findField("Time2"), host::Value(1000.0 + 1800.0 * i));
      buffer.setShape(host::Point{500000.0 + 3000.0 * a + radius * std::cos(angle),
                                  5600000.0 + 1500.0 * a + radius * std::sin(angle)});
      cursor->insert(buffer);
    }
  }
  cursor->flush();
  return folder / (name + ".shp");
}

/// ogr2ogr of `source` into `target` with the given options; fails the test when GDAL does.
inline void translate(const std::filesystem::path& source, const std::filesystem::path& target,
                      std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  GDALVectorTranslateOptions* options = GDALVectorTranslateOptionsNew(argv.data(), nullptr);
  GDALDatasetH input = GDALOpenEx(source.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
  ASSERT_NE(input, nullptr);
  int failed = 0;
  GDALDatasetH output = GDALVectorTranslate(target.c_str(), nullptr, 1, &input, options, &failed);
  GDALVectorTranslateOptionsFree(options);
  ASSERT_EQ(failed, 0);
  GDALClose(output);
  GDALClose(input);
}

/// Deletes features of a GeoPackage's only layer by id (leaves gaps in the ids).
inline void deleteFeatures(const std::filesystem::path& gpkg, const std::vector<GIntBig>& ids) {
  GDALDatasetUniquePtr dataset(GDALDataset::Open(gpkg.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
  ASSERT_TRUE(dataset);
  for (const GIntBig id : ids) ASSERT_EQ(dataset->GetLayer(0)->DeleteFeature(id), OGRERR_NONE);
}

/// The attribute values of a file's features as OGR prints them, feature by feature in stored
/// order, for the named fields.
inline std::vector<std::vector<std::string>> fieldTexts(const std::filesystem::path& file,
                                                        const std::vector<std::string>& fields) {
  std::vector<std::vector<std::string>> rows;
  GDALDatasetUniquePtr dataset(GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR));
  if (!dataset) return rows;
  for (auto& feature : *dataset->GetLayer(0)) {
    std::vector<std::string> row;
    for (const auto& field : fields) {
      const int index = feature->GetFieldIndex(field.c_str());
      row.push_back(index < 0 ? "<missing>" : feature->GetFieldAsString(index));
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace orvex::test
