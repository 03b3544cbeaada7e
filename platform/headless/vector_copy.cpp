#include "platform/headless/vector_copy.h"

#include <gdal_utils.h>
#include <ogrsf_frmts.h>

#include <cctype>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/gdal_handles.h"
#include "platform/gdal/gdal_session.h"
#include "platform/gdal/memory_set.h"

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

/// What the shapefile copy `copy` of `source` (fields in the same order) changed of its fields,
/// read in one walk of both: `sourceFieldNames` when it renamed any (empty otherwise, or when the
/// copy left a field out), and `inexactFields`, the 64-bit whole-number fields it holds as real
/// numbers (the shapefile writer widens a field past 18 digits for a value that needs it, and
/// such a field reads back as real numbers).
CopiedLayer fieldChangesOf(OGRLayer& source, GDALDataset& copy) {
  CopiedLayer changes;
  OGRLayer* copied = copy.GetLayer(0);
  const OGRFeatureDefn& from = *source.GetLayerDefn();
  if (copied == nullptr || copied->GetLayerDefn()->GetFieldCount() != from.GetFieldCount()) return changes;
  bool renamed = false;
  for (int i = 0; i < from.GetFieldCount(); ++i) {
    const OGRFieldDefn& field = *from.GetFieldDefn(i);
    const OGRFieldDefn& kept = *copied->GetLayerDefn()->GetFieldDefn(i);
    changes.sourceFieldNames.emplace_back(field.GetNameRef());
    renamed = renamed || std::string_view(field.GetNameRef()) != kept.GetNameRef();
    if (field.GetType() == OFTInteger64 && (kept.GetType() == OFTReal || kept.GetWidth() > 18))
      changes.inexactFields.emplace_back(field.GetNameRef());
  }
  if (!renamed) changes.sourceFieldNames.clear();
  return changes;
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

  std::error_code unknown;
  const std::uintmax_t sourceBytes = std::filesystem::file_size(source, unknown);
  const bool inMemory = !unknown && sourceBytes <= gdal::kMaxMemorySetBytes / 2;
  std::vector<CopiedLayer> copies;
  for (const std::string& layer : layers) {
    const std::string name = fileNameOf(layers.size() == 1 ? baseName : baseName + "_" + layer);
    const std::filesystem::path shp = folder / (name + ".shp");
    // The shapefile driver writes record by record, each record a seek and a write of its own:
    // the copy is made in memory by the same driver and written out file by file (a million
    // fixes: some two seconds of system calls fewer). A source too large to be sure the copy
    // fits goes straight to disk.
    std::optional<gdal::MemorySet> memory;
    if (inMemory) memory.emplace(shp);
    const std::string shpText = memory ? memory->memoryShp() : shp.string();
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
    CopiedLayer copied = fieldChangesOf(from, *copy);
    copy.reset();  // the files complete
    if (memory) {
      if (const std::string failure = memory->writeBack(); !failure.empty())
        throw host::Error(host::kDataError, "Cannot copy layer '" + layer + "' of '" + source.string() +
                                                "' to a shapefile: " + failure);
    }
    copied.layerName = layer;
    copied.shp = shp;
    copies.push_back(std::move(copied));
  }
  return copies;
}

}  // namespace orvex::platform::headless
