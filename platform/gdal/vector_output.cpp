#include "platform/gdal/vector_output_dataset.h"

#include <ogrsf_frmts.h>

#include <system_error>

#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/gdal_session.h"

namespace orvex::platform::gdal {
namespace {

DatasetPtr createDataset(const char* driverName, const std::filesystem::path& file) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driverName);
  if (driver == nullptr) fail(std::string("GDAL has no ") + driverName + " driver", host::kNotImplemented);
  ErrorCollector errors;
  DatasetPtr dataset(driver->Create(file.string().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!dataset) failWithGdal("cannot create " + file.string(), &errors);
  return dataset;
}

void makeFolder(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.parent_path();
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) fail("cannot make the folder " + folder.string() + ": " + error.message());
}

VectorOutput openShapefile(const std::filesystem::path& file, bool replace) {
  if (std::filesystem::exists(file)) {
    if (!replace) fail(file.string() + " exists; --yes replaces it", host::kAlreadyExists);
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    ErrorCollector errors;
    if (driver == nullptr || driver->Delete(file.string().c_str()) != CE_None)
      failWithGdal("cannot replace " + file.string(), &errors);
  }
  makeFolder(file);
  return {createDataset("ESRI Shapefile", file), file.stem().string(), false};
}

// The transaction begins before an existing layer is deleted, so that a write that fails
// leaves the layer as it was.
void beginTransaction(GDALDataset& dataset, const std::filesystem::path& file, ErrorCollector& errors) {
  if (dataset.StartTransaction() != OGRERR_NONE)
    failWithGdal("cannot begin writing to " + file.string(), &errors);
}

VectorOutput openGeoPackage(const std::filesystem::path& file, std::string layer, bool replace) {
  ErrorCollector errors;
  if (!std::filesystem::exists(file)) {
    makeFolder(file);
    DatasetPtr created = createDataset("GPKG", file);
    beginTransaction(*created, file, errors);
    return {std::move(created), std::move(layer), true};
  }
  DatasetPtr dataset(GDALDataset::Open(file.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr));
  if (!dataset) failWithGdal("cannot open " + file.string() + " for writing", &errors);
  beginTransaction(*dataset, file, errors);
  VectorOutput out{std::move(dataset), std::move(layer), true};
  for (int i = 0; i < out.dataset->GetLayerCount(); ++i) {
    if (!host::iequals(out.dataset->GetLayer(i)->GetName(), out.layer)) continue;
    if (!replace)
      fail(file.string() + " already holds a layer " + out.layer + "; --yes replaces it",
           host::kAlreadyExists);
    if (out.dataset->DeleteLayer(i) != OGRERR_NONE)
      failWithGdal("cannot replace layer " + out.layer + " of " + file.string(), &errors);
    break;
  }
  return out;
}

/// Copies `source` into `target` as the new layer `name`: fields, coordinate system, geometry
/// type and features. (GDAL's own copy begins transactions of its own, and the copy here is
/// part of the caller's.) False at the first thing that cannot be written.
bool copyLayer(OGRLayer& source, GDALDataset& target, const std::string& name) {
  OGRFeatureDefn* definition = source.GetLayerDefn();
  OGRLayer* layer = target.CreateLayer(name.c_str(), source.GetSpatialRef(), source.GetGeomType(), nullptr);
  if (layer == nullptr) return false;
  for (int i = 0; i < definition->GetFieldCount(); ++i)
    if (layer->CreateField(definition->GetFieldDefn(i)) != OGRERR_NONE) return false;
  source.ResetReading();
  while (FeaturePtr feature{source.GetNextFeature()}) {
    FeaturePtr copy(OGRFeature::CreateFeature(layer->GetLayerDefn()));
    if (copy->SetFrom(feature.get(), TRUE) != OGRERR_NONE || layer->CreateFeature(copy.get()) != OGRERR_NONE)
      return false;
  }
  return true;
}

}  // namespace

