#include "ui/gis/shapefile_utils.h"

#include <algorithm>
#include <system_error>

#include "host/error.h"
#include "host/text.h"
#include "ui/gis/number_field_fit.h"

namespace orvex::ui::gis {

namespace fs = std::filesystem;

namespace {

/// True for a file of the dataset `name`: "name.<extension>" with a one-part extension, or
/// the metadata file "name.shp.xml".
bool IsDatasetFile(const std::string& fileName, std::string_view name) {
  if (fileName.size() <= name.size() + 1 || fileName.compare(0, name.size(), name) != 0 ||
      fileName[name.size()] != '.') {
    return false;
  }
  const std::string_view extension = std::string_view(fileName).substr(name.size() + 1);
  return extension.find('.') == std::string_view::npos || host::iequals(extension, "shp.xml");
}

void RemoveDatasetFiles(const fs::path& folder, std::string_view name) {
  std::vector<fs::path> doomed;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_directory(error) && IsDatasetFile(it->path().filename().string(), name))
      doomed.push_back(it->path());
  }
  if (error)
    throw host::Error(host::kPathNotFound, "Cannot list '" + folder.string() + "': " + error.message());
  for (const auto& file : doomed) {
    if (!fs::remove(file, error) && error) {
      throw host::Error(host::kAccessDenied, "Cannot delete '" + file.string() + "': " + error.message());
    }
  }
}

std::string AddFieldReport(char step, std::string_view name, host::FieldType type, std::int32_t number,
                           const std::string& description) {
  return "AddNewField: " + std::string(1, step) + "\nName: " + std::string(name) +
         ", Type: " + std::to_string(static_cast<int>(type)) + "\n" + std::to_string(number) + "\n" +
         description;
}

/// Rank of a value kind in the unique-value order.
int KindRank(const host::Value& v) {
  if (v.isNumeric()) return 0;
  if (v.isText()) return 1;
  return 2;
}

bool ValueSame(const host::Value& a, const host::Value& b) { return !ValueLess(a, b) && !ValueLess(b, a); }

}  // namespace

bool ValueLess(const host::Value& a, const host::Value& b) {
  const int ra = KindRank(a);
  const int rb = KindRank(b);
  if (ra != rb) return ra < rb;
  if (ra == 0) return a.toDouble() < b.toDouble();
  if (ra == 1) return *a.text() < *b.text();
  return *a.date() < *b.date();
}

bool IsPlainDatasetName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\\') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::shared_ptr<host::FeatureClass> CreateShapefileFeatureClass(host::Application& application,
                                                                const fs::path& folder, std::string_view name,
                                                                host::GeometryType type, bool hasZ, bool hasM,
                                                                host::SpatialReferencePtr& spatialReference,
                                                                bool overwrite) {
  if (!IsPlainDatasetName(name)) {
    throw host::Error(host::kInvalidArgument, "'" + std::string(name) + "' is not a plain shapefile name");
  }
  const fs::path shp = folder / (std::string(name) + ".shp");
  std::error_code missing;
  if (fs::exists(shp, missing)) {
    if (!overwrite) {
      application.ui().messageBox(kFileExistsMessage, "File Error", host::MessageButtons::Ok,
                                  host::MessageIcon::Critical);
      return nullptr;
    }
    // Through the workspace first, so that an open copy of the shapefile is closed with it.
    auto workspace = application.workspaces().openShapefileWorkspace(folder);
    if (workspace->exists(name)) workspace->deleteDataset(name);
    RemoveDatasetFiles(folder, name);
  }
  if (!spatialReference) spatialReference = application.spatialReferences().unknown();

  auto workspace = application.workspaces().openShapefileWorkspace(folder);
  host::FeatureClassSpec definition;
  definition.name = std::string(name);
  definition.shapeFieldName = "Shape";
  definition.fields.add(host::FieldDef{"OID", host::FieldType::ObjectId, 0, 0, 0, std::nullopt});
  definition.fields.add(host::FieldDef{"Shape", host::FieldType::Geometry, 0, 0, 0,
                                       host::GeometryDef{type, hasZ, hasM, spatialReference}});
  return workspace->createFeatureClass(definition);
}

