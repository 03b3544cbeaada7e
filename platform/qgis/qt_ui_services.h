#pragma once

// The user-interface services of the desktop host: Qt message boxes, file and folder dialogs,
// forms shown as dialogs laid out from their models, and the event loop.

#include <map>
#include <memory>
#include <string>

#include <QPointer>
#include <QWidget>

#include "host/ui_services.h"

namespace orvex::platform::qgis {

class FormDialog;

/// Turns a host dialog filter ("Shapefiles (*.shp)|*.shp|All files (*.*)|*.*") into Qt's
/// ("Shapefiles (*.shp) (*.shp);;All files (*.*) (*.*)"): descriptions keep their text, the
/// patterns are what filters.
QString toQtFilter(std::string_view filter);

class QtUiServices final : public host::UiServices {
 public:
  /// `parent` (the main window, may be null) owns the dialogs; `defaultTitle` is the title of
  /// message boxes that give none.
  QtUiServices(QWidget* parent, std::string defaultTitle);
  ~QtUiServices() override;

  host::MessageAnswer show(const host::Message& message) override;
  std::optional<std::filesystem::path> saveFile(const host::FileDialogOptions& options) override;
  std::vector<std::filesystem::path> openFiles(const host::FileDialogOptions& options) override;
  std::optional<std::filesystem::path> browseFolder(const host::FolderDialogOptions& options) override;
  int showModal(host::Form& form) override;
  void showModeless(host::Form& form) override;
  void hide(host::Form& form) override;
  /// Processes waiting events once; a call made while one is running returns at once, so a
  /// handler reached from inside the loop cannot recurse into it.
  void processPendingEvents() override;

 private:
  QPointer<QWidget> parent_;
  std::string defaultTitle_;
  std::map<host::Form*, std::unique_ptr<FormDialog>> modeless_;
  bool processing_ = false;
};

/// The desktop clock: waits keep the window painting.
class QtClock final : public host::Clock {
 public:
  explicit QtClock(host::UiServices& ui) : ui_(ui) {}
  std::chrono::system_clock::time_point now() const override { return std::chrono::system_clock::now(); }
  void wait(std::chrono::milliseconds duration) override;

 private:
  host::UiServices& ui_;
};

}  // namespace orvex::platform::qgis