VectorOutput::~VectorOutput() {
  if (dataset && transaction_) dataset->RollbackTransaction();
}

void VectorOutput::commit(const std::filesystem::path& file, const ErrorCollector& errors) {
  if (errors.failed()) failWithGdal("cannot write " + file.string(), &errors);
  if (transaction_) {
    transaction_ = false;
    if (dataset->CommitTransaction() != OGRERR_NONE) failWithGdal("cannot write " + file.string(), &errors);
  }
  dataset.reset();  // close: a failed flush is a failed write
  if (errors.failed()) failWithGdal("cannot write " + file.string(), &errors);
}

VectorFormat vectorFormatOf(const std::filesystem::path& file) {
  const std::string extension = host::toLowerAscii(file.extension().string());
  if (extension == ".shp") return VectorFormat::Shapefile;
  if (extension == ".gpkg") return VectorFormat::GeoPackage;
  fail(file.string() + ": the output must be a shapefile (.shp) or a GeoPackage (.gpkg)",
       host::kInvalidArgument);
}

VectorOutput openVectorOutput(const std::filesystem::path& file, std::string layer, bool replace) {
  ensureGdalReady();
  if (vectorFormatOf(file) == VectorFormat::Shapefile) return openShapefile(file, replace);
  return openGeoPackage(file, std::move(layer), replace);
}

void moveIntoGeoPackage(const std::filesystem::path& shapefile, const std::filesystem::path& geoPackage,
                        const std::string& layer, bool replace) {
  ensureGdalReady();
  if (vectorFormatOf(geoPackage) != VectorFormat::GeoPackage)
    fail(geoPackage.string() + " is not a GeoPackage", host::kInvalidArgument);
  ErrorCollector errors;
  const bool existed = layerFeatureCount(geoPackage, layer).has_value();
  GIntBig features = -1;
  try {
    DatasetPtr source(GDALDataset::Open(shapefile.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    if (!source || source->GetLayerCount() < 1) failWithGdal("cannot read " + shapefile.string(), &errors);
    features = source->GetLayer(0)->GetFeatureCount();
    VectorOutput out = openVectorOutput(geoPackage, layer, replace);
    if (!copyLayer(*source->GetLayer(0), *out.dataset, out.layer))
      failWithGdal("cannot copy " + shapefile.string() + " into " + geoPackage.string(), &errors);
    out.commit(geoPackage, errors);
  } catch (const host::Error&) {
    // SQLite can report a failed COMMIT or close after the layer reached the file: a new layer
    // that reads back whole was written, and is not to be reported as nothing written. (A
    // replaced layer could be the old one read back: that failure stands.)
    const ErrorCollector quiet;
    if (existed || features < 0 || layerFeatureCount(geoPackage, layer) != features) throw;
  }
  deleteShapefile(shapefile);
}

std::optional<std::int64_t> layerFeatureCount(const std::filesystem::path& geoPackage,
                                              const std::string& layer) {
  ensureGdalReady();
  std::error_code error;
  if (!std::filesystem::is_regular_file(geoPackage, error)) return std::nullopt;
  const ErrorCollector quiet;
  DatasetPtr dataset(GDALDataset::Open(geoPackage.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  OGRLayer* found = dataset ? dataset->GetLayerByName(layer.c_str()) : nullptr;
  if (found == nullptr) return std::nullopt;
  std::int64_t count = 0;
  for (auto& feature : *found) {
    if (quiet.failed()) return std::nullopt;
    (void)feature;
    ++count;
  }
  if (quiet.failed()) return std::nullopt;
  return count;
}

void deleteShapefile(const std::filesystem::path& shapefile) {
  ensureGdalReady();
  if (!std::filesystem::exists(shapefile)) return;
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  const ErrorCollector quiet;  // what could not be deleted stays; nothing depends on it
  if (driver != nullptr) driver->Delete(shapefile.string().c_str());
}

}  // namespace orvex::platform::gdal
