#pragma once

// A Qt dialog laid out from a host form model.
//
// Every control kind of the model has a widget; the widgets route a person's actions to the
// model through platform::FormDriver (the same events, in the same order, as scripted runs fire)
// and show the model's state after every action and on a short timer, so changes a handler or
// a running command makes reach the screen. The dialog never re-implements a form's behaviour.
//
// Layout: controls appear in the order they were added, each in its container: the form, a
// tab (a page of the model) or a frame (a group box). A field without a caption of its own
// shares the row of the label just before it; one with a caption gets that caption as its
// label. The other controls outside the pages go below the tabs; form-level buttons outside
// pages and frames form the button row at the bottom. A property sheet gets the host's OK and
// Cancel. Each tab page (and the body of a form without pages) scrolls when the screen is too
// short for it, so the buttons stay in view: a dialog needs at most a few rows of its tallest
// page in height, and opens as large as its content where the screen has room. A multi-line
// text box is a scrolling text area sized for reading.

#include <map>
#include <string>

#include <QDialog>
#include <QTimer>

#include "host/form.h"
#include "platform/common/form_driver.h"

class QGridLayout;
class QHBoxLayout;
class QTabWidget;

namespace orvex::platform::qgis {

class FormDialog final : public QDialog {
 public:
  /// Builds the widgets; `form` must outlive the dialog.
  FormDialog(host::Form& form, QWidget* parent);
  ~FormDialog() override;

  /// Loads the form and shows it modally, at its full size or the screen's if smaller;
  /// returns the form's result.
  int runModal();
  /// Loads the form and shows it without blocking.
  void showModeless();

  /// Copies the model's state into the widgets.
  void sync();
  /// The widget of a control; null for an unknown name (tests).
  QWidget* widget(std::string_view name) const;
  QTabWidget* tabs() const { return tabs_; }

 protected:
  void reject() override;  // the window closed by its frame, or Escape

 private:
  void build();
  QWidget* makeWidget(host::Control& control);
  QGridLayout& gridOf(const host::Control& control);
  /// Runs a person's action on the model; errors are shown, then the widgets catch up.
  void act(const std::function<void()>& action);
  void showRefusal(const host::PageLeave& refusal);
  void syncControl(const host::Control& control, QWidget& widget);
  void finishWhenClosed();
  void fitToScreen();

  host::Form& form_;
  platform::FormDriver driver_;
  std::map<std::string, QWidget*, std::less<>> widgets_;
  std::map<std::string, QGridLayout*, std::less<>> frameGrids_;
  std::map<int, QGridLayout*> pageGrids_;
  QGridLayout* formGrid_ = nullptr;
  QHBoxLayout* buttonRow_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QTimer poll_;
  bool syncing_ = false;
  bool finished_ = false;
};

}  // namespace orvex::platform::qgis
