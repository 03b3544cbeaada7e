// Input preparation of the KDE batch run: animals from the unique values of the ID field,
// their fixes and spreads, and the tables derived from them.

#include <cmath>
#include <filesystem>
#include <string>

#include "host/application.h"
#include "host/environment.h"
#include "host/error.h"
#include "host/layer.h"
#include "host/text.h"
#include "ui/gis/shapefile_utils.h"
#include "ui/kde/kde_batch.h"

namespace orvex::ui {

namespace fs = std::filesystem;

namespace {

// Half up to `decimals` places: Int(x * 10^d + 0.5) / 10^d, Int rounding towards minus
// infinity, as the dialog's tables round.
double RoundHalfUp(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::floor(value * scale + 0.5) / scale;
}

double SampleStandardDeviation(const std::vector<CoordPair>& points, int column) {
  if (points.size() < 2) return std::nan("");
  double sum = 0.0;
  for (const CoordPair& p : points) sum += p[static_cast<std::size_t>(column)];
  const double mean = sum / static_cast<double>(points.size());
  double squares = 0.0;
  for (const CoordPair& p : points) {
    const double d = p[static_cast<std::size_t>(column)] - mean;
    squares += d * d;
  }
  return std::sqrt(squares / static_cast<double>(points.size() - 1));
}

// A text literal of the where-clause dialect: quotes inside are doubled, so an ID holding a
// quote selects its own fixes instead of breaking (or widening) the clause.
std::string QuotedText(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

std::string WhereEquals(const std::string& field, const host::Value& value) {
  if (value.isText()) return field + " = " + QuotedText(*value.text());
  return field + " = " + value.toText();
}

// Copies the layer's selected features (point and ID value) into the scratch shapefile.
std::shared_ptr<host::FeatureClass> CopySelection(host::Application& application,
                                                  const host::FeatureLayer& layer,
                                                  const host::FeatureClass& source,
                                                  const host::FieldDef& idField, const fs::path& folder) {
  host::SpatialReferencePtr spatialReference = source.spatialReference();
  std::shared_ptr<host::FeatureClass> copy =
      gis::CreateShapefileFeatureClass(application, folder, kScratchShapefileName, host::GeometryType::Point,
                                       false, false, spatialReference, true);
  if (!copy) throw host::Error(host::kFail, "Cannot create the scratch shapefile of the selected features");
  // The source definition keeps the field's width, so long text IDs are not cut short.
  host::FieldDef field = idField;
  if (field.type == host::FieldType::ObjectId || field.type == host::FieldType::SmallInteger) {
    field.type = host::FieldType::Integer;
  }
  field.geometry.reset();
  const int target = copy->addField(field);
  const int sourceIndex = source.findField(idField.name);

  const std::unique_ptr<host::Cursor> rows = layer.selection().search();
  const std::unique_ptr<host::InsertCursor> insert = copy->insert(true);
  host::Row buffer = copy->createRowBuffer();
  while (std::optional<host::Row> row = rows->next()) {
    buffer.setShape(row->shape());
    buffer.setValue(target, row->value(sourceIndex));
    insert->insert(buffer);
  }
  insert->flush();
  return copy;
}

KdeAnimal ReadAnimal(const host::FeatureClass& features, const std::string& field, const host::Value& value,
                     bool textIds, std::size_t position, bool& nullGeometry) {
  KdeAnimal animal;
  animal.idValue = value;
  animal.numericId = textIds ? static_cast<std::int32_t>(position) : value.toInt32();
  if (textIds) animal.textId = *value.text();
  const std::unique_ptr<host::Cursor> rows = features.search(WhereEquals(field, value));
  while (std::optional<host::Row> row = rows->next()) {
    const host::Point* point = row->shape().point();
    if (point == nullptr || point->isEmpty()) {
      nullGeometry = true;
      return animal;
    }
    animal.points.push_back({point->x, point->y});
  }
  animal.sdX = SampleStandardDeviation(animal.points, 0);
  animal.sdY = SampleStandardDeviation(animal.points, 1);
  return animal;
}

}  // namespace

std::string KdeAnimal::displayId(bool textIds) const { return textIds ? textId : std::to_string(numericId); }

std::optional<KdeAnimalData> PrepareKdeInput(host::Application& application, const host::FeatureLayer& layer,
                                             const std::string& idField, bool selectedOnly) {
  std::shared_ptr<host::FeatureClass> source = layer.featureClass();
  if (!source) {
    throw host::Error(host::error_number::kObjectNotSet,
                      "The layer '" + layer.name() + "' has no data source");
  }
  const int FieldIndex = source->findField(idField);
  if (FieldIndex < 0) {
    throw host::Error(host::kNotFound,
                      "Field '" + idField + "' not found in the layer '" + layer.name() + "'");
  }
  const host::FieldDef fieldDef = source->fields().at(FieldIndex);

  // A private folder, so that two runs at the same time never write or delete each other's copy.
  std::optional<host::ScratchFolder> scratch;
  std::shared_ptr<host::FeatureClass> features = source;
  if (selectedOnly) {
    scratch.emplace("orvexkde-");
    features = CopySelection(application, layer, *source, fieldDef, scratch->path());
  }

  KdeAnimalData data;
  data.textIds = fieldDef.type == host::FieldType::String;
  std::vector<host::Value> ids;
  {
    const std::unique_ptr<host::Cursor> all = features->search();
    ids = gis::UniqueValues(application.ui(), *all, fieldDef.name);
  }
  bool nullGeometry = false;
  for (std::size_t p = 0; p < ids.size() && !nullGeometry; ++p) {
    data.animals.push_back(ReadAnimal(*features, fieldDef.name, ids[p], data.textIds, p, nullGeometry));
  }
  if (scratch) {
    // Released through the workspace first so that no open handle keeps the files.
    features.reset();
    gis::DeleteDataset(application.workspaces(), scratch->path(), kScratchShapefileName);
  }
  if (nullGeometry) {
    application.ui().messageBox(kMsgNullGeometry, "Error", host::MessageButtons::Ok,
                                host::MessageIcon::Critical);
    return std::nullopt;
  }
  return data;
}

double LargestHref(const KdeAnimalData& data) {
  double largest = 0.0;
  for (const KdeAnimal& animal : data.animals) {
    if (animal.count() < 2) continue;
    const double href =
        ((animal.sdX + animal.sdY) / 2.0) * std::pow(static_cast<double>(animal.count()), -1.0 / 6.0);
    if (href > largest) largest = href;
  }
  return largest;
}

std::vector<std::vector<std::string>> VarianceTableRows(const KdeAnimalData& data) {
  std::vector<std::vector<std::string>> rows;
  for (const KdeAnimal& animal : data.animals) {
    std::vector<std::string> row{animal.displayId(data.textIds), std::to_string(animal.count())};
    if (animal.count() > 1) {
      row.push_back(host::numberText(RoundHalfUp(animal.sdX, 2)));
      row.push_back(host::numberText(RoundHalfUp(animal.sdY, 2)));
      row.push_back(host::numberText(RoundHalfUp(animal.sdX / animal.sdY, 2)));
    } else {
      row.insert(row.end(), 3, "N/A");
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace orvex::ui
