#include "platform/gdal/shapefile_workspace.h"

#include <unistd.h>

#include <algorithm>
#include <array>

#include "host/error.h"
#include "host/text.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/gdal/shapefile_feature_class.h"

namespace orvex::platform::gdal {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kShpExtension = ".shp";

/// Files that belong to a shapefile "name": name + one of these (letter case ignored).
constexpr std::array<std::string_view, 17> kComponentExtensions = {
    ".shp", ".shx", ".dbf", ".prj", ".cpg", ".sbn", ".sbx",     ".qix",    ".fix",
    ".qpj", ".atx", ".ain", ".aih", ".ixs", ".mxs", ".shp.xml", ".aux.xml"};

bool hasSuffixIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && host::iequals(text.substr(text.size() - suffix.size()), suffix);
}

/// The component files of a shapefile in its folder.
std::vector<fs::path> componentFiles(const fs::path& folder, const std::string& stem) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string file = entry.path().filename().string();
    if (file.size() <= stem.size() || file.compare(0, stem.size(), stem) != 0) continue;
    const std::string_view rest = std::string_view(file).substr(stem.size());
    for (std::string_view ext : kComponentExtensions) {
      if (host::iequals(rest, ext)) {
        files.push_back(entry.path());
        break;
      }
    }
  }
  return files;
}

bool writable(const fs::path& p) { return ::access(p.c_str(), W_OK) == 0; }

/// The definition with its shape field's WGS 84 fallback dropped.
host::FeatureClassSpec withoutFallback(const host::FeatureClassSpec& definition) {
  std::vector<host::FieldDef> fields;
  for (int i = 0; i < definition.fields.count(); ++i) {
    host::FieldDef field = definition.fields.at(i);
    if (field.geometry)
      field.geometry->spatialReference = outputReference(field.geometry->spatialReference, true);
    fields.push_back(std::move(field));
  }
  host::FeatureClassSpec copy = definition;
  copy.fields = host::Fields(std::move(fields));
  return copy;
}

}  // namespace

std::string OpenShapefiles::key(const fs::path& shp) { return fs::absolute(shp).lexically_normal().string(); }

std::shared_ptr<ShapefileFeatureClass> OpenShapefiles::find(const fs::path& shp) {
  std::lock_guard lock(mutex_);
  auto it = open_.find(key(shp));
  if (it == open_.end()) return nullptr;
  auto alive = it->second.lock();
  if (!alive || alive->isClosed()) {
    open_.erase(it);
    return nullptr;
  }
  return alive;
}

void OpenShapefiles::add(const fs::path& shp, const std::shared_ptr<ShapefileFeatureClass>& featureClass) {
  std::lock_guard lock(mutex_);
  open_[key(shp)] = featureClass;
}

void OpenShapefiles::forget(const fs::path& shp) {
  std::lock_guard lock(mutex_);
  open_.erase(key(shp));
}

void OpenShapefiles::closeAll() {
  std::vector<std::shared_ptr<ShapefileFeatureClass>> alive;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [path, weak] : open_)
      if (auto held = weak.lock()) alive.push_back(std::move(held));
  }
  // Closed outside the lock: a file's failure sink may open another file.
  for (const auto& featureClass : alive) featureClass->closeAndRecord();
}

ShapefileWorkspace::ShapefileWorkspace(fs::path folder, std::shared_ptr<OpenShapefiles> openFiles,
                                       bool unreferencedData, std::shared_ptr<FailedWriteSink> failedWrites)
    : folder_(std::move(folder)),
      openFiles_(openFiles ? std::move(openFiles) : std::make_shared<OpenShapefiles>()),
      unreferencedData_(unreferencedData),
      failedWrites_(std::move(failedWrites)) {
  std::error_code ec;
  if (!fs::is_directory(folder_, ec)) {
    throw host::Error(host::kPathNotFound,
                      "cannot open shapefile folder \"" + folder_.string() + "\": no such folder");
  }
}

