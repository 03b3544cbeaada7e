#pragma once

// The host of the orvexcore data tests: the headless application (scripted dialogs and
// forms, recorded messages, the GDAL and Access platforms) with three faults a test can
// switch on: a document that cannot be had, a spatial-reference factory that fails, and
// Access files served by a stand-in.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "headless/headless_fixtures.h"
#include "host/application.h"
#include "host/error.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/headless_application.h"

namespace orvex::test {

class ProbeApplication final : public host::Application {
 public:
  ProbeApplication();
  ~ProbeApplication() override;

  /// Printed messages go to `printed`; the records are in `headless.scriptedUi()`.
  std::ostringstream printed;
  platform::headless::HeadlessApplication headless;

  /// When set, asking for the document throws this.
  std::optional<host::Error> documentFailure;
  /// When true, every spatial reference the factory is asked for fails.
  bool referencesFail = false;
  /// Opens Access files; the Access platform's reader unless a test puts a stand-in here.
  std::function<std::shared_ptr<host::Workspace>(const std::filesystem::path&)> accessOpener;

  std::string name() const override { return headless.name(); }
  std::shared_ptr<host::Document> document() const override;
  host::UiServices& ui() override { return headless.ui(); }
  host::StatusBar& statusBar() override { return headless.statusBar(); }
  host::Clock& clock() override { return headless.clock(); }
  host::WorkspaceFactory& workspaces() override { return workspaces_; }
  host::SpatialReferenceFactory& spatialReferences() override;
  host::GeometryService& geometry() override { return headless.geometry(); }

  platform::headless::ScriptedUi& scriptedUi() { return headless.scriptedUi(); }
  platform::headless::HeadlessMap& map() { return headless.focusMap(); }
  /// The texts of the message boxes shown so far.
  std::vector<std::string> messages();
  /// Sets the map's coordinate system from an EPSG code.
  void setMapEpsg(int code) { map().setSpatialReference(headless.spatialReferences().fromEpsg(code)); }

 private:
  class References;
  platform::gdal::GdalWorkspaceFactory workspaces_;
  std::shared_ptr<References> references_;
};

}  // namespace orvex::test
