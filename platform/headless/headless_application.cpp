#include "platform/headless/headless_application.h"

#include <iostream>
#include <string>

#include "platform/access/access_workspace.h"
#include "platform/gdal/gdal_platform.h"

namespace orvex::platform::headless {

HeadlessApplication::HeadlessApplication(HeadlessOptions options)
    : name_(std::move(options.name)),
      ui_(options.messages != nullptr ? *options.messages : std::cerr, name_),
      clock_(ui_, options.simulatedClock),
      workspaces_(
          std::make_unique<gdal::GdalWorkspaceFactory>(&access::openAccessWorkspace, workerThreads())),
      spatialReferences_(gdal::makeSpatialReferenceFactory()),
      geometry_(gdal::makeGeometryService()),
      document_(std::make_shared<HeadlessDocument>()) {
  // A file that fails to write when its last holder lets go is a failed item of the run.
  workspaces_->failedWrites()->setReceiver(
      [this](const std::filesystem::path& file, const std::string& reason) {
        runRecord().failure({.item = file.string(), .reason = reason, .path = file});
      });
  ui_.setChoicePolicy(options.choices);
  ui_.setPromptInput(options.promptInput);
  if (options.progressTerminal != nullptr) {
    statusBar_.setDisplay(std::make_unique<TerminalProgressBar>(*options.progressTerminal));
    ui_.setBeforePrint([this] { statusBar_.yieldLine(); });
  } else if (options.progressLines != nullptr) {
    statusBar_.setDisplay(std::make_unique<ProgressLines>(*options.progressLines));
  }
}

std::shared_ptr<host::Component> HeadlessApplication::createComponent(std::string_view progId) {
  return components_ != nullptr ? components_->create(progId) : nullptr;
}

HeadlessApplication::~HeadlessApplication() {
  // Layers release their files before the scratch folder goes.
  document_.reset();
  // Files released from now on outlive the record: their failures go to standard error.
  workspaces_->failedWrites()->setReceiver({});
}

void HeadlessApplication::closeOpenFiles() { workspaces_->closeOpenShapefiles(); }

void HeadlessApplication::setUnreferencedData(bool unreferenced) {
  workspaces_->setUnreferencedData(unreferenced);
}

const std::filesystem::path& HeadlessApplication::scratchFolder() {
  if (!scratch_) scratch_.emplace("orvex-host-");
  return scratch_->path();
}

}  // namespace orvex::platform::headless
