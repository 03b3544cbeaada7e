#pragma once

// The in-process host application of the command line and the tests: one document with one
// focus map, the scripted user interface, a status bar, a clock and the data services of the
// GDAL and Access platforms.

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/application.h"
#include "host/environment.h"
#include "host/registry.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/headless_clock.h"
#include "platform/headless/headless_map.h"
#include "platform/headless/scripted_ui.h"
#include "platform/headless/status_bar.h"

namespace orvex::platform::headless {

struct HeadlessOptions {
  /// The host's name, also the title of message boxes that give none.
  std::string name = "Orvex";
  /// Where message boxes and the host's notes are printed; null: standard error.
  std::ostream* messages = nullptr;
  /// How Yes/No questions are answered.
  ChoicePolicy choices = ChoicePolicy::Ask;
  /// A person answering prompts (a terminal's input); null: nobody is asked.
  std::istream* promptInput = nullptr;
  /// A terminal to draw the progress bar on; null: no bar.
  std::ostream* progressTerminal = nullptr;
  /// Where progress goes as ProgressLines instead (a program running this one); null: none.
  std::ostream* progressLines = nullptr;
  /// A clock that moves only when commands wait (tests).
  bool simulatedClock = false;
};

class HeadlessApplication final : public host::Application {
 public:
  explicit HeadlessApplication(HeadlessOptions options = {});
  ~HeadlessApplication() override;
  HeadlessApplication(const HeadlessApplication&) = delete;
  HeadlessApplication& operator=(const HeadlessApplication&) = delete;

  std::string name() const override { return name_; }
  std::shared_ptr<host::Document> document() const override { return document_; }
  host::UiServices& ui() override { return ui_; }
  host::StatusBar& statusBar() override { return statusBar_; }
  host::Clock& clock() override { return clock_; }
  host::WorkspaceFactory& workspaces() override { return *workspaces_; }
  host::SpatialReferenceFactory& spatialReferences() override { return *spatialReferences_; }
  host::GeometryService& geometry() override { return *geometry_; }
  /// Made from the registry given by `setComponents` (none: null).
  std::shared_ptr<host::Component> createComponent(std::string_view progId) override;
  /// The registry commands create other libraries' classes from; it outlives the application.
  void setComponents(const host::ComponentRegistry* registry) { components_ = registry; }

  // The concrete parts, for the command line and the tests.
  HeadlessDocument& headlessDocument() { return *document_; }
  HeadlessMap& focusMap() { return *document_->headlessFocusMap(); }
  HeadlessActiveView& view() { return document_->headlessView(); }
  ScriptedUi& scriptedUi() { return ui_; }
  HeadlessStatusBar& headlessStatusBar() { return statusBar_; }
  HeadlessClock& headlessClock() { return clock_; }

  /// See gdal::GdalWorkspaceFactory::setUnreferencedData.
  void setUnreferencedData(bool unreferenced);

  /// Prints one line of the host's own (not a message box; not recorded).
  void note(const std::string& line) { ui_.printLine(line); }

  /// Writes through and closes every file still open once a command's run is over, so that a
  /// write failing only then is in the run record (the file's path as the failed item).
  void closeOpenFiles();

  /// A folder of the host's own files (copies of inputs), made on first use in the
  /// temporary folder and removed with the application.
  const std::filesystem::path& scratchFolder();

 private:
  // Declared first so that it is removed last, after every layer holding its files is gone.
  std::optional<host::ScratchFolder> scratch_;
  std::string name_;
  ScriptedUi ui_;
  HeadlessStatusBar statusBar_;
  HeadlessClock clock_;
  std::unique_ptr<gdal::GdalWorkspaceFactory> workspaces_;
  std::shared_ptr<host::SpatialReferenceFactory> spatialReferences_;
  std::shared_ptr<host::GeometryService> geometry_;
  std::shared_ptr<HeadlessDocument> document_;
  const host::ComponentRegistry* components_ = nullptr;
};

}  // namespace orvex::platform::headless
