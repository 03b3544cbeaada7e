#include "platform/gdal/shapefile_feature_class.h"

#include <cpl_string.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <unordered_set>
#include <utility>

#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/geometry_convert.h"
#include "platform/gdal/ogr_fields.h"
#include "platform/gdal/ogr_spatial_reference.h"
#include "platform/gdal/shapefile_cursors.h"
#include "platform/gdal/shapefile_edit.h"
#include "platform/gdal/where_filter.h"

namespace orvex::platform::gdal {
namespace {

constexpr const char* kDriverName = "ESRI Shapefile";
constexpr const char* kObjectIdField = "FID";
constexpr const char* kShapeField = "Shape";
/// Host field indexes of the two maintained fields; attributes follow.
constexpr int kFirstAttribute = 2;

host::GeometryType hostShapeType(OGRwkbGeometryType type) {
  switch (wkbFlatten(type)) {
    case wkbPoint:
      return host::GeometryType::Point;
    case wkbMultiPoint:
      return host::GeometryType::Multipoint;
    case wkbLineString:
    case wkbMultiLineString:
      return host::GeometryType::Polyline;
    case wkbPolygon:
    case wkbMultiPolygon:
      return host::GeometryType::Polygon;
    default:
      return host::GeometryType::Null;
  }
}

OGRwkbGeometryType ogrShapeType(const host::GeometryDef& def) {
  OGRwkbGeometryType base = wkbUnknown;
  switch (def.type) {
    case host::GeometryType::Point:
      base = wkbPoint;
      break;
    case host::GeometryType::Multipoint:
      base = wkbMultiPoint;
      break;
    case host::GeometryType::Polyline:
      base = wkbLineString;
      break;
    case host::GeometryType::Polygon:
      base = wkbPolygon;
      break;
    case host::GeometryType::Null:
      throw host::Error(host::kInvalidArgument,
                        "a feature class needs a point, multipoint, line or polygon shape");
  }
  return OGR_GT_SetModifier(base, def.hasZ, def.hasM);
}

/// True when the coordinate system file parses, as a complete one does.
bool readsBack(const std::filesystem::path& prj) {
  CPLStringList lines(CSLLoad(prj.c_str()));
  if (lines.empty()) return false;
  OGRSpatialReference srs;
  return srs.importFromESRI(lines.List()) == OGRERR_NONE;
}

bool writable(const std::filesystem::path& p) { return ::access(p.c_str(), W_OK) == 0; }

std::filesystem::path sibling(const std::filesystem::path& shp, const char* extension) {
  auto p = shp;
  p.replace_extension(extension);
  return p;
}

}  // namespace

ShapefileFeatureClass::ShapefileFeatureClass(std::filesystem::path shp, DatasetPtr dataset, bool readOnly,
                                             std::unique_ptr<MemorySet> memory)
    : shp_(std::move(shp)), memory_(std::move(memory)), dataset_(std::move(dataset)), readOnly_(readOnly) {
  layer_ = dataset_->GetLayer(0);
  if (layer_ == nullptr) fail("shapefile \"" + shp_.string() + "\" holds no layer");
  shapeType_ = hostShapeType(layer_->GetGeomType());
  spatialReference_ = fromOgrSrs(layer_->GetSpatialRef());
  rebuildFields();
}

std::shared_ptr<ShapefileFeatureClass> ShapefileFeatureClass::open(const std::filesystem::path& shp) {
  ensureGdalReady();
  const bool readOnly = !writable(shp) || !writable(sibling(shp, ".dbf")) || !writable(sibling(shp, ".shx"));
  CPLStringList options;
  // Renumbering on repack would move ids under a running command: never while open.
  options.SetNameValue("AUTO_REPACK", "NO");
  const char* drivers[] = {kDriverName, nullptr};
  ErrorCollector errors;
  const unsigned flags = GDAL_OF_VECTOR | (readOnly ? GDAL_OF_READONLY : GDAL_OF_UPDATE);
  finishInterruptedEdit(shp);
  std::unique_ptr<MemorySet> memory;
  if (!readOnly && isWorkingCopy(shp) && MemorySet::setBytes(shp) <= kMaxMemorySetBytes) {
    try {
      memory = std::make_unique<MemorySet>(shp);
    } catch (const host::Error&) {
      // Edited on disk instead: slower, the same bytes.
    }
  }
  const std::string opened = memory ? memory->memoryShp() : shp.string();
  DatasetPtr ds(GDALDataset::Open(opened.c_str(), flags, drivers, options.List(), nullptr));
  if (!ds) failWithGdal("cannot open shapefile \"" + shp.string() + "\"", &errors);
  return std::shared_ptr<ShapefileFeatureClass>(
      new ShapefileFeatureClass(shp, std::move(ds), readOnly, std::move(memory)));
}

std::shared_ptr<ShapefileFeatureClass> ShapefileFeatureClass::create(
    const std::filesystem::path& shp, const host::FeatureClassSpec& definition) {
  ensureGdalReady();
  const int shapeIndex = definition.fields.find(definition.shapeFieldName);
  if (shapeIndex < 0 || definition.fields.at(shapeIndex).type != host::FieldType::Geometry ||
      !definition.fields.at(shapeIndex).geometry) {
    throw host::Error(host::kInvalidArgument, "feature class \"" + definition.name +
                                                  "\" has no geometry field \"" + definition.shapeFieldName +
                                                  "\"");
  }
  const host::GeometryDef& geometry = *definition.fields.at(shapeIndex).geometry;
  const OGRwkbGeometryType shapeType = ogrShapeType(geometry);
  SpatialRefPtr srs = toOgrSrs(geometry.spatialReference.get());

  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(kDriverName);
  if (driver == nullptr) fail("GDAL has no shapefile driver");
  ErrorCollector errors;
  DatasetPtr ds(driver->Create(shp.string().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!ds) failWithGdal("cannot create shapefile \"" + shp.string() + "\"", &errors);

  auto discard = [&](const std::string& what) {
    const std::string detail = errors.text();
    ds.reset();
    GDALDeleteDataset(GDALDriver::ToHandle(driver), shp.string().c_str());
    fail(detail.empty() ? what : what + ": " + detail);
  };
  CPLStringList layerOptions;
  layerOptions.SetNameValue("ENCODING", "UTF-8");
  layerOptions.SetNameValue("AUTO_REPACK", "NO");
  OGRLayer* layer = ds->CreateLayer(shp.stem().string().c_str(), srs.get(), shapeType, layerOptions.List());
  if (layer == nullptr) discard("cannot create shapefile \"" + shp.string() + "\"");
  // OGR writes the .prj without a check of its own: a cut-short one no longer parses.
  if (srs && !readsBack(sibling(shp, ".prj")))
    discard("cannot write \"" + sibling(shp, ".prj").string() + "\"");
  for (const host::FieldDef& field : definition.fields) {
    if (field.type == host::FieldType::Geometry || field.type == host::FieldType::ObjectId) continue;
    auto defn = ogrFieldFor(field);
    if (layer->CreateField(defn.get(), TRUE) != OGRERR_NONE) {
      discard("cannot add field \"" + field.name + "\" to \"" + shp.string() + "\"");
    }
  }
  if (layer->SyncToDisk() != OGRERR_NONE || errors.failed())
    discard("cannot write shapefile \"" + shp.string() + "\"");
  auto created = std::shared_ptr<ShapefileFeatureClass>(new ShapefileFeatureClass(shp, std::move(ds), false));
  created->created_ = true;
  return created;
}

ShapefileFeatureClass::~ShapefileFeatureClass() { closeAndRecord(); }

void ShapefileFeatureClass::closeAndRecord() noexcept {
  std::lock_guard lock(mutex_);
  const std::string failure = closeFiles(false);
  if (!failure.empty()) reportFailedWrite(failedWrites_, shp_, failure);
}

void ShapefileFeatureClass::setFailedWrites(std::shared_ptr<FailedWriteSink> sink) {
  std::lock_guard lock(mutex_);
  if (!failedWrites_) failedWrites_ = std::move(sink);
}

std::string ShapefileFeatureClass::closeFiles(bool forDeletion) noexcept {
  lastRead_.reset();
  if (closed_ || !dataset_) {
    closed_ = closed_ || forDeletion;
    return {};
  }
  ErrorCollector errors;
  if (rowsDeleted_ && !readOnly_ && !writeFailed_ && !forDeletion) {
    // Nothing holds this object any more, so no id of it is in use: pack the deleted records
    // away so that other programs never see them.
    // The layer name goes unquoted: REPACK takes the rest of the statement as the name.
    const std::string sql = "REPACK " + shp_.stem().string();
    OGRLayer* result = dataset_->ExecuteSQL(sql.c_str(), nullptr, nullptr);
    if (result != nullptr) dataset_->ReleaseResultSet(result);
  }
  // Headers and buffered records are written here; a failure shows only in the error state.
  dataset_.reset();
  layer_ = nullptr;
  closed_ = true;
  if (forDeletion) {
    if (memory_) memory_->discard();
    return {};  // the files go: what they hold no longer matters
  }
  if (errors.failed() && !readOnly_) writeFailed_ = true;
  // Written back even after a failure: the files then hold what the copy holds, as they would
  // had it been edited on disk.
  const std::string writeBackFailure = memory_ ? memory_->writeBack() : std::string();
  if (!writeBackFailure.empty()) writeFailed_ = true;
  if (!writeFailed_) return {};
  std::string what = "writing \"" + shp_.string() + "\" failed";
  if (const std::string reason = errors.text(); !reason.empty()) what += ": " + reason;
  if (!writeBackFailure.empty()) what += ": " + writeBackFailure;
  if (created_) {
    removeFailedFiles();
    what += "; the incomplete file was removed";
  }
  return what;
}

void ShapefileFeatureClass::removeFailedFiles() noexcept {
  for (const char* extension : {".shp", ".shx", ".dbf", ".prj", ".cpg", ".qix"}) {
    std::error_code ignored;
    std::filesystem::remove(sibling(shp_, extension), ignored);
  }
}

void ShapefileFeatureClass::close() {
  std::lock_guard lock(mutex_);
  const std::string failure = closeFiles(false);
  if (!failure.empty()) throw host::Error(host::kDataError, failure);
}

void ShapefileFeatureClass::failWrite(const std::string& what, const ErrorCollector& errors) {
  writeFailed_ = true;
  failWithGdal(what, &errors);
}

void ShapefileFeatureClass::requireOpen() const {
  if (closed_) throw host::Error(host::kNotFound, "shapefile \"" + shp_.string() + "\" was deleted");
}

void ShapefileFeatureClass::requireWritable() const {
  requireOpen();
  if (readOnly_) throw host::Error(host::kAccessDenied, "shapefile \"" + shp_.string() + "\" is read-only");
}

std::string ShapefileFeatureClass::where() const { return "\"" + shp_.string() + "\""; }

void ShapefileFeatureClass::rebuildFields() {
  std::vector<host::FieldDef> defs;
  host::FieldDef oid;
  oid.name = kObjectIdField;
  oid.type = host::FieldType::ObjectId;
  oid.length = 4;
  defs.push_back(oid);
  host::FieldDef shape;
  shape.name = kShapeField;
  shape.type = host::FieldType::Geometry;
  shape.geometry = host::GeometryDef{shapeType_, false, false, spatialReference_};
  const OGRwkbGeometryType layerType = layer_->GetGeomType();
  shape.geometry->hasZ = OGR_GT_HasZ(layerType) != 0;
  shape.geometry->hasM = OGR_GT_HasM(layerType) != 0;
  defs.push_back(shape);
  const OGRFeatureDefn* defn = layer_->GetLayerDefn();
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    defs.push_back(hostFieldFor(*defn->GetFieldDefn(i)));
    if (static_cast<std::size_t>(i) < sourceFieldNames_.size())
      defs.back().name = sourceFieldNames_[static_cast<std::size_t>(i)];
  }
  if (fields_) retiredFields_.push_back(fields_);
  fields_ = std::make_shared<const host::Fields>(std::move(defs));
}

void ShapefileFeatureClass::useSourceFieldNames(std::vector<std::string> names) {
  std::lock_guard lock(mutex_);
  requireOpen();
  sourceFieldNames_ = std::move(names);
  rebuildFields();
}

std::string ShapefileFeatureClass::name() const { return shp_.stem().string(); }

const host::Fields& ShapefileFeatureClass::fields() const {
  std::lock_guard lock(mutex_);
  return *fields_;
}

int ShapefileFeatureClass::addField(const host::FieldDef& field) {
  std::lock_guard lock(mutex_);
  requireWritable();
  if (fields_->find(field.name) >= 0) {
    throw host::Error(host::kAlreadyExists, "field \"" + field.name + "\" already exists in " + where());
  }
  auto defn = ogrFieldFor(field);
  lastRead_.reset();  // a feature holds the field list it was read with, which this changes
  ErrorCollector errors;
  if (layer_->CreateField(defn.get(), TRUE) != OGRERR_NONE || errors.failed()) {
    failWrite("cannot add field \"" + field.name + "\" to " + where(), errors);
  }
  rebuildFields();
  return fields_->count() - 1;
}

void ShapefileFeatureClass::deleteField(std::string_view fieldName) {
  std::lock_guard lock(mutex_);
  requireWritable();
  const int index = fields_->find(fieldName);
  if (index < 0) {
    throw host::Error(host::kNotFound, "no field \"" + std::string(fieldName) + "\" in " + where());
  }
  if (index < kFirstAttribute) {
    throw host::Error(host::kInvalidArgument, "field \"" + std::string(fieldName) + "\" of " + where() +
                                                  " is maintained by the data source and cannot be deleted");
  }
  lastRead_.reset();
  ErrorCollector errors;
  if (layer_->DeleteField(index - kFirstAttribute) != OGRERR_NONE || errors.failed()) {
    failWrite("cannot delete field \"" + std::string(fieldName) + "\" from " + where(), errors);
  }
  if (const auto named = static_cast<std::size_t>(index - kFirstAttribute); named < sourceFieldNames_.size())
    sourceFieldNames_.erase(sourceFieldNames_.begin() + static_cast<std::ptrdiff_t>(named));
  rebuildFields();
}

std::vector<host::ObjectId> ShapefileFeatureClass::matchingIds(const host::QueryFilter& filter) const {
  std::lock_guard lock(mutex_);
  requireOpen();
  if (filter.objectIds && filter.where.empty()) return host::withoutRepeatedIds(*filter.objectIds);

  const WhereFilter clause = WhereFilter::compile(filter.where, *layer_->GetLayerDefn(), sourceFieldNames_);
  ErrorCollector errors;
  // The walk only needs ids and attributes; skipping the shapes saves reading the .shp, and
  // a clause that keeps every row needs no attribute either.
  const OGRFeatureDefn& definition = *layer_->GetLayerDefn();
  std::vector<const char*> ignored{"OGR_GEOMETRY"};
  if (clause.keepsEveryRow()) {
    for (int i = 0; i < definition.GetFieldCount(); ++i)
      ignored.push_back(definition.GetFieldDefn(i)->GetNameRef());
  }
  ignored.push_back(nullptr);
  layer_->SetIgnoredFields(ignored.data());
  std::vector<host::ObjectId> ids;
  layer_->ResetReading();
  while (FeaturePtr f{layer_->GetNextFeature()}) {
    if (clause.matches(*f)) ids.push_back(static_cast<host::ObjectId>(f->GetFID()));
  }
  const bool readFailed = errors.failed();
  layer_->SetIgnoredFields(nullptr);
  layer_->ResetReading();
  if (readFailed) failWithGdal("cannot read " + where(), &errors);

  if (!filter.objectIds) return ids;
  const std::unordered_set<host::ObjectId> matching(ids.begin(), ids.end());
  std::vector<host::ObjectId> ordered;
  std::unordered_set<host::ObjectId> seen;
  for (host::ObjectId id : *filter.objectIds) {
    if (matching.count(id) != 0 && seen.insert(id).second) ordered.push_back(id);
  }
  return ordered;
}

std::vector<host::ObjectId> ShapefileFeatureClass::selectedIds(const host::QueryFilter& filter) const {
  if (filter.objectIds && filter.where.empty()) return Table::selectedIds(filter);
  return matchingIds(filter);
}

int ShapefileFeatureClass::rowCount(const host::QueryFilter& filter) const {
  std::lock_guard lock(mutex_);
  const auto ids = matchingIds(filter);
  if (!filter.objectIds || !filter.where.empty()) return static_cast<int>(ids.size());
  int present = 0;
  for (host::ObjectId id : ids) {
    if (readRow(id)) ++present;
  }
  return present;
}

std::optional<host::Row> ShapefileFeatureClass::readRow(host::ObjectId id) const {
  std::lock_guard lock(mutex_);
  requireOpen();
  if (id < 0) return std::nullopt;
  ErrorCollector quiet;  // an id past the end is an answer ("no such row"), not noise
  FeaturePtr f(layer_->GetFeature(id));
  if (!f) return std::nullopt;
  // A record whose shape GDAL could not read comes back without one: taken as a null shape
  // it would be passed over in silence (half a truncated file analysed as the whole).
  if (quiet.failed() && f->GetGeometryRef() == nullptr)
    fail("The shape of row " + std::to_string(id) + " of '" + shp_.filename().string() +
         "' cannot be read: " + quiet.text());
  host::Row row(fields_);
  row.setOid(id);
  const int attributes = f->GetFieldCount();
  for (int i = 0; i < attributes && i + kFirstAttribute < fields_->count(); ++i) {
    row.setRawValue(i + kFirstAttribute, readValue(*f, i));
  }
  row.setShape(fromOgr(f->GetGeometryRef(), spatialReference_));
  lastRead_ = std::move(f);
  return row;
}

std::optional<host::Row> ShapefileFeatureClass::row(host::ObjectId id) const { return readRow(id); }

void ShapefileFeatureClass::deleteRow(host::ObjectId id) {
  std::lock_guard lock(mutex_);
  requireWritable();
  if (!readRow(id)) {
    throw host::Error(host::kNotFound, "no row " + std::to_string(id) + " in " + where());
  }
  lastRead_.reset();
  ErrorCollector errors;
  if (layer_->DeleteFeature(id) != OGRERR_NONE || errors.failed()) {
    failWrite("cannot delete row " + std::to_string(id) + " of " + where(), errors);
  }
  rowsDeleted_ = true;
}

void ShapefileFeatureClass::fillFeature(OGRFeature& feature, const host::Row& row) const {
  const OGRFeatureDefn* defn = layer_->GetLayerDefn();
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    // Matched by the host's name of the field, which a source's long name may have replaced.
    const int source = row.findField(fields_->at(i + kFirstAttribute).name);
    if (source < 0) continue;
    try {
      writeValue(feature, i, row.value(source), where());
    } catch (const host::Error& e) {
      if (e.number() < 0) throw;  // a failure of this platform, already with its context
      // A value fault (overflow, null, type mismatch) keeps its number for the callers that
      // report it, and gains the field it happened in.
      throw host::Error(
          e.number(),
          e.description() + " (field \"" + defn->GetFieldDefn(i)->GetNameRef() + "\" of " + where() + ")",
          e.context());
    }
  }
  const host::Geometry& shape = row.shape();
  if (shape.type() == host::GeometryType::Null) {
    feature.SetGeometryDirectly(nullptr);
    return;
  }
  if (shape.type() != shapeType_) {
    throw host::Error(host::kInvalidArgument, "a shape of type " +
                                                  std::to_string(static_cast<int>(shape.type())) +
                                                  " cannot be stored in " + where() + " (shape type " +
                                                  std::to_string(static_cast<int>(shapeType_)) + ")");
  }
  GeometryPtr fresh = toOgr(shape);
  // The host's shapes are 2-D: a stored shape with Z or M that the row did not move keeps its Z
  // and M; a moved one gets the layer's dimensions (Z and M 0), so the file keeps its type.
  if (const OGRGeometry* stored = feature.GetGeometryRef();
      stored != nullptr && (stored->Is3D() || stored->IsMeasured())) {
    GeometryPtr flat(stored->clone());
    flat->flattenTo2D();
    if (flat->Equals(fresh.get())) return;
  }
  const OGRwkbGeometryType layerType = layer_->GetGeomType();
  if (OGR_GT_HasZ(layerType) != 0) fresh->set3D(TRUE);
  if (OGR_GT_HasM(layerType) != 0) fresh->setMeasured(TRUE);
  feature.SetGeometryDirectly(fresh.release());
}

