#include "platform/headless/vector_copy.h"

#include <gdal_utils.h>
#include <ogrsf_frmts.h>

#include <cctype>
#include <memory>

#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/gdal_session.h"

namespace orvex::platform::headless {
namespace {

/// Open options that let the CSV driver find point coordinates and typed columns.
const char* const kCsvOpenOptions[] = {
    "X_POSSIBLE_NAMES=X,Easting,Longitude,Lon,Long",
    "Y_POSSIBLE_NAMES=Y,Northing,Latitude,Lat",
    "KEEP_GEOM_COLUMNS=YES",
    "AUTODETECT_TYPE=YES",
    nullptr,
};

struct TranslateOptionsFree {
  void operator()(GDALVectorTranslateOptions* options) const noexcept {
    GDALVectorTranslateOptionsFree(options);
  }
};

bool isCsv(const std::filesystem::path& file) { return host::iequals(file.extension().string(), ".csv"); }

gdal::DatasetPtr openVector(const std::filesystem::path& file) {
  gdal::ensureGdalReady();
  const char* const* openOptions = isCsv(file) ? kCsvOpenOptions : nullptr;
  return gdal::DatasetPtr(
      GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, openOptions, nullptr));
}

/// A name that is a plain file name on every system.
std::string fileNameOf(std::string_view text) {
  std::string name;
  for (const char c : text)
    name += std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-' ? c : '_';
  return name.empty() ? std::string("layer") : name;
}

/// The field names of `source` when `copy` (its shapefile copy, fields in the same order)
/// changed any of them; empty otherwise, or when the copy left a field out.
std::vector<std::string> changedFieldNames(OGRLayer& source, GDALDataset& copy) {
  OGRLayer* copied = copy.GetLayer(0);
  const OGRFeatureDefn& from = *source.GetLayerDefn();
  if (copied == nullptr || copied->GetLayerDefn()->GetFieldCount() != from.GetFieldCount()) return {};
  std::vector<std::string> names;
  bool changed = false;
  for (int i = 0; i < from.GetFieldCount(); ++i) {
    names.emplace_back(from.GetFieldDefn(i)->GetNameRef());
    changed = changed || names.back() != copied->GetLayerDefn()->GetFieldDefn(i)->GetNameRef();
  }
  return changed ? names : std::vector<std::string>{};
}

/// The 64-bit whole-number fields of `source` that its shapefile copy holds as real numbers
/// (the shapefile writer widens a field past 18 digits for a value that needs it, and such a
/// field reads back as real numbers).
std::vector<std::string> inexactFieldsOf(OGRLayer& source, GDALDataset& copy) {
  OGRLayer* copied = copy.GetLayer(0);
  const OGRFeatureDefn& from = *source.GetLayerDefn();
  std::vector<std::string> names;
  if (copied == nullptr || copied->GetLayerDefn()->GetFieldCount() != from.GetFieldCount()) return names;
  for (int i = 0; i < from.GetFieldCount(); ++i)
    if (from.GetFieldDefn(i)->GetType() == OFTInteger64 &&
        (copied->GetLayerDefn()->GetFieldDefn(i)->GetType() == OFTReal ||
         copied->GetLayerDefn()->GetFieldDefn(i)->GetWidth() > 18))
      names.emplace_back(from.GetFieldDefn(i)->GetNameRef());
  return names;
}

}  // namespace

NamedFile namedFile(const std::filesystem::path& named) {
  constexpr std::string_view kLayerName = "|layername=";
  const std::string text = named.string();
  const std::size_t bar = text.rfind(kLayerName);
  if (bar == std::string::npos) return {named, {}};
  return {text.substr(0, bar), text.substr(bar + kLayerName.size())};
}

std::vector<CopiedLayer> copyNamedFile(const std::filesystem::path& named,
                                       const std::filesystem::path& folder) {
  const NamedFile file = namedFile(named);
  return copyToShapefiles(file.file, folder, file.baseName(), {}, file.layer);
}

bool isVectorFile(const std::filesystem::path& file) {
  gdal::ErrorCollector quiet;  // a failed probe is an answer, not an error
  return openVector(file) != nullptr;
}

std::vector<CopiedLayer> copyToShapefiles(const std::filesystem::path& source,
                                          const std::filesystem::path& folder, const std::string& baseName,
                                          const std::string& targetWkt, const std::string& onlyLayer) {
  gdal::ErrorCollector errors;
  gdal::DatasetPtr dataset = openVector(source);
  if (!dataset) gdal::failWithGdal("Cannot read '" + source.string() + "' as vector data", &errors);

  std::vector<std::string> layers;
  for (OGRLayer* layer : dataset->GetLayers())
    if (layer->GetGeomType() != wkbNone && (onlyLayer.empty() || host::iequals(layer->GetName(), onlyLayer)))
      layers.emplace_back(layer->GetName());
  if (layers.empty() && !onlyLayer.empty())
    throw host::Error(host::kInvalidArgument,
                      "'" + source.string() + "' holds no layer '" + onlyLayer + "' with geometry");
  if (layers.empty())
    throw host::Error(host::kInvalidArgument, "'" + source.string() + "' holds no layer with geometry");

  std::vector<CopiedLayer> copies;
  for (const std::string& layer : layers) {
    const std::string name = fileNameOf(layers.size() == 1 ? baseName : baseName + "_" + layer);
    const std::filesystem::path shp = folder / (name + ".shp");
    const std::string shpText = shp.string();
    std::vector<const char*> arguments{"-f",         "ESRI Shapefile", "-nln",
                                       name.c_str(), "-lco",           "ENCODING=UTF-8"};
    if (!targetWkt.empty()) {
      arguments.push_back("-t_srs");
      arguments.push_back(targetWkt.c_str());
    }
    arguments.push_back(layer.c_str());
    arguments.push_back(nullptr);
    std::unique_ptr<GDALVectorTranslateOptions, TranslateOptionsFree> options(
        GDALVectorTranslateOptionsNew(const_cast<char**>(arguments.data()), nullptr));
    if (!options) gdal::failWithGdal("Cannot copy '" + source.string() + "'", &errors);
    GDALDatasetH sources[] = {GDALDataset::ToHandle(dataset.get())};
    int usageError = 0;
    gdal::DatasetPtr copy(GDALDataset::FromHandle(
        GDALVectorTranslate(shpText.c_str(), nullptr, 1, sources, options.get(), &usageError)));
    if (!copy || usageError != 0)
      gdal::failWithGdal("Cannot copy layer '" + layer + "' of '" + source.string() + "' to a shapefile",
                         &errors);
    OGRLayer& from = *dataset->GetLayerByName(layer.c_str());
    copies.push_back({layer, shp, changedFieldNames(from, *copy), inexactFieldsOf(from, *copy)});
  }
  return copies;
}

}  // namespace orvex::platform::headless
