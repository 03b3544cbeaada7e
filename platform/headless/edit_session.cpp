#include "platform/headless/edit_session.h"

#include <ogrsf_frmts.h>

#include <functional>
#include <optional>

#include "host/error.h"
#include "platform/gdal/deferred_stops.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/ogr_fields.h"
#include "platform/gdal/shapefile_edit.h"
#include "platform/gdal/shapefile_feature_class.h"

namespace orvex::platform::headless {
namespace fs = std::filesystem;
namespace {

/// Closes a working copy, checking that every write reached its files.
void closeChecked(const std::shared_ptr<host::FeatureClass>& featureClass) {
  if (auto shapefile = std::dynamic_pointer_cast<gdal::ShapefileFeatureClass>(featureClass))
    shapefile->close();
}

/// A fingerprint of one row's attribute values, one entry per field.
std::vector<std::size_t> fingerprint(const host::Row& row) {
  std::vector<std::size_t> values;
  for (int i = 0; i < row.fields().count(); ++i) {
    const host::FieldType type = row.fields().at(i).type;
    if (type == host::FieldType::Geometry || type == host::FieldType::ObjectId) {
      values.push_back(0);
      continue;
    }
    const host::Value& value = row.value(i);
    values.push_back(value.isEmpty() ? 0 : std::hash<std::string>{}(value.toText()) | 1U);
  }
  return values;
}

}  // namespace

struct EditSessions::Edit {
  virtual ~Edit() = default;
  virtual void commit() = 0;
  std::shared_ptr<host::FeatureClass> featureClass;
};

namespace {

struct ShapefileFileEdit final : EditSessions::Edit {
  explicit ShapefileFileEdit(gdal::ShapefileEdit started) : edit(std::move(started)) {}
  void commit() override {
    try {
      closeChecked(featureClass);
    } catch (const host::Error& error) {
      edit.rollBack();
      throw host::Error(error.number(),
                        error.description() + "; nothing was changed in '" + edit.original().string() + "'");
    }
    featureClass.reset();
    edit.commit();
  }
  gdal::ShapefileEdit edit;
};

/// A GeoPackage layer edited through a shapefile copy and written back in one transaction.
struct GeoPackageEdit final : EditSessions::Edit {
  fs::path source;
  std::string layerName;
  int sourceFieldCount = 0;                      ///< the copy's first fields are the source's, in order
  std::vector<std::vector<std::size_t>> before;  ///< by record number of the copy

  [[noreturn]] void fail(const std::string& what, const gdal::ErrorCollector* errors = nullptr) const {
    gdal::failWithGdal("Cannot write the edit back to '" + source.string() + "' (layer '" + layerName +
                           "'): " + what + "; nothing was changed in it",
                       errors);
  }

  void commit() override {
    // Everything is read from the copy before it is closed: closing packs deleted records
    // away and renumbers the rest.
    const int records = static_cast<int>(before.size());
    std::vector<std::optional<host::Row>> after(before.size());
    for (int id = 0; id < records; ++id) after[static_cast<std::size_t>(id)] = featureClass->row(id);
    const host::Fields fields = featureClass->fields();
    try {
      closeChecked(featureClass);
    } catch (const host::Error& error) {
      fail(error.description());
    }
    featureClass.reset();
    writeBack(after, fields);
  }

