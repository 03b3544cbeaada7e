#include "platform/headless/map_source.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>

#include "host/error.h"
#include "host/table.h"
#include "host/text.h"
#include "platform/gdal/prj_text.h"
#include "platform/gdal/shapefile_feature_class.h"
#include "platform/headless/edit_session.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/headless_layers.h"
#include "platform/headless/vector_copy.h"

namespace orvex::platform::headless {
namespace {

bool hasExtension(const std::filesystem::path& file, std::string_view extension) {
  return host::iequals(file.extension().string(), extension);
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
  const auto parent = std::filesystem::absolute(file).parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

/// The layer of the shapefile `shp`; a copy's fields take their source's names, when given.
std::shared_ptr<host::Layer> shapefileLayer(HeadlessApplication& application,
                                            const std::filesystem::path& shp, const std::string& layerName,
                                            const std::vector<std::string>& sourceFieldNames = {}) {
  auto workspace = application.workspaces().openShapefileWorkspace(folderOf(shp));
  auto featureClass = workspace->openFeatureClass(shp.filename().string());
  if (!featureClass) throw host::Error(host::kFileNotFound, "Cannot open shapefile '" + shp.string() + "'");
  if (const auto copy = std::dynamic_pointer_cast<gdal::ShapefileFeatureClass>(featureClass);
      copy && !sourceFieldNames.empty())
    copy->useSourceFieldNames(sourceFieldNames);
  return std::make_shared<HeadlessFeatureLayer>(std::move(featureClass), layerName);
}

std::shared_ptr<host::Layer> rasterLayer(HeadlessApplication& application, const std::filesystem::path& tif) {
  auto workspace = application.workspaces().openRasterWorkspace(folderOf(tif));
  auto raster = workspace->openRaster(tif.stem().string());
  if (!raster) throw host::Error(host::kFileNotFound, "Cannot open raster '" + tif.string() + "'");
  return std::make_shared<HeadlessRasterLayer>(std::move(raster), tif.stem().string());
}

/// A layer of the map with the file it shows.
struct LoadedLayer {
  std::shared_ptr<host::Layer> layer;
  std::filesystem::path source;                 ///< the file named on the command line
  std::filesystem::path shp;                    ///< the shapefile the layer shows (empty for a raster)
  std::vector<std::string> sourceFieldNames{};  ///< see CopiedLayer
};

bool isGeoPackage(const std::filesystem::path& file) { return hasExtension(file, ".gpkg"); }

/// Names the fields of `copy` that hold whole numbers of more than 18 digits.
std::string inexactFieldsText(const std::filesystem::path& file, const CopiedLayer& copy) {
  std::string names;
  for (const std::string& name : copy.inexactFields) names += (names.empty() ? "\"" : ", \"") + name + "\"";
  return "'" + copy.layerName + "' of '" + file.string() + "': the field(s) " + names +
         " hold whole numbers of more than 18 digits, which its shapefile working copy cannot keep exactly";
}

/// Layers of a file edited in place: a shapefile's working copy, a GeoPackage's shapefile
/// copies whose edits go back to it; other formats cannot take edits.
std::vector<LoadedLayer> editedLayersOf(HeadlessApplication& application, const NamedFile& named,
                                        EditSessions& edits) {
  const std::filesystem::path& file = named.file;
  if (hasExtension(file, ".shp")) {
    const auto working = edits.beginShapefile(file);
    auto layer = shapefileLayer(application, working, file.stem().string());
    edits.attach(working, std::dynamic_pointer_cast<host::FeatureLayer>(layer)->featureClass());
    return {{std::move(layer), file, working}};
  }
  if (!isGeoPackage(file))
    throw host::Error(host::kInvalidArgument,
                      "'" + file.string() +
                          "' cannot be edited in place: only shapefiles and GeoPackages can. Nothing was "
                          "changed. Copy it to a shapefile or GeoPackage first (for example with ogr2ogr) "
                          "and run the command on the copy.");
  std::vector<LoadedLayer> layers;
  for (const CopiedLayer& copy :
       copyToShapefiles(file, application.scratchFolder(), named.baseName(), {}, named.layer)) {
    // An edit decides on the values it reads (equal times, positions): none may be rounded.
    if (!copy.inexactFields.empty())
      throw host::Error(host::kDataError, "Layer " + inexactFieldsText(file, copy) +
                                              ": nothing was changed. Store the field as real numbers or "
                                              "text, or leave it out, and run the command again.");
    auto layer = shapefileLayer(application, copy.shp, copy.shp.stem().string(), copy.sourceFieldNames);
    edits.beginGeoPackage(file, copy.layerName,
                          std::dynamic_pointer_cast<host::FeatureLayer>(layer)->featureClass());
    layers.push_back({std::move(layer), file, copy.shp, copy.sourceFieldNames});
  }
  return layers;
}

/// Names a shapefile's .prj that GDAL would take silently as no coordinate system.
void notePrjProblem(HeadlessApplication& application, const std::filesystem::path& shp) {
  const std::filesystem::path prj = std::filesystem::path(shp).replace_extension(".prj");
  std::error_code error;
  if (!std::filesystem::is_regular_file(prj, error)) return;
  std::ifstream in(prj, std::ios::binary);
  std::string text(gdal::kMaxPrjBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  const auto problem = in.bad() ? std::optional<std::string>("cannot be read") : gdal::prjTextProblem(text);
  if (problem)
    application.note("Note: '" + prj.string() + "' " + *problem + "; the layer '" + shp.stem().string() +
                     "' is read as having no coordinate system.");
}

/// The layers one file gives, in order.
std::vector<LoadedLayer> layersOf(HeadlessApplication& application, const std::filesystem::path& given,
                                  EditSessions* edits) {
  const NamedFile named = namedFile(given);
  const std::filesystem::path& file = named.file;
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error))
    throw host::Error(host::kFileNotFound, std::filesystem::is_directory(file, error)
                                               ? "'" + file.string() + "' is a folder, not a data file"
                                               : "No such data file: '" + file.string() + "'");
  if (hasExtension(file, ".tif")) return {{rasterLayer(application, file), file, {}}};
  if (hasExtension(file, ".tiff"))
    throw host::Error(host::kNotImplemented,
                      "Raster layers are read from GeoTIFF files named <name>.tif: '" + file.string() + "'");
  if (hasExtension(file, ".shp")) notePrjProblem(application, file);
  if (edits != nullptr) return editedLayersOf(application, named, *edits);
  if (hasExtension(file, ".shp"))
    return {{shapefileLayer(application, file, file.stem().string()), file, file}};
  if (!isVectorFile(file))
    throw host::Error(host::kNotImplemented,
                      "'" + file.string() + "' is neither a vector file nor a GeoTIFF raster (.tif)");

  std::vector<LoadedLayer> layers;
  for (const CopiedLayer& copy :
       copyToShapefiles(file, application.scratchFolder(), named.baseName(), {}, named.layer)) {
    layers.push_back({shapefileLayer(application, copy.shp, copy.shp.stem().string(), copy.sourceFieldNames),
                      file, copy.shp, copy.sourceFieldNames});
    application.note("Note: layer '" + copy.shp.stem().string() + "' is a shapefile copy of '" +
                     file.string() + "'; changes made to it are not written back to that file.");
    if (!copy.inexactFields.empty())
      application.note("Note: layer " + inexactFieldsText(file, copy) +
                       ": they are read as real numbers, exact to "
                       "about 16 digits.");
  }
  return layers;
}

/// Projects a feature layer whose known coordinate system differs from the map's into the
/// map's, through a scratch copy; other layers stay as they are.
void projectIntoMap(HeadlessApplication& application, LoadedLayer& loaded,
                    const host::SpatialReference& map) {
  const auto feature = std::dynamic_pointer_cast<host::FeatureLayer>(loaded.layer);
  if (!feature) return;
  const auto own = feature->featureClass()->spatialReference();
  if (!own || own->isUnknown() || own->isSame(map)) return;
  const auto folder = application.scratchFolder() / "projected";
  std::filesystem::create_directories(folder);
  const auto copies = copyToShapefiles(loaded.shp, folder, loaded.shp.stem().string(), map.wkt());
  const std::string name = loaded.layer->name();
  loaded.layer = shapefileLayer(application, copies.front().shp, name, loaded.sourceFieldNames);
  loaded.shp = copies.front().shp;
  application.note("Note: layer '" + name + "' of '" + loaded.source.string() + "' is projected from " +
                   own->name() + " into the map's " + map.name() + ".");
}

bool isWebMercator(const host::SpatialReference& reference) {
  constexpr int kWebMercatorCodes[] = {3857, 3785, 900913, 102100, 102113};
  if (const auto code = reference.epsg())
    for (const int web : kWebMercatorCodes)
      if (*code == web) return true;
  const std::string name = reference.name();
  return name.find("Pseudo-Mercator") != std::string::npos ||
         name.find("Web_Mercator") != std::string::npos || name.find("Web Mercator") != std::string::npos;
}

/// The UTM zone holding the middle of a layer in degrees, as an EPSG code (WGS 84 / UTM).
std::optional<int> utmZoneCodeOf(const LoadedLayer& loaded) {
  const auto feature = std::dynamic_pointer_cast<host::FeatureLayer>(loaded.layer);
  if (!feature) return std::nullopt;
  const host::Envelope box = feature->featureClass()->extent();
  if (box.isEmpty()) return std::nullopt;
  const double longitude = (box.xmin + box.xmax) / 2;
  const double latitude = (box.ymin + box.ymax) / 2;
  if (!(std::abs(longitude) <= 180 && std::abs(latitude) <= 84)) return std::nullopt;
  constexpr int kUtmNorth = 32600;
  constexpr int kUtmSouth = 32700;
  constexpr double kZoneWidth = 6;
  const int zone = std::min(60, static_cast<int>(std::floor((longitude + 180) / kZoneWidth)) + 1);
  return (latitude >= 0 ? kUtmNorth : kUtmSouth) + zone;
}

/// Refuses fixes whose coordinates are not ground units for a command that measures them.
void requireGroundUnits(const host::SpatialReference& map, const std::vector<LoadedLayer>& layers,
                        bool mapCrsGiven) {
  const bool degrees = map.isGeographic();
  if (!degrees && !isWebMercator(map)) return;
  const LoadedLayer* first = nullptr;
  for (const auto& loaded : layers)
    if (std::dynamic_pointer_cast<host::FeatureLayer>(loaded.layer)) {
      first = &loaded;
      break;
    }
  std::string text = first ? "The fixes of '" + first->source.string() + "' are" : std::string("The map is");
  text += mapCrsGiven ? " in the map coordinate system " : " in ";
  text += map.name();
  text += degrees ? ", whose units are degrees" : ", Web Mercator, whose metres are not ground metres";
  text +=
      ": kernels, distances and areas need a projected coordinate system in metres. Nothing was "
      "computed. Project the layer (for example with ogr2ogr -t_srs), or name a projected map "
      "coordinate system with --map-crs";
  const auto zone = degrees && first ? utmZoneCodeOf(*first) : std::nullopt;
  text += zone ? " (for these fixes the UTM zone: --map-crs EPSG:" + std::to_string(*zone) + ")." : ".";
  throw host::Error(host::kInvalidArgument, text);
}

void selectFeatures(HeadlessFeatureLayer& layer, const MapSource& source) {
  const auto featureClass = layer.featureClass();
  host::QueryFilter filter(source.where);
  if (!source.objectIds.empty()) filter.objectIds = source.objectIds;
  try {
    layer.replaceSelection(featureClass->select(filter));
  } catch (const host::Error& error) {
    throw host::Error(error.number(), "Layer '" + layer.name() + "': " + error.description(),
                      error.context());
  }
}

std::optional<int> epsgCodeOf(std::string_view text) {
  if (text.size() > 5 && host::iequals(text.substr(0, 5), "EPSG:")) text.remove_prefix(5);
  int code = 0;
  const auto* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, code);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return code;
}

}  // namespace