void ShapefileFeatureClass::writeRow(const host::Row& row) {
  std::lock_guard lock(mutex_);
  requireWritable();
  ErrorCollector errors;
  FeaturePtr feature = lastRead_ && lastRead_->GetFID() == row.oid() ? std::move(lastRead_) : nullptr;
  lastRead_.reset();
  if (!feature && row.oid() >= 0) feature.reset(layer_->GetFeature(row.oid()));
  if (!feature) throw host::Error(host::kNotFound, "no row " + std::to_string(row.oid()) + " in " + where());
  fillFeature(*feature, row);
  if (layer_->SetFeature(feature.get()) != OGRERR_NONE || errors.failed()) {
    failWrite("cannot write row " + std::to_string(row.oid()) + " of " + where(), errors);
  }
}

host::ObjectId ShapefileFeatureClass::appendRow(const host::Row& buffer) {
  std::lock_guard lock(mutex_);
  requireWritable();
  lastRead_.reset();
  FeaturePtr feature(OGRFeature::CreateFeature(layer_->GetLayerDefn()));
  fillFeature(*feature, buffer);
  ErrorCollector errors;
  if (layer_->CreateFeature(feature.get()) != OGRERR_NONE || errors.failed())
    failWrite("cannot add a row to " + where(), errors);
  const GIntBig fid = feature->GetFID();
  if (fid < 0 || fid > INT32_MAX)
    fail("row id " + std::to_string(fid) + " of " + where() + " is out of range");
  return static_cast<host::ObjectId>(fid);
}

