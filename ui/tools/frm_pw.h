#pragma once

// The small "Please Wait" window the movement and data-cleaning tools show while they walk a
// layer.

#include "host/form.h"
#include "host/ui_services.h"

namespace orvex::ui {

/// A modeless form captioned "Please Wait" holding one progress bar, `ProgressBar1`, whose
/// range runs from 0 to the number of features the tool will walk.
///
/// The form keeps track of whether it is on screen, so that a tool can promise (and a test can
/// check) that it is hidden again whenever the tool stops, early or not.
class FrmPW final : public host::Form {
 public:
  static constexpr const char* kFormName = "FrmPW";
  static constexpr const char* kCaption = "Please Wait";
  static constexpr const char* kProgressBar = "ProgressBar1";

  FrmPW();

  /// Sets the range 0..maximum (a negative maximum counts as 0) and puts the bar back to 0.
  void SetMaximum(int maximum);
  /// Moves the bar; values outside the range are clamped into it, since a count that grew
  /// while a tool ran must not stop the tool.
  void SetProgress(int value);
  int maximum() const;
  int progress() const;

  /// Shows the form without blocking through the host.
  void show(host::UiServices& ui);
  /// Hides it again; does nothing when it is not shown.
  void hide(host::UiServices& ui);
  bool shown() const { return shown_; }

 private:
  host::Control* bar_;
  bool shown_ = false;
};

/// Keeps a progress window on screen for a scope: shows it on construction and hides it on
/// destruction, whichever way the scope is left (a message that stops the tool, an error).
class ShownWhileAlive {
 public:
  ShownWhileAlive(FrmPW& form, host::UiServices& ui) : form_(form), ui_(ui) { form_.show(ui_); }
  ~ShownWhileAlive() {
    try {
      form_.hide(ui_);
    } catch (...) {
      // A host that cannot hide a window must not turn the tool's own report into a crash.
    }
  }
  ShownWhileAlive(const ShownWhileAlive&) = delete;
  ShownWhileAlive& operator=(const ShownWhileAlive&) = delete;

 private:
  FrmPW& form_;
  host::UiServices& ui_;
};

}  // namespace orvex::ui
