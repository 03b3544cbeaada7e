#pragma once

// Small inputs for the headless host tests: point shapefiles written through the platform's
// own workspace (and the shared temporary folder).

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/table.h"
#include "host/workspace.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/headless_application.h"
#include "support/headless_options.h"
#include "support/temp_folder.h"

namespace orvex::test {

/// One fix of a test shapefile.
struct TestFix {
  double x;
  double y;
  std::string animal;
};

/// Writes "<name>.shp" in `folder`: points with a text field "AnimalID" and an integer "Seq"
/// (1, 2, 3, ... in row order). Object ids are 0, 1, 2, ... `srs` may be null (no .prj).
inline std::filesystem::path writePoints(const std::filesystem::path& folder, const std::string& name,
                                         const std::vector<TestFix>& fixes,
                                         host::SpatialReferencePtr srs = {}) {
  auto workspace = platform::gdal::openShapefileWorkspace(folder);
  host::FeatureClassSpec definition;
  definition.name = name;
  definition.fields.add(
      host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Point, false, false, srs}));
  definition.fields.add(host::FieldDef("AnimalID", host::FieldType::String, 20));
  definition.fields.add(host::FieldDef("Seq", host::FieldType::Integer, 9));
  auto featureClass = workspace->createFeatureClass(definition);
  auto cursor = featureClass->insert(true);
  int sequence = 1;
  for (const TestFix& fix : fixes) {
    host::Row buffer = featureClass->createRowBuffer();
    buffer.setValue(buffer.findField("AnimalID"), host::Value(fix.animal));
    buffer.setValue(buffer.findField("Seq"), host::Value(sequence++));
    buffer.setShape(host::Point{fix.x, fix.y});
    cursor->insert(buffer);
  }
  cursor->flush();
  return folder / (name + ".shp");
}

/// Five fixes of two animals: "a" at (0,0), (10,0), (10,10); "b" at (100,100), (110,100).
inline std::vector<TestFix> fiveFixes() {
  return {{0, 0, "a"}, {10, 0, "a"}, {10, 10, "a"}, {100, 100, "b"}, {110, 100, "b"}};
}

/// The ids of a selection, as a plain vector.
inline std::vector<host::ObjectId> idsOf(const host::SelectionSet& selection) {
  return {selection.ids().begin(), selection.ids().end()};
}

}  // namespace orvex::test
