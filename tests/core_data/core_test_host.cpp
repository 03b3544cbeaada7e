#include "core_data/core_test_host.h"

#include <unistd.h>

#include <atomic>
#include <chrono>

#include "host/error.h"
#include "host/geometry.h"
#include "platform/access/access_workspace.h"
#include "platform/gdal/gdal_platform.h"

namespace orvex::test {
namespace {

class PlainFeatureLayer final : public host::FeatureLayer {
 public:
  PlainFeatureLayer(std::shared_ptr<host::FeatureClass> featureClass, std::string name,
                    host::SpatialReferencePtr reference)
      : featureClass_(std::move(featureClass)), name_(std::move(name)), reference_(std::move(reference)) {}
  std::string name() const override { return name_; }
  void setName(std::string name) override { name_ = std::move(name); }
  bool visible() const override { return true; }
  host::SpatialReferencePtr spatialReference() const override { return reference_; }
  std::shared_ptr<host::FeatureClass> featureClass() const override { return featureClass_; }
  host::SelectionSet selection() const override { return host::SelectionSet(featureClass_, {}); }
  void setSelection(host::SelectionSet) override {}

 private:
  std::shared_ptr<host::FeatureClass> featureClass_;
  std::string name_;
  host::SpatialReferencePtr reference_;
};

}  // namespace

host::MessageAnswer QueuedUi::show(const host::Message& message) {
  messages.push_back(message);
  return host::MessageAnswer::Ok;
}

std::optional<std::filesystem::path> QueuedUi::saveFile(const host::FileDialogOptions& options) {
  saveDialogs.push_back(options);
  if (saveAnswers.empty()) return std::nullopt;
  auto answer = saveAnswers.front();
  saveAnswers.pop_front();
  return answer;
}

std::vector<std::filesystem::path> QueuedUi::openFiles(const host::FileDialogOptions& options) {
  openDialogs.push_back(options);
  if (openAnswers.empty()) return {};
  auto answer = openAnswers.front();
  openAnswers.pop_front();
  return answer;
}

int QueuedUi::showModal(host::Form& form) {
  formsShown.push_back(form.caption());
  form.load();
  if (form.isOpen() && formAction) formAction(form);
  if (form.isOpen()) form.cancel();
  return form.result();
}

std::vector<std::string> QueuedUi::texts() const {
  std::vector<std::string> result;
  for (const auto& message : messages) result.push_back(message.text);
  return result;
}

host::SpatialReferencePtr TestMap::spatialReference() const {
  if (referenceFailure) throw *referenceFailure;
  return reference;
}

std::shared_ptr<host::FeatureLayer> TestMap::addFeatureLayer(std::shared_ptr<host::FeatureClass> featureClass,
                                                             std::string layerName,
                                                             host::SpatialReferencePtr spatialReference) {
  added.push_back({featureClass, layerName, spatialReference});
  auto layer = std::make_shared<PlainFeatureLayer>(std::move(featureClass), std::move(layerName),
                                                   std::move(spatialReference));
  layers_.insert(layers_.begin(), layer);
  return layer;
}

host::SpatialReferencePtr SwitchableReferences::fromEpsg(int code) const {
  if (failing) throw host::Error(host::kFail, "The spatial reference factory is not available");
  return real_->fromEpsg(code);
}

host::SpatialReferencePtr SwitchableReferences::fromWkt(std::string_view wkt) const {
  if (failing) throw host::Error(host::kFail, "The spatial reference factory is not available");
  return real_->fromWkt(wkt);
}

host::Point SwitchableReferences::project(const host::Point& point, const host::SpatialReference& from,
                                          const host::SpatialReference& to) const {
  return real_->project(point, from, to);
}

TestApplication::TestApplication()
    : accessOpener([](const std::filesystem::path& file) { return access::openAccessWorkspace(file); }),
      workspaces_(std::make_unique<platform::gdal::GdalWorkspaceFactory>(
          [this](const std::filesystem::path& file) { return accessOpener(file); })),
      references_(std::make_shared<SwitchableReferences>(platform::gdal::makeSpatialReferenceFactory())),
      geometry_(platform::gdal::makeGeometryService()) {}

TestApplication::~TestApplication() = default;

std::shared_ptr<host::Document> TestApplication::document() const {
  if (documentFailure) throw *documentFailure;
  return doc;
}

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = std::filesystem::temp_directory_path() / ("orvex_coredata_" + std::to_string(::getpid()) + "_" +
                                                    std::to_string(stamp) + "_" + std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<host::Row> readAll(const host::Table& table) {
  std::vector<host::Row> rows;
  auto cursor = table.search();
  while (auto row = cursor->next()) rows.push_back(std::move(*row));
  return rows;
}

}  // namespace orvex::test
