#pragma once

// A host for the orvexcore data tests: the GDAL and Access platforms' data side, a map whose
// coordinate system and layers a test sets, and a user interface that records every message
// and answers dialogs and forms from queues filled by the test.

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/application.h"
#include "host/error.h"
#include "host/form.h"
#include "host/graphics.h"
#include "host/map_events.h"

namespace orvex::test {

class QueuedUi final : public host::UiServices {
 public:
  std::vector<host::Message> messages;
  std::vector<host::FileDialogOptions> openDialogs;
  std::vector<host::FileDialogOptions> saveDialogs;
  std::vector<std::string> formsShown;  ///< captions
  std::deque<std::vector<std::filesystem::path>> openAnswers;
  std::deque<std::optional<std::filesystem::path>> saveAnswers;
  /// Acts on a shown form; without one the form is cancelled.
  std::function<void(host::Form&)> formAction;

  host::MessageAnswer show(const host::Message& message) override;
  std::optional<std::filesystem::path> saveFile(const host::FileDialogOptions& options) override;
  std::vector<std::filesystem::path> openFiles(const host::FileDialogOptions& options) override;
  std::optional<std::filesystem::path> browseFolder(const host::FolderDialogOptions&) override {
    return std::nullopt;
  }
  int showModal(host::Form& form) override;
  void showModeless(host::Form&) override {}
  void hide(host::Form&) override {}
  void processPendingEvents() override {}

  /// The texts of the messages shown so far.
  std::vector<std::string> texts() const;
};

class NullStatusBar final : public host::StatusBar {
 public:
  void setMessage(std::string_view) override {}
  host::ProgressFn progress() override {
    return [](double, std::string_view) { return true; };
  }
  void hideProgress() override {}
};

class StillClock final : public host::Clock {
 public:
  std::chrono::system_clock::time_point now() const override { return {}; }
  void wait(std::chrono::milliseconds) override {}
};

/// An added layer as the map received it.
struct AddedLayer {
  std::shared_ptr<host::FeatureClass> featureClass;
  std::string name;
  host::SpatialReferencePtr spatialReference;
};

class TestMap final : public host::Map {
 public:
  host::SpatialReferencePtr reference;
  std::vector<AddedLayer> added;
  /// When set, asking for the coordinate system throws this.
  std::optional<host::Error> referenceFailure;

  std::string name() const override { return "Layers"; }
  host::SpatialReferencePtr spatialReference() const override;
  std::vector<std::shared_ptr<host::Layer>> layers() const override { return layers_; }
  std::shared_ptr<host::FeatureLayer> addFeatureLayer(std::shared_ptr<host::FeatureClass> featureClass,
                                                      std::string name,
                                                      host::SpatialReferencePtr spatialReference) override;
  std::shared_ptr<host::RasterLayer> addRasterLayer(std::shared_ptr<host::RasterDataset>,
                                                    std::string) override {
    return nullptr;
  }
  void removeLayer(const std::shared_ptr<host::Layer>&) override {}
  void clearSelection() override {}
  /// Drops every layer (and with them their hold on the data files).
  void removeAllLayers() {
    added.clear();
    layers_.clear();
  }

 private:
  std::vector<std::shared_ptr<host::Layer>> layers_;
};

class TestView final : public host::ActiveView {
 public:
  int geographyRefreshes = 0;
  void refresh() override {}
  void partialRefresh(host::ViewPhase phase) override {
    if (phase == host::ViewPhase::Geography) ++geographyRefreshes;
  }
  host::GraphicsContainer& graphics() override { return graphics_; }
  host::MapEvents& events() override { return events_; }

 private:
  host::MemoryGraphicsContainer graphics_;
  host::MapEvents events_;
};

class TestDocument final : public host::Document {
 public:
  std::shared_ptr<TestMap> map = std::make_shared<TestMap>();
  TestView view;

  std::shared_ptr<host::Map> focusMap() const override { return map; }
  std::vector<std::shared_ptr<host::Map>> maps() const override { return {map}; }
  std::shared_ptr<host::Layer> selectedLayer() const override { return nullptr; }
  host::ActiveView& activeView() override { return view; }
};

/// A spatial-reference factory that forwards to the platform's, or fails every request.
class SwitchableReferences final : public host::SpatialReferenceFactory {
 public:
  explicit SwitchableReferences(std::shared_ptr<host::SpatialReferenceFactory> real)
      : real_(std::move(real)) {}
  bool failing = false;

  host::SpatialReferencePtr fromEpsg(int code) const override;
  host::SpatialReferencePtr fromWkt(std::string_view wkt) const override;
  host::SpatialReferencePtr unknown() const override { return real_->unknown(); }
  host::Point project(const host::Point& point, const host::SpatialReference& from,
                      const host::SpatialReference& to) const override;

 private:
  std::shared_ptr<host::SpatialReferenceFactory> real_;
};

class TestApplication final : public host::Application {
 public:
  TestApplication();
  ~TestApplication() override;

  QueuedUi recordingUi;
  std::shared_ptr<TestDocument> doc = std::make_shared<TestDocument>();
  /// When set, asking for the document throws this.
  std::optional<host::Error> documentFailure;
  /// Opens Access files; the Access platform's reader unless a test puts a stand-in here.
  std::function<std::shared_ptr<host::Workspace>(const std::filesystem::path&)> accessOpener;

  std::string name() const override { return "Orvex test host"; }
  std::shared_ptr<host::Document> document() const override;
  host::UiServices& ui() override { return recordingUi; }
  host::StatusBar& statusBar() override { return bar_; }
  host::Clock& clock() override { return clock_; }
  host::WorkspaceFactory& workspaces() override { return *workspaces_; }
  host::SpatialReferenceFactory& spatialReferences() override { return *references_; }
  SwitchableReferences& references() { return *references_; }
  host::GeometryService& geometry() override { return *geometry_; }

 private:
  NullStatusBar bar_;
  StillClock clock_;
  std::unique_ptr<host::WorkspaceFactory> workspaces_;
  std::shared_ptr<SwitchableReferences> references_;
  std::shared_ptr<host::GeometryService> geometry_;
};

/// A fresh, empty folder under the system's temporary folder, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

/// Every row of a table, in stored order.
std::vector<host::Row> readAll(const host::Table& table);

}  // namespace orvex::test
