// Save Travel: the drawn path written as a polyline shapefile and added to the map.

#include <algorithm>
#include <exception>

#include "host/error.h"
#include "host/text.h"
#include "ui/gis/shapefile_utils.h"
#include "ui/tools/frm_orvex.h"

namespace orvex::ui {
namespace {

constexpr const char* kShapefileFilter = "Shapefiles (*.shp)|*.shp";
constexpr const char* kShapefileExtension = "shp";

/// The shapefile's dataset name: the file name without a ".shp" (any letter case).
std::string DatasetNameOf(const std::filesystem::path& path) {
  const std::string extension = path.extension().string();
  return host::iequals(extension, ".shp") ? path.stem().string() : path.filename().string();
}

/// A new polyline shapefile with the fields "OID" and "Shape"; null after the helper's message
/// when one of that name exists (a saved path never replaces a file).
std::shared_ptr<host::FeatureClass> CreateFeatureClass1(host::Application& application,
                                                        const std::filesystem::path& folder,
                                                        const std::string& name,
                                                        host::SpatialReferencePtr spatialReference) {
  return gis::CreateShapefileFeatureClass(application, folder, name, host::GeometryType::Polyline, false,
                                          false, spatialReference, false);
}

}  // namespace

void frmORVEX::ConvertGraphics2Shapefile() {
  try {
    std::vector<host::Polyline> lines;
    host::SpatialReferencePtr spatialReference;
    const std::vector<host::ElementId> shown = DrawnPath();
    for (const auto& [id, element] : graphics().elements()) {
      const host::Polyline* line = element.geometry.polyline();
      if (line == nullptr || std::find(shown.begin(), shown.end(), id) == shown.end()) continue;
      if (!spatialReference) spatialReference = element.geometry.spatialReference();
      lines.push_back(*line);
    }
    if (lines.empty()) {
      application_->ui().messageBox(track::kTrackNothingToSave);
      return;
    }
    // The drawn lines carry the layer's coordinates; without a system of their own they are in
    // the map's.
    if (!spatialReference && map_) spatialReference = map_->spatialReference();

    host::FileDialogOptions dialog;
    dialog.title = track::kSaveTravelTitle;
    dialog.filter = kShapefileFilter;
    dialog.defaultExtension = kShapefileExtension;
    const std::optional<std::filesystem::path> path = application_->ui().saveFile(dialog);
    if (!path) return;

    const std::string name = DatasetNameOf(*path);
    const auto featureClass = CreateFeatureClass1(*application_, path->parent_path(), name, spatialReference);
    if (!featureClass) return;
    {
      const auto cursor = featureClass->insert(true);
      for (host::Polyline& line : lines) {
        host::Row buffer = featureClass->createRowBuffer();
        buffer.setShape(host::Geometry(std::move(line), spatialReference));
        cursor->insert(buffer);
      }
      cursor->flush();
    }
    AddShapeFile(featureClass, name);
  } catch (const host::Error& error) {
    if (host::errorsPassThrough()) throw;
    application_->ui().messageBox(std::string(track::kTrackSaveErrorPrefix) + error.description());
  } catch (const std::exception& error) {
    if (host::errorsPassThrough()) throw;
    application_->ui().messageBox(std::string(track::kTrackSaveErrorPrefix) + error.what());
  }
}

void frmORVEX::AddShapeFile(const std::shared_ptr<host::FeatureClass>& featureClass,
                            const std::string& name) {
  if (!map_) map_ = application_->document()->focusMap();
  // The new layer changes the map's contents; that is this form's own doing, not a change of
  // the layer it tracks, so the form stays open.
  addingOwnLayer_ = true;
  try {
    map_->addFeatureLayer(featureClass, name);
  } catch (...) {
    addingOwnLayer_ = false;
    throw;
  }
  addingOwnLayer_ = false;
  document_->activeView().partialRefresh(host::ViewPhase::Geography);
}

}  // namespace orvex::ui
