#pragma once

// The desktop host in a test: the QGIS project singleton emptied, a canvas, the scripted
// answers of the headless host (rendered as real dialogs on the way, so every form a command
// shows is laid out too), and the component registry of the build folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsvectorlayer.h>

#include "host/command.h"
#include "host/form.h"
#include "host/registry.h"
#include "platform/headless/command_runner.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"
#include "platform/headless/scripted_ui.h"
#include "platform/qgis/form_dialog.h"
#include "platform/qgis/qgis_application.h"
#include "support/headless_options.h"

namespace orvex::test {

/// The scripted answers, with each modal form first laid out as a dialog: a control kind the
/// renderer lacks fails the test that shows the form.
class RenderingUi final : public host::UiServices {
 public:
  explicit RenderingUi(platform::headless::ScriptedUi& scripted) : scripted_(scripted) {}

  host::MessageAnswer show(const host::Message& message) override { return scripted_.show(message); }
  std::optional<std::filesystem::path> saveFile(const host::FileDialogOptions& options) override {
    return scripted_.saveFile(options);
  }
  std::vector<std::filesystem::path> openFiles(const host::FileDialogOptions& options) override {
    return scripted_.openFiles(options);
  }
  std::optional<std::filesystem::path> browseFolder(const host::FolderDialogOptions& options) override {
    return scripted_.browseFolder(options);
  }
  int showModal(host::Form& form) override {
    platform::qgis::FormDialog dialog(form, nullptr);
    for (const host::Control* control : form.controls())
      EXPECT_NE(dialog.widget(control->name()), nullptr) << form.name() << "." << control->name();
    // Every dialog fits a 1366 x 768 screen with its title bar: its buttons stay in view.
    EXPECT_LE(dialog.minimumSizeHint().height(), kMaxDialogHeight) << form.name();
    if (onRender) onRender(dialog);
    rendered.push_back(form.name());
    return scripted_.showModal(form);
  }
  void showModeless(host::Form& form) override { scripted_.showModeless(form); }
  void hide(host::Form& form) override { scripted_.hide(form); }
  void processPendingEvents() override {
    if (onEvents) onEvents();
    scripted_.processPendingEvents();
  }

  /// The tallest minimum height a dialog may need: a 768-pixel screen less its title bar.
  static constexpr int kMaxDialogHeight = 740;
  std::vector<std::string> rendered;
  /// Sees each dialog as laid out, before the scripted answers run.
  std::function<void(platform::qgis::FormDialog&)> onRender;
  /// Runs whenever a command lets events through (a test presses Cancel here).
  std::function<void()> onEvents;

 private:
  platform::headless::ScriptedUi& scripted_;
};

class QgisHost {
 public:
  QgisHost() : registry(host::ComponentRegistry::fromFolder(ORVEX_BIN_DIR)) {
    QgsProject::instance()->clear();
    scripted.setChoicePolicy(platform::headless::ChoicePolicy::Yes);
    platform::qgis::QgisHostOptions options;
    options.canvas = &canvas;
    options.ui = &rendering;
    options.currentLayer = [this] { return current; };
    application = std::make_unique<platform::qgis::QgisApplication>(std::move(options));
  }
  ~QgisHost() {
    application.reset();
    QgsProject::instance()->clear();
  }

  /// Adds a layer to the project (on top) and chooses it in the layers panel.
  QgsVectorLayer* add(const QString& source, const QString& name, const QString& provider = "ogr") {
    auto* layer = new QgsVectorLayer(source, name, provider);
    EXPECT_TRUE(layer->isValid()) << source.toStdString();
    QgsProject::instance()->addMapLayer(layer);
    current = layer;
    return layer;
  }

  /// Creates the command from the registry and clicks it as the plug-in's menu does.
  host::Status run(const std::string& progId) {
    const auto command = registry.createAs<host::Command>(progId);
    command->onCreate(*application);
    return application->click(*command, progId);
  }

  std::vector<std::string> messages() const {
    std::vector<std::string> texts;
    for (const auto& record : scripted.messages()) texts.push_back(record.message.text);
    return texts;
  }

  std::ostringstream out;
  platform::headless::ScriptedUi scripted{out, "Orvex"};
  RenderingUi rendering{scripted};
  QgsMapCanvas canvas;
  QgsMapLayer* current = nullptr;
  host::ComponentRegistry registry;
  std::unique_ptr<platform::qgis::QgisApplication> application;
};

/// The same command in the headless host, on the map `source` describes (the features of
/// `shp` all selected, for the first constructor).
class HeadlessRun {
 public:
  explicit HeadlessRun(const std::filesystem::path& shp) : HeadlessRun(sourceOf(shp)) {}
  explicit HeadlessRun(const platform::headless::MapSource& source)
      : registry(host::ComponentRegistry::fromFolder(ORVEX_BIN_DIR)),
        application(quietOptions(out, platform::headless::ChoicePolicy::Yes)) {
    platform::headless::loadMapSource(application, source);
  }
  host::Status run(const std::string& progId) {
    return platform::headless::runCommand(registry, application, progId);
  }
  platform::headless::ScriptedUi& ui() { return application.scriptedUi(); }

  std::ostringstream out;
  host::ComponentRegistry registry;
  platform::headless::HeadlessApplication application;

 private:
  static platform::headless::MapSource sourceOf(const std::filesystem::path& shp) {
    platform::headless::MapSource source;
    source.files = {shp};
    return source;
  }
};

}  // namespace orvex::test
