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
  return {createDataset("ESRI Shapefile", file), file.stem().string()};
}

VectorOutput openGeoPackage(const std::filesystem::path& file, std::string layer, bool replace) {
  if (!std::filesystem::exists(file)) {
    makeFolder(file);
    return {createDataset("GPKG", file), std::move(layer)};
  }
  ErrorCollector errors;
  DatasetPtr dataset(GDALDataset::Open(file.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr));
  if (!dataset) failWithGdal("cannot open " + file.string() + " for writing", &errors);
  for (int i = 0; i < dataset->GetLayerCount(); ++i) {
    if (!host::iequals(dataset->GetLayer(i)->GetName(), layer)) continue;
    if (!replace)
      fail(file.string() + " already holds a layer " + layer + "; --yes replaces it", host::kAlreadyExists);
    if (dataset->DeleteLayer(i) != OGRERR_NONE)
      failWithGdal("cannot replace layer " + layer + " of " + file.string(), &errors);
    break;
  }
  return {std::move(dataset), std::move(layer)};
}

}  // namespace

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
  {
    DatasetPtr source(GDALDataset::Open(shapefile.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    if (!source || source->GetLayerCount() < 1) failWithGdal("cannot read " + shapefile.string(), &errors);
    VectorOutput out = openVectorOutput(geoPackage, layer, replace);
    if (out.dataset->CopyLayer(source->GetLayer(0), out.layer.c_str()) == nullptr)
      failWithGdal("cannot copy " + shapefile.string() + " into " + geoPackage.string(), &errors);
    out.dataset.reset();
    if (errors.failed()) failWithGdal("cannot write " + geoPackage.string(), &errors);
  }
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  if (driver != nullptr) driver->Delete(shapefile.string().c_str());
}

}  // namespace orvex::platform::gdal