std::optional<fs::path> ShapefileWorkspace::shpPathOf(std::string_view name) const {
  std::string stem(name);
  if (hasSuffixIgnoringCase(stem, kShpExtension)) stem.resize(stem.size() - kShpExtension.size());
  if (stem.empty() || stem == "." || stem == ".." || stem.find('/') != std::string::npos ||
      stem.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  fs::path shp = folder_ / (stem + std::string(kShpExtension));
  // Files written elsewhere may carry the extension in capitals.
  std::error_code ec;
  if (!fs::exists(shp, ec)) {
    fs::path upper = folder_ / (stem + ".SHP");
    if (fs::is_regular_file(upper, ec)) return upper;
  }
  return shp;
}

std::vector<std::string> ShapefileWorkspace::tableNames() const {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    const std::string file = entry.path().filename().string();
    if (entry.is_regular_file(ec) && hasSuffixIgnoringCase(file, kShpExtension)) files.push_back(file);
  }
  std::sort(files.begin(), files.end());
  for (auto& f : files) f.resize(f.size() - kShpExtension.size());
  return files;
}

bool ShapefileWorkspace::exists(std::string_view name) const {
  const auto shp = shpPathOf(name);
  std::error_code ec;
  return shp && fs::is_regular_file(*shp, ec);
}

std::shared_ptr<host::FeatureClass> ShapefileWorkspace::openFeatureClass(std::string_view name) {
  if (!exists(name)) return nullptr;
  const fs::path shp = *shpPathOf(name);
  if (auto open = openFiles_->find(shp)) {
    open->setFailedWrites(failedWrites_);
    return open;
  }
  auto opened = ShapefileFeatureClass::open(shp);
  opened->setFailedWrites(failedWrites_);
  openFiles_->add(shp, opened);
  return opened;
}

std::shared_ptr<host::Table> ShapefileWorkspace::openTable(std::string_view name) {
  return openFeatureClass(name);
}

std::shared_ptr<host::FeatureClass> ShapefileWorkspace::createFeatureClass(
    const host::FeatureClassSpec& definition) {
  const auto shp = shpPathOf(definition.name);
  if (!shp) throw host::Error(host::kInvalidArgument, "\"" + definition.name + "\" is not a shapefile name");
  if (exists(definition.name)) {
    throw host::Error(host::kAlreadyExists, "shapefile \"" + shp->string() + "\" already exists");
  }
  if (!writable(folder_)) {
    throw host::Error(host::kAccessDenied,
                      "cannot create \"" + shp->string() + "\": the folder is read-only");
  }
  // Leftovers of an earlier shapefile of that name (a .prj, a .cpg) would otherwise be read as
  // part of the new one.
  std::error_code ec;
  const auto stale = componentFiles(folder_, shp->stem().string());
  for (const auto& file : stale) {
    // A folder of that name is the user's, not a leftover: never removed, never written into.
    if (!fs::is_regular_file(fs::symlink_status(file, ec)))
      throw host::Error(host::kAlreadyExists, "cannot create \"" + shp->string() + "\": \"" + file.string() +
                                                  "\" exists and is not a file");
  }
  for (const auto& file : stale) fs::remove(file, ec);
  auto created =
      ShapefileFeatureClass::create(*shp, unreferencedData_ ? withoutFallback(definition) : definition);
  created->setFailedWrites(failedWrites_);
  openFiles_->add(*shp, created);
  return created;
}

bool ShapefileWorkspace::canDelete(std::string_view name) const {
  try {
    if (!exists(name) || !writable(folder_)) return false;
    const fs::path shp = *shpPathOf(name);
    if (auto open = openFiles_->find(shp)) {
      // `open` itself is one reference; beyond it at most the caller's.
      if (open.use_count() > 2) return false;
    }
    for (const auto& file : componentFiles(folder_, shp.stem().string())) {
      if (!writable(file)) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

void ShapefileWorkspace::deleteDataset(std::string_view name) {
  if (!exists(name)) {
    throw host::Error(host::kNotFound,
                      "no shapefile \"" + std::string(name) + "\" in \"" + folder_.string() + "\"");
  }
  const fs::path shp = *shpPathOf(name);
  if (!canDelete(name)) {
    throw host::Error(host::kAccessDenied,
                      "cannot delete shapefile \"" + shp.string() + "\": it is in use or read-only");
  }
  if (auto open = openFiles_->find(shp)) open->closeForDeletion();
  openFiles_->forget(shp);
  for (const auto& file : componentFiles(folder_, shp.stem().string())) {
    std::error_code ec;
    if (!fs::remove(file, ec) && ec) {
      throw host::Error(host::kAccessDenied, "cannot delete \"" + file.string() + "\": " + ec.message());
    }
  }
}

}  // namespace orvex::platform::gdal
