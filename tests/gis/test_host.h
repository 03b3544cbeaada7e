#pragma once

// A host for the GIS tests: the GDAL platform's data side (shapefile and raster workspaces,
// geometry, spatial references) with a user interface that records what it is asked to show.

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/application.h"
#include "platform/gdal/gdal_platform.h"
#include "support/temp_folder.h"

namespace orvex::test {

class RecordingUi final : public host::UiServices {
 public:
  std::vector<host::Message> messages;

  host::MessageAnswer show(const host::Message& message) override {
    messages.push_back(message);
    return host::MessageAnswer::Ok;
  }
  std::optional<std::filesystem::path> saveFile(const host::FileDialogOptions&) override {
    return std::nullopt;
  }
  std::vector<std::filesystem::path> openFiles(const host::FileDialogOptions&) override { return {}; }
  std::optional<std::filesystem::path> browseFolder(const host::FolderDialogOptions&) override {
    return std::nullopt;
  }
  int showModal(host::Form&) override { return 0; }
  void showModeless(host::Form&) override {}
  void hide(host::Form&) override {}
  void processPendingEvents() override {}
};

class RecordingStatusBar final : public host::StatusBar {
 public:
  std::vector<std::string> progressMessages;  ///< message of each report
  double lastFraction = -1.0;
  int hidden = 0;

  host::ProgressFn progress() override {
    return [this](double fraction, std::string_view message) {
      progressMessages.emplace_back(message);
      lastFraction = fraction;
      return true;
    };
  }
  void hideProgress() override { ++hidden; }
};

class FixedClock final : public host::Clock {
 public:
  std::chrono::system_clock::time_point now() const override { return {}; }
  void wait(std::chrono::milliseconds) override {}
};

class TestApplication final : public host::Application {
 public:
  RecordingUi recordingUi;
  RecordingStatusBar bar;

  std::string name() const override { return "Orvex test host"; }
  std::shared_ptr<host::Document> document() const override { return nullptr; }  // no map needed
  host::UiServices& ui() override { return recordingUi; }
  host::StatusBar& statusBar() override { return bar; }
  host::Clock& clock() override { return clock_; }
  host::WorkspaceFactory& workspaces() override { return workspaces_; }
  host::SpatialReferenceFactory& spatialReferences() override { return *spatialReferences_; }
  host::GeometryService& geometry() override { return *geometry_; }

 private:
  FixedClock clock_;
  platform::gdal::GdalWorkspaceFactory workspaces_;
  std::shared_ptr<host::SpatialReferenceFactory> spatialReferences_ =
      platform::gdal::makeSpatialReferenceFactory();
  std::shared_ptr<host::GeometryService> geometry_ = platform::gdal::makeGeometryService();
};

/// Every row of a feature class, in stored order.
std::vector<host::Row> ReadAll(const host::FeatureClass& featureClass);

/// Names of a class's fields in stored order.
std::vector<std::string> FieldNames(const host::FeatureClass& featureClass);

}  // namespace orvex::test