host::SpatialReferencePtr parseSpatialReference(host::SpatialReferenceFactory& factory,
                                                std::string_view text) {
  const std::string_view trimmed = host::trim(text);
  if (trimmed.empty()) throw host::Error(host::kInvalidArgument, "No coordinate system given");
  if (const auto code = epsgCodeOf(trimmed)) return factory.fromEpsg(*code);

  std::error_code error;
  const std::filesystem::path file{std::string(trimmed)};
  if (std::filesystem::is_regular_file(file, error)) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    if (!in)
      throw host::Error(host::kFileNotFound, "Cannot read coordinate system file '" + file.string() + "'");
    return factory.fromWkt(contents.str());
  }
  return factory.fromWkt(trimmed);
}

void loadMapSource(HeadlessApplication& application, const MapSource& source) {
  HeadlessMap& map = application.focusMap();
  std::vector<LoadedLayer> added;
  for (const auto& file : source.files)
    for (auto& loaded : layersOf(application, file, source.edits)) added.push_back(std::move(loaded));

  if (!source.mapCrs.empty()) {
    map.setSpatialReference(parseSpatialReference(application.spatialReferences(), source.mapCrs));
  } else if (!map.spatialReference()) {
    for (const auto& loaded : added)
      if (auto reference = loaded.layer->spatialReference(); reference && !reference->isUnknown()) {
        map.setSpatialReference(std::move(reference));
        break;
      }
  }
  const auto mapReference = map.spatialReference();
  if (mapReference && !mapReference->isUnknown()) {
    if (source.edits == nullptr)
      for (auto& loaded : added) projectIntoMap(application, loaded, *mapReference);
    if (source.measuresFixes) requireGroundUnits(*mapReference, added, !source.mapCrs.empty());
  } else if (!added.empty()) {
    application.setUnreferencedData(true);
  }

  for (const auto& loaded : added)
    if (auto feature = std::dynamic_pointer_cast<HeadlessFeatureLayer>(loaded.layer))
      selectFeatures(*feature, source);

  for (auto& loaded : added) map.appendLayer(std::move(loaded.layer));

  if (!source.selectedLayer.empty()) {
    auto chosen = map.findLayer(source.selectedLayer);
    if (!chosen)
      throw host::Error(host::kInvalidArgument, "No layer named '" + source.selectedLayer + "' in the map");
    application.headlessDocument().setSelectedLayer(std::move(chosen));
  } else if (!application.headlessDocument().selectedLayer()) {
    const auto features = map.featureLayers();
    if (!features.empty()) application.headlessDocument().setSelectedLayer(features.front());
  }
}

}  // namespace orvex::platform::headless
