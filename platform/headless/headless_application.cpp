#include "platform/headless/headless_application.h"

#include <stdlib.h>  // mkdtemp

#include <cerrno>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "host/environment.h"
#include "host/error.h"
#include "platform/access/access_workspace.h"
#include "platform/gdal/gdal_platform.h"

namespace orvex::platform::headless {

HeadlessApplication::HeadlessApplication(HeadlessOptions options)
    : name_(std::move(options.name)),
      ui_(options.messages != nullptr ? *options.messages : std::cerr, name_),
      clock_(ui_, options.simulatedClock),
      workspaces_(std::make_unique<gdal::GdalWorkspaceFactory>(&access::openAccessWorkspace)),
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
  }
}

HeadlessApplication::~HeadlessApplication() {
  // Layers release their files before the scratch folder goes.
  document_.reset();
  // Files released from now on outlive the record: their failures go to standard error.
  workspaces_->failedWrites()->setReceiver({});
}

void HeadlessApplication::closeOpenFiles() { gdal::closeOpenShapefiles(); }

void HeadlessApplication::setUnreferencedData(bool unreferenced) {
  workspaces_->setUnreferencedData(unreferenced);
}

const std::filesystem::path& HeadlessApplication::scratchFolder() {
  if (!scratch_.path.empty()) return scratch_.path;
  const std::string pattern = (host::temporaryFolder() / "orvex-host-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr)
    throw host::Error(host::kAccessDenied, "Cannot make a scratch folder in '" +
                                               host::temporaryFolder().string() +
                                               "': " + std::generic_category().message(errno));
  scratch_.path = buffer.data();
  return scratch_.path;
}

HeadlessApplication::ScratchFolder::~ScratchFolder() {
  if (path.empty()) return;
  std::error_code ignored;  // a folder that cannot be removed is left behind, never fatal
  std::filesystem::remove_all(path, ignored);
}

}  // namespace orvex::platform::headless