void ShapefileFeatureClass::sync() {
  std::lock_guard lock(mutex_);
  requireOpen();
  if (readOnly_) return;
  ErrorCollector errors;
  if (layer_->SyncToDisk() != OGRERR_NONE || errors.failed()) failWrite("cannot write " + where(), errors);
}

host::Envelope ShapefileFeatureClass::extent() const {
  std::lock_guard lock(mutex_);
  requireOpen();
  // Walked rather than taken from the header: the header still counts deleted records.
  host::Envelope box;
  ErrorCollector errors;
  layer_->ResetReading();
  while (FeaturePtr f{layer_->GetNextFeature()}) {
    const OGRGeometry* g = f->GetGeometryRef();
    if (g == nullptr || g->IsEmpty()) continue;
    OGREnvelope e;
    g->getEnvelope(&e);
    box.expand(host::Point{e.MinX, e.MinY});
    box.expand(host::Point{e.MaxX, e.MaxY});
  }
  layer_->ResetReading();
  if (errors.failed()) failWithGdal("cannot read " + where(), &errors);
  return box;
}

std::unique_ptr<host::Cursor> ShapefileFeatureClass::search(const host::QueryFilter& filter) const {
  auto self = std::static_pointer_cast<const ShapefileFeatureClass>(shared_from_this());
  return std::make_unique<ShapefileSearchCursor>(self, matchingIds(filter));
}

std::unique_ptr<host::UpdateCursor> ShapefileFeatureClass::update(const host::QueryFilter& filter) {
  requireWritable();
  auto self = std::static_pointer_cast<ShapefileFeatureClass>(shared_from_this());
  return std::make_unique<ShapefileUpdateCursor>(self, matchingIds(filter));
}

std::unique_ptr<host::InsertCursor> ShapefileFeatureClass::insert(bool /*useBuffering*/) {
  requireWritable();
  auto self = std::static_pointer_cast<ShapefileFeatureClass>(shared_from_this());
  return std::make_unique<ShapefileInsertCursor>(self);
}

void ShapefileFeatureClass::closeForDeletion() {
  std::lock_guard lock(mutex_);
  closeFiles(true);
}

}  // namespace orvex::platform::gdal
