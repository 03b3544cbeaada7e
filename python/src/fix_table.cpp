#include "python/src/fix_table.h"

#include <cmath>
#include <limits>
#include <map>
#include <sstream>

#include "host/error.h"
#include "host/layer.h"
#include "host/map.h"
#include "host/table.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"
#include "ui/gis/shapefile_utils.h"
#include "ui/kde/kde_batch.h"

namespace orvex::python {

namespace {

std::string idText(const host::Value& value, bool textIds) {
  return textIds ? *value.text() : std::to_string(value.toInt32());
}

double timeOf(const host::Row& row, int field) {
  if (field < 0) return std::numeric_limits<double>::quiet_NaN();
  const host::Value& value = row.value(field);
  if (const host::Date* date = value.date()) return date->unixSeconds();
  return value.isNumeric() ? value.toDouble() : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

FixTable readFixTable(const std::string& path, const std::string& idField, const std::string& timeField,
                      const std::string& where) {
  std::ostringstream messages;
  platform::headless::HeadlessApplication application({.messages = &messages});
  platform::headless::loadMapSource(application, {.files = {path}, .where = where});
  const auto layer =
      std::dynamic_pointer_cast<host::FeatureLayer>(application.headlessDocument().selectedLayer());
  if (!layer || !layer->featureClass()) {
    throw host::Error(host::kNotFound, "'" + path + "' holds no point layer");
  }
  const std::shared_ptr<host::FeatureClass> features = layer->featureClass();
  const int idIndex = features->findField(idField);
  if (idIndex < 0) {
    throw host::Error(host::kNotFound,
                      "Field '" + idField + "' not found in the layer '" + layer->name() + "'");
  }
  const bool textIds = features->fields().at(idIndex).type == host::FieldType::String;
  const int timeIndex = timeField.empty() ? -1 : features->findField(timeField);

  // One pass: each fix goes to its animal's track at once; the animals end in the order of
  // the unique-value list (the command line's order).
  std::map<host::Value, AnimalTrack, ui::gis::UniqueValueOrder> tracks;
  const std::unique_ptr<host::Cursor> rows = where.empty() ? features->search() : layer->selection().search();
  while (std::optional<host::Row> row = rows->next()) {
    const host::Value& id = row->value(idIndex);
    if (id.isEmpty()) continue;
    auto [found, added] = tracks.try_emplace(id);
    if (added) found->second.id = idText(id, textIds);
    // An empty text is listed as an animal, but none of its fixes is taken.
    if (textIds && id.text()->empty()) continue;
    const host::Point* point = row->shape().point();
    if (point == nullptr || point->isEmpty()) throw host::Error(host::kInvalidArgument, ui::kMsgNullGeometry);
    AnimalTrack& track = found->second;
    track.x.push_back(point->x);
    track.y.push_back(point->y);
    track.t.push_back(timeOf(*row, timeIndex));
  }
  FixTable table;
  table.animals.reserve(tracks.size());
  for (auto& [id, track] : tracks) table.animals.push_back(std::move(track));
  host::SpatialReferencePtr reference = layer->spatialReference();
  if (!reference) reference = features->spatialReference();
  if (reference) table.crsWkt = reference->wkt();
  return table;
}

}  // namespace orvex::python
