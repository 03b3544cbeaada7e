#pragma once

// Inputs of the track display tests: small point tracks with the attributes the display shows,
// a headless application holding them as the table-of-contents layer, and the drawn segments
// read back as coordinate pairs.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "headless/headless_fixtures.h"
#include "platform/common/form_driver.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"
#include "ui/tools/frm_orvex.h"

namespace orvex::test {

/// One fix of a track file. Empty optionals leave the attribute empty.
struct TrackFix {
  double x = 0.0;
  double y = 0.0;
  std::optional<double> speed{};     ///< "Me_Per_Sec"
  std::optional<double> distance{};  ///< "Dist"
  std::string date{};                ///< "Date" as YYYY-MM-DD; empty: no value
  std::string time{};                ///< "Time1"
};

/// Writes "<name>.shp" into `folder`; object ids are 0, 1, 2, ... in the order given.
inline std::filesystem::path writeTrack(const std::filesystem::path& folder, const std::string& name,
                                        const std::vector<TrackFix>& fixes) {
  auto workspace = platform::gdal::openShapefileWorkspace(folder);
  host::FeatureClassSpec definition;
  definition.name = name;
  definition.fields.add(host::FieldDef::shape("Shape", host::GeometryDef{host::GeometryType::Point}));
  definition.fields.add(host::FieldDef("Me_Per_Sec", host::FieldType::Double, 0, 16, 4));
  definition.fields.add(host::FieldDef("Dist", host::FieldType::Double, 0, 16, 0));
  definition.fields.add(host::FieldDef("Time1", host::FieldType::String, 12));
  definition.fields.add(host::FieldDef("Date", host::FieldType::Date));
  auto featureClass = workspace->createFeatureClass(definition);
  auto cursor = featureClass->insert(true);
  for (const TrackFix& fix : fixes) {
    host::Row buffer = featureClass->createRowBuffer();
    buffer.setShape(host::Point{fix.x, fix.y});
    if (fix.speed) buffer.setValue(buffer.findField("Me_Per_Sec"), *fix.speed);
    if (fix.distance) buffer.setValue(buffer.findField("Dist"), *fix.distance);
    if (!fix.time.empty()) buffer.setValue(buffer.findField("Time1"), host::Value(fix.time));
    if (!fix.date.empty()) buffer.setValue(buffer.findField("Date"), *host::Date::parseIso8601(fix.date));
    cursor->insert(buffer);
  }
  cursor->flush();
  return folder / (name + ".shp");
}

/// Four fixes walking a square of side 100, with speeds 0, 1.5, 2.25, 0.5 and distances
/// 0, 100, 100, 100.
inline std::vector<TrackFix> squareTrack() {
  return {{0, 0, 0.0, 0.0, "2021-05-01", "00:00:00"},
          {100, 0, 1.5, 100.0, "2021-05-01", "02:00:00"},
          {100, 100, 2.25, 100.0, "2021-05-01", "04:00:00"},
          {0, 100, 0.5, 100.0, "2021-05-02", "06:00:00"}};
}

/// A drawn segment as its two ends.
struct Segment {
  double x1, y1, x2, y2;
  bool operator==(const Segment&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Segment& s) {
  return os << "(" << s.x1 << "," << s.y1 << ")->(" << s.x2 << "," << s.y2 << ")";
}

/// The lines of a shapefile as segments, read with GDAL directly; nothing when it cannot be
/// opened or holds other than two-point lines.
inline std::optional<std::vector<Segment>> readSegments(const std::filesystem::path& path) {
  GDALAllRegister();
  GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!dataset) return std::nullopt;
  std::vector<Segment> segments;
  for (auto& feature : *dataset->GetLayer(0)) {
    const OGRGeometry* geometry = feature->GetGeometryRef();
    if (geometry == nullptr || wkbFlatten(geometry->getGeometryType()) != wkbLineString) return std::nullopt;
    const OGRLineString* line = geometry->toLineString();
    if (line->getNumPoints() != 2) return std::nullopt;
    segments.push_back({line->getX(0), line->getY(0), line->getX(1), line->getY(1)});
  }
  return segments;
}

/// The headless host with one track layer chosen in the table of contents; the track display
/// form opened on it with `open()`.
class TrackFixture : public ::testing::Test {
 protected:
  TempFolder folder;
  std::ostringstream out;
  platform::headless::HeadlessApplication app{quietOptions(out)};
  std::unique_ptr<ui::frmORVEX> form;
  std::unique_ptr<platform::FormDriver> driver;

  /// Loads the track file as the map's only layer, selecting `objectIds` (all when empty).
  void loadTrack(const std::vector<TrackFix>& fixes, std::vector<host::ObjectId> objectIds = {}) {
    platform::headless::MapSource source;
    source.files = {writeTrack(folder.path(), "track", fixes)};
    source.objectIds = std::move(objectIds);
    platform::headless::loadMapSource(app, source);
  }

  /// Makes the form, the last object id being the file's, and loads it as showModal does.
  void open() {
    const auto layer = ui::track::SelectedPointLayer(*app.document());
    form = std::make_unique<ui::frmORVEX>(app, layer ? layer->featureClass()->featureCount() - 1 : -1);
    driver = std::make_unique<platform::FormDriver>(*form);
    form->load();
  }

  void TearDown() override {
    if (form) form->close(host::dialog_result::kCancel);
  }

  std::shared_ptr<host::FeatureLayer> trackLayer() { return app.focusMap().featureLayers().at(0); }
  host::Control& control(const char* name) { return form->control(name); }
  std::string caption(const char* name) { return form->control(name).caption(); }

  /// The segments of the drawn path still shown, in drawing order.
  std::vector<Segment> shownSegments() {
    std::vector<Segment> segments;
    for (const auto& [id, element] : app.view().graphics().elements()) {
      const host::Polyline* line = element.geometry.polyline();
      if (line == nullptr || line->paths.size() != 1 || line->paths[0].size() != 2) continue;
      const auto& path = line->paths[0];
      segments.push_back({path[0].x, path[0].y, path[1].x, path[1].y});
    }
    return segments;
  }
  /// Every graphic the form ever added.
  std::size_t segmentsEverDrawn() { return app.view().recordingGraphics().added().size(); }

  /// "<title>|<text>" of every message box so far ("-" for the default title).
  std::vector<std::string> messages() {
    std::vector<std::string> shown;
    for (const auto& record : app.scriptedUi().messages())
      shown.push_back((record.message.title ? *record.message.title : std::string("-")) + "|" +
                      record.message.text);
    return shown;
  }
};

}  // namespace orvex::test
