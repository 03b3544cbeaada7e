#include "platform/headless/map_source.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <system_error>

#include "host/error.h"
#include "host/table.h"
#include "host/text.h"
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

std::shared_ptr<host::Layer> shapefileLayer(HeadlessApplication& application,
                                            const std::filesystem::path& shp, const std::string& layerName) {
  auto workspace = application.workspaces().openShapefileWorkspace(folderOf(shp));
  auto featureClass = workspace->openFeatureClass(shp.filename().string());
  if (!featureClass) throw host::Error(host::kFileNotFound, "Cannot open shapefile '" + shp.string() + "'");
  return std::make_shared<HeadlessFeatureLayer>(std::move(featureClass), layerName);
}

std::shared_ptr<host::Layer> rasterLayer(HeadlessApplication& application, const std::filesystem::path& tif) {
  auto workspace = application.workspaces().openRasterWorkspace(folderOf(tif));
  auto raster = workspace->openRaster(tif.stem().string());
  if (!raster) throw host::Error(host::kFileNotFound, "Cannot open raster '" + tif.string() + "'");
  return std::make_shared<HeadlessRasterLayer>(std::move(raster), tif.stem().string());
}

/// The layers one file gives, in order.
std::vector<std::shared_ptr<host::Layer>> layersOf(HeadlessApplication& application,
                                                   const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error))
    throw host::Error(host::kFileNotFound, "No such data file: '" + file.string() + "'");
  if (hasExtension(file, ".shp")) return {shapefileLayer(application, file, file.stem().string())};
  if (hasExtension(file, ".tif")) return {rasterLayer(application, file)};
  if (hasExtension(file, ".tiff"))
    throw host::Error(host::kNotImplemented,
                      "Raster layers are read from GeoTIFF files named <name>.tif: '" + file.string() + "'");
  if (!isVectorFile(file))
    throw host::Error(host::kNotImplemented,
                      "'" + file.string() + "' is neither a vector file nor a GeoTIFF raster (.tif)");

  std::vector<std::shared_ptr<host::Layer>> layers;
  for (const CopiedLayer& copy : copyToShapefiles(file, application.scratchFolder(), file.stem().string())) {
    layers.push_back(shapefileLayer(application, copy.shp, copy.shp.stem().string()));
    application.note("Note: layer '" + copy.shp.stem().string() + "' is a shapefile copy of '" +
                     file.string() + "'; changes made to it are not written back to that file.");
  }
  return layers;
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
  std::vector<std::shared_ptr<host::Layer>> added;
  for (const auto& file : source.files)
    for (auto& layer : layersOf(application, file)) added.push_back(std::move(layer));

  for (const auto& layer : added)
    if (auto feature = std::dynamic_pointer_cast<HeadlessFeatureLayer>(layer))
      selectFeatures(*feature, source);

  if (!source.mapCrs.empty()) {
    map.setSpatialReference(parseSpatialReference(application.spatialReferences(), source.mapCrs));
  } else if (!map.spatialReference()) {
    for (const auto& layer : added)
      if (auto reference = layer->spatialReference(); reference && !reference->isUnknown()) {
        map.setSpatialReference(std::move(reference));
        break;
      }
  }

  for (auto& layer : added) map.appendLayer(std::move(layer));

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