int AddField(host::UiServices& ui, std::string_view name, host::FeatureClass* featureClass,
             host::FieldType type, std::optional<int> precision, int scale) {
  char step = 'A';
  try {
    host::FieldDef field;
    field.name = std::string(name);
    field.type = type;
    if (precision) {
      field.precision = *precision;
      if (type == host::FieldType::Double) field.scale = scale;
    }
    step = 'B';
    if (featureClass == nullptr) {
      throw host::Error(host::error_number::kObjectNotSet, "No feature class to add the field to.");
    }
    featureClass->addField(field);
    step = 'C';
    return featureClass->findField(name);
  } catch (const host::Error& e) {
    if (host::errorsPassThrough()) throw;
    ui.messageBox(AddFieldReport(step, name, type, e.number(), e.description()), "Error",
                  host::MessageButtons::Ok, host::MessageIcon::Information);
  }
  return -1;
}

int AddDoubleField(host::UiServices& ui, std::string_view name, host::FeatureClass* featureClass,
                   int precision, int scale, std::span<const double> values) {
  const NumberFieldFormat fitted = FitNumberField({precision, scale}, values);
  int index = AddField(ui, name, featureClass, host::FieldType::Double, fitted.width, fitted.decimals);
  if (index < 0 || precision > 0) return index;
  // The platform chose the width: check it against the values, and rebuild the field (still
  // the last one) when it cannot hold them.
  const host::FieldDef& made = featureClass->fields().at(index);
  const NumberFieldFormat actual{made.precision, made.scale};
  const NumberFieldFormat wider = FitNumberField(actual, values);
  if (wider == actual) return index;
  try {
    featureClass->deleteField(name);
  } catch (const host::Error& e) {
    if (host::errorsPassThrough()) throw;
    ui.messageBox(AddFieldReport('B', name, host::FieldType::Double, e.number(), e.description()), "Error",
                  host::MessageButtons::Ok, host::MessageIcon::Information);
    return -1;
  }
  return AddField(ui, name, featureClass, host::FieldType::Double, wider.width, wider.decimals);
}

std::vector<host::Value> UniqueValues(host::UiServices& ui, host::Cursor& cursor,
                                      std::string_view fieldName) {
  std::vector<host::Value> values;
  try {
    int index = -2;
    while (auto row = cursor.next()) {
      if (index == -2) {
        index = row->findField(fieldName);
        if (index < 0) {
          throw host::Error(host::kNotFound, "Field '" + std::string(fieldName) + "' not found.");
        }
      }
      const host::Value& v = row->value(index);
      if (!v.isEmpty()) values.push_back(v);
    }
    std::sort(values.begin(), values.end(), ValueLess);
    values.erase(std::unique(values.begin(), values.end(), ValueSame), values.end());
    return values;
  } catch (const host::Error& e) {
    if (host::errorsPassThrough()) throw;
    ui.messageBox("GetUniqueValues: " + std::to_string(e.number()) + "\n" + e.description(), "Error",
                  host::MessageButtons::Ok, host::MessageIcon::Critical);
  }
  return {};
}

bool DeleteDataset(host::WorkspaceFactory& workspaces, const fs::path& folder, std::string_view name,
                   std::string* status) {
  const auto detected = [&](const char* what) {
    if (status != nullptr) *status = std::string("DeleteFile\n") + what;
  };
  if (status != nullptr) *status = "DeleteFile";
  std::error_code notFolder;
  if (!IsPlainDatasetName(name) || !fs::is_directory(folder, notFolder)) return false;

  auto shapefiles = workspaces.openShapefileWorkspace(folder);
  if (shapefiles->openFeatureClass(name)) {
    detected("Detected shapefile.");
    shapefiles->deleteDataset(name);
    return true;
  }
  auto rasters = workspaces.openRasterWorkspace(folder);
  if (rasters->exists(name)) {
    detected("Detected raster.");
    rasters->deleteRaster(name);
    return true;
  }
  const fs::path file = folder / std::string(name);
  std::error_code noFile;
  const auto state = fs::symlink_status(file, noFile);
  if (fs::is_regular_file(state) || fs::is_symlink(state)) {
    detected("Detected regular file.");
    std::error_code error;
    fs::remove(file, error);
    if (error)
      throw host::Error(host::kAccessDenied, "Cannot delete '" + file.string() + "': " + error.message());
    return true;
  }
  return false;
}

}  // namespace orvex::ui::gis
