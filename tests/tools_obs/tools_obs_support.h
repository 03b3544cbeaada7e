#pragma once

// Small telemetry layers for the observation and duplicate tools: point shapefiles with a
// "Time2" field written through the platform, a headless host showing one of them, and the
// values read back through the host interface.

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "headless/headless_fixtures.h"
#include "host/status.h"
#include "host/text.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/map_source.h"

namespace orvex::test {

/// One fix: a position (NaN: none) and a time (nothing: an empty "Time2").
struct TimedPoint {
  double x = 0.0;
  double y = 0.0;
  std::optional<double> time2{};
};

/// Writes "<name>.shp" in `folder` with a 64-bit float "Time2" (so that halves and empty
/// values can be stored). Object ids are 0, 1, 2, ... in the order given. `epsg` 0: no .prj.
inline std::filesystem::path writeTimedPoints(const std::filesystem::path& folder, const std::string& name,
                                              const std::vector<TimedPoint>& fixes, int epsg = 32633) {
  const auto references = platform::gdal::makeSpatialReferenceFactory();
  host::SpatialReferencePtr srs = epsg != 0 ? references->fromEpsg(epsg) : nullptr;
  auto workspace = platform::gdal::openShapefileWorkspace(folder);
  host::FeatureClassSpec definition;
  definition.name = name;
  definition.fields.add(
      host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Point, false, false, srs}));
  definition.fields.add(host::FieldDef("Time2", host::FieldType::Double, 8, 19, 3));
  auto featureClass = workspace->createFeatureClass(definition);
  auto cursor = featureClass->insert(true);
  for (const TimedPoint& fix : fixes) {
    host::Row buffer = featureClass->createRowBuffer();
    if (fix.time2) buffer.setValue(buffer.findField("Time2"), host::Value(*fix.time2));
    if (!std::isnan(fix.x)) buffer.setShape(host::Point{fix.x, fix.y});
    cursor->insert(buffer);
  }
  cursor->flush();
  return folder / (name + ".shp");
}

/// A headless host (nobody asked, so Yes/No questions get Yes) showing `files`, the first
/// one chosen in the table of contents, the features `where` / `ids` name selected (all of
/// them without either).
class ToolHost {
 public:
  explicit ToolHost(const std::vector<std::filesystem::path>& files, std::string where = {},
                    std::vector<host::ObjectId> ids = {})
      : application(quietOptions(out)) {
    platform::headless::MapSource source;
    source.files = files;
    source.where = std::move(where);
    source.objectIds = std::move(ids);
    platform::headless::loadMapSource(application, source);
  }

  std::shared_ptr<host::FeatureLayer> layer() const {
    return std::dynamic_pointer_cast<host::FeatureLayer>(application.document()->selectedLayer());
  }
  /// The layer of the first file, whatever the table of contents has chosen.
  std::shared_ptr<host::FeatureLayer> firstLayer() const {
    return application.focusMap().featureLayers().front();
  }
  std::shared_ptr<host::FeatureClass> featureClass() const { return firstLayer()->featureClass(); }

  /// Clicks a command once, as the host does.
  template <class Command>
  host::Status click(Command& command) {
    command.onCreate(application);
    return command.onClick();
  }

  const std::vector<platform::headless::MessageRecord>& messages() const {
    return application.scriptedUi().messages();
  }
  /// Every message text, in order.
  std::vector<std::string> texts() const {
    std::vector<std::string> all;
    for (const auto& record : messages()) all.push_back(record.message.text);
    return all;
  }

  /// The ids still present, in stored order.
  std::vector<host::ObjectId> remainingIds() const {
    std::vector<host::ObjectId> ids;
    const auto cursor = featureClass()->search();
    while (const auto row = cursor->next()) ids.push_back(row->oid());
    return ids;
  }

  /// The value of `field` of feature `id` (nothing for an empty value or a missing field).
  std::optional<double> number(host::ObjectId id, std::string_view field) const {
    const auto row = featureClass()->row(id);
    if (!row) return std::nullopt;
    const int index = row->findField(field);
    if (index < 0 || row->value(index).isEmpty()) return std::nullopt;
    return row->value(index).toDouble();
  }

  std::ostringstream out;
  mutable platform::headless::HeadlessApplication application;
};

}  // namespace orvex::test
