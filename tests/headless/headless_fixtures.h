#pragma once

// Small inputs for the headless host tests: a private temporary folder and point shapefiles
// written through the platform's own workspace.

#include <unistd.h>

#include <atomic>
#include <chrono>
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

namespace orvex::test {

/// A fresh folder removed with its contents when the object goes; unique per process and call.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ =
        std::filesystem::temp_directory_path() / ("orvex_headless_" + std::to_string(::getpid()) + "_" +
                                                  std::to_string(stamp) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

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

/// An application printing into `out`, with a simulated clock and nobody to ask.
inline platform::headless::HeadlessOptions quietOptions(std::ostream& out) {
  platform::headless::HeadlessOptions options;
  options.messages = &out;
  options.simulatedClock = true;
  return options;
}

/// The ids of a selection, as a plain vector.
inline std::vector<host::ObjectId> idsOf(const host::SelectionSet& selection) {
  return {selection.ids().begin(), selection.ids().end()};
}

}  // namespace orvex::test
