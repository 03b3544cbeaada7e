#pragma once

// The desktop status bar: one progress bar per run, shown in QGIS's message bar with a Cancel
// button.

#include <functional>
#include <string>

#include <QPointer>

#include "host/progress.h"
#include "host/ui_services.h"

class QgsMessageBar;
class QgsMessageBarItem;
class QProgressBar;

namespace orvex::platform::qgis {

class QgisStatusBar final : public host::StatusBar {
 public:
  /// `messageBar` may be null (tests without a main window); `ui` keeps the window painting
  /// while a command reports progress.
  QgisStatusBar(QgsMessageBar* messageBar, host::UiServices& ui);
  ~QgisStatusBar() override;

  /// Every report processes waiting events (so Cancel can be pressed) and answers false once
  /// Cancel was pressed during this run.
  host::ProgressFn progress() override;
  void hideProgress() override;

  /// The start of a run: clears an earlier Cancel.
  void beginRun() { cancelled_ = false; }
  /// What pressing Cancel does (tests press it this way).
  void cancel() { cancelled_ = true; }
  /// The last reported fraction, -1 before the first report of a run.
  double fraction() const { return fraction_; }

 private:
  bool report(double fraction, std::string_view message);

  QPointer<QgsMessageBar> messageBar_;
  host::UiServices& ui_;
  QPointer<QgsMessageBarItem> item_;
  QPointer<QProgressBar> bar_;
  double fraction_ = -1.0;
  bool cancelled_ = false;
};

}  // namespace orvex::platform::qgis