  void writeBack(const std::vector<std::optional<host::Row>>& after, const host::Fields& fields) const {
    const gdal::DeferredStops stops;  // a stop mid-transaction would leave SQLite's journal beside the file
    gdal::ErrorCollector errors;
    gdal::DatasetPtr dataset(GDALDataset::Open(source.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    if (!dataset) fail("it cannot be opened for writing", &errors);
    OGRLayer* layer = dataset->GetLayerByName(layerName.c_str());
    if (layer == nullptr) fail("the layer is gone");
    if (layer->GetLayerDefn()->GetFieldCount() != sourceFieldCount)
      fail("its fields do not match those of the copy that was edited");
    if (dataset->StartTransaction() != OGRERR_NONE) fail("no transaction", &errors);
    // Checked, then committed: GDAL reports some failures (a damaged geometry read, a value it
    // could not store) only through its error state, and nothing it complained about may be
    // committed.
    std::string refused;
    try {
      apply(*layer, after, fields, errors);
    } catch (const host::Error& error) {
      refused = error.description();
    }
    if (refused.empty() && errors.failed()) refused = "GDAL refused a change";
    if (refused.empty() && dataset->CommitTransaction() != OGRERR_NONE) refused = "the commit failed";
    if (!refused.empty()) {
      dataset->RollbackTransaction();
      fail(refused, &errors);
    }
    dataset.reset();
    if (errors.failed())
      gdal::failWithGdal("The edit of '" + source.string() + "' (layer '" + layerName +
                             "') was committed, but closing the file failed",
                         &errors);
  }

  /// Applies the copy's changes to `layer` inside the open transaction; throws host::Error on
  /// the first change GDAL refuses.
  void apply(OGRLayer& layer, const std::vector<std::optional<host::Row>>& after, const host::Fields& fields,
             const gdal::ErrorCollector& errors) const {
    const auto check = [&](bool done, const char* what) {
      if (!done || errors.failed()) throw host::Error(host::kDataError, what);
    };
    // Host field index (in the copy) -> OGR field index (in the source).
    std::vector<int> target(static_cast<std::size_t>(fields.count()), -1);
    int attribute = 0;
    for (int i = 0; i < fields.count(); ++i) {
      const host::FieldDef& field = fields.at(i);
      if (field.type == host::FieldType::Geometry || field.type == host::FieldType::ObjectId) continue;
      if (attribute < sourceFieldCount) {
        target[static_cast<std::size_t>(i)] = attribute++;
        continue;
      }
      check(layer.CreateField(gdal::ogrFieldFor(field).get(), TRUE) == OGRERR_NONE,
            "GDAL refused a new field");
      target[static_cast<std::size_t>(i)] = layer.GetLayerDefn()->GetFieldCount() - 1;
    }

    std::vector<GIntBig> sourceIds;
    layer.ResetReading();
    while (gdal::FeaturePtr feature{layer.GetNextFeature()}) sourceIds.push_back(feature->GetFID());
    check(!errors.failed(), "a feature of the layer cannot be read");
    check(sourceIds.size() == after.size(), "the layer changed while it was edited");

    for (std::size_t n = 0; n < after.size(); ++n) {
      if (!after[n]) {
        check(layer.DeleteFeature(sourceIds[n]) == OGRERR_NONE, "GDAL refused a deletion");
        continue;
      }
      const std::vector<std::size_t> now = fingerprint(*after[n]);
      if (now == before[n]) continue;
      gdal::FeaturePtr feature(layer.GetFeature(sourceIds[n]));
      check(feature != nullptr, "a feature of the layer cannot be read");
      for (std::size_t i = 0; i < now.size(); ++i) {
        const bool added = target[i] >= sourceFieldCount;
        if (target[i] < 0 || (!added && i < before[n].size() && now[i] == before[n][i])) continue;
        gdal::writeValue(*feature, target[i], after[n]->value(static_cast<int>(i)), source.string());
      }
      check(layer.SetFeature(feature.get()) == OGRERR_NONE, "GDAL refused a change");
    }
  }
};

}  // namespace

EditSessions::EditSessions() = default;

EditSessions::~EditSessions() {
  // Working copies close before their edits roll back (the edits' files are removed).
  for (auto& edit : edits_) edit->featureClass.reset();
}

bool EditSessions::empty() const { return edits_.empty(); }

fs::path EditSessions::beginShapefile(const fs::path& shp) {
  auto edit = std::make_unique<ShapefileFileEdit>(gdal::ShapefileEdit::begin(shp));
  fs::path working = edit->edit.workingCopy();
  edits_.push_back(std::move(edit));
  return working;
}

void EditSessions::attach(const fs::path& workingShp, std::shared_ptr<host::FeatureClass> featureClass) {
  for (auto& edit : edits_)
    if (auto* shapefile = dynamic_cast<ShapefileFileEdit*>(edit.get());
        shapefile != nullptr && shapefile->edit.workingCopy() == workingShp)
      shapefile->featureClass = std::move(featureClass);
}

void EditSessions::beginGeoPackage(const fs::path& source, const std::string& layerName,
                                   const std::shared_ptr<host::FeatureClass>& copy) {
  auto edit = std::make_unique<GeoPackageEdit>();
  edit->source = source;
  edit->layerName = layerName;
  edit->featureClass = copy;
  for (int i = 0; i < copy->fields().count(); ++i) {
    const host::FieldType type = copy->fields().at(i).type;
    if (type != host::FieldType::Geometry && type != host::FieldType::ObjectId) ++edit->sourceFieldCount;
  }
  auto cursor = copy->search();
  while (auto row = cursor->next()) {
    const auto id = static_cast<std::size_t>(row->oid());
    if (edit->before.size() <= id) edit->before.resize(id + 1);
    edit->before[id] = fingerprint(*row);
  }
  edits_.push_back(std::move(edit));
}

void EditSessions::commit() {
  for (auto& edit : edits_) edit->commit();
  edits_.clear();
}

}  // namespace orvex::platform::headless
