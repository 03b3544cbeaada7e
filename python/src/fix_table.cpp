#include "python/src/fix_table.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <limits>
#include <map>
#include <sstream>
#include <thread>

#include "host/error.h"
#include "host/layer.h"
#include "host/map.h"
#include "host/table.h"
#include "host/text.h"
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

// Animals in the order of the unique-value list (the command line's order).
using Tracks = std::map<host::Value, AnimalTrack, ui::gis::UniqueValueOrder>;

// The layer of "FILE" or "FILE|layername=NAME" in an application of its own (one per reading
// thread: a feature class serialises its reads), its selection the rows the where-clause keeps,
// every row without one.
struct OpenLayer {
  std::ostringstream messages;
  std::unique_ptr<platform::headless::HeadlessApplication> application;
  std::shared_ptr<host::FeatureLayer> layer;
  std::shared_ptr<host::FeatureClass> features;
  int idIndex = -1;
  int timeIndex = -1;
  bool textIds = false;

  OpenLayer(const std::string& path, const std::string& idField, const std::string& timeField,
            const std::string& where) {
    application = std::make_unique<platform::headless::HeadlessApplication>(
        platform::headless::HeadlessOptions{.messages = &messages});
    platform::headless::loadMapSource(*application, {.files = {path}, .where = where});
    layer = std::dynamic_pointer_cast<host::FeatureLayer>(application->headlessDocument().selectedLayer());
    if (!layer || !layer->featureClass())
      throw host::Error(host::kNotFound, "'" + path + "' holds no point layer");
    features = layer->featureClass();
    idIndex = features->findField(idField);
    if (idIndex < 0) {
      throw host::Error(host::kNotFound,
                        "Field '" + idField + "' not found in the layer '" + layer->name() + "'");
    }
    textIds = features->fields().at(idIndex).type == host::FieldType::String;
    timeIndex = timeField.empty() ? -1 : features->findField(timeField);
  }

  // The rows `ids` (rising) split by animal, each animal's fixes in the layer's order.
  Tracks read(std::span<const host::ObjectId> ids) const {
    Tracks tracks;
    if (ids.empty()) return tracks;
    host::QueryFilter filter;
    filter.objectIds = std::vector<host::ObjectId>(ids.begin(), ids.end());
    const std::unique_ptr<host::Cursor> rows = features->search(filter);
    while (std::optional<host::Row> row = rows->next()) {
      const host::Value& id = row->value(idIndex);
      if (id.isEmpty()) continue;
      auto [found, added] = tracks.try_emplace(id);
      if (added) found->second.id = idText(id, textIds);
      // An empty text is listed as an animal, but none of its fixes is taken.
      if (textIds && id.text()->empty()) continue;
      const host::Point* point = row->shape().point();
      if (point == nullptr || point->isEmpty())
        throw host::Error(host::kInvalidArgument, ui::kMsgNullGeometry);
      AnimalTrack& track = found->second;
      track.x.push_back(point->x);
      track.y.push_back(point->y);
      track.t.push_back(timeOf(*row, timeIndex));
    }
    return tracks;
  }
};

// Below this many fixes a layer is read by one thread: opening it again costs more than it saves.
constexpr std::size_t kFixesPerExtraReader = 200000;
constexpr std::size_t kMostReaders = 4;

bool isShapefile(const std::string& path) {
  return path.find('|') == std::string::npos &&
         host::iequals(std::filesystem::path(path).extension().string(), ".shp");
}

void append(std::vector<double>& to, const std::vector<double>& from) {
  to.insert(to.end(), from.begin(), from.end());
}

}  // namespace

FixTable readFixTable(const std::string& path, const std::string& idField, const std::string& timeField,
                      const std::string& where) {
  const OpenLayer first(path, idField, timeField, where);
  const host::SelectionSet selection = first.layer->selection();
  const std::span<const host::ObjectId> ids = selection.ids();
  // The selection's rows are read in consecutive runs, one thread each (every further run opens
  // the layer again), and each animal's fixes joined in run order: the layer's order, whatever
  // the number of threads.
  // Only a shapefile is opened again cheaply (other sources are copied to a scratch one first).
  const std::size_t hardware = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t runs = isShapefile(path) ? std::clamp<std::size_t>(ids.size() / kFixesPerExtraReader, 1,
                                                                       std::min(hardware, kMostReaders))
                                             : 1;
  const auto runStart = [&](std::size_t k) { return k * ids.size() / runs; };
  std::vector<Tracks> parts(runs);
  std::vector<std::exception_ptr> errors(runs);
  {
    std::vector<std::jthread> readers;
    for (std::size_t k = 1; k < runs; ++k) {
      readers.emplace_back([&, k] {
        try {
          const OpenLayer run(path, idField, timeField, "");
          parts[k] = run.read(ids.subspan(runStart(k), runStart(k + 1) - runStart(k)));
        } catch (...) {
          errors[k] = std::current_exception();
        }
      });
    }
    try {
      parts[0] = first.read(ids.first(runStart(1)));
    } catch (...) {
      errors[0] = std::current_exception();
    }
  }
  // The first failure in the layer's order, as one reader would have met it.
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);

  Tracks tracks = std::move(parts[0]);
  for (std::size_t k = 1; k < runs; ++k) {
    for (auto& [id, track] : parts[k]) {
      auto [found, added] = tracks.try_emplace(id, std::move(track));
      if (added) continue;
      append(found->second.x, track.x);
      append(found->second.y, track.y);
      append(found->second.t, track.t);
    }
  }
  FixTable table;
  table.animals.reserve(tracks.size());
  for (auto& [id, track] : tracks) table.animals.push_back(std::move(track));
  host::SpatialReferencePtr reference = first.layer->spatialReference();
  if (!reference) reference = first.features->spatialReference();
  if (reference) table.crsWkt = reference->wkt();
  return table;
}

}  // namespace orvex::python
